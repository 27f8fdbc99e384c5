#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture/pulse/SourceDirectory.h"

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
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
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

// The names shown for `sources`, in order: the description, and where two
// sources share one, the later ones get " (2)", " (3)" ... so the user can tell them apart.
std::vector<std::string> displayNames(const std::vector<SourceInfo>& sources);

// One connection to the sound server, with its own thread (a threaded
// mainloop). Server callbacks run on that thread with the mainloop locked; the
// UI thread takes the same lock (std::lock_guard on this object) for every call.
// No call waits for the server longer than kAnswerBound: a frozen server makes
// it fail instead, and the connection is then made anew in the background.
class PulseConnection final : public SourceDirectory {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kAnswerBound{2000};

    PulseConnection();
    ~PulseConnection() override;
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Lockable. Never called from the server thread, which already holds the lock.
    void lock() override;
    void unlock() override;

    // The rest is called with the lock held.
    // Connects, or connects again after the server went away or stopped answering;
    // true when ready.
    bool ready();
    [[nodiscard]] const std::string& error() const { return error_; }
    [[nodiscard]] pa_context* context() const { return context_.get(); }
    [[nodiscard]] pa_threaded_mainloop* mainloop() const { return mainloop_.get(); }
    // Waits for the operation to end, at most kAnswerBound; false when it could not
    // be started, was cancelled or got no answer.
    bool run(pa_operation* operation);
    // Wakes a wait on the UI thread; from server callbacks.
    void signal();
    // Waits for a signal; false once `deadline` has passed.
    bool waitUntil(Clock::time_point deadline);
    [[nodiscard]] static Clock::time_point deadline() { return Clock::now() + kAnswerBound; }
    // A call ran into the bound: the connection is dropped and made anew.
    void noAnswer();
    // Requests that waited for the server's answer, since the start.
    [[nodiscard]] std::uint64_t roundTrips() const { return roundTrips_; }
    // True from a call that got no answer until the server answers again.
    [[nodiscard]] bool stalled() const { return stalled_; }

    // The device list as last listed; listSources() lists again when the server
    // reported a change since (or reports none).
    [[nodiscard]] const std::vector<SourceInfo>& listed() const { return listed_; }
    const std::vector<SourceInfo>& listSources();
    // One source by name, from the server or from what it last told us; false when it does not exist.
    bool source(const std::string& name, SourceInfo& info) override;
    const std::vector<SourceInfo>& shownSources() override { return listed_.empty() ? listSources() : listed_; }
    bool setActivePort(const std::string& source, const std::string& port) override;
    // Keeps the new volume, so the next read needs no round trip.
    bool setVolume(const std::string& source, const pa_cvolume& volume) override;
    // Called on the server thread (lock held) when sources come or go, change, or
    // the server appears or goes away. Empty: none.
    void setChangeListener(std::function<void()> listener);

    // Runs a call that reports success through a pa_context_success_cb_t.
    template <typename Call>
    bool runSuccess(Call call);

private:
    static void onSuccess(pa_context* context, int success, void* userdata);
    static void onContextState(pa_context* context, void* userdata);
    static void onEvent(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index, void* userdata);
    // Starts connecting; false when that cannot even begin.
    bool startConnect();
    void changed();

    MainloopPtr mainloop_;
    ContextPtr context_;
    std::string error_;
    int lastSuccess_ = 0;
    std::uint64_t roundTrips_ = 0;
    bool stalled_ = false;
    bool wasReady_ = false;
    std::uint64_t generation_ = 1;  // bumped by every server event
    std::uint64_t listedGeneration_ = 0;
    std::vector<SourceInfo> listed_;
    std::map<std::string, SourceInfo> known_;  // valid while no event arrived since
    std::function<void()> listener_;
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
