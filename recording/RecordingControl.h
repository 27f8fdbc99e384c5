#pragma once

#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <QString>

#include "recording/DeliveryPacing.h"

namespace quillon {

// What recording needs of the capture engine, the encoder and the effects chain.
// Thin adapters (RecordingEngines) connect them to the real classes; tests may
// substitute their own.
class CapturePort : public BufferHandOver {
public:
    virtual ~CapturePort() = default;
    [[nodiscard]] virtual bool IsRecording() const = 0;
    virtual bool StartRecord(std::int32_t samplerate, std::int16_t Channels) = 0;
    virtual bool StopRecord() = 0;

    // Devices and the selected device's recording lines.
    [[nodiscard]] virtual std::int32_t DeviceCount() const = 0;
    [[nodiscard]] virtual std::string DeviceName(std::int32_t index) const = 0;
    virtual bool SelectDevice(std::int32_t index) = 0;
    [[nodiscard]] virtual std::int32_t SelectedDevice() const = 0;
    [[nodiscard]] virtual std::int32_t MixerLineCount() const = 0;
    [[nodiscard]] virtual std::string MixerLineName(std::int32_t index) const = 0;
    virtual bool SelectMixerLine(std::int32_t index) = 0;
    [[nodiscard]] virtual std::int32_t SelectedMixerLine() const = 0;
    [[nodiscard]] virtual std::int32_t MixerLineVolume() const = 0;
    virtual void MixerLineVolume(std::int32_t volume) = 0;

    // The one listener of GotData: the slot's whole array and its valid bytes.
    using GotDataHandler = std::function<void(std::span<const std::int16_t>, std::int32_t)>;
    virtual void OnGotData(GotDataHandler handler) = 0;

    // Captured bytes the engine had to throw away since StartRecord.
    [[nodiscard]] virtual std::uint64_t DroppedBytes() const { return 0; }
    // Called with the length in bytes of audio the engine lost, in order: after the
    // GotData of the audio before the loss and before the GotData of the audio after it.
    using DropoutHandler = std::function<void(std::uint64_t)>;
    virtual void OnDropout(DropoutHandler /*handler*/) {}
    // Why the last StartRecord failed (sound server and the system's reason); empty when unknown.
    [[nodiscard]] virtual std::string StartFailureReason() const { return {}; }
    // Called when the device or the sound server goes away during a recording.
    virtual void OnDeviceLost(std::function<void()> /*handler*/) {}

    // What identifies device `index` wherever it moves in the list; empty when unknown.
    [[nodiscard]] virtual std::string DeviceId(std::int32_t /*index*/) const { return {}; }
    // True when recording line `index` has nothing plugged in.
    [[nodiscard]] virtual bool MixerLineUnplugged(std::int32_t /*index*/) const { return false; }
    [[nodiscard]] virtual std::string SelectedDeviceId() const { return {}; }
    // Why the last start failed, or why the sound server ended a recording; empty: nothing to say.
    [[nodiscard]] virtual std::string LastError() const { return {}; }
    // Empty while the sound server can be reached, otherwise why it cannot.
    [[nodiscard]] virtual std::string ServerProblem() const { return {}; }
    // Called when devices may have come, gone or changed, or the sound server came or went.
    virtual void OnDevicesChanged(std::function<void()> /*handler*/) {}
};

class EncoderPort {
public:
    virtual ~EncoderPort() = default;
    virtual std::int32_t Encoder_EncoderInit(std::int32_t samplerate, std::int16_t Channels,
                                             const std::string& fileName) = 0;
    virtual std::int32_t Encoder_Encode(const void* buffer, std::int32_t length, std::int32_t& used) = 0;
    virtual std::int32_t Encoder_EncoderClose() = 0;
    // info 1: bytes per second of the source format, i.e. the largest block
    // Encoder_Encode takes; -1 when no file is open.
    virtual std::int32_t Encoder_EncoderMetrics(std::int32_t info) = 0;

    [[nodiscard]] virtual std::string FormatTag() const = 0;
    [[nodiscard]] virtual std::string FormatID() const = 0;

    // Length of the open file, -1 when none is open.
    [[nodiscard]] virtual std::int64_t Encoder_FileLength() const { return -1; }
    // The most bytes the next Encoder_Encode of `length` source bytes can add.
    [[nodiscard]] virtual std::int64_t Encoder_MaxOutputBytes(std::int32_t /*length*/) const { return 0; }
    // Why the last file could not be created (the system's text); empty when unknown.
    [[nodiscard]] virtual std::string Encoder_FileError() const { return {}; }
    // Finishes the open file and goes on in `fileName` without losing a sample; 0 or 2.
    virtual std::int32_t Encoder_NextFile(const std::string& /*fileName*/) { return 2; }
};

class EffectsPort {
public:
    virtual ~EffectsPort() = default;
    virtual void samplerate(std::int32_t rate) = 0;
    virtual void Channels(std::int16_t channels) = 0;
    virtual void ProcessSamples(std::vector<std::int16_t>& samples) = 0;
    [[nodiscard]] virtual std::int32_t EffectsUsed() const = 0;
    virtual void EffectsUsed(std::int32_t bits) = 0;
};

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
    // Milliseconds of audio the capture engine dropped in the current (or last) recording.
    [[nodiscard]] std::int32_t DroppedMs() const { return droppedMs_; }

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
    // Saves intFileCounter to nu.ini; tells the user when that fails.
    void saveCounter();
    void writeFailed();
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
};

}  // namespace quillon
