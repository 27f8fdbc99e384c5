#include "encoder/platform/PosixFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace quillon {

static_assert(PosixFile::SEEK_SET_ == SEEK_SET && PosixFile::SEEK_CUR_ == SEEK_CUR && PosixFile::SEEK_END_ == SEEK_END);

PosixFile::~PosixFile()
{
    close();
}

PosixFile::PosixFile(PosixFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      position_(std::exchange(other.position_, 0)),
      regular_(std::exchange(other.regular_, false))
{
}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        position_ = std::exchange(other.position_, 0);
        regular_ = std::exchange(other.regular_, false);
    }
    return *this;
}

PosixFile PosixFile::create(const std::string& path, int* error)
{
    PosixFile file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666));
    const auto refuse = [&file, error] {
        if (error != nullptr) {
            *error = errno;
        }
        file.close();
    };
    if (!file.isOpen()) {
        refuse();
        return file;
    }
    if (::flock(file.fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        refuse();
        return file;
    }
    // Only a regular file has a length to cut; a device such as /dev/null is written as it is.
    struct stat st {};
    if (::fstat(file.fd_, &st) != 0 || (S_ISREG(st.st_mode) && !file.truncate(0))) {
        refuse();
    }
    file.regular_ = S_ISREG(st.st_mode);
    return file;
}

void PosixFile::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    position_ = 0;
    regular_ = false;
}

std::int64_t PosixFile::write(std::span<const std::uint8_t> bytes)
{
    if (fd_ < 0) {
        return 0;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return done == 0 ? -1 : static_cast<std::int64_t>(done);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
        position_ += n;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t PosixFile::seek(std::int64_t offset, int whence)
{
    if (fd_ < 0) {
        return -1;
    }
    const off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (at >= 0) {
        position_ = at;
    }
    return at;
}

std::int64_t PosixFile::position() const
{
    if (fd_ < 0) {
        return -1;
    }
    return regular_ ? position_ : ::lseek(fd_, 0, SEEK_CUR);
}

std::int64_t PosixFile::length() const
{
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        return -1;
    }
    return st.st_size;
}

bool PosixFile::truncate(std::int64_t length)
{
    return fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(length)) == 0;
}

bool PosixFile::writeAt(std::int64_t offset, std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return fd_ >= 0;
}

bool PosixFile::syncData()
{
    return fd_ >= 0 && ::fdatasync(fd_) == 0;
}

}  // namespace quillon
