#include "effects/DspKernels.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#if defined(QUILLON_X86_SIMD)
#include "effects/DspSimd.h"
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon::dsp {
namespace {

constexpr double kFloatMin = static_cast<double>(std::numeric_limits<float>::min());
// float(s * kInv32767) equals float(s / 32767.0) for every 16-bit s: the exact quotient is never
// within 2^-40 of a float rounding boundary, far more than the product's error.
constexpr double kInv32767 = 1.0 / 32767.0;

// ---- scalar building blocks (one channel, also the definition of the arithmetic) ----

[[gnu::always_inline]] inline double ToFloat(double v)
{
    return static_cast<double>(static_cast<float>(v));
}

[[gnu::always_inline]] inline double Flush(double v)
{
    return std::fabs(v) < kFloatMin ? 0.0 : v;
}

[[gnu::always_inline]] inline double StoreStateLanes(double v)
{
    return ToFloat(Flush(v));
}

[[gnu::always_inline]] inline double Clip16(double q)  // q already rounded to a float
{
    return static_cast<double>(ClipSample(static_cast<float>(q)));
}

[[gnu::always_inline]] inline double Out16(double y)
{
    return static_cast<double>(FilterOutput16(y));
}

[[gnu::always_inline]] inline double Splat(double v, double /*tag*/)
{
    return v;
}

inline int16_t EchoFeed(double p)
{
    if (std::isnan(p)) {
        return 0;
    }
    return static_cast<int16_t>(RoundHalfEven(std::clamp(p, -32768.0, 32767.0)));
}

[[gnu::always_inline]] inline double SweepCoefficient(float w)
{
    return (1.0 - static_cast<double>(w)) / (1.0 + static_cast<double>(w));
}

[[gnu::always_inline]] inline void AdvanceSweep(PhaseShifterState& st)
{
    st.sweepValue *= st.sweepMultiplier;
    // Bounds are tested after the step, so the value may overshoot by one step before turning.
    if (st.sweepValue > st.sweepMax) {
        st.sweepMultiplier = st.sweepStepInverse;
    } else if (st.sweepValue < st.sweepMin) {
        st.sweepMultiplier = st.sweepStep;
    }
}

inline int16_t PhaseSample(PhaseShifterState& st, int ch, int16_t s, double c)
{
    const double x = static_cast<double>(s) / 32767.0;
    auto& in = st.stageIn[static_cast<std::size_t>(ch)];
    auto& out = st.stageOut[static_cast<std::size_t>(ch)];
    double v = x + static_cast<double>(out[3]) * static_cast<double>(st.feedback);
    for (std::size_t k = 0; k < 4; ++k) {
        const double y = c * (v + static_cast<double>(out[k])) - static_cast<double>(in[k]);
        in[k] = StoreState(v);
        out[k] = StoreState(y);
        v = y;
    }
    const double mixed = static_cast<double>(st.wet) * v + static_cast<double>(st.dry) * x;
    return ClipSample(static_cast<float>(mixed * 32767.0));
}

inline double BiquadStep(const BiquadCoefficients& k, BiquadHistory& h, float x)
{
    double y = static_cast<double>(k.b0) * static_cast<double>(x) + static_cast<double>(k.b1) * h.x1;
    y += static_cast<double>(k.b2) * static_cast<double>(h.x2);
    y -= static_cast<double>(k.a1) * static_cast<double>(h.y1);
    y -= static_cast<double>(k.a2) * static_cast<double>(h.y2);
    h.x2 = h.x1;
    h.x1 = x;
    h.y2 = h.y1;
    h.y1 = StoreState(y);
    return y;
}

int16_t CascadeSample(int16_t s, std::span<BiquadSection* const> sections, int ch)
{
    int16_t v = s;
    for (BiquadSection* sec : sections) {
        v = FilterOutput16(BiquadStep(sec->k, sec->history[static_cast<std::size_t>(ch)], FilterInput16(v)));
    }
    return v;
}

// ---- two channels side by side ----

#if defined(__SSE2__)
struct V2 {
    __m128d v;
};
[[gnu::always_inline]] inline V2 operator+(V2 a, V2 b)
{
    return {_mm_add_pd(a.v, b.v)};
}
[[gnu::always_inline]] inline V2 operator-(V2 a, V2 b)
{
    return {_mm_sub_pd(a.v, b.v)};
}
[[gnu::always_inline]] inline V2 operator*(V2 a, V2 b)
{
    return {_mm_mul_pd(a.v, b.v)};
}
[[gnu::always_inline]] inline V2 operator/(V2 a, V2 b)
{
    return {_mm_div_pd(a.v, b.v)};
}
[[gnu::always_inline]] inline V2 Splat(double v, V2 /*tag*/)
{
    return {_mm_set1_pd(v)};
}
[[gnu::always_inline]] inline V2 Pair(double ch0, double ch1)
{
    return {_mm_set_pd(ch1, ch0)};
}
[[gnu::always_inline]] inline double Lane(V2 a, int lane)
{
    return lane == 0 ? _mm_cvtsd_f64(a.v) : _mm_cvtsd_f64(_mm_unpackhi_pd(a.v, a.v));
}
[[gnu::always_inline]] inline V2 ToFloat(V2 a)
{
    return {_mm_cvtps_pd(_mm_cvtpd_ps(a.v))};
}
// ToFloat(Flush(a)) with the mask computed beside the conversion, off the recurrence's path
// ("not below" keeps NaN, like the scalar compare); a flushed lane comes out +0 either way.
[[gnu::always_inline]] inline V2 StoreStateLanes(V2 a)
{
    const __m128d absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    const __m128d keep = _mm_cmpnlt_pd(_mm_and_pd(a.v, absMask), _mm_set1_pd(kFloatMin));
    return {_mm_and_pd(_mm_cvtps_pd(_mm_cvtpd_ps(a.v)), keep)};
}
[[gnu::always_inline]] inline V2 RoundHalfEven(V2 a)
{
    const __m128d magic = _mm_set1_pd(kRoundMagic);
    return {_mm_sub_pd(_mm_add_pd(a.v, magic), magic)};
}
[[gnu::always_inline]] inline V2 Clip16(V2 q)
{
    const __m128d clamped = _mm_min_pd(_mm_max_pd(q.v, _mm_set1_pd(-32768.0)), _mm_set1_pd(32767.0));
    return {_mm_and_pd(RoundHalfEven(V2{clamped}).v, _mm_cmpord_pd(q.v, q.v))};
}
[[gnu::always_inline]] inline V2 Out16(V2 y)
{
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d minusOne = _mm_set1_pd(-1.0);
    const __m128d t = _mm_min_pd(_mm_max_pd(y.v, minusOne), one);
    const __m128d r = RoundHalfEven(V2{_mm_mul_pd(t, _mm_set1_pd(32767.0))}).v;
    const __m128d below = _mm_cmplt_pd(y.v, minusOne);
    const __m128d sel = _mm_or_pd(_mm_andnot_pd(below, r), _mm_and_pd(below, _mm_set1_pd(-32768.0)));
    return {_mm_and_pd(sel, _mm_cmpord_pd(y.v, y.v))};
}
[[gnu::always_inline]] inline V2 LoadFrame(const int16_t* p)
{
    int32_t bits = 0;
    std::memcpy(&bits, p, sizeof bits);
    const __m128i pair = _mm_cvtsi32_si128(bits);
    return {_mm_cvtepi32_pd(_mm_srai_epi32(_mm_unpacklo_epi16(pair, pair), 16))};
}
[[gnu::always_inline]] inline void StoreFrame(int16_t* p, V2 integral)
{
    const __m128i i32 = _mm_cvttpd_epi32(integral.v);
    const int32_t bits = _mm_cvtsi128_si32(_mm_packs_epi32(i32, i32));
    std::memcpy(p, &bits, sizeof bits);
}
#else
// Portable stand-in with the same lane-wise arithmetic.
struct V2 {
    double a;
    double b;
};
[[gnu::always_inline]] inline V2 operator+(V2 x, V2 y)
{
    return {x.a + y.a, x.b + y.b};
}
[[gnu::always_inline]] inline V2 operator-(V2 x, V2 y)
{
    return {x.a - y.a, x.b - y.b};
}
[[gnu::always_inline]] inline V2 operator*(V2 x, V2 y)
{
    return {x.a * y.a, x.b * y.b};
}
[[gnu::always_inline]] inline V2 operator/(V2 x, V2 y)
{
    return {x.a / y.a, x.b / y.b};
}
[[gnu::always_inline]] inline V2 Splat(double v, V2 /*tag*/)
{
    return {v, v};
}
[[gnu::always_inline]] inline V2 Pair(double ch0, double ch1)
{
    return {ch0, ch1};
}
[[gnu::always_inline]] inline double Lane(V2 x, int lane)
{
    return lane == 0 ? x.a : x.b;
}
[[gnu::always_inline]] inline V2 ToFloat(V2 x)
{
    return {ToFloat(x.a), ToFloat(x.b)};
}
[[gnu::always_inline]] inline V2 StoreStateLanes(V2 x)
{
    return {StoreStateLanes(x.a), StoreStateLanes(x.b)};
}
[[gnu::always_inline]] inline V2 Clip16(V2 q)
{
    return {Clip16(q.a), Clip16(q.b)};
}
[[gnu::always_inline]] inline V2 Out16(V2 y)
{
    return {Out16(y.a), Out16(y.b)};
}
[[gnu::always_inline]] inline V2 LoadFrame(const int16_t* p)
{
    return {static_cast<double>(p[0]), static_cast<double>(p[1])};
}
[[gnu::always_inline]] inline void StoreFrame(int16_t* p, V2 integral)
{
    p[0] = static_cast<int16_t>(integral.a);
    p[1] = static_cast<int16_t>(integral.b);
}
#endif

[[gnu::always_inline]] inline double LoadFrame1(const int16_t* p)
{
    return static_cast<double>(*p);
}
[[gnu::always_inline]] inline void StoreFrame1(int16_t* p, double integral)
{
    *p = static_cast<int16_t>(integral);
}

// Frame access for the loops, as function objects so they inline.
struct FrameIO1 {
    [[gnu::always_inline]] double operator()(const int16_t* p) const { return LoadFrame1(p); }
    [[gnu::always_inline]] void operator()(int16_t* p, double v) const { StoreFrame1(p, v); }
};
struct FrameIO2 {
    [[gnu::always_inline]] V2 operator()(const int16_t* p) const { return LoadFrame(p); }
    [[gnu::always_inline]] void operator()(int16_t* p, V2 v) const { StoreFrame(p, v); }
};

// ---- biquad cascade over whole frames ----

constexpr int kMaxCascade = 16;

template <typename V>
struct BandRegs {
    V b0, b1, b2, a1, a2;
    V x1, x2, y1, y2;
};

template <typename V>
[[gnu::always_inline]] inline V CascadeStep(BandRegs<V>& r, V in)
{
    const V x = ToFloat(in * Splat(kInv32767, V{}));
    V y = r.b0 * x + r.b1 * r.x1;
    y = y + r.b2 * r.x2;
    y = y - r.a1 * r.y1;
    y = y - r.a2 * r.y2;
    r.x2 = r.x1;
    r.x1 = x;
    r.y2 = r.y1;
    r.y1 = StoreStateLanes(y);
    return Out16(y);
}

[[gnu::always_inline]] inline double HistoryLane(const BiquadSection& s, float BiquadHistory::*field, double /*tag*/)
{
    return static_cast<double>(s.history[0].*field);
}
[[gnu::always_inline]] inline V2 HistoryLane(const BiquadSection& s, float BiquadHistory::*field, V2 /*tag*/)
{
    return Pair(static_cast<double>(s.history[0].*field), static_cast<double>(s.history[1].*field));
}
inline void StoreHistory(BiquadSection& s, float BiquadHistory::*field, double v)
{
    s.history[0].*field = static_cast<float>(v);
}
inline void StoreHistory(BiquadSection& s, float BiquadHistory::*field, V2 v)
{
    s.history[0].*field = static_cast<float>(Lane(v, 0));
    s.history[1].*field = static_cast<float>(Lane(v, 1));
}

// One step of the steady state, where every band has a frame to work on; the band count is
// fixed at compile time so the carries between bands stay in registers.
template <typename V, std::size_t NB, typename Load, typename Store>
void SteadySteps(std::array<BandRegs<V>, kMaxCascade>& regs, std::array<V, kMaxCascade + 1>& carry, int16_t* frames,
                 std::size_t stride, std::size_t tBegin, std::size_t tEnd, Load load, Store store)
{
    std::array<V, NB + 1> c;
    for (std::size_t k = 0; k <= NB; ++k) {
        c[k] = carry[k];
    }
    for (std::size_t t = tBegin; t < tEnd; ++t) {
        c[0] = load(frames + t * stride);
        [&]<std::size_t... K>(std::index_sequence<K...>)
        {
            // downwards, so each band reads its carry before the band below overwrites it
            ((c[NB - K] = CascadeStep(regs[NB - 1 - K], c[NB - 1 - K])), ...);
        }
        (std::make_index_sequence<NB>{});
        store(frames + (t + 1 - NB) * stride, c[NB]);
    }
    for (std::size_t k = 0; k <= NB; ++k) {
        carry[k] = c[k];
    }
}

template <typename V, typename Load, typename Store, std::size_t... N>
bool DispatchSteady(std::size_t nb, std::array<BandRegs<V>, kMaxCascade>& regs, std::array<V, kMaxCascade + 1>& carry,
                    int16_t* frames, std::size_t stride, std::size_t tBegin, std::size_t tEnd, Load load, Store store,
                    std::index_sequence<N...> /*counts*/)
{
    return (
        (nb == N + 1 ? (SteadySteps<V, N + 1>(regs, carry, frames, stride, tBegin, tEnd, load, store), true) : false) ||
        ...);
}

// Band k works on frame t - k at step t, so the bands' recurrences run side by side instead of
// one after the other; each band still sees its frames in order and its input from the band
// before, so the result is that of filtering the block band by band.
template <typename V, typename Load, typename Store>
void CascadeFrames(int16_t* frames, std::size_t nFrames, std::size_t stride, std::span<BiquadSection* const> sections,
                   Load load, Store store)
{
    const std::size_t nb = sections.size();
    std::array<BandRegs<V>, kMaxCascade> regs;
    for (std::size_t k = 0; k < nb; ++k) {
        const BiquadSection& s = *sections[k];
        BandRegs<V>& r = regs[k];
        r.b0 = Splat(s.k.b0, V{});
        r.b1 = Splat(s.k.b1, V{});
        r.b2 = Splat(s.k.b2, V{});
        r.a1 = Splat(s.k.a1, V{});
        r.a2 = Splat(s.k.a2, V{});
        r.x1 = HistoryLane(s, &BiquadHistory::x1, V{});
        r.x2 = HistoryLane(s, &BiquadHistory::x2, V{});
        r.y1 = HistoryLane(s, &BiquadHistory::y1, V{});
        r.y2 = HistoryLane(s, &BiquadHistory::y2, V{});
    }

    std::array<V, kMaxCascade + 1> carry{};
    // any step, including the ramps at both ends where only some bands have a frame
    auto step = [&](std::size_t t) {
        if (t < nFrames) {
            carry[0] = load(frames + t * stride);
        }
        const std::size_t kHi = std::min(nb - 1, t);
        const std::size_t kLo = t < nFrames ? 0 : t - (nFrames - 1);
        for (std::size_t k = kHi + 1; k-- > kLo;) {
            carry[k + 1] = CascadeStep(regs[k], carry[k]);
        }
        if (t + 1 >= nb) {
            store(frames + (t + 1 - nb) * stride, carry[nb]);
        }
    };
    const std::size_t steps = nFrames + nb - 1;
    const std::size_t steadyBegin = nb - 1;
    const std::size_t steadyEnd = std::max(nFrames, steadyBegin);
    std::size_t t = 0;
    for (; t < std::min(steadyBegin, steps); ++t) {
        step(t);
    }
    if (steadyEnd > steadyBegin && DispatchSteady(nb, regs, carry, frames, stride, steadyBegin, steadyEnd, load, store,
                                                  std::make_index_sequence<static_cast<std::size_t>(kMaxCascade)>{})) {
        t = steadyEnd;
    }
    for (; t < steps; ++t) {
        step(t);
    }

    for (std::size_t k = 0; k < nb; ++k) {
        BiquadSection& s = *sections[k];
        const BandRegs<V>& r = regs[k];
        StoreHistory(s, &BiquadHistory::x1, r.x1);
        StoreHistory(s, &BiquadHistory::x2, r.x2);
        StoreHistory(s, &BiquadHistory::y1, r.y1);
        StoreHistory(s, &BiquadHistory::y2, r.y2);
    }
}

using StageArray = std::array<std::array<float, 4>, kMaxChannels>;

[[gnu::always_inline]] inline double StageLanes(const StageArray& a, std::size_t k, double /*tag*/)
{
    return static_cast<double>(a[0][k]);
}
[[gnu::always_inline]] inline V2 StageLanes(const StageArray& a, std::size_t k, V2 /*tag*/)
{
    return Pair(static_cast<double>(a[0][k]), static_cast<double>(a[1][k]));
}
inline void SaveLanes(StageArray& a, std::size_t k, double v)
{
    a[0][k] = static_cast<float>(v);
}
inline void SaveLanes(StageArray& a, std::size_t k, V2 v)
{
    a[0][k] = static_cast<float>(Lane(v, 0));
    a[1][k] = static_cast<float>(Lane(v, 1));
}

// The phase shifter over whole frames, the channels of a frame side by side.
template <typename V>
class PhaseStage {
public:
    explicit PhaseStage(PhaseShifterState& st)
        : st_(st),
          fb_(Splat(st.feedback, V{})),
          wet_(Splat(st.wet, V{})),
          dry_(Splat(st.dry, V{})),
          fullScale_(Splat(32767.0, V{}))
    {
        for (std::size_t k = 0; k < 4; ++k) {
            in_[k] = StageLanes(st.stageIn, k, V{});
            out_[k] = StageLanes(st.stageOut, k, V{});
        }
    }

    // Takes a frame of integral samples, returns the frame written back (integral).
    [[gnu::always_inline]] V operator()(V s)
    {
        const V x = s / fullScale_;
        const V c = Splat(SweepCoefficient(st_.sweepValue), V{});
        V v = x + out_[3] * fb_;
        for (std::size_t k = 0; k < 4; ++k) {
            const V y = c * (v + out_[k]) - in_[k];
            in_[k] = StoreStateLanes(v);
            out_[k] = StoreStateLanes(y);
            v = y;
        }
        const V mixed = wet_ * v + dry_ * x;
        AdvanceSweep(st_);
        return Clip16(ToFloat(mixed * fullScale_));
    }

    void Save()
    {
        for (std::size_t k = 0; k < 4; ++k) {
            SaveLanes(st_.stageIn, k, in_[k]);
            SaveLanes(st_.stageOut, k, out_[k]);
        }
    }

private:
    PhaseShifterState& st_;
    V fb_, wet_, dry_, fullScale_;
    std::array<V, 4> in_{};
    std::array<V, 4> out_{};
};

template <typename V, typename Load, typename Store>
void PhaseFrames(int16_t* frames, std::size_t nFrames, std::size_t stride, PhaseShifterState& st, Load load,
                 Store store)
{
    PhaseStage<V> stage(st);
    for (std::size_t f = 0; f < nFrames; ++f) {
        store(frames + f * stride, stage(load(frames + f * stride)));
    }
    stage.Save();
}

SimdLevel DetectSimdLevel()
{
#if defined(QUILLON_X86_SIMD)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")) {
        return SimdLevel::Avx512;
    }
    if (__builtin_cpu_supports("avx2")) {
        return SimdLevel::Avx2;
    }
#endif
    return SimdLevel::Sse2;
}

std::atomic<SimdLevel>& ChosenLevel()
{
    static std::atomic<SimdLevel> level{SupportedSimdLevel()};
    return level;
}

// Whole frames through the vector kernel, when one is in use and takes this many bands.
bool RunVectorKernel(int16_t* frames, std::size_t nFrames, int channels, PhaseShifterState* phase,
                     std::span<BiquadSection* const> sections)
{
#if defined(QUILLON_X86_SIMD)
    const SimdLevel level = ActiveSimdLevel();
    if (level == SimdLevel::Sse2 || sections.empty() || sections.size() > static_cast<std::size_t>(simd::kMaxBands)) {
        return false;
    }
    if (nFrames == 0) {
        return true;
    }
    std::array<simd::BandLanes, simd::kMaxBands> bands{};
    for (std::size_t b = 0; b < sections.size(); ++b) {
        const BiquadSection& s = *sections[b];
        simd::BandLanes& d = bands[b];
        d = {s.k.b0, s.k.b1, s.k.b2, s.k.a1, s.k.a2, {}, {}, {}, {}};
        for (std::size_t c = 0; c < static_cast<std::size_t>(kMaxChannels); ++c) {
            d.x1[c] = s.history[c].x1;
            d.x2[c] = s.history[c].x2;
            d.y1[c] = s.history[c].y1;
            d.y2[c] = s.history[c].y2;
        }
    }
    simd::PhaseLanes lanes{};
    if (phase != nullptr) {
        lanes = {phase->dry,
                 phase->wet,
                 phase->feedback,
                 phase->sweepMin,
                 phase->sweepMax,
                 phase->sweepValue,
                 phase->sweepStep,
                 phase->sweepStepInverse,
                 phase->sweepMultiplier,
                 {},
                 {}};
        for (std::size_t c = 0; c < static_cast<std::size_t>(kMaxChannels); ++c) {
            for (std::size_t k = 0; k < 4; ++k) {
                lanes.stageIn[c][k] = phase->stageIn[c][k];
                lanes.stageOut[c][k] = phase->stageOut[c][k];
            }
        }
    }
    const simd::Job job{frames,       nFrames,
                        channels,     phase != nullptr ? &lanes : nullptr,
                        bands.data(), static_cast<int>(sections.size())};
    if (level == SimdLevel::Avx512) {
        simd::RunAvx512(job);
    } else {
        simd::RunAvx2(job);
    }
    for (std::size_t b = 0; b < sections.size(); ++b) {
        BiquadSection& s = *sections[b];
        for (std::size_t c = 0; c < static_cast<std::size_t>(kMaxChannels); ++c) {
            s.history[c] = {bands[b].x1[c], bands[b].x2[c], bands[b].y1[c], bands[b].y2[c]};
        }
    }
    if (phase != nullptr) {
        phase->sweepValue = lanes.sweepValue;
        phase->sweepMultiplier = lanes.sweepMultiplier;
        for (std::size_t c = 0; c < static_cast<std::size_t>(kMaxChannels); ++c) {
            for (std::size_t k = 0; k < 4; ++k) {
                phase->stageIn[c][k] = lanes.stageIn[c][k];
                phase->stageOut[c][k] = lanes.stageOut[c][k];
            }
        }
    }
    return true;
#else
    (void)frames;
    (void)nFrames;
    (void)channels;
    (void)phase;
    (void)sections;
    return false;
#endif
}

}  // namespace

