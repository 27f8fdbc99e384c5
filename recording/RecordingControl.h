#pragma once

#include <QtGlobal>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <QString>

#include "recording/RecordingPorts.h"
#include "recording/SoundTrigger.h"

namespace quillon {

// The owner's controls: the window changes captions and frames, the
// command-line tool prints.
class RecordingView {
public:
    virtual ~RecordingView() = default;
    // Caption "停止录音", input and output frames disabled.
    virtual void RecordingStarted() = 0;
    // Caption "开始录音", `nextFile` into the file box, frames enabled.
    virtual void RecordingStopped(const QString& nextFile) = 0;
    // The recording goes on in `file`, the previous one having reached the size limit.
    virtual void RecordingContinued(const QString& /*file*/) {}
};

// The record button's inputs, read from the controls at each click.
struct RecordInputs {
    QString file;                 // txtFile
    QString rateText;             // cboSamplerate
    bool stereo = true;           // chkStereo
    bool deviceSelected = false;  // an entry of cboDev is chosen (or the default source is wanted)
};

// Encoder result code for a write that fell short.
inline constexpr std::int32_t kEncoderWriteError = 10;

// A WAV header's sizes end at 4 GiB; a file goes no further than this before the
// recording continues in the next numbered file (1 MiB short, for the last block).
inline constexpr std::int64_t kDefaultFileSizeLimit = (std::int64_t{1} << 32) - (std::int64_t{1} << 20);

// Whole number from 1 to 96000, the rates the effects chain accepts.
std::optional<std::int32_t> ParseSampleRate(const QString& text);
// What the user is told about any other rate text.
inline constexpr const char* kInvalidRateText =
    QT_TRANSLATE_NOOP("Quillon", "取样频率无效, 请输入 1 到 96000 之间的整数!");
// Bytes a second of 16-bit capture for the inputs' rate and channels; none for a bad rate.
std::optional<std::int32_t> BytesPerSecond(const RecordInputs& inputs);

// The record button's start and stop sequences and the capture engine's
// GotData handler, shared by the main window and `quillon-cli record`.
// Everything runs on the thread that delivers GotData.
class RecordingControl {
public:
    RecordingControl(CapturePort& recorder, EncoderPort& encoder, EffectsPort& effects, QString programFolder,
                     RecordingView& view);

    // Record button: start when the capture engine is idle, stop when it records.
    void cmdDo_Click(const RecordInputs& inputs);
    void StartSequence(const RecordInputs& inputs);
    // The start sequence's first checks (file, device, rate), with their messages; a start
    // set for later is checked when it is set, not first when nobody is there.
    bool CheckInputs(const RecordInputs& inputs);
    void StopSequence();

    // One filled capture buffer: the slot's whole array and its valid bytes.
    void GotData(std::span<const std::int16_t> intBuffer, std::int32_t lngLen);

    // With numbering off (a file named on the command line) the counter, nu.ini
    // and the next numbered file are left alone.
    void AutomaticNumbering(bool on) { numbering_ = on; }
    [[nodiscard]] bool AutomaticNumbering() const { return numbering_; }

    // A file named by the user (the command line's --out): numbering is off, and every
    // later file of this run (another round, the size limit) is the next of FILE-2.wav,
    // FILE-3.wav ... that does not exist yet.
    void OutputFile(const QString& file);
    // Creates and returns that next name; nothing, with the reason, when it cannot.
    std::optional<QString> NextOutputFile(std::string* reason = nullptr);

    // Start-up: counter from nu.ini, its file prepared. Returns the file's name.
    QString PrepareStartupFile();

    // The capture engine lost its device or sound server: stop as the record button
    // does, then tell the user.
    void DeviceLost();
    // The capture engine lost `bytes` of audio at this point of the recording.
    void Dropout(std::uint64_t bytes);

    // Bytes a file may reach before the recording continues in the next numbered file.
    [[nodiscard]] std::int64_t SizeLimit() const { return sizeLimit_; }
    void SizeLimit(std::int64_t bytes) { sizeLimit_ = bytes; }
    // Audio the capture engine dropped is written as silence of the same length, so the
    // time line of the file stays true (on by default).
    [[nodiscard]] bool FillDropouts() const { return fillDropouts_; }
    void FillDropouts(bool on) { fillDropouts_ = on; }
    // Sound-activated recording from the next start: the capture runs armed, nothing is written
    // until sound comes, and a take ends on silence as the settings say. None: record at once.
    void SoundActivation(std::optional<SoundTriggerSettings> settings) { soundActivation_ = settings; }
    [[nodiscard]] const std::optional<SoundTriggerSettings>& SoundActivation() const { return soundActivation_; }
    // Capturing and waiting for sound; the file is open but holds no audio of this take yet.
    [[nodiscard]] bool Armed() const { return trigger_ != nullptr && trigger_->Armed() && recorder_.IsRecording(); }
    // Takes begun since the start.
    [[nodiscard]] std::int32_t TakesStarted() const { return takesStarted_; }
    // Milliseconds of audio the capture engine dropped in the current (or last) recording.
    [[nodiscard]] std::int32_t DroppedMs() const { return droppedMs_; }

