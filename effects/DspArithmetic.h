#pragma once

// The arithmetic of the effects, written once for every path: the plain loop (one sample of one
// channel), SSE2 (a frame of two channels) and the AVX2 and AVX-512 kernels (several bands of a
// frame). Each path supplies its lanes as a struct `L` (ScalarLanes below, the others in
// effects/simd/) with the type `L::T` of a register, `L::M` of a lane mask and the primitive
// operations; everything that decides a sample is a template over `L` here.
//
// The rules, the same on every path:
// - state, coefficients and sweep values are 32-bit floats between samples;
// - within a sample, filters and the phase shifter compute in double precision, left to right
//   as the formulas are written (products of two floats are exact in double, so only the sums
//   round); FMA contraction is switched off for this library;
// - a state value whose magnitude is below the smallest normal float is stored as 0, so the
//   tail after a loud sound never runs on denormals; normal values are never touched;
// - every integer conversion rounds to the nearest, halves to even, after saturation;
//   a NaN (0 × an infinite gain, a diverging filter) is written as silence.
//
// The vector kernels are built for instruction sets the rest of the library must not use, so
// whatever they share must not be linked as one copy: all code here has internal linkage and
// calls nothing from the C++ library (builtins only; the kernels instantiate the templates over
// state on plain arrays), and the headers give macros and types only.

#include <cfloat>
#include <cstddef>
#include <cstdint>

namespace quillon::dsp {

// ---- the constants (floats where the formulas name a 32-bit value) ----

inline constexpr double kFullScale16 = 32767.0;  // a 16-bit sample s is s / 32767 normalised
inline constexpr double kMin16 = -32768.0;
inline constexpr double kMax16 = 32767.0;
inline constexpr double kFullScale8 = 127.0;  // an 8-bit sample b is (b - 128) / 127 normalised
inline constexpr double kSilence8 = 128.0;

// float(s * kInv32767) equals float(s / 32767.0) for every 16-bit s (checked at compile time
// where the filter input is defined), so the filters multiply where the formula divides.
inline constexpr double kInv32767 = 1.0 / kFullScale16;

// 1.5 * 2^52: adding and subtracting it rounds a double below 2^51 to an integer, halves to
// even; IEEE arithmetic without -ffast-math keeps the pair.
inline constexpr double kRoundMagic = 6755399441055744.0;

// The smallest normal float; state below it in magnitude is stored as 0.
inline constexpr double kFloatMin = static_cast<double>(FLT_MIN);

inline constexpr float kPi = 3.1415927f;     // the phase shifter's sweep bounds
inline constexpr float kTwoPi = 6.2831855f;  // a band filter's angular frequency
inline constexpr float kLn2 = 0.6931472f;    // a band filter's octave bandwidth

namespace {

// ---- one lane: the plain loop ----

struct ScalarLanes {
    using T = double;
    using M = bool;
    static constexpr int kLanes = 1;

    [[gnu::always_inline]] static T Set1(double v) { return v; }
    // Like the vector instructions: the second operand when either is NaN.
    [[gnu::always_inline]] static T Min(T a, T b) { return a < b ? a : b; }
    [[gnu::always_inline]] static T Max(T a, T b) { return a > b ? a : b; }
    [[gnu::always_inline]] static T Abs(T a) { return __builtin_fabs(a); }
    [[gnu::always_inline]] static T ToFloat(T a) { return static_cast<double>(static_cast<float>(a)); }
    [[gnu::always_inline]] static M Less(T a, T b) { return a < b; }
    [[gnu::always_inline]] static M NotLess(T a, T b) { return !(a < b); }  // true for NaN
    [[gnu::always_inline]] static M Ordered(T a) { return !__builtin_isnan(a); }
    [[gnu::always_inline]] static T Select(M m, T a, T b) { return m ? a : b; }
    [[gnu::always_inline]] static T KeepOnly(M m, T a) { return m ? a : 0.0; }

