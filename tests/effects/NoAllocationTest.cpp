#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "CountingAllocator.h"
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

}  // namespace
}  // namespace quillon
