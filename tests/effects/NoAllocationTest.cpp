#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "CountingAllocator.h"
#include "common/QuillonError.h"
#include "effects/IIRFilter.h"
#include "effects/clsDSP.h"

namespace quillon {
namespace {

TEST(NoAllocation, processSamples_allocatesNothing_monoAndStereo)
{
    for (const int16_t channels : {int16_t{1}, int16_t{2}}) {
        clsDSP dsp;
        dsp.samplerate(44100);
        dsp.Channels(channels);
        dsp.EffectsUsed(15);
        dsp.EqualizerBandGainDB(3, 12.0f);
        std::vector<int16_t> block(5120);
        for (std::size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<int16_t>((i * 7919) % 20000) - 10000;
        }
        IIRFilter filter;
        filter.CreateBiquadIIR(IIRFilter::Peaking, 6.0f, 1000.0f, 44100.0f, 1.0f);
        std::vector<uint8_t> bytes(1024, 100);

        const long before = test::allocationCount();
        for (int k = 0; k < 20; ++k) {
            dsp.ProcessSamples(block);
            dsp.ProcessSamples(std::span(block).first(1001));  // partial frames too
            filter.ProcessSamples_16bit(block);
            filter.ProcessSamples_8bit(bytes);
        }
        EXPECT_EQ(test::allocationCount(), before) << channels << " channels";

        // the counter does see allocations: setters rebuild the delay line
        dsp.EchoLength(200);
        EXPECT_GT(test::allocationCount(), before);
    }
}

// A delay line that cannot be allocated is refused with the chain as it was: the old length
// stays, its echo still sounds, and later rate and channel changes work.
TEST(NoAllocation, echoLineThatCannotBeAllocated_leavesTheChainUnchanged)
{
    clsDSP dsp;
    dsp.samplerate(8000);
    dsp.Channels(1);
    dsp.EffectsUsed(clsDSP::kEcho);
    dsp.EchoLength(100);  // 800 frames
    test::failAllocationsFrom(100000);
    EXPECT_THROW(dsp.EchoLength(100000), QuillonError);  // 1.6 MB of line
    EXPECT_EQ(dsp.EchoLength(), 100);
    dsp.EchoLength(1000);                               // 16 kB fits
    EXPECT_THROW(dsp.samplerate(96000), QuillonError);  // 192 kB at 96 kHz does not
    EXPECT_EQ(dsp.samplerate(), 8000);
    test::failAllocationsFrom(static_cast<std::size_t>(-1));
    dsp.EchoLength(100);
    EXPECT_NO_THROW(dsp.samplerate(16000));
    EXPECT_NO_THROW(dsp.Channels(2));
    dsp.Channels(1);
    // 100 ms at 16 kHz: the impulse comes back 1600 samples later at EchoAmp 0.4.
    std::vector<int16_t> block(2000, 0);
    block[0] = 10000;
    dsp.ProcessSamples(block);
    EXPECT_EQ(block[1600], 4000);
}

}  // namespace
}  // namespace quillon
