#include "encoder/SyncWorker.h"

#include <utility>

namespace quillon {

SyncWorker::~SyncWorker()
{
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool SyncWorker::post(std::function<void()> job)
{
    {
        const std::lock_guard lock(mutex_);
        if (job_) {
            return false;
        }
        job_ = std::move(job);
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { run(); });
        }
    }
    changed_.notify_all();
    return true;
}

void SyncWorker::wait()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !job_; });
}

void SyncWorker::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || job_; });
        if (job_) {
            const std::function<void()> job = job_;
            lock.unlock();
            job();
            lock.lock();
            job_ = nullptr;
            changed_.notify_all();
            continue;
        }
        return;  // quit, nothing left to run
    }
}

}  // namespace quillon
