#include "recording/SoundTrigger.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quillon {

namespace {

constexpr double kFullScale = 32767.0;
// The level that ends a take lies this far under the one that starts it, so a sound hovering at
// the trigger level does not cut a take into pieces.
constexpr double kStopHysteresisDb = 3.0;

std::int32_t levelOf(double dbfs)
{
    return static_cast<std::int32_t>(std::lround(kFullScale * std::pow(10.0, dbfs / 20.0)));
}

}  // namespace

SoundTrigger::SoundTrigger(const SoundTriggerSettings& settings, std::int32_t rate, std::int16_t channels)
    : settings_(settings),
      channels_(std::max<std::int16_t>(channels, 1)),
      windowFrames_(std::max<std::int64_t>(rate / 100, 1)),
      preRollFrames_(std::llround(std::clamp(settings.preRollSeconds, 0.0, kMaxPreRollSeconds) * rate)),
      startLevel_(levelOf(settings.startAboveDbfs)),
      stopLevel_(levelOf(settings.startAboveDbfs - kStopHysteresisDb))
{
    if (settings.stopAfterSilenceSeconds) {
        silenceFrames_ = std::llround(std::max(*settings.stopAfterSilenceSeconds, 0.0) * rate);
    }
    ringFrames_ = preRollFrames_ + confirmWindows_ * windowFrames_;
    ring_.assign(static_cast<std::size_t>(ringFrames_ * channels_), 0);
}

void SoundTrigger::Process(std::span<const std::int16_t> captured, std::span<const std::int16_t> processed,
                           SoundTriggerSink& sink)
{
    const auto ch = static_cast<std::size_t>(channels_);
    const std::size_t frames = std::min(captured.size(), processed.size()) / ch;
    std::size_t at = 0;
    while (at < frames) {
        const auto chunk = std::min(frames - at, static_cast<std::size_t>(windowFrames_ - windowFill_));
        for (const std::int16_t s : captured.subspan(at * ch, chunk * ch)) {
            windowPeak_ = std::max(windowPeak_, std::abs(static_cast<std::int32_t>(s)));
        }
        const auto out = processed.subspan(at * ch, chunk * ch);
        if (state_ == State::Recording) {
            sink.Write(out);
        } else if (state_ == State::Armed) {
            keep(out);
        }
        at += chunk;
        frame_ += static_cast<std::int64_t>(chunk);
        windowFill_ += static_cast<std::int64_t>(chunk);
        if (windowFill_ == windowFrames_) {
            windowDone(frame_, sink);
            windowFill_ = 0;
            windowPeak_ = 0;
        }
    }
}

void SoundTrigger::windowDone(std::int64_t end, SoundTriggerSink& sink)
{
    if (state_ == State::Armed) {
        if (windowPeak_ <= startLevel_) {
            aboveWindows_ = 0;
            return;
        }
        if (aboveWindows_++ == 0) {
            onset_ = end - windowFrames_;
        }
        if (aboveWindows_ < confirmWindows_) {
            return;
        }
        const std::int64_t from = std::max({onset_ - preRollFrames_, lastTakeEnd_, end - ringCount_});
        sink.TakeStarted(from);
        writeKept(from, sink);
        state_ = State::Recording;
        aboveWindows_ = 0;
        silentFrames_ = 0;
        return;
    }
    if (state_ != State::Recording) {
        return;
    }
    silentFrames_ = windowPeak_ < stopLevel_ ? silentFrames_ + windowFrames_ : 0;
    if (silenceFrames_ >= 0 && silentFrames_ >= silenceFrames_) {
        sink.TakeEnded(settings_.splitOnSilence);
        lastTakeEnd_ = end;
        ringCount_ = 0;
        state_ = settings_.splitOnSilence ? State::Armed : State::Finished;
    }
}

void SoundTrigger::keep(std::span<const std::int16_t> samples)
{
    if (ringFrames_ == 0) {
        return;
    }
    const auto ch = static_cast<std::int64_t>(channels_);
    const auto frames = static_cast<std::int64_t>(samples.size()) / ch;
    // Only the newest ringFrames_ frames can ever be written.
    const std::int64_t skip = std::max<std::int64_t>(frames - ringFrames_, 0);
    for (std::int64_t f = skip; f < frames; ++f) {
        std::copy_n(samples.begin() + f * ch, ch, ring_.begin() + ringHead_ * ch);
        ringHead_ = (ringHead_ + 1) % ringFrames_;
    }
    ringCount_ = std::min(ringCount_ + frames, ringFrames_);
}

void SoundTrigger::writeKept(std::int64_t from, SoundTriggerSink& sink)
{
    const std::int64_t first = frame_ - ringCount_;
    from = std::max(from, first);
    std::int64_t count = frame_ - from;
    if (count <= 0) {
        ringCount_ = 0;
        return;
    }
    const auto ch = static_cast<std::int64_t>(channels_);
    std::int64_t index = ((ringHead_ - count) % ringFrames_ + ringFrames_) % ringFrames_;
    while (count > 0) {
        const std::int64_t run = std::min(count, ringFrames_ - index);
        sink.Write(std::span<const std::int16_t>(ring_).subspan(static_cast<std::size_t>(index * ch),
                                                                static_cast<std::size_t>(run * ch)));
        count -= run;
        index = (index + run) % ringFrames_;
    }
    ringCount_ = 0;
}

}  // namespace quillon
