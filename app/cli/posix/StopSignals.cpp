#include "app/cli/posix/StopSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

namespace quillon::cli {
namespace {

volatile std::sig_atomic_t stopFlag = 0;
volatile int wakeFd = -1;

extern "C" void onStopSignal(int /*signal*/)
{
    stopFlag = 1;
    if (wakeFd >= 0) {
        const char byte = 1;
        // A full pipe already holds a wake-up; nothing else can be done here.
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &byte, 1);
    }
}

}  // namespace

struct StopSignals::State {
    int fds[2] = {-1, -1};
    struct sigaction previousInt {};
    struct sigaction previousTerm {};
    struct sigaction previousHup {};
    std::unique_ptr<QSocketNotifier> notifier;
};

StopSignals::StopSignals(std::function<void()> onStop) : state_(std::make_unique<State>())
{
    if (::pipe2(state_->fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot create the pipe for Ctrl+C");
    }
    stopFlag = 0;
    wakeFd = state_->fds[1];
    state_->notifier = std::make_unique<QSocketNotifier>(state_->fds[0], QSocketNotifier::Read);
    const int readFd = state_->fds[0];
    QObject::connect(state_->notifier.get(), &QSocketNotifier::activated, [readFd, onStop = std::move(onStop)] {
        char bytes[16];
        while (::read(readFd, bytes, sizeof bytes) > 0) {
        }
        onStop();
    });
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &state_->previousInt);
    sigaction(SIGTERM, &action, &state_->previousTerm);
    // The terminal that started us went away: finish the file as for Ctrl+C.
    sigaction(SIGHUP, &action, &state_->previousHup);
}

StopSignals::~StopSignals()
{
    sigaction(SIGINT, &state_->previousInt, nullptr);
    sigaction(SIGTERM, &state_->previousTerm, nullptr);
    sigaction(SIGHUP, &state_->previousHup, nullptr);
    wakeFd = -1;
    state_->notifier.reset();
    ::close(state_->fds[0]);
    ::close(state_->fds[1]);
}

bool StopSignals::requested() const
{
    return stopFlag != 0;
}

}  // namespace quillon::cli
