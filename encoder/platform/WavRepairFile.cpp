// File side of the WAV repair: POSIX calls for locking, reading, cutting and syncing.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "encoder/WavMarkers.h"
#include "encoder/WavRepair.h"

namespace quillon {

namespace {

class FdByteSource final : public ByteSource {
public:
    FdByteSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    [[nodiscard]] std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    int fd_;
    std::uint64_t size_;
};

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

bool writeLe32(int fd, std::uint64_t offset, std::uint32_t value)
{
    std::uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return ::pwrite(fd, bytes, 4, static_cast<off_t>(offset)) == 4;
}

bool hasWavExtension(const std::filesystem::path& file)
{
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".wav";
}

// The side file's text; none when there is no side file (or it is not a plain file).
std::optional<std::string> readSideFile(const std::filesystem::path& side)
{
    Fd f{::open(side.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK)};
    struct stat st {};
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    // A marker a second for a day is well under this; more is not a side file of ours.
    constexpr off_t kMaxSide = 16 << 20;
    std::string text(static_cast<std::size_t>(std::min<off_t>(st.st_size, kMaxSide)), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pread(f.fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    return text;
}

// Appends the side file's markers to a file that has none and removes the side file.
// Returns how many were written; false when the file could not be written.
bool restoreMarkers(int fd, const std::filesystem::path& file, std::size_t& restored)
{
    restored = 0;
    const auto side = MarkerSidePath(file);
    const auto text = readSideFile(side);
    if (!text) {
        return true;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    auto length = static_cast<std::uint64_t>(st.st_size);
    const auto existing = ReadWavMarkers(FdByteSource(fd, length));
    const auto markers = ParseMarkerSideFile(*text);
    if (existing && existing->markers.empty() && !markers.empty()) {
        std::vector<std::uint8_t> chunks;
        if (length % 2 != 0) {
            chunks.push_back(0);  // the audio's pad byte
        }
        const auto body = MarkerChunks(markers);
        chunks.insert(chunks.end(), body.begin(), body.end());
        if (length + chunks.size() > std::uint64_t{0xFFFFFFFF} + 8) {
            return true;  // no room in the sizes: the audio matters more, the side file stays
        }
        if (::pwrite(fd, chunks.data(), chunks.size(), static_cast<off_t>(length)) !=
            static_cast<ssize_t>(chunks.size())) {
            // Leave the file as it was: its sizes still end at the audio.
            [[maybe_unused]] const int ignored = ::ftruncate(fd, static_cast<off_t>(length));
            return false;
        }
        length += chunks.size();
        if (!writeLe32(fd, 4, static_cast<std::uint32_t>(length - 8)) || ::fdatasync(fd) != 0) {
            return false;
        }
        restored = markers.size();
    }
    std::error_code ignored;
    std::filesystem::remove(side, ignored);
    return true;
}

}  // namespace

std::optional<WavMarkerList> ReadWavMarkersFile(const std::filesystem::path& file)
{
    Fd f{::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    struct stat st {};
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return ReadWavMarkers(FdByteSource(f.fd, static_cast<std::uint64_t>(st.st_size)));
}

WavVerdict wavFileVerdict(const std::filesystem::path& file)
{
    Fd f{::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    struct stat st {};
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return WavVerdict::NotWav;
    }
    return planWavRepair(FdByteSource(f.fd, static_cast<std::uint64_t>(st.st_size))).verdict;
}

WavRepairOutcome repairWavFile(const std::filesystem::path& file, WavRepairPlan* applied)
{
    // Read-only first: a file that needs nothing must not need write permission either.
    Fd f{::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK)};
    if (f.fd < 0) {
        return WavRepairOutcome::Unreadable;
    }
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return WavRepairOutcome::NotWav;
    }
    // A recording in progress holds this lock; its header is meant to lag behind.
    if (::flock(f.fd, LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? WavRepairOutcome::Busy : WavRepairOutcome::Failed;
    }
    const FdByteSource source(f.fd, static_cast<std::uint64_t>(st.st_size));
    WavRepairPlan plan = planWavRepair(source);
    const bool haveSide = ::access(MarkerSidePath(file).c_str(), F_OK) == 0;
    switch (plan.verdict) {
        case WavVerdict::NotWav:
            return WavRepairOutcome::NotWav;
        case WavVerdict::Intact:
            if (!haveSide) {
                return WavRepairOutcome::Intact;
            }
            break;
        case WavVerdict::Unrecoverable:
            return WavRepairOutcome::Unrecoverable;
        case WavVerdict::TooLarge:
            return WavRepairOutcome::TooLarge;
        case WavVerdict::Repairable:
            break;
    }
    Fd w{::open(file.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK)};
    if (w.fd < 0) {
        return WavRepairOutcome::Failed;
    }
    if (plan.verdict == WavVerdict::Repairable) {
        // Sizes first: if we die before the cut, the next run sees the same file shape again.
        if (!writeLe32(w.fd, 4, plan.riffSize) || !writeLe32(w.fd, plan.dataSizeOffset, plan.dataSize)) {
            return WavRepairOutcome::Failed;
        }
        if (plan.newLength < source.size() && ::ftruncate(w.fd, static_cast<off_t>(plan.newLength)) != 0) {
            return WavRepairOutcome::Failed;
        }
        if (::fdatasync(w.fd) != 0) {
            return WavRepairOutcome::Failed;
        }
    }
    if (haveSide) {
        if (!restoreMarkers(w.fd, file, plan.markersRestored)) {
            return WavRepairOutcome::Failed;
        }
        if (plan.verdict == WavVerdict::Intact && plan.markersRestored == 0) {
            return WavRepairOutcome::Intact;
        }
    }
    if (applied != nullptr) {
        *applied = plan;
    }
    return WavRepairOutcome::Repaired;
}

FolderRepairReport repairWavFolder(const std::filesystem::path& folder)
{
    FolderRepairReport report;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        return report;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : it) {
        std::error_code typeError;
        if (entry.is_regular_file(typeError) && !entry.is_symlink(typeError) && hasWavExtension(entry.path())) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        switch (repairWavFile(file)) {
            case WavRepairOutcome::Repaired:
                report.repaired.push_back(file);
                break;
            case WavRepairOutcome::Unrecoverable:
            case WavRepairOutcome::Failed:
                report.unrecoverable.push_back(file);
                break;
            default:
                break;
        }
    }
    return report;
}

}  // namespace quillon
