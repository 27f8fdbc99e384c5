#pragma once

#include <pulse/pulseaudio.h>

#include <memory>
#include <string>
#include <vector>

namespace quillon::pulse {

struct MainloopDeleter {
    void operator()(pa_threaded_mainloop* mainloop) const
    {
        pa_threaded_mainloop_stop(mainloop);
        pa_threaded_mainloop_free(mainloop);
    }
};
struct ContextDeleter {
    void operator()(pa_context* context) const
    {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};
struct StreamDeleter {
    void operator()(pa_stream* stream) const { pa_stream_unref(stream); }
};
struct OperationDeleter {
    void operator()(pa_operation* operation) const { pa_operation_unref(operation); }
};
using MainloopPtr = std::unique_ptr<pa_threaded_mainloop, MainloopDeleter>;
using ContextPtr = std::unique_ptr<pa_context, ContextDeleter>;
using StreamPtr = std::unique_ptr<pa_stream, StreamDeleter>;
using OperationPtr = std::unique_ptr<pa_operation, OperationDeleter>;

struct SourcePort {
    std::string name;
    std::string description;
    std::uint32_t type = 0;
};

struct SourceInfo {
    std::uint32_t index = 0;
    std::string name;
    std::string description;
    pa_channel_map channelMap{};
    pa_cvolume volume{};
    std::vector<SourcePort> ports;
    std::string activePort;
};

// One connection to the sound server, with its own thread (a threaded
// mainloop). Server callbacks run on that thread with the mainloop locked; the
// UI thread takes the same lock (std::lock_guard on this object) for every call.
class PulseConnection {
public:
    PulseConnection();
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Lockable. Never called from the server thread, which already holds the lock.
    void lock();
    void unlock();

    // The rest is called with the lock held.
    // Connects, or connects again after the server went away; true when ready.
    bool ready();
    [[nodiscard]] const std::string& error() const { return error_; }
    [[nodiscard]] pa_context* context() const { return context_.get(); }
    [[nodiscard]] pa_threaded_mainloop* mainloop() const { return mainloop_.get(); }
    // Waits for the operation to end; false when it could not be started or was cancelled.
    bool run(pa_operation* operation);
    // Wakes a run() or a wait on the UI thread; from server callbacks.
    void signal();
    void wait();
    // The server's sources in index order; empty when it cannot be asked.
    std::vector<SourceInfo> sources();
    // One source by name; false when it no longer exists.
    bool source(const std::string& name, SourceInfo& info);
    // Runs a call that reports success through a pa_context_success_cb_t.
    template <typename Call>
    bool runSuccess(Call call);

private:
    static void onSuccess(pa_context* context, int success, void* userdata);

    MainloopPtr mainloop_;
    ContextPtr context_;
    std::string error_;
    int lastSuccess_ = 0;
};

template <typename Call>
bool PulseConnection::runSuccess(Call call)
{
    lastSuccess_ = 0;
    if (!run(call(&PulseConnection::onSuccess, this))) {
        return false;
    }
    return lastSuccess_ != 0;
}

}  // namespace quillon::pulse
