#include "effects/DspKernels.h"

#include <algorithm>
#include <cstring>

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

inline double ToFloat(double v)
{
    return static_cast<double>(static_cast<float>(v));
}

inline double Flush(double v)
{
    return std::fabs(v) < kFloatMin ? 0.0 : v;
}

inline double Clip16(double q)  // q already rounded to a float
{
    return static_cast<double>(ClipSample(static_cast<float>(q)));
}

inline double Out16(double y)
{
    return static_cast<double>(FilterOutput16(y));
}

inline double Splat(double v, double /*tag*/)
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

inline double SweepCoefficient(float w)
{
    return (1.0 - static_cast<double>(w)) / (1.0 + static_cast<double>(w));
}

inline void AdvanceSweep(PhaseShifterState& st)
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
inline V2 operator+(V2 a, V2 b)
{
    return {_mm_add_pd(a.v, b.v)};
}
inline V2 operator-(V2 a, V2 b)
{
    return {_mm_sub_pd(a.v, b.v)};
}
inline V2 operator*(V2 a, V2 b)
{
    return {_mm_mul_pd(a.v, b.v)};
}
inline V2 operator/(V2 a, V2 b)
{
    return {_mm_div_pd(a.v, b.v)};
}
inline V2 Splat(double v, V2 /*tag*/)
{
    return {_mm_set1_pd(v)};
}
inline V2 Pair(double ch0, double ch1)
{
    return {_mm_set_pd(ch1, ch0)};
}
inline double Lane(V2 a, int lane)
{
    return lane == 0 ? _mm_cvtsd_f64(a.v) : _mm_cvtsd_f64(_mm_unpackhi_pd(a.v, a.v));
}
inline V2 ToFloat(V2 a)
{
    return {_mm_cvtps_pd(_mm_cvtpd_ps(a.v))};
}
inline V2 Flush(V2 a)
{
    const __m128d absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    // "not below" keeps NaN, like the scalar compare
    const __m128d keep = _mm_cmpnlt_pd(_mm_and_pd(a.v, absMask), _mm_set1_pd(kFloatMin));
    return {_mm_and_pd(a.v, keep)};
}
inline V2 RoundHalfEven(V2 a)
{
    const __m128d magic = _mm_set1_pd(kRoundMagic);
    return {_mm_sub_pd(_mm_add_pd(a.v, magic), magic)};
}
inline V2 Clip16(V2 q)
{
    const __m128d clamped = _mm_min_pd(_mm_max_pd(q.v, _mm_set1_pd(-32768.0)), _mm_set1_pd(32767.0));
    return {_mm_and_pd(RoundHalfEven(V2{clamped}).v, _mm_cmpord_pd(q.v, q.v))};
}
inline V2 Out16(V2 y)
{
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d minusOne = _mm_set1_pd(-1.0);
    const __m128d t = _mm_min_pd(_mm_max_pd(y.v, minusOne), one);
    const __m128d r = RoundHalfEven(V2{_mm_mul_pd(t, _mm_set1_pd(32767.0))}).v;
    const __m128d below = _mm_cmplt_pd(y.v, minusOne);
    const __m128d sel = _mm_or_pd(_mm_andnot_pd(below, r), _mm_and_pd(below, _mm_set1_pd(-32768.0)));
    return {_mm_and_pd(sel, _mm_cmpord_pd(y.v, y.v))};
}
inline V2 LoadFrame(const int16_t* p)
{
    int32_t bits = 0;
    std::memcpy(&bits, p, sizeof bits);
    const __m128i pair = _mm_cvtsi32_si128(bits);
    return {_mm_cvtepi32_pd(_mm_srai_epi32(_mm_unpacklo_epi16(pair, pair), 16))};
}
inline void StoreFrame(int16_t* p, V2 integral)
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
inline V2 operator+(V2 x, V2 y)
{
    return {x.a + y.a, x.b + y.b};
}
inline V2 operator-(V2 x, V2 y)
{
    return {x.a - y.a, x.b - y.b};
}
inline V2 operator*(V2 x, V2 y)
{
    return {x.a * y.a, x.b * y.b};
}
inline V2 operator/(V2 x, V2 y)
{
    return {x.a / y.a, x.b / y.b};
}
inline V2 Splat(double v, V2 /*tag*/)
{
    return {v, v};
}
inline V2 Pair(double ch0, double ch1)
{
    return {ch0, ch1};
}
inline double Lane(V2 x, int lane)
{
    return lane == 0 ? x.a : x.b;
}
inline V2 ToFloat(V2 x)
{
    return {ToFloat(x.a), ToFloat(x.b)};
}
inline V2 Flush(V2 x)
{
    return {Flush(x.a), Flush(x.b)};
}
inline V2 Clip16(V2 q)
{
    return {Clip16(q.a), Clip16(q.b)};
}
inline V2 Out16(V2 y)
{
    return {Out16(y.a), Out16(y.b)};
}
inline V2 LoadFrame(const int16_t* p)
{
    return {static_cast<double>(p[0]), static_cast<double>(p[1])};
}
inline void StoreFrame(int16_t* p, V2 integral)
{
    p[0] = static_cast<int16_t>(integral.a);
    p[1] = static_cast<int16_t>(integral.b);
}
#endif

inline double LoadFrame1(const int16_t* p)
{
    return static_cast<double>(*p);
}
inline void StoreFrame1(int16_t* p, double integral)
{
    *p = static_cast<int16_t>(integral);
}

// ---- biquad cascade over whole frames ----

