#include "capture/pulse/PulseWaveIn.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
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
// The server's queue never shrinks below this, however low the rate: a queue of a
// few bytes leaves the server no room to work with.
constexpr std::uint32_t kMinServerQueueBytes = 8192;
// A shortfall against the clock counts as lost once it is this large (or two
// transfers, if more) and still there this much later: audio merely late is not lost.
constexpr double kLossSeconds = 0.25;
constexpr auto kLossConfirm = std::chrono::milliseconds(200);

using Clock = std::chrono::steady_clock;

// Below this rate the server's resampler delivers next to nothing (at 1 Hz nothing
// at all): such rates are captured at a multiple of themselves and averaged down here.
constexpr std::uint32_t kMinServerRate = 1000;

std::uint32_t decimationFor(std::uint32_t rate)
{
    return rate >= kMinServerRate ? 1 : (kMinServerRate + rate - 1) / rate;
}

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
    std::uint32_t transfer = 0;  // bytes per transfer the server was asked for (ours, not the server's)
    BufferAssembler assembler;
    // Server frames averaged into one of ours; the partial sums of the frame in progress.
    std::uint32_t factor = decimationFor(format.nSamplesPerSec);
    std::vector<std::int32_t> sums = std::vector<std::int32_t>(format.nChannels, 0);
    std::uint32_t summed = 0;
    std::vector<std::int16_t> decimated;

    // Takes server audio (whole server samples) into the buffers.
    void take(const void* data, std::size_t size)
    {
        if (factor == 1) {
            assembler.write(static_cast<const std::byte*>(data), size);
            counted += clocked ? static_cast<double>(size) : 0.0;
            return;
        }
        const auto* in = static_cast<const std::int16_t*>(data);
        const std::size_t samples = size / sizeof(std::int16_t);
        const std::size_t channels = sums.size();
        decimated.clear();
        for (std::size_t i = 0; i + channels <= samples; i += channels) {
            for (std::size_t c = 0; c < channels; ++c) {
                sums[c] += in[i + c];
            }
            if (++summed == factor) {
                for (std::size_t c = 0; c < channels; ++c) {
                    decimated.push_back(static_cast<std::int16_t>(sums[c] / static_cast<std::int32_t>(factor)));
                    sums[c] = 0;
                }
                summed = 0;
            }
        }
        const std::size_t bytes = decimated.size() * sizeof(std::int16_t);
        assembler.write(reinterpret_cast<const std::byte*>(decimated.data()), bytes);
        counted += clocked ? static_cast<double>(bytes) : 0.0;
    }

    // The server drops what it cannot keep without a word; bytes received are
    // checked against the time since the first of them.
    bool clocked = false;
    Clock::time_point since;
    double counted = 0;   // bytes since then, lost ones included
    double baseline = 0;  // the usual shortfall: what is in transit
    std::optional<Clock::time_point> suspect;

    void restartClock()
    {
        clocked = false;
        suspect.reset();
    }

    // After all that was readable has been taken: anything missing beyond what is
    // usually in transit was dropped. `now`: commit without waiting for confirmation.
    void checkClock(bool now)
    {
        const Clock::time_point at = Clock::now();
        if (!clocked) {
            clocked = true;
            since = at;
            counted = 0;
            baseline = 0;
            return;
        }
        const double expected = std::chrono::duration<double>(at - since).count() * format.nAvgBytesPerSec;
        const double shortfall = expected - counted;
        const double threshold = std::max(kLossSeconds * format.nAvgBytesPerSec, 2.0 * transfer);
        if (shortfall - baseline < threshold) {
            // Clocks drift apart slowly; only a sudden shortfall is a loss.
            baseline = shortfall;
            suspect.reset();
            return;
        }
        if (!now && (!suspect || at - *suspect < kLossConfirm)) {
            if (!suspect) {
                suspect = at;
            }
            return;
        }
        const std::uint32_t align = std::max<std::uint32_t>(format.nBlockAlign, 1);
        const auto lost = static_cast<std::size_t>((shortfall - baseline) / align) * align;
        assembler.lose(lost);
        counted += static_cast<double>(lost);
        suspect.reset();
    }
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
        if (data == nullptr && size > 0 && device->started) {
            // A hole the server marked itself: lost, not silence.
            const std::size_t ours = size / device->factor / device->format.nBlockAlign * device->format.nBlockAlign;
            device->assembler.lose(ours);
            if (device->clocked) {
                device->counted += static_cast<double>(ours);
            }
            pa_stream_drop(stream);
            continue;
        }
        if (device->started) {
            device->take(data, size);
        }
        pa_stream_drop(stream);
        if (device->started && pa_stream_readable_size(stream) == 0) {
            device->checkClock(false);
            // A buffer that lasts longer than a transfer goes out with what it has, so
            // audio comes at least once a second at the lowest rates too.
            if (device->fragment > device->format.nAvgBytesPerSec) {
                device->assembler.finishCurrent();
            }
        }
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
    return static_cast<std::uint32_t>(connection_->listSources().size());
}

