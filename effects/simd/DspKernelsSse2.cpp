// The loops over whole frames at the base instruction set: the equalizer's cascade and the
// phase shifter with the channels of a frame side by side, the amplifier and the echo eight
// samples at a time.
#include "effects/simd/DspSse2.h"

#include <algorithm>
#include <array>
#include <utility>

#include "effects/DspArithmetic.h"
#include "effects/simd/DspPairLanes.h"

namespace quillon::dsp::simd {
namespace {

// ---- biquad cascade over whole frames ----

template <typename L>
struct BandRegs {
    using T = typename L::T;
    T b0, b1, b2, a1, a2;
    T x1, x2, y1, y2;
};

template <typename L>
[[gnu::always_inline]] inline typename L::T HistoryLanes(const BiquadSection& s, float BiquadHistory::*field)
{
    if constexpr (L::kLanes == 1) {
        return L::Set1(static_cast<double>(s.history[0].*field));
    } else {
        return L::Pair(static_cast<double>(s.history[0].*field), static_cast<double>(s.history[1].*field));
    }
}

template <typename L>
inline void StoreHistory(BiquadSection& s, float BiquadHistory::*field, typename L::T v)
{
    if constexpr (L::kLanes == 1) {
        s.history[0].*field = static_cast<float>(v);
    } else {
        s.history[0].*field = static_cast<float>(L::Lane(v, 0));
        s.history[1].*field = static_cast<float>(L::Lane(v, 1));
    }
}

// What each band last produced (index k + 1 for band k), index 0 the frame coming in.
template <typename L>
struct Carries {
    typename L::T v[kMaxCascade + 1];
    [[gnu::always_inline]] typename L::T& operator[](std::size_t k) { return v[k]; }
};
template <typename L>
using Bands = std::array<BandRegs<L>, kMaxCascade>;

// One step of the steady state, where every band has a frame to work on; the band count is
// fixed at compile time so the carries between bands stay in registers.
template <typename L, std::size_t NB>
void SteadySteps(Bands<L>& regs, Carries<L>& carry, int16_t* frames, std::size_t tBegin, std::size_t tEnd)
{
    constexpr auto stride = static_cast<std::size_t>(L::kLanes);
    typename L::T c[NB + 1];
    for (std::size_t k = 0; k <= NB; ++k) {
        c[k] = carry[k];
    }
    for (std::size_t t = tBegin; t < tEnd; ++t) {
        c[0] = L::LoadFrame(frames + t * stride);
        [&]<std::size_t... K>(std::index_sequence<K...>)
        {
            // downwards, so each band reads its carry before the band below overwrites it
            ((c[NB - K] = Biquad16Step<L>(regs[NB - 1 - K], c[NB - 1 - K])), ...);
        }
        (std::make_index_sequence<NB>{});
        L::StoreFrame(frames + (t + 1 - NB) * stride, c[NB]);
    }
    for (std::size_t k = 0; k <= NB; ++k) {
        carry[k] = c[k];
    }
}

template <typename L, std::size_t... N>
bool DispatchSteady(std::size_t nb, Bands<L>& regs, Carries<L>& carry, int16_t* frames, std::size_t tBegin,
                    std::size_t tEnd, std::index_sequence<N...> /*counts*/)
{
    return ((nb == N + 1 ? (SteadySteps<L, N + 1>(regs, carry, frames, tBegin, tEnd), true) : false) || ...);
}

// Band k works on frame t - k at step t, so the bands' recurrences run side by side instead of
// one after the other; each band still sees its frames in order and its input from the band
// before, so the result is that of filtering the block band by band.
template <typename L>
void CascadeFrames(int16_t* frames, std::size_t nFrames, std::span<BiquadSection* const> sections)
{
    constexpr auto stride = static_cast<std::size_t>(L::kLanes);
    const std::size_t nb = sections.size();
    Bands<L> regs;
    for (std::size_t k = 0; k < nb; ++k) {
        const BiquadSection& s = *sections[k];
        BandRegs<L>& r = regs[k];
        r.b0 = L::Set1(static_cast<double>(s.k.b0));
        r.b1 = L::Set1(static_cast<double>(s.k.b1));
        r.b2 = L::Set1(static_cast<double>(s.k.b2));
        r.a1 = L::Set1(static_cast<double>(s.k.a1));
        r.a2 = L::Set1(static_cast<double>(s.k.a2));
        r.x1 = HistoryLanes<L>(s, &BiquadHistory::x1);
        r.x2 = HistoryLanes<L>(s, &BiquadHistory::x2);
        r.y1 = HistoryLanes<L>(s, &BiquadHistory::y1);
        r.y2 = HistoryLanes<L>(s, &BiquadHistory::y2);
    }

    Carries<L> carry{};
    // any step, including the ramps at both ends where only some bands have a frame
    auto step = [&](std::size_t t) {
        if (t < nFrames) {
            carry[0] = L::LoadFrame(frames + t * stride);
        }
        const std::size_t kHi = std::min(nb - 1, t);
        const std::size_t kLo = t < nFrames ? 0 : t - (nFrames - 1);
        for (std::size_t k = kHi + 1; k-- > kLo;) {
            carry[k + 1] = Biquad16Step<L>(regs[k], carry[k]);
        }
        if (t + 1 >= nb) {
            L::StoreFrame(frames + (t + 1 - nb) * stride, carry[nb]);
        }
    };
    const std::size_t steps = nFrames + nb - 1;
    const std::size_t steadyBegin = nb - 1;
    const std::size_t steadyEnd = std::max(nFrames, steadyBegin);
    std::size_t t = 0;
    for (; t < std::min(steadyBegin, steps); ++t) {
        step(t);
    }
    if (steadyEnd > steadyBegin &&
        DispatchSteady<L>(nb, regs, carry, frames, steadyBegin, steadyEnd, std::make_index_sequence<kMaxCascade>{})) {
        t = steadyEnd;
    }
    for (; t < steps; ++t) {
        step(t);
    }

    for (std::size_t k = 0; k < nb; ++k) {
        BiquadSection& s = *sections[k];
        const BandRegs<L>& r = regs[k];
        StoreHistory<L>(s, &BiquadHistory::x1, r.x1);
        StoreHistory<L>(s, &BiquadHistory::x2, r.x2);
        StoreHistory<L>(s, &BiquadHistory::y1, r.y1);
        StoreHistory<L>(s, &BiquadHistory::y2, r.y2);
    }
}

// ---- the phase shifter over whole frames ----

template <typename L>
void PhaseFrames(int16_t* frames, std::size_t nFrames, PhaseShifterState& st)
{
    constexpr auto stride = static_cast<std::size_t>(L::kLanes);
    AllPassLanes<L> stages;
    stages.Load(st);
    for (std::size_t f = 0; f < nFrames; ++f) {
        int16_t* frame = frames + f * stride;
        L::StoreFrame(frame, stages.Step(L::LoadFrame(frame), SweepCoefficient(st.sweepValue)));
        AdvanceSweep(st);
    }
    stages.Save(st);
}

#if defined(__SSE2__)
// Four floats, for the amplifier (whose product is a float).
struct FloatLanes {
    using T = __m128;
    using M = __m128;

