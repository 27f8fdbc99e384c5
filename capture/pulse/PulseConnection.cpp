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
    source.channelMap = info.channel_map;
    source.volume = info.volume;
    for (std::uint32_t i = 0; i < info.n_ports; ++i) {
        const pa_source_port_info* port = info.ports[i];
        source.ports.push_back({port->name, port->description != nullptr ? port->description : port->name, port->type});
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

void onContextState(pa_context* /*context*/, void* userdata)
{
    static_cast<PulseConnection*>(userdata)->signal();
}

}  // namespace

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

void PulseConnection::wait()
{
    pa_threaded_mainloop_wait(mainloop_.get());
}

bool PulseConnection::ready()
{
    if (context_) {
        while (PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get())) &&
               pa_context_get_state(context_.get()) != PA_CONTEXT_READY) {
            wait();
        }
        if (pa_context_get_state(context_.get()) == PA_CONTEXT_READY) {
            return true;
        }
        // The server went away: start over with a fresh connection.
        context_.reset();
    }
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
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_.get());
        if (state == PA_CONTEXT_READY) {
            error_.clear();
            return true;
        }
        if (!PA_CONTEXT_IS_GOOD(state)) {
            error_ = pa_strerror(pa_context_errno(context_.get()));
            context_.reset();
            return false;
        }
        wait();
    }
}

bool PulseConnection::run(pa_operation* operation)
{
    const OperationPtr owned(operation);
    if (!owned) {
        return false;
    }
    while (pa_operation_get_state(owned.get()) == PA_OPERATION_RUNNING) {
        wait();
    }
    return pa_operation_get_state(owned.get()) == PA_OPERATION_DONE;
}

void PulseConnection::onSuccess(pa_context* /*context*/, int success, void* userdata)
{
    auto* self = static_cast<PulseConnection*>(userdata);
    self->lastSuccess_ = success;
    self->signal();
}

std::vector<SourceInfo> PulseConnection::sources()
{
    std::vector<SourceInfo> list;
    if (!ready()) {
        return list;
    }
    SourceListRequest request{this, &list};
    if (!run(pa_context_get_source_info_list(context_.get(), onSourceInfo, &request))) {
        list.clear();
    }
    return list;
}

bool PulseConnection::source(const std::string& name, SourceInfo& info)
{
    if (!ready()) {
        return false;
    }
    std::vector<SourceInfo> found;
    SourceListRequest request{this, &found};
    if (!run(pa_context_get_source_info_by_name(context_.get(), name.c_str(), onSourceInfo, &request)) ||
        found.empty()) {
        return false;
    }
    info = found.front();
    return true;
}

}  // namespace quillon::pulse
