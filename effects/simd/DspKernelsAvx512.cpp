// The fused phase shifter and equalizer for AVX-512 (F and DQ): a register holds four stereo
// bands or eight mono ones. Built with -mavx512f -mavx512dq; called only on processors that
// have both.
// GCC 12 takes the AVX-512 headers' deliberately undefined registers for uninitialised ones.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include <utility>

#include "effects/simd/DspPairLanes.h"
#include "effects/simd/DspSimd.h"

namespace quillon::dsp::simd {
namespace {

struct Vec {
    using T = __m512d;
    using M = __mmask8;
    using Index = __m512i;
    static constexpr int kW = 8;

    static T Set1(double v) { return _mm512_set1_pd(v); }
    static T Load(const double* p) { return _mm512_loadu_pd(p); }
    static void Store(double* p, T v) { _mm512_storeu_pd(p, v); }
    static T Min(T a, T b) { return _mm512_min_pd(a, b); }
    static T Max(T a, T b) { return _mm512_max_pd(a, b); }
    static T Abs(T a) { return _mm512_abs_pd(a); }
    static T ToFloat(T v) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(v)); }
    static M Less(T a, T b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static M NotLess(T a, T b) { return _mm512_cmp_pd_mask(a, b, _CMP_NLT_UQ); }
    static M Ordered(T a) { return _mm512_cmp_pd_mask(a, a, _CMP_ORD_Q); }
    static T Select(M m, T a, T b) { return _mm512_mask_mov_pd(b, m, a); }
    static T KeepOnly(M m, T a) { return _mm512_maskz_mov_pd(m, a); }
    static M MaskFromBits(unsigned bits) { return static_cast<M>(bits); }

    // own's lanes moved up by C, the top C lanes of prev coming in at the bottom
    template <int C>
    static T ShiftIn(T own, T prev)
    {
        return _mm512_castsi512_pd(_mm512_alignr_epi64(_mm512_castpd_si512(own), _mm512_castpd_si512(prev), 8 - C));
    }
    static T BroadcastPair(__m128d frame) { return _mm512_broadcast_f64x2(frame); }
    static Index LaneIndex(int lane) { return _mm512_set_epi64(0, 0, 0, 0, 0, 0, lane + 1, lane); }
    static __m128d ExtractPair(T v, Index at) { return _mm512_castpd512_pd128(_mm512_permutexvar_pd(at, v)); }
};

#include "effects/simd/DspWavefront.inc"

}  // namespace

void RunAvx512(const Job& job)
{
    RunJob(job);
}

}  // namespace quillon::dsp::simd