    [[gnu::always_inline]] static T Set1(double v) { return _mm_set1_ps(static_cast<float>(v)); }
    [[gnu::always_inline]] static T Min(T a, T b) { return _mm_min_ps(a, b); }
    [[gnu::always_inline]] static T Max(T a, T b) { return _mm_max_ps(a, b); }
    [[gnu::always_inline]] static M Ordered(T a) { return _mm_cmpord_ps(a, a); }
    [[gnu::always_inline]] static T KeepOnly(M m, T a) { return _mm_and_ps(a, m); }
};
#endif

}  // namespace

void CascadeFramesSse2(int16_t* frames, std::size_t nFrames, int channels, std::span<BiquadSection* const> sections)
{
    if (channels == 2) {
        CascadeFrames<PairLanes>(frames, nFrames, sections);
    } else {
        CascadeFrames<ScalarLanes>(frames, nFrames, sections);
    }
}

void PhaseFramesSse2(int16_t* frames, std::size_t nFrames, int channels, PhaseShifterState& st)
{
    if (channels == 2) {
        PhaseFrames<PairLanes>(frames, nFrames, st);
    } else {
        PhaseFrames<ScalarLanes>(frames, nFrames, st);
    }
}

// The conversions to integers below round halves to even (the default rounding mode).
std::size_t AmplifySse2(std::span<int16_t> block, float factor)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 f = _mm_set1_ps(factor);
    for (; i + 8 <= block.size(); i += 8) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block.data() + i));
        const __m128 p0 = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16)), f);
        const __m128 p1 = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(s, s), 16)), f);
        const __m128i r =
            _mm_packs_epi32(_mm_cvtps_epi32(Saturate16<FloatLanes>(p0)), _mm_cvtps_epi32(Saturate16<FloatLanes>(p1)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block.data() + i), r);
    }
#else
    (void)block;
    (void)factor;
#endif
    return i;
}

std::size_t EchoSse2(int16_t* block, int16_t* line, std::size_t n, double gain)
{
    std::size_t j = 0;
#if defined(__SSE2__)
    const __m128d gv = _mm_set1_pd(gain);
    auto feed = [&](__m128i two) {
        return _mm_cvtpd_epi32(Saturate16<PairLanes>(_mm_mul_pd(_mm_cvtepi32_pd(two), gv)));
    };
    for (; j + 8 <= n; j += 8) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + j));
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + j));
        const __m128i o = _mm_adds_epi16(s, e);  // the saturating add is the clip
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block + j), o);
        const __m128i lo32 = _mm_srai_epi32(_mm_unpacklo_epi16(o, o), 16);
        const __m128i hi32 = _mm_srai_epi32(_mm_unpackhi_epi16(o, o), 16);
        const __m128i f0 = _mm_unpacklo_epi64(feed(lo32), feed(_mm_shuffle_epi32(lo32, 0x4E)));
        const __m128i f1 = _mm_unpacklo_epi64(feed(hi32), feed(_mm_shuffle_epi32(hi32, 0x4E)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(line + j), _mm_packs_epi32(f0, f1));
    }
#else
    (void)block;
    (void)line;
    (void)n;
    (void)gain;
#endif
    return j;
}

}  // namespace quillon::dsp::simd
