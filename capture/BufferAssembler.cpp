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
    header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    queue_.push_back(&header);
    drainBacklog();
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
    dropped_ += size - room;
}

std::size_t BufferAssembler::fill(const std::byte* data, std::size_t size)
{
    std::size_t taken = 0;
    while (taken < size && !queue_.empty()) {
        WaveHeader& h = *queue_.front();
        const std::size_t n = std::min<std::size_t>(size - taken, h.dwBufferLength - h.dwBytesRecorded);
        if (data != nullptr) {
            std::memcpy(h.lpData + h.dwBytesRecorded, data + taken, n);
        } else {
            std::memset(h.lpData + h.dwBytesRecorded, 0, n);
        }
        h.dwBytesRecorded += static_cast<std::uint32_t>(n);
        taken += n;
        if (h.dwBytesRecorded == h.dwBufferLength) {
            complete();
        }
    }
    return taken;
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
    if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) {
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
}

}  // namespace quillon
