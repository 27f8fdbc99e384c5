#include "capture/pulse/PulseWaveIn.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "capture/BufferAssembler.h"
#include "capture/pulse/PulseConnection.h"

namespace quillon::pulse {
namespace {

// Seconds of audio kept while the UI thread is too busy to queue a buffer
// (a modal dialog, a slow disk), before anything is dropped.
constexpr std::size_t kBacklogSeconds = 5;
// Seconds the server may hold for us; it drops silently beyond that, so the
// loop thread reads continuously and this only covers stalls of that thread.
constexpr std::uint32_t kServerQueueSeconds = 2;

}  // namespace

struct PulseWaveIn::Device {
    Device(PulseConnection& c, WaveInHandle h, const WaveFormatEx& f, WindowHandle w)
        : connection(c),
          handle(h),
          format(f),
          callback(w),
          assembler(kBacklogSeconds * f.nAvgBytesPerSec, f.nBlockAlign, [this](WaveHeader& header) {
              MessageWindow::postMessage(callback, MM_WIM_DATA, handle, reinterpret_cast<std::intptr_t>(&header));
          })
    {
    }

    PulseConnection& connection;
    WaveInHandle handle;
    WaveFormatEx format;
    WindowHandle callback;
    std::string source;  // empty: the default source
    StreamPtr stream;
    bool connected = false;
    bool started = false;
    bool closing = false;
    bool lostReported = false;
    std::uint32_t fragment = 0;
    std::uint32_t delivery = 0;  // larger transfers asked for by the owner; 0: none
    BufferAssembler assembler;
};

namespace {

// Server thread, mainloop locked.
void onRead(pa_stream* stream, std::size_t /*length*/, void* userdata)
{
    auto* device = static_cast<PulseWaveIn::Device*>(userdata);
    for (;;) {
        const void* data = nullptr;
        std::size_t size = 0;
        if (pa_stream_peek(stream, &data, &size) < 0 || size == 0) {
            return;
        }
        // A hole in the stream (no data, a length) is that much silence.
        if (device->started) {
            device->assembler.write(static_cast<const std::byte*>(data), size);
        }
        pa_stream_drop(stream);
    }
}

void onStreamState(pa_stream* stream, void* userdata)
{
    auto* device = static_cast<PulseWaveIn::Device*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (!device->closing && !device->lostReported && (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)) {
        // The source was removed (we do not let the server move us to another
        // one) or the server went away: no more data will come.
        device->lostReported = true;
        MessageWindow::postMessage(device->callback, MM_WIM_DEVICELOST, device->handle, 0);
    }
    device->connection.signal();
}

void onCorked(pa_stream* /*stream*/, int /*success*/, void* userdata)
{
    static_cast<PulseConnection*>(userdata)->signal();
}

}  // namespace

PulseWaveIn::PulseWaveIn(std::shared_ptr<PulseConnection> connection) : connection_(std::move(connection)) {}

PulseWaveIn::~PulseWaveIn()
{
    const std::lock_guard lock(*connection_);
    for (auto& [handle, device] : devices_) {
        if (device->stream) {
            device->closing = true;
            pa_stream_set_read_callback(device->stream.get(), nullptr, nullptr);
            pa_stream_set_state_callback(device->stream.get(), nullptr, nullptr);
            if (device->connected) {
                pa_stream_disconnect(device->stream.get());
            }
        }
    }
    devices_.clear();
}

PulseWaveIn::Device* PulseWaveIn::find(WaveInHandle handle)
{
    const auto it = devices_.find(handle);
    return it == devices_.end() ? nullptr : it->second.get();
}

std::uint32_t PulseWaveIn::getNumDevs()
{
    const std::lock_guard lock(*connection_);
    return static_cast<std::uint32_t>(connection_->sources().size());
}

bool PulseWaveIn::getDevCaps(int device, WaveInCaps& caps)
{
    const std::lock_guard lock(*connection_);
    const auto sources = connection_->sources();
    if (device < 0 || static_cast<std::size_t>(device) >= sources.size()) {
        return false;
    }
    caps.szPname = sources[static_cast<std::size_t>(device)].description;
    return true;
}

std::string PulseWaveIn::unavailableReason()
{
    const std::lock_guard lock(*connection_);
    return connection_->ready() ? std::string() : connection_->error();
}

bool PulseWaveIn::open(WaveInHandle& handle, int device, const WaveFormatEx& format, WindowHandle callback)
{
    const pa_sample_spec spec{PA_SAMPLE_S16LE, format.nSamplesPerSec, static_cast<std::uint8_t>(format.nChannels)};
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16 || format.nChannels == 0 ||
        format.nChannels > PA_CHANNELS_MAX || format.nBlockAlign != format.nChannels * 2 ||
        pa_sample_spec_valid(&spec) == 0) {
        return false;
    }
    const std::lock_guard lock(*connection_);
    if (!connection_->ready()) {
        return false;
    }
    std::string source;
    if (device != WAVE_MAPPER) {
        const auto sources = connection_->sources();
        if (device < 0 || static_cast<std::size_t>(device) >= sources.size()) {
            return false;
        }
        source = sources[static_cast<std::size_t>(device)].name;
    }
    const WaveInHandle h = nextHandle_++;
    auto opened = std::make_unique<Device>(*connection_, h, format, callback);
    opened->source = source;
    opened->stream.reset(pa_stream_new(connection_->context(), "Quillon recording", &spec, nullptr));
    if (!opened->stream) {
        return false;
    }
    pa_stream_set_read_callback(opened->stream.get(), onRead, opened.get());
    pa_stream_set_state_callback(opened->stream.get(), onStreamState, opened.get());
    devices_.emplace(h, std::move(opened));
    handle = h;
    return true;
}