constexpr int kMaxCascade = 16;

template <typename V>
struct BandRegs {
    V b0, b1, b2, a1, a2;
    V x1, x2, y1, y2;
};

template <typename V>
inline V CascadeStep(BandRegs<V>& r, V in)
{
    const V x = ToFloat(in * Splat(kInv32767, V{}));
    V y = r.b0 * x + r.b1 * r.x1;
    y = y + r.b2 * r.x2;
    y = y - r.a1 * r.y1;
    y = y - r.a2 * r.y2;
    r.x2 = r.x1;
    r.x1 = x;
    r.y2 = r.y1;
    r.y1 = ToFloat(Flush(y));
    return Out16(y);
}

inline double HistoryLane(const BiquadSection& s, float BiquadHistory::*field, double /*tag*/)
{
    return static_cast<double>(s.history[0].*field);
}
inline V2 HistoryLane(const BiquadSection& s, float BiquadHistory::*field, V2 /*tag*/)
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

// Band k works on frame t - k at step t, so the bands' recurrences run side by side instead of
// one after the other; each band still sees its frames in order and its input from the band
// before, so the result is that of filtering the block band by band.
template <typename V, typename Load, typename Store>
void CascadeFrames(int16_t* frames, std::size_t nFrames, std::size_t stride, std::span<BiquadSection* const> sections,
                   Load load, Store store)
{
    const int nb = static_cast<int>(sections.size());
    std::array<BandRegs<V>, kMaxCascade> regs;
    for (int k = 0; k < nb; ++k) {
        const BiquadSection& s = *sections[static_cast<std::size_t>(k)];
        BandRegs<V>& r = regs[static_cast<std::size_t>(k)];
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
    const std::size_t steps = nFrames + static_cast<std::size_t>(nb) - 1;
    for (std::size_t t = 0; t < steps; ++t) {
        const int kHi = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(nb) - 1, t));
        const int kLo = t < nFrames ? 0 : static_cast<int>(t - (nFrames - 1));
        if (t < nFrames) {
            carry[0] = load(frames + t * stride);
        }
        for (int k = kHi; k >= kLo; --k) {
            const auto uk = static_cast<std::size_t>(k);
            carry[uk + 1] = CascadeStep(regs[uk], carry[uk]);
        }
        if (t + 1 >= static_cast<std::size_t>(nb)) {
            store(frames + (t + 1 - static_cast<std::size_t>(nb)) * stride, carry[static_cast<std::size_t>(nb)]);
        }
    }

    for (int k = 0; k < nb; ++k) {
        BiquadSection& s = *sections[static_cast<std::size_t>(k)];
        const BandRegs<V>& r = regs[static_cast<std::size_t>(k)];
        StoreHistory(s, &BiquadHistory::x1, r.x1);
        StoreHistory(s, &BiquadHistory::x2, r.x2);
        StoreHistory(s, &BiquadHistory::y1, r.y1);
        StoreHistory(s, &BiquadHistory::y2, r.y2);
    }
}

void PhaseShiftStereoFrames(int16_t* frames, std::size_t nFrames, PhaseShifterState& st)
{
    std::array<V2, 4> in;
    std::array<V2, 4> out;
    for (std::size_t k = 0; k < 4; ++k) {
        in[k] = Pair(st.stageIn[0][k], st.stageIn[1][k]);
        out[k] = Pair(st.stageOut[0][k], st.stageOut[1][k]);
    }
    const V2 fb = Splat(st.feedback, V2{});
    const V2 wet = Splat(st.wet, V2{});
    const V2 dry = Splat(st.dry, V2{});
    const V2 fullScale = Splat(32767.0, V2{});
    for (std::size_t f = 0; f < nFrames; ++f) {
        int16_t* p = frames + 2 * f;
        const V2 x = LoadFrame(p) / fullScale;
        const V2 c = Splat(SweepCoefficient(st.sweepValue), V2{});
        V2 v = x + out[3] * fb;
        for (std::size_t k = 0; k < 4; ++k) {
            const V2 y = c * (v + out[k]) - in[k];
            in[k] = ToFloat(Flush(v));
            out[k] = ToFloat(Flush(y));
            v = y;
        }
        const V2 mixed = wet * v + dry * x;
        StoreFrame(p, Clip16(ToFloat(mixed * fullScale)));
        AdvanceSweep(st);
    }
    for (std::size_t k = 0; k < 4; ++k) {
        for (int ch = 0; ch < 2; ++ch) {
            st.stageIn[static_cast<std::size_t>(ch)][k] = static_cast<float>(Lane(in[k], ch));
            st.stageOut[static_cast<std::size_t>(ch)][k] = static_cast<float>(Lane(out[k], ch));
        }
    }
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
        PhaseShiftStereoFrames(block.data() + i, nFrames, st);
    } else {
        for (std::size_t f = 0; f < nFrames; ++f) {
            block[i + f] = PhaseSample(st, 0, block[i + f], SweepCoefficient(st.sweepValue));
            AdvanceSweep(st);
        }
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
    if (nFrames > 0) {
        if (channels == 2) {
            CascadeFrames<V2>(block.data() + i, nFrames, 2, sections, LoadFrame, StoreFrame);
        } else {
            CascadeFrames<double>(block.data() + i, nFrames, 1, sections, LoadFrame1, StoreFrame1);
        }
    }
    i += nFrames * c;
    for (int tailCh = 0; i < n; ++i, ++tailCh) {
        block[i] = CascadeSample(block[i], sections, tailCh);
    }
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
