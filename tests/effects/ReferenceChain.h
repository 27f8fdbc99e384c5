#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace quillon::test {

// A plain per-sample implementation of the effects chain, written from the formulas and kept
// deliberately naive (one sample at a time, one channel at a time, per-channel delay lines), to
// check that the optimised library produces the very same samples.
class ReferenceChain {
public:
    struct Settings {
        int samplerate = 44100;
        int channels = 2;
        int effects = 15;
        int amplifyDB = 3;
        int echoLength = 100;
        float echoAmp = 0.4f;
        float dry = 1.0f;
        float wet = 1.0f;
        float feedback = 0.5f;
        float sweepRate = 1.0f;
        float sweepRange = 4.0f;
        float frequency = 100.0f;
        std::vector<float> bandGains = std::vector<float>(7, 0.0f);
    };

    explicit ReferenceChain(Settings s);

    void Process(std::span<int16_t> block);

private:
    struct Band {
        float b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        std::array<float, 2> x1{}, x2{}, y1{}, y2{};
    };

    Settings s_;
    long long delayFrames_ = 0;
    std::array<std::vector<int16_t>, 2> delay_;
    long long delayPos_ = 0;
    float w_ = 0, wMin_ = 0, wMax_ = 0, step_ = 0, mult_ = 0;
    std::array<std::array<float, 4>, 2> stageIn_{}, stageOut_{};
    std::vector<Band> bands_;
    int channel_ = 0;
};

}  // namespace quillon::test