void Amplify(std::span<int16_t> block, float factor)
{
    std::size_t i = 0;
    const std::size_t n = block.size();
#if defined(__SSE2__)
    const __m128 f = _mm_set1_ps(factor);
    const __m128 lo = _mm_set1_ps(-32768.0f);
    const __m128 hi = _mm_set1_ps(32767.0f);
    for (; i + 8 <= n; i += 8) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block.data() + i));
        __m128 p0 = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16)), f);
        __m128 p1 = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(s, s), 16)), f);
        p0 = _mm_and_ps(_mm_min_ps(_mm_max_ps(p0, lo), hi), _mm_cmpord_ps(p0, p0));
        p1 = _mm_and_ps(_mm_min_ps(_mm_max_ps(p1, lo), hi), _mm_cmpord_ps(p1, p1));
        const __m128i r = _mm_packs_epi32(_mm_cvtps_epi32(p0), _mm_cvtps_epi32(p1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block.data() + i), r);
    }
#endif
    for (; i < n; ++i) {
        block[i] = ClipSample(static_cast<float>(block[i]) * factor);
    }
}

void Echo(std::span<int16_t> block, std::span<int16_t> line, std::size_t& cursor, float gain)
{
    if (line.empty()) {
        return;
    }
    const double g = gain;
    std::size_t i = 0;
    const std::size_t n = block.size();
    while (i < n) {
        // Within one run no line entry is met twice, so the samples are independent.
        const std::size_t run = std::min(n - i, line.size() - cursor);
        int16_t* b = block.data() + i;
        int16_t* d = line.data() + cursor;
        std::size_t j = 0;
#if defined(__SSE2__)
        const __m128d gv = _mm_set1_pd(g);
        const __m128d lo = _mm_set1_pd(-32768.0);
        const __m128d hi = _mm_set1_pd(32767.0);
        auto feed = [&](__m128i two) {
            __m128d p = _mm_mul_pd(_mm_cvtepi32_pd(two), gv);
            p = _mm_and_pd(_mm_min_pd(_mm_max_pd(p, lo), hi), _mm_cmpord_pd(p, p));
            return _mm_cvtpd_epi32(p);
        };
        for (; j + 8 <= run; j += 8) {
            const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + j));
            const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + j));
            const __m128i o = _mm_adds_epi16(s, e);  // the saturating add is the clip
            _mm_storeu_si128(reinterpret_cast<__m128i*>(b + j), o);
            const __m128i lo32 = _mm_srai_epi32(_mm_unpacklo_epi16(o, o), 16);
            const __m128i hi32 = _mm_srai_epi32(_mm_unpackhi_epi16(o, o), 16);
            const __m128i f0 = _mm_unpacklo_epi64(feed(lo32), feed(_mm_shuffle_epi32(lo32, 0x4E)));
            const __m128i f1 = _mm_unpacklo_epi64(feed(hi32), feed(_mm_shuffle_epi32(hi32, 0x4E)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + j), _mm_packs_epi32(f0, f1));
        }