bool PulseWaveIn::getDevCaps(int device, WaveInCaps& caps)
{
    // Positions are those of the list last counted, the one the user was shown.
    const std::lock_guard lock(*connection_);
    const auto& sources = connection_->listed().empty() ? connection_->listSources() : connection_->listed();
    if (device < 0 || static_cast<std::size_t>(device) >= sources.size()) {
        return false;
    }
    caps.szPname = displayNames(sources)[static_cast<std::size_t>(device)];
    caps.szId = sources[static_cast<std::size_t>(device)].name;
    return true;
}

void PulseWaveIn::setChangeListener(std::function<void()> changed)
{
    const std::lock_guard lock(*connection_);
    connection_->setChangeListener(std::move(changed));
}

std::string PulseWaveIn::unavailableReason()
{
    const std::lock_guard lock(*connection_);
    return connection_->ready() ? std::string() : connection_->error();
}

bool PulseWaveIn::open(WaveInHandle& handle, int device, const WaveFormatEx& format, WindowHandle callback)
{
    const pa_sample_spec spec{PA_SAMPLE_S16NE, format.nSamplesPerSec * decimationFor(format.nSamplesPerSec),
                              static_cast<std::uint8_t>(format.nChannels)};
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
        const auto& sources = connection_->listed().empty() ? connection_->listSources() : connection_->listed();
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
    // In the server's bytes, which are `factor` times ours.
    const std::uint32_t frame = std::max<std::uint32_t>(device.format.nBlockAlign, 1);
    const std::uint32_t perSecond = device.format.nAvgBytesPerSec * device.factor;
    pa_buffer_attr attr{};
    attr.tlength = static_cast<std::uint32_t>(-1);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    // Without latency adjustment the server delivers in bursts of seconds. Each
    // transfer wakes this thread and the UI thread, so an owner that shows nothing
    // live may ask for several buffers per transfer; but never more than a second.
    // Where one buffer lasts longer than that (low rates), a transfer is 100 ms and
    // hands its buffer over as it is, or a take would depend on filling whole buffers.
    std::uint32_t fragsize = device.fragment != 0 ? device.fragment * device.factor : perSecond / 10;
    fragsize = fragsize > perSecond ? perSecond / 10 : std::min(std::max(fragsize, device.delivery), perSecond);
    attr.fragsize = std::max(fragsize / frame * frame, frame);
    attr.maxlength = std::max({kServerQueueSeconds * perSecond, 4 * attr.fragsize, kMinServerQueueBytes});
    attr.maxlength = attr.maxlength / frame * frame;
    device.transfer = attr.fragsize / device.factor;
    // A vanished source must be noticed, not replaced by another microphone.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(device.stream.get(), device.source.empty() ? nullptr : device.source.c_str(), &attr,
                                 flags) < 0) {
        return false;
    }
    const auto until = PulseConnection::deadline();
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(device.stream.get());
        if (state == PA_STREAM_READY) {
            device.connected = true;
            return true;
        }
        if (!PA_STREAM_IS_GOOD(state)) {
            return false;
        }
        if (!connection_->waitUntil(until)) {
            connection_->noAnswer();
            return false;
        }
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
    device->restartClock();
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
    if (device->started && device->clocked) {
        // What has not come by now is not coming.
        device->checkClock(true);
    }
    device->started = false;
    // Nothing is taken from here on, so the answer is not waited for: a frozen
    // server must not hold up a stop.
    if (device->connected && PA_STREAM_IS_GOOD(pa_stream_get_state(device->stream.get()))) {
        const OperationPtr corked(pa_stream_cork(device->stream.get(), 1, nullptr, nullptr));
    }
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
            const auto until = PulseConnection::deadline();
            while (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
                if (!connection_->waitUntil(until)) {
                    connection_->noAnswer();
                    break;
                }
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
