#include <QObject>

#include "capture/WaveInRecorder.h"
#include "ui/recording/EngineParts.h"

namespace quillon {
namespace {

class RecorderPart final : public OwnedCapture {
public:
    explicit RecorderPart(const CaptureBackend& backend) : recorder_(backend) {}

    [[nodiscard]] WaveInRecorder* object() override { return &recorder_; }
    [[nodiscard]] bool IsRecording() const override { return recorder_.IsRecording(); }
    bool StartRecord(std::int32_t samplerate, std::int16_t Channels) override
    {
        return recorder_.StartRecord(samplerate, Channels);
    }
    bool StopRecord() override { return recorder_.StopRecord(); }
    [[nodiscard]] std::int32_t DeviceCount() const override { return recorder_.DeviceCount(); }
    [[nodiscard]] std::string DeviceName(std::int32_t index) const override { return recorder_.DeviceName(index); }
    bool SelectDevice(std::int32_t index) override { return recorder_.SelectDevice(index); }
    [[nodiscard]] std::int32_t SelectedDevice() const override { return recorder_.SelectedDevice(); }
    [[nodiscard]] std::int32_t MixerLineCount() const override { return recorder_.MixerLineCount(); }
    [[nodiscard]] std::string MixerLineName(std::int32_t index) const override
    {
        return recorder_.MixerLineName(index);
    }
    bool SelectMixerLine(std::int32_t index) override { return recorder_.SelectMixerLine(index); }
    [[nodiscard]] std::int32_t SelectedMixerLine() const override { return recorder_.SelectedMixerLine(); }
    [[nodiscard]] std::int32_t MixerLineVolume() const override { return recorder_.MixerLineVolume(); }
    void MixerLineVolume(std::int32_t volume) override { recorder_.MixerLineVolume(volume); }
    void OnGotData(GotDataHandler handler) override
    {
        QObject::disconnect(connection_);
        connection_ =
            QObject::connect(&recorder_, &WaveInRecorder::GotData,
                             [handler = std::move(handler)](std::span<std::int16_t> buffer, std::int32_t& length) {
                                 handler(buffer, length);
                             });
    }

    [[nodiscard]] std::uint64_t DroppedBytes() const override { return recorder_.DroppedBytes(); }
    void OnDropout(DropoutHandler handler) override
    {
        QObject::disconnect(dropoutConnection_);
        dropoutConnection_ = QObject::connect(&recorder_, &WaveInRecorder::Dropout, std::move(handler));
    }
    void OnDeviceLost(std::function<void()> handler) override
    {
        QObject::disconnect(lostConnection_);
        lostConnection_ = QObject::connect(&recorder_, &WaveInRecorder::DeviceLost, std::move(handler));
    }

private:
    WaveInRecorder recorder_;
    QMetaObject::Connection connection_;
    QMetaObject::Connection lostConnection_;
    QMetaObject::Connection dropoutConnection_;
};

}  // namespace

std::unique_ptr<OwnedCapture> MakeCapturePart(const CaptureBackend& backend)
{
    return std::make_unique<RecorderPart>(backend);
}

}  // namespace quillon