#endif
        for (; j < run; ++j) {
            const int sum = static_cast<int>(b[j]) + static_cast<int>(d[j]);
            const auto out = static_cast<int16_t>(std::clamp(sum, -32768, 32767));
            b[j] = out;
            d[j] = EchoFeed(static_cast<double>(out) * g);
        }
        i += run;
        cursor += run;
        if (cursor == line.size()) {
            cursor = 0;
        }
    }
}

void PhaseShift(std::span<int16_t> block, PhaseShifterState& st, int channels, int firstChannel)
{
    std::size_t i = 0;
    const std::size_t n = block.size();
    int ch = firstChannel;
    // the rest of a frame begun in the previous block
    while (ch != 0 && i < n) {
        block[i] = PhaseSample(st, ch, block[i], SweepCoefficient(st.sweepValue));
        ++i;
        if (++ch == channels) {
            ch = 0;
            AdvanceSweep(st);
        }
    }
    const auto c = static_cast<std::size_t>(channels);
    const std::size_t nFrames = (n - i) / c;
    if (channels == 2) {
        PhaseFrames<V2>(block.data() + i, nFrames, 2, st, FrameIO2{}, FrameIO2{});
    } else {
        PhaseFrames<double>(block.data() + i, nFrames, 1, st, FrameIO1{}, FrameIO1{});
    }
    i += nFrames * c;
    // a frame that the next block completes: its sweep step comes then
    for (int tailCh = 0; i < n; ++i, ++tailCh) {
        block[i] = PhaseSample(st, tailCh, block[i], SweepCoefficient(st.sweepValue));
    }
}

