#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <QString>

namespace quillon {

// What recording needs of the capture engine, the encoder and the effects chain.
// Thin adapters (RecordingEngines) connect them to the real classes; tests may
// substitute their own.
class CapturePort {
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

// Whole number from 1 to 96000, the rates the effects chain accepts.
std::optional<std::int32_t> ParseSampleRate(const QString& text);

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

    // Start-up: counter from nu.ini, its file prepared. Returns the file's name.
    QString PrepareStartupFile();

    [[nodiscard]] const std::vector<std::int16_t>& intSamples() const { return intSamples_; }
    [[nodiscard]] std::int32_t lngElapsedMs() const { return lngElapsedMs_; }
    [[nodiscard]] std::int32_t lngBytesPerSec() const { return lngBytesPerSec_; }
    [[nodiscard]] const QString& programFolder() const { return programFolder_; }
    // The last recording ended on a write error.
    [[nodiscard]] bool WriteFailed() const { return writeFailed_; }
    // Bytes of audio the encoder refused (block too long or a failed conversion).
    [[nodiscard]] std::int64_t LostBytes() const { return lostBytes_; }

private:
    void encode(std::int32_t length);
    static void notice(const char* text);

    CapturePort& recorder_;
    EncoderPort& encoder_;
    EffectsPort& effects_;
    QString programFolder_;
    RecordingView& view_;

    std::vector<std::int16_t> intSamples_ = std::vector<std::int16_t>(1024, 0);
    std::int32_t lngElapsedMs_ = 0;
    std::int32_t lngBytesPerSec_ = 0;
    QString recordingFile_;
    bool writeFailed_ = false;
    std::int64_t lostBytes_ = 0;
};

}  // namespace quillon
