#include "capture/pulse/PulseConnection.h"

#include <mutex>
#include <stdexcept>

namespace quillon::pulse {
namespace {

struct SourceListRequest {
    PulseConnection* connection;
    std::vector<SourceInfo>* sources;
};

SourceInfo describe(const pa_source_info& info)
{
    SourceInfo source;
    source.index = info.index;
    source.name = info.name != nullptr ? info.name : "";
    source.description = info.description != nullptr ? info.description : source.name;
    source.card = info.card;
    source.channelMap = info.channel_map;
    source.volume = info.volume;
    for (std::uint32_t i = 0; i < info.n_ports; ++i) {
        const pa_source_port_info* port = info.ports[i];
        source.ports.push_back(
            {port->name, port->description != nullptr ? port->description : port->name, port->type, port->available});
    }
    if (info.active_port != nullptr) {
        source.activePort = info.active_port->name;
    }
    return source;
}

void onSourceInfo(pa_context* /*context*/, const pa_source_info* info, int eol, void* userdata)
{
    auto* request = static_cast<SourceListRequest*>(userdata);
    if (eol == 0 && info != nullptr) {
        request->sources->push_back(describe(*info));
    }
    request->connection->signal();
}

void onDeadline(pa_mainloop_api* /*api*/, pa_time_event* /*event*/, const struct timeval* /*tv*/, void* userdata)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
}

// A wake-up of the waiting thread at a given time.
class Alarm {
public:
    Alarm(pa_threaded_mainloop* mainloop, std::chrono::microseconds in) : api_(pa_threaded_mainloop_get_api(mainloop))
    {
        timeval when{};
        pa_gettimeofday(&when);
        pa_timeval_add(&when, static_cast<pa_usec_t>(in.count()));
        event_ = api_->time_new(api_, &when, onDeadline, mainloop);
    }
    ~Alarm()
    {
        if (event_ != nullptr) {
            api_->time_free(event_);
        }
    }
    Alarm(const Alarm&) = delete;
    Alarm& operator=(const Alarm&) = delete;

private:
    pa_mainloop_api* api_;
    pa_time_event* event_ = nullptr;
};

}  // namespace

std::vector<std::string> displayNames(const std::vector<SourceInfo>& sources)
{
    std::vector<std::string> names;
    std::map<std::string, int> seen;
    for (const SourceInfo& source : sources) {
        const int count = ++seen[source.description];
        names.push_back(count == 1 ? source.description : source.description + " (" + std::to_string(count) + ")");
    }
    return names;
}

PulseConnection::PulseConnection() : mainloop_(pa_threaded_mainloop_new())
{
    if (!mainloop_) {
        throw std::runtime_error("cannot create the sound server's event loop");
    }
    pa_threaded_mainloop_set_name(mainloop_.get(), "quillon-pulse");
    if (pa_threaded_mainloop_start(mainloop_.get()) < 0) {
        throw std::runtime_error("cannot start the sound server's event loop");
    }
}

PulseConnection::~PulseConnection()
{
    // The context goes first, under the lock, while the loop thread still runs;
    // the loop's deleter then stops the thread.
    const std::lock_guard guard(*this);
    listener_ = nullptr;
    context_.reset();
}

void PulseConnection::lock()
{
    pa_threaded_mainloop_lock(mainloop_.get());
}

void PulseConnection::unlock()
{
    pa_threaded_mainloop_unlock(mainloop_.get());
}

void PulseConnection::signal()
{
    pa_threaded_mainloop_signal(mainloop_.get(), 0);
}

bool PulseConnection::waitUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
        return false;
    }
    const Alarm alarm(mainloop_.get(), left);
    pa_threaded_mainloop_wait(mainloop_.get());
    return Clock::now() < deadline;
}

void PulseConnection::setChangeListener(std::function<void()> listener)
{
    listener_ = std::move(listener);
}

void PulseConnection::changed()
{
    ++generation_;
    known_.clear();
    if (listener_) {
        listener_();
    }
}

void PulseConnection::onContextState(pa_context* context, void* userdata)
{
    auto* self = static_cast<PulseConnection*>(userdata);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        self->stalled_ = false;
        self->wasReady_ = true;
        self->error_.clear();
        pa_context_set_subscribe_callback(context, onEvent, self);
        const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE |
                                                              PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_CARD);
        const OperationPtr subscribed(pa_context_subscribe(context, mask, nullptr, nullptr));
        self->changed();
    } else if (!PA_CONTEXT_IS_GOOD(state) && self->wasReady_) {
        self->wasReady_ = false;
        self->error_ = pa_strerror(pa_context_errno(context));
        self->changed();
    }
    self->signal();
}