void BiquadCascade16(std::span<int16_t> block, std::span<BiquadSection* const> sections, int channels, int firstChannel)
{
    if (sections.empty()) {
        return;
    }
    if (sections.size() > static_cast<std::size_t>(kMaxCascade)) {
        // Filtering a block through sections a then b equals filtering it through a, then b.
        BiquadCascade16(block, sections.first(kMaxCascade), channels, firstChannel);
        BiquadCascade16(block, sections.subspan(kMaxCascade), channels, firstChannel);
        return;
    }
    std::size_t i = 0;
    const std::size_t n = block.size();
    int ch = firstChannel;
    while (ch != 0 && i < n) {
        block[i] = CascadeSample(block[i], sections, ch);
        ++i;
        if (++ch == channels) {
            ch = 0;
        }
    }
    const auto c = static_cast<std::size_t>(channels);
    const std::size_t nFrames = (n - i) / c;
    if (nFrames > 0 && !RunVectorKernel(block.data() + i, nFrames, channels, nullptr, sections)) {
        if (channels == 2) {
            CascadeFrames<V2>(block.data() + i, nFrames, 2, sections, FrameIO2{}, FrameIO2{});
        } else {
            CascadeFrames<double>(block.data() + i, nFrames, 1, sections, FrameIO1{}, FrameIO1{});
        }
    }
    i += nFrames * c;
    for (int tailCh = 0; i < n; ++i, ++tailCh) {
        block[i] = CascadeSample(block[i], sections, tailCh);
    }
}