bool PulseWaveIn::prepareHeader(WaveInHandle handle, WaveHeader& header)
{
    const std::lock_guard lock(*connection_);
    Device* device = find(handle);
    if (device == nullptr || header.lpData == nullptr || header.dwBufferLength == 0) {
        return false;
    }
    // The server is asked for chunks of the buffers' size.
    if (device->fragment == 0) {
        device->fragment = header.dwBufferLength;
    }
    header.dwFlags |= WHDR_PREPARED;
    return true;
}

bool PulseWaveIn::unprepareHeader(WaveInHandle handle, WaveHeader& header)
{
    const std::lock_guard lock(*connection_);
    if (find(handle) == nullptr || (header.dwFlags & WHDR_INQUEUE) != 0) {
        return false;
    }
    header.dwFlags &= ~WHDR_PREPARED;
    return true;
}

bool PulseWaveIn::addBuffer(WaveInHandle handle, WaveHeader& header)
{
    const std::lock_guard lock(*connection_);
    Device* device = find(handle);
    if (device == nullptr || (header.dwFlags & WHDR_PREPARED) == 0 || (header.dwFlags & WHDR_INQUEUE) != 0) {
        return false;
    }
    device->assembler.add(header);
    return true;
}

void PulseWaveIn::setDeliveryBytes(WaveInHandle handle, std::uint32_t bytes)
{
    const std::lock_guard lock(*connection_);
    if (Device* device = find(handle)) {
        // Never more than the server may hold for us.
        device->delivery = std::min(bytes, kServerQueueSeconds * device->format.nAvgBytesPerSec / 2);
    }
}

bool PulseWaveIn::connectStream(Device& device)
{
    pa_buffer_attr attr{};
    attr.maxlength = kServerQueueSeconds * device.format.nAvgBytesPerSec;
    attr.tlength = static_cast<std::uint32_t>(-1);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    // Without latency adjustment the server delivers in bursts of seconds. Each
    // transfer wakes this thread and the UI thread, so an owner that shows nothing
    // live may ask for several buffers per transfer.
    attr.fragsize = device.fragment != 0 ? device.fragment : device.format.nAvgBytesPerSec / 10;
    attr.fragsize = std::max(attr.fragsize, device.delivery);
    // A vanished source must be noticed, not replaced by another microphone.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(device.stream.get(), device.source.empty() ? nullptr : device.source.c_str(), &attr,
                                 flags) < 0) {
        return false;
    }
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(device.stream.get());
        if (state == PA_STREAM_READY) {
            device.connected = true;
            return true;
        }
        if (!PA_STREAM_IS_GOOD(state)) {
            return false;
        }
        connection_->wait();
    }
}

bool PulseWaveIn::cork(Device& device, bool paused)
{
    if (!device.connected || !PA_STREAM_IS_GOOD(pa_stream_get_state(device.stream.get()))) {
        return false;
    }
    return connection_->run(pa_stream_cork(device.stream.get(), paused ? 1 : 0, onCorked, connection_.get()));
}

bool PulseWaveIn::start(WaveInHandle handle)
{
    const std::lock_guard lock(*connection_);
    Device* device = find(handle);
    if (device == nullptr) {
        return false;
    }
    if (!device->connected) {
        if (!connectStream(*device)) {
            return false;
        }
    } else if (!cork(*device, false)) {
        return false;
    }
    device->started = true;
    return true;
}

bool PulseWaveIn::halt(WaveInHandle handle, bool returnAll)
{
    const std::lock_guard lock(*connection_);
    Device* device = find(handle);
    if (device == nullptr) {
        return false;
    }
    device->started = false;
    cork(*device, true);
    if (returnAll) {
        device->assembler.returnAll();
    } else {
        device->assembler.finishCurrent();
    }
    return true;
}

bool PulseWaveIn::stop(WaveInHandle handle)
{
    return halt(handle, false);
}

bool PulseWaveIn::reset(WaveInHandle handle)
{
    return halt(handle, true);
}

bool PulseWaveIn::close(WaveInHandle handle)
{
    const std::lock_guard lock(*connection_);
    Device* device = find(handle);
    if (device == nullptr || device->assembler.queued() != 0) {
        return false;
    }
    device->closing = true;
    pa_stream* stream = device->stream.get();
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    if (device->connected && PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        // Wait until the server has removed the stream, so none is left behind.
        if (pa_stream_disconnect(stream) == 0) {
            while (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
                connection_->wait();
            }
        }
    }
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    devices_.erase(handle);
    return true;
}

std::uint64_t PulseWaveIn::droppedBytes(WaveInHandle handle)
{
    const std::lock_guard lock(*connection_);
    const Device* device = find(handle);
    return device == nullptr ? 0 : device->assembler.dropped();
}

}  // namespace quillon::pulse
