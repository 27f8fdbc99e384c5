#pragma once

// Two lanes of doubles: the two channels of a stereo frame side by side. SSE2 where the
// compiler has it (every x86-64), elsewhere a portable stand-in with the same lane-wise
// arithmetic. Shared by the SSE2 loops and the phase shifter of the AVX kernels; like
// DspArithmetic.h it has internal linkage only and uses builtins, not the C++ library.

#include <cstddef>
#include <cstdint>

#include "effects/DspArithmetic.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon::dsp {
namespace {

#if defined(__SSE2__)
struct PairLanes {
    using T = __m128d;  // lane 0 the first channel; GCC and Clang give it + - * /
    using M = __m128d;  // all ones in a true lane
    static constexpr int kLanes = 2;

    [[gnu::always_inline]] static T Set1(double v) { return _mm_set1_pd(v); }
    [[gnu::always_inline]] static T Pair(double ch0, double ch1) { return _mm_set_pd(ch1, ch0); }
    [[gnu::always_inline]] static double Lane(T v, int lane)
    {
        return lane == 0 ? _mm_cvtsd_f64(v) : _mm_cvtsd_f64(_mm_unpackhi_pd(v, v));
    }
    [[gnu::always_inline]] static T Min(T a, T b) { return _mm_min_pd(a, b); }
    [[gnu::always_inline]] static T Max(T a, T b) { return _mm_max_pd(a, b); }
    [[gnu::always_inline]] static T Abs(T a)
    {
        return _mm_and_pd(a, _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL)));
    }
    [[gnu::always_inline]] static T ToFloat(T a) { return _mm_cvtps_pd(_mm_cvtpd_ps(a)); }
    [[gnu::always_inline]] static M Less(T a, T b) { return _mm_cmplt_pd(a, b); }
    [[gnu::always_inline]] static M NotLess(T a, T b) { return _mm_cmpnlt_pd(a, b); }
    [[gnu::always_inline]] static M Ordered(T a) { return _mm_cmpord_pd(a, a); }
    [[gnu::always_inline]] static T Select(M m, T a, T b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
    [[gnu::always_inline]] static T KeepOnly(M m, T a) { return _mm_and_pd(a, m); }

    [[gnu::always_inline]] static T LoadFrame(const int16_t* p)
    {
        int32_t bits = 0;
        __builtin_memcpy(&bits, p, sizeof bits);
        const __m128i pair = _mm_cvtsi32_si128(bits);
        return _mm_cvtepi32_pd(_mm_srai_epi32(_mm_unpacklo_epi16(pair, pair), 16));
    }
    [[gnu::always_inline]] static void StoreFrame(int16_t* p, T integral)
    {
        const __m128i i32 = _mm_cvttpd_epi32(integral);
        const int32_t bits = _mm_cvtsi128_si32(_mm_packs_epi32(i32, i32));
        __builtin_memcpy(p, &bits, sizeof bits);
    }
#else
struct PairValue {
    double a;
    double b;
};
[[gnu::always_inline]] inline PairValue operator+(PairValue x, PairValue y)
{
    return {x.a + y.a, x.b + y.b};
}
[[gnu::always_inline]] inline PairValue operator-(PairValue x, PairValue y)
{
    return {x.a - y.a, x.b - y.b};
}
[[gnu::always_inline]] inline PairValue operator*(PairValue x, PairValue y)
{
    return {x.a * y.a, x.b * y.b};
}
[[gnu::always_inline]] inline PairValue operator/(PairValue x, PairValue y)
{
    return {x.a / y.a, x.b / y.b};
}

struct PairLanes {
    using T = PairValue;
    struct M {
        bool a;
        bool b;
    };
    using S = ScalarLanes;
    static constexpr int kLanes = 2;

    [[gnu::always_inline]] static T Set1(double v) { return {v, v}; }
    [[gnu::always_inline]] static T Pair(double ch0, double ch1) { return {ch0, ch1}; }
    [[gnu::always_inline]] static double Lane(T v, int lane) { return lane == 0 ? v.a : v.b; }
    [[gnu::always_inline]] static T Min(T x, T y) { return {S::Min(x.a, y.a), S::Min(x.b, y.b)}; }
    [[gnu::always_inline]] static T Max(T x, T y) { return {S::Max(x.a, y.a), S::Max(x.b, y.b)}; }
    [[gnu::always_inline]] static T Abs(T x) { return {S::Abs(x.a), S::Abs(x.b)}; }
    [[gnu::always_inline]] static T ToFloat(T x) { return {S::ToFloat(x.a), S::ToFloat(x.b)}; }
    [[gnu::always_inline]] static M Less(T x, T y) { return {S::Less(x.a, y.a), S::Less(x.b, y.b)}; }
    [[gnu::always_inline]] static M NotLess(T x, T y) { return {S::NotLess(x.a, y.a), S::NotLess(x.b, y.b)}; }
    [[gnu::always_inline]] static M Ordered(T x) { return {S::Ordered(x.a), S::Ordered(x.b)}; }
    [[gnu::always_inline]] static T Select(M m, T x, T y)
    {
        return {S::Select(m.a, x.a, y.a), S::Select(m.b, x.b, y.b)};
    }
    [[gnu::always_inline]] static T KeepOnly(M m, T x) { return {S::KeepOnly(m.a, x.a), S::KeepOnly(m.b, x.b)}; }

    [[gnu::always_inline]] static T LoadFrame(const int16_t* p) { return {S::LoadFrame(p), S::LoadFrame(p + 1)}; }
    [[gnu::always_inline]] static void StoreFrame(int16_t* p, T integral)
    {
        S::StoreFrame(p, integral.a);
        S::StoreFrame(p + 1, integral.b);
    }
#endif

    // Entry k of both channels of per-channel state (`a[channel][k]`), and back; the pair
    // always starts at the first channel.
    template <typename A>
    [[gnu::always_inline]] static T Gather(const A& a, std::size_t k, std::size_t /*channel*/)
    {
        return Pair(static_cast<double>(a[0][k]), static_cast<double>(a[1][k]));
    }
    template <typename A>
    [[gnu::always_inline]] static void Scatter(T v, A& a, std::size_t k, std::size_t /*channel*/)
    {
        a[0][k] = static_cast<float>(Lane(v, 0));
        a[1][k] = static_cast<float>(Lane(v, 1));
    }
};

}  // namespace
}  // namespace quillon::dsp
