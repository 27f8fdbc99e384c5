#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace quillon {

// Runs one job at a time on a thread of its own (started with the first job), so
// waiting for the disk never holds up the thread that writes the audio.
class SyncWorker {
public:
    SyncWorker() = default;
    // Lets a running job finish.
    ~SyncWorker();
    SyncWorker(const SyncWorker&) = delete;
    SyncWorker& operator=(const SyncWorker&) = delete;

    // Starts `job`; false (and nothing happens) while the previous one still runs.
    bool post(std::function<void()> job);
    // Returns once no job runs.
    void wait();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;  // set while a job waits or runs
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace quillon
