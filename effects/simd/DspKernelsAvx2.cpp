// The fused phase shifter and equalizer for AVX2: a register holds two stereo bands or four
// mono ones. Built with -mavx2 (no FMA); called only on processors that have AVX2.
#include <immintrin.h>

#include <utility>

#include "effects/simd/DspPairLanes.h"
#include "effects/simd/DspSimd.h"

namespace quillon::dsp::simd {
namespace {

struct Vec {
    using T = __m256d;
    using M = __m256d;  // all ones in an active lane
    using Index = __m256i;
    static constexpr int kW = 4;

    static T Set1(double v) { return _mm256_set1_pd(v); }
    static T Load(const double* p) { return _mm256_loadu_pd(p); }
    static void Store(double* p, T v) { _mm256_storeu_pd(p, v); }
    static T Min(T a, T b) { return _mm256_min_pd(a, b); }
    static T Max(T a, T b) { return _mm256_max_pd(a, b); }
    static T Abs(T a) { return _mm256_and_pd(a, _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL))); }
    static T ToFloat(T v) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(v)); }
    static M Less(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static M NotLess(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_NLT_UQ); }
    static M Ordered(T a) { return _mm256_cmp_pd(a, a, _CMP_ORD_Q); }
    static T Select(M m, T a, T b) { return _mm256_blendv_pd(b, a, m); }
    static T KeepOnly(M m, T a) { return _mm256_and_pd(a, m); }
    static M MaskFromBits(unsigned bits)
    {
        auto lane = [bits](int l) { return (bits >> l & 1U) != 0 ? -1LL : 0LL; };
        return _mm256_castsi256_pd(_mm256_set_epi64x(lane(3), lane(2), lane(1), lane(0)));
    }

    // own's lanes moved up by C, the top C lanes of prev coming in at the bottom
    template <int C>
    static T ShiftIn(T own, T prev)
    {
        const T straddle = _mm256_permute2f128_pd(prev, own, 0x21);  // prev 2 3, own 0 1
        if constexpr (C == 2) {
            return straddle;
        } else {
            return _mm256_shuffle_pd(straddle, own, 0x5);  // prev 3, own 0 1 2
        }
    }
    static T BroadcastPair(__m128d frame) { return _mm256_set_m128d(frame, frame); }
    // 32-bit element indices that bring doubles lane, lane + 1 to the bottom
    static Index LaneIndex(int lane)
    {
        return _mm256_setr_epi32(2 * lane, 2 * lane + 1, 2 * lane + 2, 2 * lane + 3, 0, 0, 0, 0);
    }
    static __m128d ExtractPair(T v, Index at)
    {
        return _mm256_castpd256_pd128(_mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(v), at)));
    }
};

#include "effects/simd/DspWavefront.inc"

}  // namespace

void RunAvx2(const Job& job)
{
    RunJob(job);
}

}  // namespace quillon::dsp::simd
