#include "capture/fake/FakeWaveIn.h"

namespace quillon {

FakeWaveIn::FakeWaveIn() = default;

std::uint32_t FakeWaveIn::getNumDevs()
{
    return static_cast<std::uint32_t>(devices.size());
}

bool FakeWaveIn::getDevCaps(int device, WaveInCaps& caps)
{
    if (device < 0 || static_cast<std::size_t>(device) >= devices.size()) {
        return false;
    }
    caps.szPname = devices[static_cast<std::size_t>(device)];
    caps.szId = static_cast<std::size_t>(device) < ids.size() ? ids[static_cast<std::size_t>(device)] : std::string();
    return true;
}

bool FakeWaveIn::open(WaveInHandle& handle, int device, const WaveFormatEx& format, WindowHandle callback)
{
    calls.push_back("open " + std::to_string(device));
    lastFormat = format;
    lastDevice = device;
    lastCallback = callback;
    const bool known =
        device == WAVE_MAPPER ? !devices.empty() : device >= 0 && static_cast<std::size_t>(device) < devices.size();
    if (failOpen || !known || handle_ != 0 || format.nChannels == 0 || format.nSamplesPerSec == 0) {
        return false;
    }
    handle_ = nextHandle_++;
    handle = handle_;
    started_ = false;
    prepared_ = 0;
    assembler_ = std::make_unique<BufferAssembler>(backlogBytes, format.nBlockAlign, [this, callback](WaveHeader& h) {
        MessageWindow::postMessage(callback, MM_WIM_DATA, handle_, reinterpret_cast<std::intptr_t>(&h));
    });
    return true;
}

bool FakeWaveIn::prepareHeader(WaveInHandle handle, WaveHeader& header)
{
    calls.push_back("prepare " + std::to_string(header.dwUser));
    if (!valid(handle) || static_cast<int>(header.dwUser) == failPrepareAt) {
        return false;
    }
    header.dwFlags |= WHDR_PREPARED;
    ++prepared_;
    return true;
}

bool FakeWaveIn::unprepareHeader(WaveInHandle handle, WaveHeader& header)
{
    calls.push_back("unprepare " + std::to_string(header.dwUser));
    if (!valid(handle) || (header.dwFlags & WHDR_INQUEUE) != 0 || (header.dwFlags & WHDR_PREPARED) == 0) {
        return false;
    }
    header.dwFlags &= ~WHDR_PREPARED;
    --prepared_;
    return true;
}

bool FakeWaveIn::addBuffer(WaveInHandle handle, WaveHeader& header)
{
    calls.push_back("addBuffer " + std::to_string(header.dwUser));
    if (!valid(handle) || failAddBuffer || (header.dwFlags & WHDR_PREPARED) == 0 || assembler_->isQueued(header)) {
        return false;
    }
    assembler_->add(header);
    return true;
}

void FakeWaveIn::setDeliveryBytes(WaveInHandle /*handle*/, std::uint32_t bytes)
{
    calls.push_back("delivery " + std::to_string(bytes));
}

bool FakeWaveIn::start(WaveInHandle handle)
{
    calls.emplace_back("start");
    if (!valid(handle) || failStart) {
        return false;
    }
    started_ = true;
    return true;
}

bool FakeWaveIn::stop(WaveInHandle handle)
{
    calls.emplace_back("stop");
    if (!valid(handle)) {
        return false;
    }
    started_ = false;
    assembler_->finishCurrent();
    return true;
}

bool FakeWaveIn::reset(WaveInHandle handle)
{
    calls.emplace_back("reset");
    if (!valid(handle)) {
        return false;
    }
    started_ = false;
    assembler_->returnAll();
    return true;
}

bool FakeWaveIn::close(WaveInHandle handle)
{
    calls.emplace_back("close");
    if (!valid(handle) || assembler_->queued() != 0) {
        return false;
    }
    handle_ = 0;
    started_ = false;
    assembler_.reset();
    return true;
}

std::uint64_t FakeWaveIn::droppedBytes(WaveInHandle handle)
{
    return valid(handle) ? assembler_->dropped() : 0;
}

bool FakeWaveIn::feed(std::span<const std::int16_t> samples)
{
    if (!started_) {
        return false;
    }
    assembler_->write(reinterpret_cast<const std::byte*>(samples.data()), samples.size_bytes());
    return true;
}

void FakeWaveIn::loseDevice()
{
    if (handle_ != 0) {
        started_ = false;
        MessageWindow::postMessage(lastCallback, MM_WIM_DEVICELOST, handle_, 0);
    }
}

}  // namespace quillon