    // A marker labelled "标记" where the recording is now (the M key, the session bus's Mark);
    // false while idle.
    bool Mark();
    // A marker with its own label at the current point (sound-activated starts, splits).
    bool AddMarker(const QString& label);
    // Markers of the current (or last) recording: dropouts, runs of clipped samples (clipped
    // samples less than half a second apart make one), and all of them.
    [[nodiscard]] std::int32_t DropoutCount() const { return dropoutCount_; }
    [[nodiscard]] std::int32_t ClipCount() const { return clipCount_; }
    [[nodiscard]] std::int32_t MarkerCount() const { return markerCount_; }
    // Seconds of the current format the disk holding the take still has room for, checked
    // once a second of recording; -1 when unknown or idle. At five minutes the user is told
    // once, after the buffer at hand is written.
    [[nodiscard]] std::int64_t DiskSecondsLeft() const { return diskSecondsLeft_; }
    static constexpr std::int64_t kDiskWarningSeconds = 300;
    // Where the free bytes for a file come from (the file system by default; tests).
    using FreeBytes = std::function<std::int64_t(const QString& file)>;
    void FreeBytesSource(FreeBytes source) { freeBytes_ = std::move(source); }

    [[nodiscard]] const std::vector<std::int16_t>& intSamples() const { return intSamples_; }
    // Goes up by one with every block GotData takes in, so the display can tell a new
    // intSamples from the one it drew; 0 before the first.
    [[nodiscard]] std::uint64_t BlockSerial() const { return blockSerial_; }
    [[nodiscard]] std::int32_t lngElapsedMs() const { return lngElapsedMs_; }
    // Length of the file being written, from the encoder's open file; -1 when it cannot tell.
    [[nodiscard]] std::int64_t FileLength() const { return encoder_.Encoder_FileLength(); }
    [[nodiscard]] std::int32_t lngBytesPerSec() const { return lngBytesPerSec_; }
    [[nodiscard]] const QString& programFolder() const { return programFolder_; }
    // The file being written now; empty while idle.
    [[nodiscard]] QString RecordingFile() const { return recorder_.IsRecording() ? recordingFile_ : QString(); }
    // The last recording ended because the device or the sound server went away.
    [[nodiscard]] bool DeviceWasLost() const { return deviceLost_; }
    // The last recording ended on a write error.
    [[nodiscard]] bool WriteFailed() const { return writeFailed_; }
    // Bytes of audio the encoder refused (block too long or a failed conversion).
    [[nodiscard]] std::int64_t LostBytes() const { return lostBytes_; }

private:
    void encode(std::int32_t length);
    // Hands `length` bytes to the encoder in pieces it accepts; false when a write error
    // ended the recording.
    bool encodeBytes(const unsigned char* bytes, std::int32_t length);
    // Brings the dropped time shown up to what the capture engine has counted.
    void countDropouts();
    bool continueInNextFile();
    // Marks the clipped samples among `count` bytes about to be written at fileFrames_.
    void findClipping(const unsigned char* bytes, std::int32_t count);
    // Writes the pending run of clipped samples as one marker.
    void closeClipRun();
    void checkDiskSpace();
    // Saves intFileCounter to nu.ini; tells the user when that fails.
    void saveCounter();
    void writeFailed();
    // The sound-activated path of GotData: only a take's audio reaches the encoder.
    void triggered(std::span<const std::int16_t> captured, std::int32_t length);
    static void notice(const std::string& text);

    CapturePort& recorder_;
    EncoderPort& encoder_;
    EffectsPort& effects_;
    QString programFolder_;
    RecordingView& view_;

    std::vector<std::int16_t> intSamples_ = std::vector<std::int16_t>(1024, 0);
    std::uint64_t blockSerial_ = 0;
    std::int32_t lngElapsedMs_ = 0;
    std::int32_t lngBytesPerSec_ = 0;
    QString recordingFile_;
    bool numbering_ = true;
    QString outputBase_;
    int outputIndex_ = 1;
    bool writeFailed_ = false;
    bool saveFailed_ = false;
    bool deviceLost_ = false;
    std::int64_t sizeLimit_ = kDefaultFileSizeLimit;
    bool fillDropouts_ = true;
    std::int32_t droppedMs_ = 0;
    std::int16_t channels_ = 2;
    std::int64_t lostBytes_ = 0;
    std::optional<SoundTriggerSettings> soundActivation_;
    std::unique_ptr<SoundTrigger> trigger_;
    bool takeInFile_ = false;  // the open file holds a take (else a stop removes it)
    std::int32_t takesStarted_ = 0;
    // Frames of the capture format handed to the encoder for the open file.
    std::int64_t fileFrames_ = 0;
    std::int32_t dropoutCount_ = 0;
    std::int32_t clipCount_ = 0;
    std::int32_t markerCount_ = 0;
    // The run of clipped samples not yet marked: its first and last frame and its samples.
    std::int64_t clipRunStart_ = -1;
    std::int64_t clipRunLast_ = 0;
    std::int64_t clipRunSamples_ = 0;
    std::int64_t outputBytesPerSec_ = 0;
    std::int64_t diskSecondsLeft_ = -1;
    std::int32_t diskCheckedMs_ = 0;
    bool diskWarned_ = false;
    FreeBytes freeBytes_;
};

}  // namespace quillon
