#include "capture/WaveInRecorder.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillon {
namespace {

constexpr const char* kNotifyCaption = "WAVE_IN_WINDOW";

std::string upToNul(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

}  // namespace

WaveInRecorder::WaveInRecorder(CaptureBackend backend, QObject* parent)
    : QObject(parent),
      backend_(std::move(backend)),
      callback_([this](bool bBefore, bool& bHandled, std::intptr_t& lReturn, WindowHandle hWnd, std::uint32_t uMsg,
                       std::uintptr_t wParam, std::intptr_t lParam, std::int32_t& lParamUser) {
          WindowCallback(bBefore, bHandled, lReturn, hWnd, uMsg, wParam, lParam, lParamUser);
      }),
      hook_("WaveInRecorder", *this)
{
    // From the service's thread: one queued call per burst of events.
    backend_.waveIn->setChangeListener([this, pending = changePending_] {
        if (!pending->exchange(true)) {
            QMetaObject::invokeMethod(
                this,
                [this, pending] {
                    pending->store(false);
                    emit DevicesChanged();
                },
                Qt::QueuedConnection);
        }
    });
}

WaveInRecorder::~WaveInRecorder()
{
    backend_.waveIn->setChangeListener(nullptr);
    if (IsRecording()) {
        StopRecord();
    }
    if (hMixer_ != 0) {
        backend_.mixer->close(hMixer_);
        hMixer_ = 0;
    }
}

bool WaveInRecorder::StartRecord(std::int32_t samplerate, std::int16_t Channels)
{
    // A second start would leak the open device and its queued buffers.
    if (IsRecording()) {
        return false;
    }
    if (bufferCount_ < 1 || bufferSize_ < 2) {
        return false;
    }
    auto ring = std::make_shared<Ring>(static_cast<std::size_t>(bufferCount_));
    ring_ = ring;
    CreateNotifyWindow();
    const WaveFormatEx format = MakePCMFormat(samplerate, Channels, 16);

    WaveIn& waveIn = *backend_.waveIn;
    lastError_.clear();
    // The chosen device is opened by what identifies it, not by where it was in the list.
    std::int32_t device = selectedDevice_;
    if (device != -1 && !selectedId_.empty()) {
        device = FindDevice(selectedId_);
        if (device == -1) {
            lastError_ = "录音设备 \"" + selectedName_ + "\" 已不存在";
            ReleaseNotifyWindow();
            return false;
        }
        selectedDevice_ = device;
    }
    if (!waveIn.open(hWaveIn_, device, format, hWnd_)) {
        hWaveIn_ = 0;
        lastError_ = waveIn.unavailableReason();
        ReleaseNotifyWindow();
        return false;
    }
    // Enough samples to hold BufferSize bytes, odd sizes included.
    const auto sampleCount = static_cast<std::size_t>((bufferSize_ + 1) / 2);
    for (std::size_t i = 0; i < ring->size(); ++i) {
        WaveInBuffer& slot = (*ring)[i];
        slot.samples.assign(sampleCount, 0);
        slot.header = WaveHeader{};
        slot.header.lpData = reinterpret_cast<std::byte*>(slot.samples.data());
        slot.header.dwBufferLength = static_cast<std::uint32_t>(bufferSize_);
        slot.header.dwUser = i;
        if (!waveIn.prepareHeader(hWaveIn_, slot.header)) {
            for (std::size_t j = 0; j < i; ++j) {
                waveIn.unprepareHeader(hWaveIn_, (*ring)[j].header);
            }
            waveIn.close(hWaveIn_);
            hWaveIn_ = 0;
            ReleaseNotifyWindow();
            return false;
        }
    }
    const std::int32_t batch = std::min(deliveryBuffers_, bufferCount_ - 1);
    if (batch > 1) {
        waveIn.setDeliveryBytes(hWaveIn_, static_cast<std::uint32_t>(batch) * static_cast<std::uint32_t>(bufferSize_));
    }
    if (!waveIn.start(hWaveIn_)) {
        for (auto& slot : *ring) {
            waveIn.unprepareHeader(hWaveIn_, slot.header);
        }
        waveIn.close(hWaveIn_);
        hWaveIn_ = 0;
        ReleaseNotifyWindow();
        return false;
    }
    droppedAtStop_ = 0;
    // Capture runs before the buffers are queued; a failed queue only takes that slot out of the cycle.
    for (auto& slot : *ring) {
        waveIn.addBuffer(hWaveIn_, slot.header);
    }
    return true;
}

bool WaveInRecorder::StopRecord()
{
    if (hWaveIn_ != 0) {
        WaveIn& waveIn = *backend_.waveIn;
        waveIn.stop(hWaveIn_);
        waveIn.reset(hWaveIn_);
        if (ring_) {
            for (auto& slot : *ring_) {
                waveIn.unprepareHeader(hWaveIn_, slot.header);
            }
        }
        droppedAtStop_ = waveIn.droppedBytes(hWaveIn_);
        waveIn.close(hWaveIn_);
        hWaveIn_ = 0;
        lastError_ = waveIn.unavailableReason();
    }
    // The buffers the reset handed back were posted to this window and go with it.
    ReleaseNotifyWindow();
    return true;
}

std::uint64_t WaveInRecorder::DroppedBytes() const
{
    return IsRecording() ? backend_.waveIn->droppedBytes(hWaveIn_) : droppedAtStop_;
}

void WaveInRecorder::BufferDone(std::intptr_t lParam)
{
    // Only the headers of the running ring are readable here; anything else
    // (null, or left over from an earlier recording) is ignored.
    if (hWaveIn_ == 0 || !ring_ || lParam == 0) {
        return;
    }
    const std::shared_ptr<Ring> ring = ring_;
    const auto it = std::find_if(ring->begin(), ring->end(), [lParam](const WaveInBuffer& slot) {
        return reinterpret_cast<std::intptr_t>(&slot.header) == lParam;
    });
    if (it == ring->end()) {
        return;
    }
    const WaveHeader header = it->header;
    if (header.dwUser >= ring->size()) {
        return;
    }
    WaveInBuffer& slot = (*ring)[header.dwUser];
    if (header.droppedBefore > 0) {
        emit Dropout(header.droppedBefore);
        if (ring_ != ring || hWaveIn_ == 0) {
            return;
        }
    }
    std::int32_t lngLen = static_cast<std::int32_t>(header.dwBytesRecorded);
    emit GotData(std::span<std::int16_t>(slot.samples), lngLen);
    // After a StopRecord inside the listener this fails (the device is closed),
    // as it should; a ring replaced by a new recording is not ours to queue.
    if (ring_ == ring) {
        backend_.waveIn->addBuffer(hWaveIn_, slot.header);
    }
}

void WaveInRecorder::WindowCallback(bool /*bBefore*/, bool& /*bHandled*/, std::intptr_t& /*lReturn*/,
                                    WindowHandle /*hWnd*/, std::uint32_t uMsg, std::uintptr_t wParam,
                                    std::intptr_t lParam, std::int32_t& /*lParamUser*/)
{
    if (uMsg == MM_WIM_DATA) {
        BufferDone(lParam);
    } else if (uMsg == MM_WIM_DEVICELOST && hWaveIn_ != 0 && wParam == hWaveIn_) {
        emit DeviceLost();
    }
}

void WaveInRecorder::CreateNotifyWindow()
{
    notifyWindow_ = std::make_unique<MessageWindow>(kNotifyCaption);
    notifyWindow_->setPostLatency(notifyLatency_);
    hWnd_ = notifyWindow_->handle();
    HookNotifyWindow(hWnd_);
}

void WaveInRecorder::DeliverWaiting(std::size_t limit)
{
    if (notifyWindow_) {
        notifyWindow_->deliverWaiting(limit);
    }
}

std::size_t WaveInRecorder::WaitingCount() const
{
    return notifyWindow_ ? notifyWindow_->waitingCount() : 0;
}

void WaveInRecorder::HookNotifyWindow(WindowHandle window)
{
    hWnd_ = window;
    hook_.sc_Subclass(window, 0, 1, this, true);
    hook_.sc_HookMessage(window, static_cast<std::int32_t>(MM_WIM_DATA), MessageHook::MSG_AFTER);
    hook_.sc_HookMessage(window, static_cast<std::int32_t>(MM_WIM_DEVICELOST), MessageHook::MSG_AFTER);
}

void WaveInRecorder::UnhookNotifyWindow()
{
    if (hWnd_ != 0) {
        hook_.sc_UnSubclass(hWnd_);
    }
}

void WaveInRecorder::ReleaseNotifyWindow()
{
    const WindowHandle window = hWnd_;
    UnhookNotifyWindow();
    if (window != 0) {
        notifyWindow_.reset();
    }
    hWnd_ = 0;
}

std::int32_t WaveInRecorder::DeviceCount() const
{
    return static_cast<std::int32_t>(backend_.waveIn->getNumDevs());
}

std::string WaveInRecorder::DeviceName(std::int32_t Index) const
{
    WaveInCaps caps;
    if (!backend_.waveIn->getDevCaps(Index, caps)) {
        return {};
    }
    return upToNul(caps.szPname);
}

std::string WaveInRecorder::DeviceId(std::int32_t Index) const
{
    WaveInCaps caps;
    return backend_.waveIn->getDevCaps(Index, caps) ? caps.szId : std::string();
}

std::int32_t WaveInRecorder::FindDevice(const std::string& id) const
{
    const std::int32_t count = DeviceCount();
    for (std::int32_t i = 0; i < count; ++i) {
        if (DeviceId(i) == id) {
            return i;
        }
    }
    return -1;
}

bool WaveInRecorder::SelectDevice(std::int32_t Index)
{
    if (Index < 0 || Index > DeviceCount() - 1) {
        return false;
    }
    selectedDevice_ = -1;
    selectedId_.clear();
    selectedName_.clear();
    if (hMixer_ != 0) {
        backend_.mixer->close(hMixer_);
        hMixer_ = 0;
    }
    MixerHandle handle = 0;
    if (!backend_.mixer->open(handle, Index)) {
        handle = 0;
    }
    hMixer_ = handle;
    if (hMixer_ != 0) {
        selectedDevice_ = Index;
        WaveInCaps caps;
        if (backend_.waveIn->getDevCaps(Index, caps)) {
            selectedId_ = caps.szId;
            selectedName_ = upToNul(caps.szPname);
        }
        return true;
    }
    return false;
}

// ---- Mixer lines and recording volume ----

bool WaveInRecorder::FindWaveInDestination(std::uint32_t& destination) const
{
    MixerCaps caps;
    if (!backend_.mixer->getDevCaps(hMixer_, caps)) {
        return false;
    }
    for (std::uint32_t d = 0; d < caps.cDestinations; ++d) {
        MixerLine line;
        line.dwDestination = d;
        if (backend_.mixer->getLineInfo(hMixer_, line, MIXER_GETLINEINFOF_DESTINATION) &&
            line.dwComponentType == MIXERLINE_COMPONENTTYPE_DST_WAVEIN) {
            destination = d;
            return true;
        }
    }
    return false;
}

std::int32_t WaveInRecorder::MixerLineCount() const
{
    if (selectedDevice_ == -1) {
        return 0;
    }
    std::uint32_t d = 0;
    if (!FindWaveInDestination(d)) {
        return 0;
    }
    MixerLine line;
    line.dwDestination = d;
    if (!backend_.mixer->getLineInfo(hMixer_, line, MIXER_GETLINEINFOF_DESTINATION)) {
        return 0;
    }
    return static_cast<std::int32_t>(line.cConnections);
}

std::string WaveInRecorder::MixerLineName(std::int32_t Index) const
{
    if (selectedDevice_ == -1) {
        return {};
    }
    std::uint32_t d = 0;
    if (!FindWaveInDestination(d)) {
        return {};
    }
    MixerLine line;
    line.dwDestination = d;
    line.dwSource = static_cast<std::uint32_t>(Index);
    if (!backend_.mixer->getLineInfo(hMixer_, line, MIXER_GETLINEINFOF_SOURCE)) {
        return {};
    }
    return upToNul(line.szName);
}

bool WaveInRecorder::SelectMixerLine(std::int32_t Index)
{
    if (selectedDevice_ == -1) {
        return false;
    }
    const std::int32_t item = MixerLineCount() - Index - 1;
    return SelectLineItem(item);
}

int WaveInRecorder::QueryMuxControls(std::vector<MixerControl>& controls) const
{
    MixerLine byType;
    byType.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    if (!backend_.mixer->getLineInfo(hMixer_, byType, MIXER_GETLINEINFOF_COMPONENTTYPE)) {
        return 1;
    }
    MixerLine destination;
    destination.dwDestination = byType.dwDestination;
    if (!backend_.mixer->getLineInfo(hMixer_, destination, MIXER_GETLINEINFOF_DESTINATION)) {
        return 0;
    }
    controls.assign(destination.cControls, MixerControl{});
    if (!backend_.mixer->getLineControlsByType(hMixer_, destination.dwLineID, MIXERCONTROL_CONTROLTYPE_MUX, controls)) {
        return 0;
    }
    return 2;
}

bool WaveInRecorder::SelectLineItem(std::int32_t item)
{
    std::vector<MixerControl> controls;
    const int found = QueryMuxControls(controls);
    if (found != 2) {
        return found == 1;
    }
    const std::uint32_t items = controls.front().cMultipleItems;
    if (item < 0 || static_cast<std::uint32_t>(item) >= items) {
        return true;
    }
    for (const MixerControl& control : controls) {
        if ((control.dwControlType & MIXERCONTROL_CONTROLTYPE_MUX) != MIXERCONTROL_CONTROLTYPE_MUX) {
            continue;
        }
        std::vector<std::uint32_t> values(control.cMultipleItems, 0);
        backend_.mixer->getControlDetails(hMixer_, control.dwControlID, 1, control.cMultipleItems, values);
        for (std::uint32_t j = 0; j < control.cMultipleItems; ++j) {
            values[j] = j == static_cast<std::uint32_t>(item) ? 1 : 0;
        }
        backend_.mixer->setControlDetails(hMixer_, control.dwControlID, 1, control.cMultipleItems, values);
    }
    return true;
}

std::int32_t WaveInRecorder::GetSelectedLineItem() const
{
    std::vector<MixerControl> controls;
    if (QueryMuxControls(controls) != 2) {
        return 0;
    }
    std::int32_t result = 0;
    for (const MixerControl& control : controls) {
        if ((control.dwControlType & MIXERCONTROL_CONTROLTYPE_MUX) != MIXERCONTROL_CONTROLTYPE_MUX) {
            continue;
        }
        std::vector<std::uint32_t> values(control.cMultipleItems, 0);
        backend_.mixer->getControlDetails(hMixer_, control.dwControlID, 1, control.cMultipleItems, values);
        for (std::uint32_t j = 0; j < control.cMultipleItems; ++j) {
            if (values[j] != 0) {
                result = static_cast<std::int32_t>(j);
            }
        }
    }
    return result;
}

std::int32_t WaveInRecorder::SelectedMixerLine() const
{
    return MixerLineCount() - GetSelectedLineItem() - 1;
}

std::int32_t WaveInRecorder::MixerLineType(std::int32_t Index) const
{
    std::uint32_t d = 0;
    if (!FindWaveInDestination(d)) {
        return 0;
    }
    if (Index == -1) {
        Index = SelectedMixerLine();
    }
    MixerLine line;
    line.dwDestination = d;
    line.dwSource = static_cast<std::uint32_t>(Index);
    if (!backend_.mixer->getLineInfo(hMixer_, line, MIXER_GETLINEINFOF_SOURCE)) {
        return 0;
    }
    return static_cast<std::int32_t>(line.dwComponentType);
}

bool WaveInRecorder::MixerLineUnplugged(std::int32_t Index) const
{
    std::uint32_t d = 0;
    if (selectedDevice_ == -1 || !FindWaveInDestination(d)) {
        return false;
    }
    MixerLine line;
    line.dwDestination = d;
    line.dwSource = static_cast<std::uint32_t>(Index);
    return backend_.mixer->getLineInfo(hMixer_, line, MIXER_GETLINEINFOF_SOURCE) &&
           (line.fdwLine & MIXERLINE_LINEF_DISCONNECTED) != 0;
}

std::uint32_t WaveInRecorder::FindLineControl(std::uint32_t componentType, std::uint32_t controlType,
                                              std::uint32_t lineID) const
{
    MixerLine byType;
    byType.dwComponentType = componentType;
    if (!backend_.mixer->getLineInfo(hMixer_, byType, MIXER_GETLINEINFOF_COMPONENTTYPE)) {
        return 0;
    }
    MixerControl control;
    if (!backend_.mixer->getLineControlsByType(hMixer_, lineID, controlType, {&control, 1})) {
        return 0;
    }
    return control.dwControlID;
}

void WaveInRecorder::SetLineVolume(std::uint32_t destination, std::int32_t source, std::span<const std::uint32_t> pair)
{
    MixerLine line;
    line.dwDestination = destination;
    line.dwSource = static_cast<std::uint32_t>(source);
    if (!backend_.mixer->getLineInfo(hMixer_, line, MIXER_GETLINEINFOF_SOURCE)) {
        return;
    }
    const std::uint32_t control = FindLineControl(line.dwComponentType, MIXERCONTROL_CONTROLTYPE_VOLUME, line.dwLineID);
    // One value per channel; a line with more than two channels gets the left value in the rest.
    std::vector<std::uint32_t> values(std::max<std::size_t>(line.cChannels, pair.size()), pair.front());
    std::copy(pair.begin(), pair.end(), values.begin());
    backend_.mixer->setControlDetails(hMixer_, control, line.cChannels, 0, values);
}

std::vector<std::uint32_t> WaveInRecorder::GetLineVolume(std::uint32_t destination, std::int32_t source) const
{
    MixerLine line;
    line.dwDestination = destination;
    line.dwSource = static_cast<std::uint32_t>(source);
    std::vector<std::uint32_t> values(2, 0);
    if (!backend_.mixer->getLineInfo(hMixer_, line, MIXER_GETLINEINFOF_SOURCE)) {
        return values;
    }
    const std::uint32_t control = FindLineControl(line.dwComponentType, MIXERCONTROL_CONTROLTYPE_VOLUME, line.dwLineID);
    values.assign(std::max<std::size_t>(line.cChannels, 2), 0);
    if (!backend_.mixer->getControlDetails(hMixer_, control, line.cChannels, 0, values)) {
        std::fill(values.begin(), values.end(), 0);
    }
    return values;
}

std::int32_t WaveInRecorder::MixerLineVolume() const
{
    std::uint32_t d = 0;
    if (!FindWaveInDestination(d)) {
        return 0;
    }
    return static_cast<std::int32_t>(GetLineVolume(d, SelectedMixerLine()).front());
}

void WaveInRecorder::MixerLineVolume(std::int32_t Volume)
{
    std::uint32_t d = 0;
    if (!FindWaveInDestination(d)) {
        return;
    }
    const auto value = static_cast<std::uint32_t>(Volume);
    const std::uint32_t pair[2] = {value, value};
    SetLineVolume(d, SelectedMixerLine(), pair);
}

}  // namespace quillon
