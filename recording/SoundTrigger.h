#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quillon {

// Sound-activated recording: what arms, starts and ends a take.
struct SoundTriggerSettings {
    double startAboveDbfs = -30.0;
    // Processed audio kept while armed and written at the head of the take, counted back from
    // the first moment the sound was above the trigger level (so the 50 ms it takes to be sure
    // of the sound are never lost, even with no pre-roll).
    double preRollSeconds = 0.5;
    // Seconds below the trigger level minus 3 dB that end a take; none: the take goes on until stopped.
    std::optional<double> stopAfterSilenceSeconds;
    // After a take ends on silence, arm again for the next one instead of ending the session.
    bool splitOnSilence = false;
};

inline constexpr double kMaxPreRollSeconds = 10.0;

// Where the trigger's decisions go, in the order of the audio.
class SoundTriggerSink {
public:
    virtual ~SoundTriggerSink() = default;
    // A take begins; `firstFrame` counts frames since arming (the pre-roll's first frame).
    virtual void TakeStarted(std::int64_t firstFrame) = 0;
    // Processed audio of the current take, interleaved.
    virtual void Write(std::span<const std::int16_t> samples) = 0;
    // The take ended on silence after its last written frame; `splitting`: armed for the next.
    virtual void TakeEnded(bool splitting) = 0;
};

// Decides, block by block, which processed audio belongs to a take. The level is the peak over
// 10 ms of the audio as captured (before the effects); a take starts when 5 such windows in a row
// are above the trigger level (50 ms) and ends when the silence rule says so. Nothing reaches the
// sink while armed. Runs on the thread that delivers the capture's blocks.
class SoundTrigger {
public:
    SoundTrigger(const SoundTriggerSettings& settings, std::int32_t rate, std::int16_t channels);

    // `captured` and `processed` hold the same frames, before and after the effects.
    void Process(std::span<const std::int16_t> captured, std::span<const std::int16_t> processed,
                 SoundTriggerSink& sink);

    [[nodiscard]] bool Armed() const { return state_ == State::Armed; }
    [[nodiscard]] bool Recording() const { return state_ == State::Recording; }
    // A take ended on silence and no split was asked for: the session is over.
    [[nodiscard]] bool Finished() const { return state_ == State::Finished; }
    [[nodiscard]] std::int64_t FramesSeen() const { return frame_; }

private:
    enum class State { Armed, Recording, Finished };

    void windowDone(std::int64_t end, SoundTriggerSink& sink);
    void keep(std::span<const std::int16_t> samples);
    void writeKept(std::int64_t from, SoundTriggerSink& sink);

    SoundTriggerSettings settings_;
    std::int16_t channels_;
    std::int64_t windowFrames_;
    std::int64_t confirmWindows_ = 5;
    std::int64_t preRollFrames_;
    std::int64_t silenceFrames_ = -1;  // none: no silence rule
    std::int32_t startLevel_;
    std::int32_t stopLevel_;

    State state_ = State::Armed;
    std::int64_t frame_ = 0;       // frames seen since arming
    std::int64_t windowFill_ = 0;  // frames of the current window seen
    std::int32_t windowPeak_ = 0;
    std::int64_t aboveWindows_ = 0;  // windows in a row above the trigger level
    std::int64_t onset_ = 0;         // first frame of the first of them
    std::int64_t silentFrames_ = 0;  // frames in a row below the stop level (whole windows)
    std::int64_t lastTakeEnd_ = 0;   // a pre-roll never reaches back before it

    // The processed audio kept while armed: a ring of whole frames ending at frame_.
    std::vector<std::int16_t> ring_;
    std::int64_t ringFrames_ = 0;
    std::int64_t ringHead_ = 0;  // frame index in the ring where the next frame goes
    std::int64_t ringCount_ = 0;
};

}  // namespace quillon
