#include "effects/DspScalar.h"

#include "effects/DspArithmetic.h"

namespace quillon::dsp {
namespace {

// The filters multiply by kInv32767 where the formula divides by 32767; the float they keep
// is the same for every 16-bit sample.
consteval bool InverseGivesTheQuotient()
{
    for (int s = -32768; s <= 32767; ++s) {
        const auto v = static_cast<double>(s);
        if (static_cast<float>(v / kFullScale16) != static_cast<float>(v * kInv32767)) {
            return false;
        }
    }
    return true;
}
static_assert(InverseGivesTheQuotient());

using L = ScalarLanes;

// One band's registers for one channel.
struct BandRegs {
    double b0, b1, b2, a1, a2;
    double x1, x2, y1, y2;
};

}  // namespace

namespace scalar {

int16_t PhaseSample(PhaseShifterState& st, int ch, int16_t s)
{
    const auto channel = static_cast<std::size_t>(ch);
    AllPassLanes<L> stages{};
    stages.Load(st, channel);
    const double out = stages.Step(L::LoadFrame(&s), SweepCoefficient(st.sweepValue));
    stages.Save(st, channel);
    return static_cast<int16_t>(out);
}

int16_t CascadeSample(int16_t s, std::span<BiquadSection* const> sections, int ch)
{
    double v = L::LoadFrame(&s);
    for (BiquadSection* sec : sections) {
        BiquadHistory& h = sec->history[static_cast<std::size_t>(ch)];
        BandRegs r{sec->k.b0, sec->k.b1, sec->k.b2, sec->k.a1, sec->k.a2, h.x1, h.x2, h.y1, h.y2};
        v = Biquad16Step<L>(r, v);
        h = {static_cast<float>(r.x1), static_cast<float>(r.x2), static_cast<float>(r.y1), static_cast<float>(r.y2)};
    }
    return static_cast<int16_t>(v);
}

void Amplify(std::span<int16_t> block, float factor)
{
    for (int16_t& s : block) {
        // the product is rounded to a float before the write
        const auto p = static_cast<double>(static_cast<float>(s) * factor);
        s = static_cast<int16_t>(Clip16<L>(p));
    }
}

void Echo(int16_t* block, int16_t* line, std::size_t n, double gain)
{
    for (std::size_t j = 0; j < n; ++j) {
        const double sum = static_cast<double>(block[j]) + static_cast<double>(line[j]);
        const auto out = static_cast<int16_t>(Clamp16<L>(sum));
        block[j] = out;
        line[j] = static_cast<int16_t>(Clip16<L>(static_cast<double>(out) * gain));
    }
}

}  // namespace scalar

void Biquad8(std::span<uint8_t> block, BiquadSection& section, int channels, int firstChannel)
{
    BandRegs r{section.k.b0, section.k.b1, section.k.b2, section.k.a1, section.k.a2, 0.0, 0.0, 0.0, 0.0};
    int ch = firstChannel;
    for (uint8_t& b : block) {
        BiquadHistory& h = section.history[static_cast<std::size_t>(ch)];
        r.x1 = h.x1;
        r.x2 = h.x2;
        r.y1 = h.y1;
        r.y2 = h.y2;
        const double x = FilterInput8(b);
        const double y = BiquadOutput<L>(r, x);
        BiquadAdvance<L>(r, x, y);
        h = {static_cast<float>(r.x1), static_cast<float>(r.x2), static_cast<float>(r.y1), static_cast<float>(r.y2)};
        b = FilterOutput8(y);
        if (++ch == channels) {
            ch = 0;
        }
    }
}

}  // namespace quillon::dsp