void PhaseShiftThenCascade16(std::span<int16_t> block, PhaseShifterState& st, std::span<BiquadSection* const> sections,
                             int channels, int firstChannel)
{
    if (ActiveSimdLevel() == SimdLevel::Sse2 || sections.empty() ||
        sections.size() > static_cast<std::size_t>(kMaxCascade)) {
        PhaseShift(block, st, channels, firstChannel);
        BiquadCascade16(block, sections, channels, firstChannel);
        return;
    }
    // Sample by sample, the phase shifter's output goes straight into the cascade: each
    // effect still sees its samples in order, so this equals the two passes.
    auto both = [&](std::size_t i, int ch) {
        block[i] = PhaseSample(st, ch, block[i], SweepCoefficient(st.sweepValue));
        block[i] = CascadeSample(block[i], sections, ch);
    };
    std::size_t i = 0;
    const std::size_t n = block.size();
    int ch = firstChannel;
    while (ch != 0 && i < n) {
        both(i, ch);
        ++i;
        if (++ch == channels) {
            ch = 0;
            AdvanceSweep(st);
        }
    }
    const auto c = static_cast<std::size_t>(channels);
    const std::size_t nFrames = (n - i) / c;
    if (!RunVectorKernel(block.data() + i, nFrames, channels, &st, sections)) {
        PhaseShift(block.subspan(i, nFrames * c), st, channels, 0);
        BiquadCascade16(block.subspan(i, nFrames * c), sections, channels, 0);
    }
    i += nFrames * c;
    for (int tailCh = 0; i < n; ++i, ++tailCh) {
        both(i, tailCh);
    }
}

SimdLevel SupportedSimdLevel()
{
    static const SimdLevel level = DetectSimdLevel();
    return level;
}

SimdLevel ActiveSimdLevel()
{
    return ChosenLevel().load(std::memory_order_relaxed);
}

SimdLevel UseSimdLevel(SimdLevel level)
{
    const SimdLevel use =
        static_cast<int>(level) <= static_cast<int>(SupportedSimdLevel()) ? level : SupportedSimdLevel();
    ChosenLevel().store(use, std::memory_order_relaxed);
    return use;
}

void Biquad8(std::span<uint8_t> block, BiquadSection& section, int channels, int firstChannel)
{
    int ch = firstChannel;
    for (uint8_t& b : block) {
        const auto x = static_cast<float>((static_cast<double>(b) - 128.0) / 127.0);
        const double y = BiquadStep(section.k, section.history[static_cast<std::size_t>(ch)], x);
        if (y > 1.0) {
            b = 255;
        } else if (y < -1.0) {
            b = 0;
        } else if (std::isnan(y)) {
            b = 128;
        } else {
            b = static_cast<uint8_t>(RoundHalfEven(y * 127.0 + 128.0));
        }
        if (++ch == channels) {
            ch = 0;
        }
    }
}

}  // namespace quillon::dsp
