#include "recording/posix/SafeFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <utility>

namespace quillon {
namespace {

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A new file beside `path` with a name nobody uses, opened for writing; -1 and errno set
// when the folder refuses. Mode 0666 less the umask, as any new file.
int openTemporaryBeside(const std::string& path, std::string& temporary)
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folderOf(path) + "/." + nameOf(path) + "." + std::to_string(random() % 1000000000) + ".tmp";
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, std::string_view content)
{
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The rename is durable only once the folder's entry is on the disk too.
void syncFolder(const std::string& path)
{
    const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace

std::string SystemReason(int error)
{
    return std::strerror(error);
}

std::optional<std::string> ReplaceFileAtomically(const std::string& path, std::string_view content)
{
    std::string temporary;
    const int fd = openTemporaryBeside(path, temporary);
    if (fd < 0) {
        return SystemReason(errno);
    }
    bool ok = writeAll(fd, content) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return SystemReason(error);
    }
    syncFolder(path);
    return std::nullopt;
}

int CreateExclusive(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return errno;
    }
    ::close(fd);
    return 0;
}

bool LockedByAnother(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // also lets go of the lock taken just now
    return locked;
}

namespace {
// A second descriptor of the same folder in this process would wait for the first one
// forever: a lock taken inside another (a stop from within a start) is the outer one's.
thread_local int folderLockDepth = 0;
}  // namespace

FolderLock::FolderLock(const std::string& folder)
{
    if (folderLockDepth++ > 0) {
        return;
    }
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd_);
            fd_ = -1;
        }
    }
}

FolderLock::~FolderLock()
{
    --folderLockDepth;
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::optional<StagedOutput> StagedOutput::create(const std::string& target, std::string& error)
{
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return StagedOutput(target, std::string());
    }
    std::string destination = target;
    if (struct stat link{}; ::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* resolved = ::realpath(target.c_str(), nullptr);
        if (resolved != nullptr) {
            destination = resolved;
            std::free(resolved);
        }
    }
    std::string temporary;
    const int fd = openTemporaryBeside(destination, temporary);
    if (fd < 0) {
        error = SystemReason(errno);
        return std::nullopt;
    }
    // A replaced file keeps who may read it.
    if (::stat(destination.c_str(), &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
    }
    ::close(fd);
    return StagedOutput(temporary, destination);
}

StagedOutput::StagedOutput(StagedOutput&& other) noexcept
    : staged_(std::move(other.staged_)), target_(std::exchange(other.target_, std::string()))
{
}

StagedOutput::~StagedOutput()
{
    if (!target_.empty()) {
        ::unlink(staged_.c_str());
    }
}

std::optional<std::string> StagedOutput::commit()
{
    if (target_.empty()) {
        return std::nullopt;
    }
    if (::rename(staged_.c_str(), target_.c_str()) != 0) {
        return SystemReason(errno);
    }
    syncFolder(target_);
    target_.clear();
    return std::nullopt;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace quillon