    // Entry k of `channel` in per-channel state (`a[channel][k]`), and back.
    template <typename A>
    [[gnu::always_inline]] static T Gather(const A& a, std::size_t k, std::size_t channel)
    {
        return static_cast<double>(a[channel][k]);
    }
    template <typename A>
    [[gnu::always_inline]] static void Scatter(T v, A& a, std::size_t k, std::size_t channel)
    {
        a[channel][k] = static_cast<float>(v);
    }
    // A frame of one 16-bit sample; stored values are integral and within 16 bits.
    [[gnu::always_inline]] static T LoadFrame(const int16_t* p) { return static_cast<double>(*p); }
    [[gnu::always_inline]] static void StoreFrame(int16_t* p, T integral)
    {
        *p = static_cast<int16_t>(static_cast<int32_t>(integral));
    }
};

// ---- rounding, clipping, flushing ----

template <typename L>
[[gnu::always_inline]] inline typename L::T RoundHalfEven(typename L::T v)
{
    const typename L::T magic = L::Set1(kRoundMagic);
    return (v + magic) - magic;
}

// Saturated to the 16-bit range; NaN stays NaN (the callers mask it).
template <typename L>
[[gnu::always_inline]] inline typename L::T Clamp16(typename L::T v)
{
    return L::Min(L::Max(v, L::Set1(kMin16)), L::Set1(kMax16));
}

// A sample to write: saturate, round halves to even, NaN as 0 (integral result).
template <typename L>
[[gnu::always_inline]] inline typename L::T Clip16(typename L::T q)
{
    return L::KeepOnly(L::Ordered(q), RoundHalfEven<L>(Clamp16<L>(q)));
}

// Saturated with NaN as 0, for paths whose integer conversion rounds (halves to even).
template <typename L>
[[gnu::always_inline]] inline typename L::T Saturate16(typename L::T v)
{
    return L::KeepOnly(L::Ordered(v), Clamp16<L>(v));
}

// A state value as a 32-bit float, what would be a denormal float as +0 ("not below" keeps NaN).
template <typename L>
[[gnu::always_inline]] inline typename L::T StoreState(typename L::T v)
{
    return L::KeepOnly(L::NotLess(L::Abs(v), L::Set1(kFloatMin)), L::ToFloat(v));
}

// ---- filters ----

// Normalised 16-bit input of a filter (integral in, float out).
template <typename L>
[[gnu::always_inline]] inline typename L::T FilterInput16(typename L::T s)
{
    return L::ToFloat(s * L::Set1(kInv32767));
}

// Filter output to 16 bits: full scale beyond ±1, NaN as 0 (integral result).
template <typename L>
[[gnu::always_inline]] inline typename L::T FilterOutput16(typename L::T y)
{
    const typename L::T minusOne = L::Set1(-1.0);
    const typename L::T r = RoundHalfEven<L>(L::Min(L::Max(y, minusOne), L::Set1(1.0)) * L::Set1(kFullScale16));
    return L::KeepOnly(L::Ordered(y), L::Select(L::Less(y, minusOne), L::Set1(kMin16), r));
}

// A biquad's registers: b0, b1, b2, a1, a2 and the history x1, x2, y1, y2, each an `L::T`.
template <typename L, typename Regs>
[[gnu::always_inline]] inline typename L::T BiquadOutput(const Regs& r, typename L::T x)
{
    typename L::T y = r.b0 * x + r.b1 * r.x1;
    y = y + r.b2 * r.x2;
    y = y - r.a1 * r.y1;
    y = y - r.a2 * r.y2;
    return y;
}

template <typename L, typename Regs>
[[gnu::always_inline]] inline void BiquadAdvance(Regs& r, typename L::T x, typename L::T y)
{
    r.x2 = r.x1;
    r.x1 = x;
    r.y2 = r.y1;
    r.y1 = StoreState<L>(y);
}

// One step of a band of the 16-bit equalizer: integral input, its integral output.
template <typename L, typename Regs>
[[gnu::always_inline]] inline typename L::T Biquad16Step(Regs& r, typename L::T in)
{
    const typename L::T x = FilterInput16<L>(in);
    const typename L::T y = BiquadOutput<L>(r, x);
    BiquadAdvance<L>(r, x, y);
    return FilterOutput16<L>(y);
}

// 8 bits (plain loop only): (b - 128) / 127 in, y × 127 + 128 out, 255 beyond 1, 0 below -1,
// NaN as silence.
inline double FilterInput8(uint8_t b)
{
    return static_cast<double>(static_cast<float>((static_cast<double>(b) - kSilence8) / kFullScale8));
}
inline uint8_t FilterOutput8(double y)
{
    if (y > 1.0) {
        return 255;
    }
    if (y < -1.0) {
        return 0;
    }
    if (__builtin_isnan(y)) {
        return 128;
    }
    return static_cast<uint8_t>(RoundHalfEven<ScalarLanes>(y * kFullScale8 + kSilence8));
}

// ---- the phase shifter ----

// The all-pass coefficient for sweep value w.
[[gnu::always_inline]] inline double SweepCoefficient(float w)
{
    return (1.0 - static_cast<double>(w)) / (1.0 + static_cast<double>(w));
}

// Once per frame. Bounds are tested after the step, so the value may overshoot by one step
// before turning.
template <typename State>
[[gnu::always_inline]] inline void AdvanceSweep(State& st)
{
    st.sweepValue *= st.sweepMultiplier;
    if (st.sweepValue > st.sweepMax) {
        st.sweepMultiplier = st.sweepStepInverse;
    } else if (st.sweepValue < st.sweepMin) {
        st.sweepMultiplier = st.sweepStep;
    }
}

// The four all-pass stages of a frame's channels, side by side in the lanes of `L`.
template <typename L>
struct AllPassLanes {
    using T = typename L::T;
    T feedback;
    T wet;
    T dry;
    T in[4];  // previous input and output of each stage
    T out[4];

    // Loads the gains and the stages from a state with PhaseShifterState's fields; `channel`
    // is that of the first lane.
    template <typename State>
    [[gnu::always_inline]] void Load(const State& st, std::size_t channel = 0)
    {
        feedback = L::Set1(static_cast<double>(st.feedback));
        wet = L::Set1(static_cast<double>(st.wet));
        dry = L::Set1(static_cast<double>(st.dry));
        for (std::size_t k = 0; k < 4; ++k) {
            in[k] = L::Gather(st.stageIn, k, channel);
            out[k] = L::Gather(st.stageOut, k, channel);
        }
    }

    template <typename State>
    [[gnu::always_inline]] void Save(State& st, std::size_t channel = 0) const
    {
        for (std::size_t k = 0; k < 4; ++k) {
            L::Scatter(in[k], st.stageIn, k, channel);
            L::Scatter(out[k], st.stageOut, k, channel);
        }
    }

    // A frame of integral samples in, the frame to write (integral) out; c is the all-pass
    // coefficient of the frame's sweep value. The caller advances the sweep.
    [[gnu::always_inline]] T Step(T s, double c)
    {
        const T x = s / L::Set1(kFullScale16);
        const T cv = L::Set1(c);
        T v = x + out[3] * feedback;
        for (std::size_t k = 0; k < 4; ++k) {
            const T y = cv * (v + out[k]) - in[k];
            in[k] = StoreState<L>(v);
            out[k] = StoreState<L>(y);
            v = y;
        }
        const T mixed = wet * v + dry * x;
        return Clip16<L>(L::ToFloat(mixed * L::Set1(kFullScale16)));
    }
};

}  // namespace
}  // namespace quillon::dsp
