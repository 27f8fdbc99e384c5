#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quillon {

// The output file of the encoder: a POSIX descriptor, closed by the destructor.
class PosixFile {
public:
    PosixFile() = default;
    ~PosixFile();
    PosixFile(PosixFile&& other) noexcept;
    PosixFile& operator=(PosixFile&& other) noexcept;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    // Creates or truncates `path` for writing; other processes may read it meanwhile.
    // Returns a closed file when the path is refused. The file stays locked (advisory,
    // flock) while open, so start-up repair and a second recorder keep their hands off;
    // a file another process holds locked is refused rather than truncated under it.
    // `error` receives errno when the path is refused (EWOULDBLOCK: another process holds it).
    static PosixFile create(const std::string& path, int* error = nullptr);

    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
    void close();
    // Bytes written: all of them, fewer when the disk fills up part-way, -1 when nothing could
    // be written, 0 when no file is open.
    std::int64_t write(std::span<const std::uint8_t> bytes);
    // New position from the start, or -1. whence is SEEK_SET / SEEK_CUR / SEEK_END.
    std::int64_t seek(std::int64_t offset, int whence);
    // Current position, or -1. For a regular file it is kept here rather than asked of the
    // kernel: the encoder wants it before every write.
    [[nodiscard]] std::int64_t position() const;
    [[nodiscard]] std::int64_t length() const;
    // Cuts the file back to `length` bytes (used to take back a partly written block).
    bool truncate(std::int64_t length);
    // Writes at `offset` without moving the position; true when every byte went out.
    bool writeAt(std::int64_t offset, std::span<const std::uint8_t> bytes);
    // Waits until the written data is on the disk (fdatasync).
    bool syncData();

    static constexpr int SEEK_SET_ = 0;
    static constexpr int SEEK_CUR_ = 1;
    static constexpr int SEEK_END_ = 2;

private:
    explicit PosixFile(int fd) : fd_(fd) {}
    int fd_ = -1;
    // The descriptor's offset in a regular file; only this object moves it (no O_APPEND).
    std::int64_t position_ = 0;
    bool regular_ = false;
};

}  // namespace quillon
