// The effects chain on every instruction set against the plain per-sample reference of the
// tests: settings, signal and block boundaries all come from the input, and any sample that
// differs is a fault.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "ReferenceChain.h"
#include "effects/DspKernels.h"
#include "effects/clsDSP.h"

namespace {

using quillon::clsDSP;
using quillon::test::ReferenceChain;
namespace dsp = quillon::dsp;

// Within and somewhat beyond what the settings window offers.
ReferenceChain::Settings Settings(FuzzedDataProvider& in)
{
    const int rates[] = {8000, 11025, 22050, 44100, 48000, 96000};
    ReferenceChain::Settings s;
    s.samplerate = in.PickValueInArray(rates);
    s.channels = in.ConsumeIntegralInRange(1, 2);
    s.effects = in.ConsumeIntegralInRange(0, 15);
    s.amplifyDB = in.ConsumeIntegralInRange(-40, 40);
    s.echoLength = in.ConsumeIntegralInRange(1, 300);
    s.echoAmp = in.ConsumeFloatingPointInRange(-0.9f, 0.9f);
    s.dry = in.ConsumeFloatingPointInRange(-2.0f, 2.0f);
    s.wet = in.ConsumeFloatingPointInRange(-2.0f, 2.0f);
    s.feedback = in.ConsumeFloatingPointInRange(-0.99f, 0.99f);
    s.sweepRate = in.ConsumeFloatingPointInRange(0.1f, 20.0f);
    s.sweepRange = in.ConsumeFloatingPointInRange(0.5f, 7.0f);
    s.frequency = in.ConsumeFloatingPointInRange(-10.0f, 2000.0f);
    s.bandGains.assign(in.ConsumeIntegralInRange<std::size_t>(1, clsDSP::kMaxBands), 0.0f);
    for (float& g : s.bandGains) {
        g = in.ConsumeFloatingPointInRange(-24.0f, 24.0f);
    }
    return s;
}

clsDSP Chain(const ReferenceChain::Settings& s)
{
    clsDSP chain;
    chain.EqualizerBands(static_cast<int32_t>(s.bandGains.size()));
    chain.samplerate(s.samplerate);
    chain.Channels(static_cast<int16_t>(s.channels));
    chain.EffectsUsed(s.effects);
    chain.AmplifyDB(s.amplifyDB);
    chain.EchoLength(s.echoLength);
    chain.EchoAmp(s.echoAmp);
    chain.PhaseShiftDry(s.dry);
    chain.PhaseShiftWet(s.wet);
    chain.PhaseShiftFeedback(s.feedback);
    chain.PhaseShiftSweepRate(s.sweepRate);
    chain.PhaseShiftSweepRange(s.sweepRange);
    chain.PhaseShiftFrequency(s.frequency);
    for (std::size_t i = 0; i < s.bandGains.size(); ++i) {
        chain.EqualizerBandGainDB(static_cast<int32_t>(i), s.bandGains[i]);
    }
    return chain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const ReferenceChain::Settings s = Settings(in);
    // block lengths, then the signal
    std::vector<std::size_t> blocks(in.ConsumeIntegralInRange<std::size_t>(1, 8));
    for (std::size_t& n : blocks) {
        n = in.ConsumeIntegralInRange<std::size_t>(1, 3000);
    }
    const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
    std::vector<int16_t> signal(bytes.size() / 2);
    for (std::size_t i = 0; i < signal.size(); ++i) {
        signal[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }

    std::vector<int16_t> expected = signal;
    ReferenceChain ref(s);
    ref.Process(expected);

    const dsp::SimdLevel best = dsp::SupportedSimdLevel();
    for (int level = 0; level <= static_cast<int>(best); ++level) {
        dsp::UseSimdLevel(static_cast<dsp::SimdLevel>(level));
        clsDSP chain = Chain(s);
        std::vector<int16_t> got = signal;
        std::size_t pos = 0;
        for (std::size_t b = 0; pos < got.size(); ++b) {
            const std::size_t n = std::min(blocks[b % blocks.size()], got.size() - pos);
            chain.ProcessSamples(std::span(got).subspan(pos, n));
            pos += n;
        }
        if (got != expected) {
            std::abort();
        }
    }
    dsp::UseSimdLevel(best);
    return 0;
}
