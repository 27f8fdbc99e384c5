#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "capture/MessageWindow.h"
#include "common/WaveFormat.h"

namespace quillon {

// An open capture device; 0 for none.
using WaveInHandle = std::uintptr_t;

// The device index that means "the default input".
inline constexpr int WAVE_MAPPER = -1;

// Posted to the callback window for every filled buffer: wParam the device
// handle, lParam the address of the buffer's WaveHeader.
inline constexpr std::uint32_t MM_WIM_DATA = 0x3C0;
// Posted to the callback window when the open device or the sound server goes
// away; no more data will come. wParam the device handle.
inline constexpr std::uint32_t MM_WIM_DEVICELOST = 0x83C0;

inline constexpr std::uint32_t WHDR_DONE = 0x01;
inline constexpr std::uint32_t WHDR_PREPARED = 0x02;
inline constexpr std::uint32_t WHDR_INQUEUE = 0x10;

// One capture buffer as the device sees it. The device owns a header (and the
// bytes it points at) from addBuffer until it posts MM_WIM_DATA for it.
struct WaveHeader {
    std::byte* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesRecorded = 0;
    std::uintptr_t dwUser = 0;
    std::uint32_t dwFlags = 0;
    // Captured bytes lost just before this buffer's first byte (the device had
    // no room for them); their place in the time line is here.
    std::uint64_t droppedBefore = 0;
};

struct WaveInCaps {
    std::string szPname;
    // What identifies the device as long as it exists, wherever it moves in the
    // list (the source's name on the sound server); empty where positions are all there is.
    std::string szId;
};

// The wave-input service: every call returns true on success. Calls are made
// from the UI thread; notifications arrive as messages posted to the window
// given to open().
class WaveIn {
public:
    virtual ~WaveIn() = default;

    virtual std::uint32_t getNumDevs() = 0;
    virtual bool getDevCaps(int device, WaveInCaps& caps) = 0;
    // `format` is always 16-bit PCM here.
    virtual bool open(WaveInHandle& handle, int device, const WaveFormatEx& format, WindowHandle callback) = 0;
    virtual bool prepareHeader(WaveInHandle handle, WaveHeader& header) = 0;
    virtual bool unprepareHeader(WaveInHandle handle, WaveHeader& header) = 0;
    virtual bool addBuffer(WaveInHandle handle, WaveHeader& header) = 0;
    virtual bool start(WaveInHandle handle) = 0;
    // Hands back the partly filled current buffer; empty queued buffers stay queued.
    virtual bool stop(WaveInHandle handle) = 0;
    // Stops and hands back every queued buffer.
    virtual bool reset(WaveInHandle handle) = 0;
    // Fails while buffers are still queued.
    virtual bool close(WaveInHandle handle) = 0;
    // Lets the device gather up to `bytes` of captured audio before it hands the
    // filled buffers over, several at once: fewer wake-ups where nothing is shown
    // live. Only before start(); 0 (the default) hands each buffer over as it
    // fills. A device that cannot batch ignores it.
    virtual void setDeliveryBytes(WaveInHandle /*handle*/, std::uint32_t /*bytes*/) {}

    // Captured bytes thrown away since open() because no buffer was queued in
    // time or the server could not keep them; 0 for an unknown handle.
    virtual std::uint64_t droppedBytes(WaveInHandle handle) = 0;
    // Empty while the service can be reached, otherwise the reason it cannot.
    virtual std::string unavailableReason() = 0;
    // `changed` is called, on any thread, whenever devices may have come, gone or
    // changed, or the service became reachable or unreachable; empty to stop.
    virtual void setChangeListener(std::function<void()> /*changed*/) {}
};

}  // namespace quillon
