#pragma once

// File-system steps that must not lose a file: atomic replacement, exclusive creation,
// folder locks and staged outputs. Paths are byte strings, passed to the system as they are.
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The system's text for an errno value ("No space left on device").
std::string SystemReason(int error);

// Replaces `path` with a regular file holding `content`: a temporary beside it is written,
// flushed and synced, then renamed over it. A symbolic link at `path` is replaced, never
// written through. On any failure the old file stays as it was; returns the reason then.
std::optional<std::string> ReplaceFileAtomically(const std::string& path, std::string_view content);

// Creates `path` empty, failing when anything of that name exists (O_EXCL). 0 or errno.
int CreateExclusive(const std::string& path);

// True when another process holds `path` locked for writing (a recorder writes it now).
bool LockedByAnother(const std::string& path);

// An exclusive lock on a folder (flock on the folder itself, which an atomic replacement of
// a file inside never replaces), held while the object lives. Waits for other processes;
// one taken while this thread already holds one adds nothing.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

// An output written under a temporary name beside its target and renamed into place only by
// commit(), so a refused or failed run leaves the target as it was. A target that exists
// and is not a regular file (a device, a pipe) is written directly. A symbolic link as
// target: its destination gets the new file, the link stays.
class StagedOutput {
public:
    // Nothing on failure, with the reason in `error`.
    static std::optional<StagedOutput> create(const std::string& target, std::string& error);
    StagedOutput(StagedOutput&& other) noexcept;
    StagedOutput& operator=(StagedOutput&&) = delete;
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;
    ~StagedOutput();

    // Where to write.
    [[nodiscard]] const std::string& path() const { return staged_; }
    // Renames the written file over the target; the reason when that fails.
    std::optional<std::string> commit();

private:
    StagedOutput(std::string staged, std::string target) : staged_(std::move(staged)), target_(std::move(target)) {}
    std::string staged_;
    std::string target_;  // empty: written in place, nothing to rename
};

// True when `a` and `b` name the same file (same device and inode, through any links).
bool SameFile(const std::string& a, const std::string& b);

}  // namespace quillon
