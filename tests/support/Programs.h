#pragma once

// Programs a test runs in the background, and a sound server of the test's own (the
// pulse-private.sh script, or QUILLON_SERVER_SCRIPT's).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSupport.h"

namespace quillon::test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A program running in the background with its output in a log file.
class Spawned {
public:
    Spawned(const std::vector<std::string>& argv, const std::string& pulseServer, const fs::path& log)
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("PULSE_SERVER", pulseServer.c_str(), 1);
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, STDOUT_FILENO);
            ::dup2(fd, STDERR_FILENO);
            std::vector<char*> args;
            args.reserve(argv.size() + 1);
            for (const auto& a : argv) {
                args.push_back(const_cast<char*>(a.c_str()));
            }
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
    }
    ~Spawned()
    {
        if (!exitCode_ && pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Spawned(const Spawned&) = delete;
    Spawned& operator=(const Spawned&) = delete;

    void kill(int signal) const { ::kill(pid_, signal); }

    // The exit code (128 + signal when killed), or nothing while it still runs after `timeout`.
    std::optional<int> wait(std::chrono::milliseconds timeout)
    {
        const auto end = Clock::now() + timeout;
        while (!exitCode_) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else if (Clock::now() > end) {
                break;
            } else {
                std::this_thread::sleep_for(10ms);
            }
        }
        return exitCode_;
    }

private:
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
};

class PrivatePulse {
public:
    explicit PrivatePulse(fs::path dir) : dir_(std::move(dir))
    {
        const auto r = test::runProgram({script(), "start", dir_.string()});
        const std::string prefix = "export PULSE_SERVER=";
        const auto at = r.output.find(prefix);
        if (r.exitCode == 0 && at != std::string::npos) {
            server_ = r.output.substr(at + prefix.size());
            server_ = server_.substr(0, server_.find('\n'));
        }
    }
    ~PrivatePulse() { test::runProgram({script(), "stop", dir_.string()}); }

    // The script that starts the server: QUILLON_SERVER_SCRIPT names another kind
    // (scripts/pipewire-private.sh), with the same start/stop interface.
    static std::string script()
    {
        const char* other = std::getenv("QUILLON_SERVER_SCRIPT");
        return other != nullptr && *other != '\0' ? std::string(other) : std::string(QUILLON_PULSE_SCRIPT);
    }
    PrivatePulse(const PrivatePulse&) = delete;
    PrivatePulse& operator=(const PrivatePulse&) = delete;

    [[nodiscard]] bool ok() const { return !server_.empty(); }
    [[nodiscard]] const std::string& server() const { return server_; }
    [[nodiscard]] pid_t pid() const
    {
        std::ifstream in(dir_ / "pulseaudio.pid");
        pid_t pid = -1;
        in >> pid;
        return pid;
    }
    test::CommandResult pactl(const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv = {"env", "PULSE_SERVER=" + server_, "pactl"};
        argv.insert(argv.end(), args.begin(), args.end());
        return test::runProgram(argv);
    }

private:
    fs::path dir_;
    std::string server_;
};

}  // namespace quillon::test
