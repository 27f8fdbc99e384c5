#include "capture/BufferAssembler.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillon {

BufferAssembler::BufferAssembler(std::size_t backlogCapacity, std::size_t blockAlign, DoneFn done)
    : blockAlign_(std::max<std::size_t>(blockAlign, 1)), done_(std::move(done))
{
    backlog_.resize(backlogCapacity / blockAlign_ * blockAlign_);
}

bool BufferAssembler::isQueued(const WaveHeader& header) const
{
    return std::find(queue_.begin(), queue_.end(), &header) != queue_.end();
}

void BufferAssembler::add(WaveHeader& header)
{
    header.dwBytesRecorded = 0;
    header.droppedBefore = 0;
    header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    queue_.push_back(&header);
    drainBacklog();
    if (backlogSize_ == 0) {
        fill(nullptr, 0);  // marks a loss that lies right here
    }
}

void BufferAssembler::write(const std::byte* data, std::size_t size)
{
    received_ += size;
    // Straight into the buffers unless older bytes are still waiting.
    std::size_t taken = backlogSize_ == 0 ? fill(data, size) : 0;
    if (data != nullptr) {
        data += taken;
    }
    size -= taken;
    taken_ += taken;
    if (size == 0) {
        return;
    }
    std::size_t room = backlog_.size() - backlogSize_;
    room = std::min(room, size) / blockAlign_ * blockAlign_;
    for (std::size_t i = 0; i < room;) {
        const std::size_t end = (backlogStart_ + backlogSize_) % backlog_.size();
        const std::size_t run = std::min(room - i, backlog_.size() - end);
        if (data != nullptr) {
            std::memcpy(backlog_.data() + end, data + i, run);
        } else {
            std::memset(backlog_.data() + end, 0, run);
        }
        backlogSize_ += run;
        i += run;
    }
    taken_ += room;
    const std::size_t lost = size - room;
    if (lost == 0) {
        return;
    }
    dropped_ += lost;
    // The loss sits behind everything taken so far; drops with nothing taken in between are one gap.
    if (!gaps_.empty() && gaps_.back().position == taken_) {
        gaps_.back().bytes += lost;
    } else {
        gaps_.push_back({taken_, lost});
    }
}

void BufferAssembler::lose(std::size_t size)
{
    if (size == 0) {
        return;
    }
    dropped_ += size;
    if (!gaps_.empty() && gaps_.back().position == taken_) {
        gaps_.back().bytes += size;
    } else {
        gaps_.push_back({taken_, size});
    }
    if (backlogSize_ == 0) {
        fill(nullptr, 0);  // marks it on the buffer in progress now
    }
}

std::size_t BufferAssembler::fill(const std::byte* data, std::size_t size)
{
    std::size_t taken = 0;
    for (;;) {
        if (!gaps_.empty() && gaps_.front().position == filled_ && !markDueGap()) {
            break;
        }
        if (taken == size || queue_.empty()) {
            break;
        }
        WaveHeader& h = *queue_.front();
        std::size_t n = std::min<std::size_t>(size - taken, h.dwBufferLength - h.dwBytesRecorded);
        if (!gaps_.empty()) {
            n = static_cast<std::size_t>(std::min<std::uint64_t>(n, gaps_.front().position - filled_));
        }
        if (data != nullptr) {
            std::memcpy(h.lpData + h.dwBytesRecorded, data + taken, n);
        } else {
            std::memset(h.lpData + h.dwBytesRecorded, 0, n);
        }
        h.dwBytesRecorded += static_cast<std::uint32_t>(n);
        filled_ += n;
        taken += n;
        if (h.dwBytesRecorded == h.dwBufferLength) {
            complete();
        }
    }
    return taken;
}

bool BufferAssembler::markDueGap()
{
    if (queue_.empty()) {
        return false;
    }
    // The audio before the gap goes out on its own, so the gap starts a buffer.
    if (queue_.front()->dwBytesRecorded > 0) {
        complete();
        if (queue_.empty()) {
            return false;
        }
    }
    queue_.front()->droppedBefore += gaps_.front().bytes;
    gaps_.pop_front();
    return true;
}

void BufferAssembler::drainBacklog()
{
    while (backlogSize_ > 0 && !queue_.empty()) {
        const std::size_t run = std::min(backlogSize_, backlog_.size() - backlogStart_);
        const std::size_t taken = fill(backlog_.data() + backlogStart_, run);
        backlogStart_ = (backlogStart_ + taken) % backlog_.size();
        backlogSize_ -= taken;
        if (taken < run) {
            break;
        }
    }
    if (backlogSize_ == 0) {
        backlogStart_ = 0;
    }
}

void BufferAssembler::complete()
{
    WaveHeader* h = queue_.front();
    queue_.pop_front();
    h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    done_(*h);
}

void BufferAssembler::finishCurrent()
{
    if (!queue_.empty() && (queue_.front()->dwBytesRecorded > 0 || queue_.front()->droppedBefore > 0)) {
        complete();
    }
}

void BufferAssembler::returnAll()
{
    while (!queue_.empty()) {
        complete();
    }
    backlogStart_ = 0;
    backlogSize_ = 0;
    gaps_.clear();
    taken_ = filled_;
}

}  // namespace quillon