void PulseConnection::onEvent(pa_context* /*context*/, pa_subscription_event_type_t /*type*/, std::uint32_t /*index*/,
                              void* userdata)
{
    static_cast<PulseConnection*>(userdata)->changed();
}

bool PulseConnection::startConnect()
{
    wasReady_ = false;
    context_.reset(pa_context_new(pa_threaded_mainloop_get_api(mainloop_.get()), "Quillon"));
    if (!context_) {
        error_ = "cannot create a connection to the sound server";
        return false;
    }
    pa_context_set_state_callback(context_.get(), onContextState, this);
    // Never start a server of our own: with none running there is nothing to record.
    if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        error_ = pa_strerror(pa_context_errno(context_.get()));
        context_.reset();
        return false;
    }
    return true;
}

bool PulseConnection::ready()
{
    if (context_ && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get()))) {
        // The server went away: start over with a fresh connection.
        context_.reset();
    }
    if (!context_ && !startConnect()) {
        return false;
    }
    // While a server that stopped answering has not come back, nobody waits for it.
    const auto until = deadline();
    while (!stalled_ && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get())) &&
           pa_context_get_state(context_.get()) != PA_CONTEXT_READY) {
        if (!waitUntil(until)) {
            stalled_ = true;
            error_ = "the sound server does not answer";
        }
    }
    const pa_context_state_t state = pa_context_get_state(context_.get());
    if (state == PA_CONTEXT_READY) {
        return true;
    }
    if (!PA_CONTEXT_IS_GOOD(state)) {
        error_ = pa_strerror(pa_context_errno(context_.get()));
        context_.reset();
    }
    return false;
}

void PulseConnection::noAnswer()
{
    // Dropping the connection fails its streams (their owners hear of it); the new
    // one completes whenever the server answers again and then reports a change.
    stalled_ = true;
    context_.reset();
    known_.clear();
    startConnect();
    error_ = "the sound server does not answer";
}

bool PulseConnection::run(pa_operation* operation)
{
    const OperationPtr owned(operation);
    if (!owned) {
        return false;
    }
    ++roundTrips_;
    const auto until = deadline();
    while (pa_operation_get_state(owned.get()) == PA_OPERATION_RUNNING) {
        if (!waitUntil(until)) {
            break;
        }
    }
    const pa_operation_state_t state = pa_operation_get_state(owned.get());
    if (state == PA_OPERATION_RUNNING) {
        pa_operation_cancel(owned.get());
        noAnswer();
        return false;
    }
    return state == PA_OPERATION_DONE;
}

void PulseConnection::onSuccess(pa_context* /*context*/, int success, void* userdata)
{
    auto* self = static_cast<PulseConnection*>(userdata);
    self->lastSuccess_ = success;
    self->signal();
}

const std::vector<SourceInfo>& PulseConnection::listSources()
{
    if (!ready()) {
        listed_.clear();
        return listed_;
    }
    if (listedGeneration_ == generation_) {
        return listed_;
    }
    const std::uint64_t asked = generation_;
    std::vector<SourceInfo> list;
    SourceListRequest request{this, &list};
    if (!run(pa_context_get_source_info_list(context_.get(), onSourceInfo, &request))) {
        listed_.clear();
        return listed_;
    }
    listed_ = std::move(list);
    listedGeneration_ = asked;
    for (const SourceInfo& info : listed_) {
        known_[info.name] = info;
    }
    return listed_;
}

bool PulseConnection::source(const std::string& name, SourceInfo& info)
{
    if (!ready()) {
        return false;
    }
    if (const auto it = known_.find(name); it != known_.end()) {
        info = it->second;
        return true;
    }
    std::vector<SourceInfo> found;
    SourceListRequest request{this, &found};
    if (!run(pa_context_get_source_info_by_name(context_.get(), name.c_str(), onSourceInfo, &request)) ||
        found.empty()) {
        return false;
    }
    info = found.front();
    known_[name] = info;
    return true;
}

bool PulseConnection::setActivePort(const std::string& source, const std::string& port)
{
    if (!ready()) {
        return false;
    }
    return runSuccess([&](pa_context_success_cb_t cb, void* userdata) {
        return pa_context_set_source_port_by_name(context_.get(), source.c_str(), port.c_str(), cb, userdata);
    });
}

bool PulseConnection::setVolume(const std::string& source, const pa_cvolume& volume)
{
    if (!ready()) {
        return false;
    }
    const bool set = runSuccess([&](pa_context_success_cb_t cb, void* userdata) {
        return pa_context_set_source_volume_by_name(context_.get(), source.c_str(), &volume, cb, userdata);
    });
    if (const auto it = known_.find(source); set && it != known_.end()) {
        it->second.volume = volume;
    }
    return set;
}

}  // namespace quillon::pulse
