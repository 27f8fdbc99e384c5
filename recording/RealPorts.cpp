#include "recording/RealPorts.h"

#include <QObject>
#include <QString>

namespace quillon {

RealCapture::RealCapture(const CaptureBackend& backend) : recorder_(backend), waveIn_(backend.waveIn) {}

std::string RealCapture::StartFailureReason() const
{
    // A server that cannot be reached is named with the system's reason; otherwise the
    // capture says what went wrong (a source that has gone, say).
    if (const std::string reason = waveIn_ ? waveIn_->unavailableReason() : std::string(); !reason.empty()) {
        const QString server = qEnvironmentVariable("PULSE_SERVER", QStringLiteral("the default sound server"));
        return server.toStdString() + ": " + reason;
    }
    return recorder_.LastError();
}

void RealCapture::OnGotData(GotDataHandler handler)
{
    QObject::disconnect(gotData_);
    gotData_ = QObject::connect(&recorder_, &WaveInRecorder::GotData,
                                [handler = std::move(handler)](std::span<std::int16_t> buffer, std::int32_t& length) {
                                    handler(buffer, length);
                                });
}

void RealCapture::OnDropout(DropoutHandler handler)
{
    QObject::disconnect(dropout_);
    dropout_ = QObject::connect(&recorder_, &WaveInRecorder::Dropout, std::move(handler));
}

void RealCapture::OnDeviceLost(std::function<void()> handler)
{
    QObject::disconnect(deviceLost_);
    deviceLost_ = QObject::connect(&recorder_, &WaveInRecorder::DeviceLost, std::move(handler));
}

void RealCapture::OnDevicesChanged(std::function<void()> handler)
{
    QObject::disconnect(devicesChanged_);
    devicesChanged_ = QObject::connect(&recorder_, &WaveInRecorder::DevicesChanged, std::move(handler));
}

RealPorts::RealPorts() : RealPorts(pulseCaptureBackend()) {}

RealPorts::RealPorts(const CaptureBackend& backend)
    : capture_(std::make_unique<RealCapture>(backend)), encoder_(std::make_unique<RealEncoder>())
{
}

void RealPorts::Release()
{
    capture_.reset();
    encoder_.reset();
}

}  // namespace quillon
