#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "effects/IIRFilter.h"
#include "effects/clsDSP.h"

// Every allocation of this test program is counted.
namespace {
std::atomic<long> gAllocations{0};
}

void* operator new(std::size_t size)
{
    ++gAllocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

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

        const long before = gAllocations.load();
        for (int k = 0; k < 20; ++k) {
            dsp.ProcessSamples(block);
            dsp.ProcessSamples(std::span(block).first(1001));  // partial frames too
            filter.ProcessSamples_16bit(block);
            filter.ProcessSamples_8bit(bytes);
        }
        EXPECT_EQ(gAllocations.load(), before) << channels << " channels";

        // the counter does see allocations: setters rebuild the delay line
        dsp.EchoLength(200);
        EXPECT_GT(gAllocations.load(), before);
    }
}

}  // namespace
}  // namespace quillon
