#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

// This library builds without Qt; the mark is only read by lupdate. Spelled as Qt spells it,
// so that Qt's own definition may follow.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace quillon {

// Random access to the bytes of a file, or of a buffer in tests and the fuzzer.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    [[nodiscard]] virtual std::uint64_t size() const = 0;
    // Fills `out` from `offset`; false when fewer bytes are there.
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    [[nodiscard]] std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    std::span<const std::uint8_t> bytes_;
};

enum class WavVerdict {
    NotWav,         // no RIFF/WAVE signature: left alone
    Intact,         // header matches the length
    Repairable,     // the plan's sizes (and length) mend it
    Unrecoverable,  // a RIFF/WAVE file whose format or data chunk cannot be found
    TooLarge,       // sizes cannot describe a file this long; left alone
};

// What a repair does: cut the file to `newLength` (never longer than it was)
// and write the two size fields.
struct WavRepairPlan {
    WavVerdict verdict = WavVerdict::NotWav;
    std::uint64_t newLength = 0;
    std::uint32_t riffSize = 0;
    std::uint64_t dataSizeOffset = 0;  // offset of the data chunk's size field
    std::uint32_t dataSize = 0;
    // What was cut was our marker chunks torn by a crash at the stop, not part of a frame.
    bool tornMarkers = false;
    // Markers of the take's side file written into it by repairWavFile.
    std::size_t markersRestored = 0;
};

// Reads a RIFF/WAVE file left behind by a recording that did not end cleanly:
// the sizes are taken from the length, and a trailing partial block is cut off
// so the data holds whole frames. A file whose chunks already account for its
// length exactly is intact, whatever chunks it has.
[[nodiscard]] WavRepairPlan planWavRepair(const ByteSource& src);

// Applies a Repairable plan to bytes in memory (tests and fuzzing).
void applyWavRepair(std::vector<std::uint8_t>& bytes, const WavRepairPlan& plan);

// Failed: the file needed repair but could not be written. Unreadable: not even opened.
enum class WavRepairOutcome { Repaired, Intact, NotWav, Unrecoverable, TooLarge, Busy, Failed, Unreadable };

// Repairs one file in place. A file another process is recording into (it holds
// the file's lock) is left alone as Busy. Symbolic links are not followed.
// `applied` receives the plan of a file that was repaired. The markers of a side file the
// recording left (MarkerSidePath) are appended when the file has none, and the side file
// removed; a file that needed nothing else then counts as repaired too.
WavRepairOutcome repairWavFile(const std::filesystem::path& file, WavRepairPlan* applied = nullptr);

// What a repair would find in `file`, changing nothing; NotWav when it cannot be read.
[[nodiscard]] WavVerdict wavFileVerdict(const std::filesystem::path& file);

struct FolderRepairReport {
    std::vector<std::filesystem::path> repaired;
    std::vector<std::filesystem::path> unrecoverable;  // left as they were
    [[nodiscard]] bool empty() const { return repaired.empty() && unrecoverable.empty(); }
};

// Repairs every *.wav file directly inside `folder`; a missing folder gives an empty report.
FolderRepairReport repairWavFolder(const std::filesystem::path& folder);

// The headings recoveryMessage writes above its lists of files, marked for the program's
// translation, which translates the message line by line.
inline constexpr const char* kRepairedHeading = QT_TRANSLATE_NOOP("Quillon", "以下录音没有正常结束，已经修复:");
inline constexpr const char* kUnrepairableHeading = QT_TRANSLATE_NOOP("Quillon", "以下文件无法修复，保持原样:");

// The text telling the user which recordings were recovered; empty when there is nothing to say.
[[nodiscard]] std::string recoveryMessage(const FolderRepairReport& report);

}  // namespace quillon
