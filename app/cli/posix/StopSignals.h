#pragma once

#include <functional>
#include <memory>

namespace quillon::cli {

// While it exists, SIGINT (Ctrl+C), SIGTERM and SIGHUP are caught and `onStop` runs on the
// thread's event loop, woken by the signal itself rather than by polling; the
// previous handlers come back when it goes. One at a time.
class StopSignals {
public:
    explicit StopSignals(std::function<void()> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // A signal arrived (also before the event loop ran).
    [[nodiscard]] bool requested() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace quillon::cli
