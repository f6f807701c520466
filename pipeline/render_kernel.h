// The row function, written once against a lane type of W floats (compiler vector
// extensions) and compiled once per instruction set: render.cpp (1 and 4 lanes),
// render_avx2.cpp (8), render_avx512.cpp (16). Everything here has internal linkage so
// that code built with wider instructions can never be picked by the linker for another
// translation unit. Only exact IEEE operations are used (no estimates), each in a fixed
// order: the portable and four-lane builds give the same bits, and so do the AVX2 and
// AVX-512 builds, which fuse each multiply-add (see `madd`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "pipeline/render_internal.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#define ALWAYS_INLINE inline __attribute__((always_inline))

// Lane functions may use vectors wider than the instruction set (two registers per value,
// for more independent work in flight); they are internal and always inlined, so the
// calling convention for such vectors never matters.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#if defined(__AVX512F__)
// GCC 12's own _mm512_roundscale_ps starts from an undefined vector, which it then warns
// about (as maybe or surely uninitialized) wherever the intrinsic is inlined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#endif

namespace {
constexpr int CHUNK = 256;  // pixels per pass: its planes (1 KB each, ten at most) stay in L1

// Vector types are named outside the template: a vector size that depends on a template
// parameter is not handled reliably by every compiler.
template <int W>
struct lane_types;
#define CHROMALANE_LANE_TYPES(W)                                 \
    template <>                                                  \
    struct lane_types<W> {                                       \
        typedef float vf __attribute__((vector_size(4 * W)));    \
        typedef int32_t vi __attribute__((vector_size(4 * W)));  \
        typedef uint32_t vu __attribute__((vector_size(4 * W))); \
    };
CHROMALANE_LANE_TYPES(1)
CHROMALANE_LANE_TYPES(4)
CHROMALANE_LANE_TYPES(8)
CHROMALANE_LANE_TYPES(16)
#undef CHROMALANE_LANE_TYPES

// The constants of the fast functions, splatted once into whole vectors in memory. Each
// then folds into the arithmetic instruction that uses it as a memory operand; as
// literals the compiler would rebuild every one of them with a broadcast of its own on
// every use, and those instructions outnumbered the arithmetic in the hot loops.
enum lane_constant : int {
    KC_MIN_NORMAL,
    KC_INF,
    KC_ZERO,
    KC_ONE,
    KC_EXPONENT_BIAS,  // 2^23 + 127
    KC_L8_8,
    KC_L8_7,
    KC_L8_6,
    KC_L8_5,
    KC_L8_4,
    KC_L8_3,
    KC_L8_2,
    KC_L8_1,
    KC_L8_0,
    KC_L6_6,
    KC_L6_5,
    KC_L6_4,
    KC_L6_3,
    KC_L6_2,
    KC_L6_1,
    KC_L6_0,
    KC_EXP_LO,
    KC_EXP_HI,
    KC_HALF,
    KC_ROUND,
    KC_E5,
    KC_E4,
    KC_E3,
    KC_E2,
    KC_E1,
    KC_E0,
    KC_CBRT_MAGIC,
    KC_THIRD,
    KC_FOUR_THIRDS,
    KC_EXP_HI_FLOOR,  // the largest float below 129: floor() of it is 128
    // Integer bit patterns, kept in the same table.
    KI_EXPONENT_FLOAT,  // 0x4B000000: 2^23 as a float, the biased exponent added to it
    KI_MANTISSA,
    KI_ONE_BITS,
    KI_EXP2_BIAS,  // 0x4B400000 - 127
    KI_BIAS,       // 127
    KC_COUNT
};

// clang-format off
constexpr float LANE_CONSTANT_VALUES[KC_COUNT - 5] = {
    1.17549435e-38f, __builtin_inff(), 0.0f, 1.0f, 8388735.0f,
    0.0073954020626842976f, -0.04194501042366028f, 0.11183207482099533f, -0.1962389498949051f,
    0.27522119879722595f, -0.3582990765571594f, 0.48067888617515564f, -0.7213395237922668f,
    1.4426950216293335f,
    0.02001664973795414f, -0.09462680667638779f, 0.213943213224411f, -0.3383772075176239f,
    0.47749635577201843f, -0.7211440801620483f, 1.4426929950714111f,
    -126.99999f, 129.0f, 0.5f, 12582912.0f,
    0.0002081791462842375f, 0.0012692166492342949f, 0.009652195498347282f,
    0.05549602210521698f, 0.24022720754146576f, 0.6931471824645996f,
    1419967116.0f, 0.33333334f, 1.3333334f, 128.99998f,
};
constexpr uint32_t LANE_CONSTANT_BITS[5] = {0x4B000000u, 0x7fffffu, 0x3f800000u,
                                            0x4B400000u - 127u, 127u};
// clang-format on

// Every constant splatted sixteen times, for vectors of up to sixteen lanes. Built by the
// compiler, so no code of any instruction set runs to make it.
constexpr int LANE_STRIDE = 16;
struct lane_table {
    alignas(64) float v[KC_COUNT * LANE_STRIDE];
};
constexpr lane_table make_lane_table() {
    lane_table t{};
    for (int i = 0; i < KC_COUNT; ++i) {
        const float x = i < KC_COUNT - 5
                            ? LANE_CONSTANT_VALUES[i]
                            : __builtin_bit_cast(float, LANE_CONSTANT_BITS[i - (KC_COUNT - 5)]);
        for (int k = 0; k < LANE_STRIDE; ++k) t.v[i * LANE_STRIDE + k] = x;
    }
    return t;
}
constexpr lane_table LANE_TABLE = make_lane_table();

template <int W>
struct lanes {
    using vf = typename lane_types<W>::vf;
    using vi = typename lane_types<W>::vi;
    using vu = typename lane_types<W>::vu;

    static ALWAYS_INLINE vf splat(float x) {
        // x - (+0) is x for every x, -0 and NaN included.
        return x - vf{};
    }
    static ALWAYS_INLINE vi splati(int32_t x) { return x - vi{}; }
    static ALWAYS_INLINE vf k(int i) {
        // The table's address is hidden from the optimiser, so that the values are read
        // from it rather than folded back into literals.
        const float* t = LANE_TABLE.v;
        __asm__("" : "+r"(t));
        return *static_cast<const vf*>(__builtin_assume_aligned(t + i * LANE_STRIDE, 64));
    }
    static ALWAYS_INLINE vi ki(int i) { return as_int(k(i)); }
    static ALWAYS_INLINE vf as_float(vi x) { return (vf)x; }
    static ALWAYS_INLINE vi as_int(vf x) { return (vi)x; }
    // NaN rule: when either operand is not a number, the second one is returned.
    // The x86 min and max instructions follow exactly this rule, so use them directly.
    static ALWAYS_INLINE vf vmin(vf a, vf b) {
#if defined(__AVX__)
        if constexpr (W == 8) return (vf)_mm256_min_ps((__m256)a, (__m256)b);
#endif
#if defined(__SSE2__)
        if constexpr (W == 4) return (vf)_mm_min_ps((__m128)a, (__m128)b);
#endif
        return a < b ? a : b;
    }
    static ALWAYS_INLINE vf vmax(vf a, vf b) {
#if defined(__AVX__)
        if constexpr (W == 8) return (vf)_mm256_max_ps((__m256)a, (__m256)b);
#endif
#if defined(__SSE2__)
        if constexpr (W == 4) return (vf)_mm_max_ps((__m128)a, (__m128)b);
#endif
        return a > b ? a : b;
    }
    // Masks are whole lanes of 0 or -1, so a blend on the sign bit or plain bit logic does
    // what `m ? a : b` would, without first comparing the mask with zero.
    static ALWAYS_INLINE vf sel(vi m, vf a, vf b) {
#if defined(__AVX__)
        if constexpr (W == 8) return (vf)_mm256_blendv_ps((__m256)b, (__m256)a, (__m256)m);
#endif
        if constexpr (W == 1)
            return m ? a : b;
        else
            return as_float((as_int(a) & m) | (as_int(b) & ~m));
    }

#if defined(__FMA__)
    static constexpr bool fused = W >= 8;
#else
    static constexpr bool fused = false;
#endif
    // a * b + c, fused into one rounding where the instruction set has it (the AVX2 and
    // AVX-512 builds): fewer instructions and a little more accuracy. Builds without it
    // round twice, so results differ between those two families in the last bits only.
    static ALWAYS_INLINE vf madd(vf a, vf b, vf c) {
#if defined(__FMA__)
        if constexpr (W == 8) return (vf)_mm256_fmadd_ps((__m256)a, (__m256)b, (__m256)c);
#endif
#if defined(__AVX512F__)
        if constexpr (W == 16) return (vf)_mm512_fmadd_ps((__m512)a, (__m512)b, (__m512)c);
#endif
        return a * b + c;
    }
    // c - a * b, the same way.
    static ALWAYS_INLINE vf nmadd(vf a, vf b, vf c) {
#if defined(__FMA__)
        if constexpr (W == 8) return (vf)_mm256_fnmadd_ps((__m256)a, (__m256)b, (__m256)c);
#endif
#if defined(__AVX512F__)
        if constexpr (W == 16) return (vf)_mm512_fnmadd_ps((__m512)a, (__m512)b, (__m512)c);
#endif
        return c - a * b;
    }
    // Whether any / every lane of a comparison result is set (a lane is 0 or -1).
    static ALWAYS_INLINE bool any(vi m) {
#if defined(__AVX512F__)
        if constexpr (W == 16) return _mm512_test_epi32_mask((__m512i)m, (__m512i)m) != 0;
#endif
#if defined(__AVX__)
        if constexpr (W == 8) return _mm256_movemask_ps((__m256)m) != 0;
        if constexpr (W == 16) {
            const __m256i* h = reinterpret_cast<const __m256i*>(&m);
            return _mm256_movemask_ps((__m256)(h[0] | h[1])) != 0;
        }
#endif
#if defined(__SSE2__)
        if constexpr (W == 4) return _mm_movemask_ps((__m128)m) != 0;
#endif
        int32_t r = 0;
        for (int k = 0; k < W; ++k) r |= m[k];
        return r != 0;
    }
    // Bit k set where lane k of a comparison result is set.
    static ALWAYS_INLINE unsigned lane_bits(vi m) {
#if defined(__AVX512F__)
        if constexpr (W == 16) return _mm512_test_epi32_mask((__m512i)m, (__m512i)m);
#endif
#if defined(__AVX__)
        if constexpr (W == 8) return (unsigned)_mm256_movemask_ps((__m256)m);
#endif
#if defined(__SSE2__)
        if constexpr (W == 4) return (unsigned)_mm_movemask_ps((__m128)m);
#endif
        unsigned r = 0;
        for (int k = 0; k < W; ++k) r |= (m[k] != 0 ? 1u : 0u) << k;
        return r;
    }
    static ALWAYS_INLINE bool all(vi m) {
#if defined(__AVX512F__)
        if constexpr (W == 16) return _mm512_test_epi32_mask((__m512i)m, (__m512i)m) == 0xffff;
#endif
#if defined(__AVX__)
        if constexpr (W == 8) return _mm256_movemask_ps((__m256)m) == 0xff;
#endif
#if defined(__SSE2__)
        if constexpr (W == 4) return _mm_movemask_ps((__m128)m) == 0xf;
#endif
        return !any(~m);
    }

    // log2 from the exponent bits and a degree-8 polynomial in t = m - 1 (m the mantissa
    // in [1, 2)), interpolated at Chebyshev nodes: about 1.5e-7 absolute. A shorter
    // polynomial (1e-5) is not enough for the PQ encoding, which raises to the 79th
    // power and so multiplies any error of log2 by 55.
    // log2_core returns the exponent e and the polynomial p with log2 x = e + t p, valid
    // for normal positive finite numbers only (anything else gives a meaningless value);
    // log2 handles the rest: subnormals are scaled into the normal range first, 0 gives
    // -inf, negatives and NaN give NaN, +inf gives +inf.
    template <bool precise>
    static ALWAYS_INLINE vf log2_core(vf xs, vf& t, vf& p) {
        const vi bits = as_int(xs);
        // Lanes with the sign bit set are replaced by the callers, so the shift needs no
        // mask.
        const vf e = as_float((bits >> 23) | ki(KI_EXPONENT_FLOAT)) - k(KC_EXPONENT_BIAS);
        t = as_float((bits & ki(KI_MANTISSA)) | ki(KI_ONE_BITS)) - k(KC_ONE);
        if constexpr (precise) {
            p = madd(t, k(KC_L8_8), k(KC_L8_7));
            p = madd(p, t, k(KC_L8_6));
            p = madd(p, t, k(KC_L8_5));
            p = madd(p, t, k(KC_L8_4));
            p = madd(p, t, k(KC_L8_3));
            p = madd(p, t, k(KC_L8_2));
            p = madd(p, t, k(KC_L8_1));
            p = madd(p, t, k(KC_L8_0));
        } else if constexpr (fused) {
            // Degree 6, about 1.2e-6 absolute: enough under a moderate exponent. With fused
            // multiply-adds Horner's rule is the fewest instructions: each step takes its
            // coefficient straight from memory.
            p = madd(t, k(KC_L6_6), k(KC_L6_5));
            p = madd(p, t, k(KC_L6_4));
            p = madd(p, t, k(KC_L6_3));
            p = madd(p, t, k(KC_L6_2));
            p = madd(p, t, k(KC_L6_1));
            p = madd(p, t, k(KC_L6_0));
        } else {
            // Degree 6, about 1.2e-6 absolute: enough under a moderate exponent.
            // Estrin's scheme: independent pairs keep the dependency chain short.
            const vf t2 = t * t;
            const vf q56 = madd(t, k(KC_L6_6), k(KC_L6_5));
            const vf q34 = madd(t, k(KC_L6_4), k(KC_L6_3));
            const vf q12 = madd(t, k(KC_L6_2), k(KC_L6_1));
            p = madd(madd(madd(q56, t2, q34), t2, q12), t, k(KC_L6_0));
        }
        return e;
    }

    template <bool precise = true>
    static ALWAYS_INLINE vf log2(vf x) {
        // The common case (a normal positive finite number) runs straight through; the
        // rest is patched afterwards only when a vector holds any of it.
        const vi normal = (x >= k(KC_MIN_NORMAL)) & (x < k(KC_INF));
        const bool all_normal = all(normal);
        vi tiny{};
        if (!all_normal) tiny = (x > 0.0f) & (x < 1.17549435e-38f);
        const vf xs = all_normal ? x : sel(tiny, x * 8388608.0f, x);
        vf t, p;
        vf e = log2_core<precise>(xs, t, p);
        if (all_normal) return madd(t, p, e);
        e = sel(tiny, e - 23.0f, e);
        vf r = madd(t, p, e);
        r = sel(x == 0.0f, splat(-__builtin_inff()), r);
        r = sel(x == __builtin_inff(), splat(__builtin_inff()), r);
        r = sel((x < 0.0f) | (x != x), splat(__builtin_nanf("")), r);
        return r;
    }

    // 2^y: an integer power built in the exponent bits times 1 + f * Q(f) on [0, 1], Q of
    // degree 5 interpolated at Chebyshev nodes (about 8e-8 relative, the rounding limit).
    // 2^0, and so x^a at x = 1, is exactly 1: white stays white through a conversion.
    static ALWAYS_INLINE vf exp2(vf y) {
        return exp2_from_range(vmax(k(KC_EXP_LO), y));  // NaN stays NaN: the second wins
    }
    // 2^y for y >= -126.99999: exp2 without its lower clamp (anything below gives a
    // meaningless value).
    static ALWAYS_INLINE vf exp2_from_range(vf y) {
#if defined(__AVX__)
        if constexpr (W >= 8) {
            // With a rounding instruction: n = floor(y), two steps shorter than the
            // rounding by adding and subtracting 1.5 * 2^23 below.
            y = vmin(k(KC_EXP_HI_FLOOR), y);
            const vf n = floor(y);
            return exp2_poly(y - n) *
                   as_float((__builtin_convertvector(n, vi) + ki(KI_BIAS)) << 23);
        }
#endif
        y = vmin(k(KC_EXP_HI), y);
        const vf t = (y - k(KC_HALF)) + k(KC_ROUND);  // rounds to an integer, ties to even
        const vf n = t - k(KC_ROUND);
        const vu scale = ((vu)t - (vu)ki(KI_EXP2_BIAS)) << 23;
        return exp2_poly(y - n) * (vf)scale;
    }
    static ALWAYS_INLINE vf floor(vf y) {
#if defined(__AVX512F__)
        if constexpr (W == 16)
            return (vf)_mm512_roundscale_ps((__m512)y, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
#endif
#if defined(__AVX__)
        if constexpr (W == 8)
            return (vf)_mm256_round_ps((__m256)y, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
#endif
        vf r = y;
        for (int i = 0; i < W; ++i) r[i] = __builtin_floorf(y[i]);
        return r;
    }
    // 2^f for f in [0, 1].
    static ALWAYS_INLINE vf exp2_poly(vf f) {
        if constexpr (fused) {
            vf p = madd(f, k(KC_E5), k(KC_E4));
            p = madd(p, f, k(KC_E3));
            p = madd(p, f, k(KC_E2));
            p = madd(p, f, k(KC_E1));
            p = madd(p, f, k(KC_E0));
            return madd(p, f, k(KC_ONE));
        }
        // Estrin's scheme: the pairs are independent, so the chain is 7 steps, not 12.
        const vf f2 = f * f;
        const vf q45 = madd(f, k(KC_E5), k(KC_E4));
        const vf q23 = madd(f, k(KC_E3), k(KC_E2));
        const vf q01 = madd(f, k(KC_E1), k(KC_E0));
        return madd(madd(madd(q45, f2, q23), f2, q01), f, k(KC_ONE));
    }

    // x^a as 2^(a log2 x), with the reference's meaning: 0 for x = 0, NaN for x < 0.
    // An exponent of at most 4 in size multiplies the error of log2 by at most 2.8, so the
    // shorter polynomial keeps x^a within 4e-6; steeper curves (PQ) take the precise one.
    // Zeros take the direct route too: they are common (every colour clipped at black)
    // and their result is replaced by 0 anyway, so only subnormals, infinities,
    // negatives and NaN need log2's patching.
    template <bool precise>
    static ALWAYS_INLINE vf pow_with(vf x, vf a) {
        const vi zero = x == k(KC_ZERO);
        const vi direct = ((x >= k(KC_MIN_NORMAL)) & (x < k(KC_INF))) | zero;
        vf l;
        if (all(direct)) {
            vf t, p;
            const vf e = log2_core<precise>(x, t, p);
            l = madd(t, p, e);
        } else {
            l = log2<precise>(x);
        }
        return sel(zero, vf{}, exp2(l * a));
    }
    // x^a for a != 0 where every lane whose result is used holds a normal positive number
    // or +inf (the power segment of an output curve above a positive cut, see
    // render_curve). Only infinity needs care: its logarithm is made infinite, which exp2
    // turns into infinity (a > 0) or 0 (a < 0), as the power of infinity is.
    template <bool precise>
    static ALWAYS_INLINE vf pow_normal(vf x, vf a) {
        return exp2(log2_normal<precise>(x) * a);
    }
    template <bool precise>
    static ALWAYS_INLINE vf log2_normal(vf x) {
        vf t, p;
        const vf e = log2_core<precise>(x, t, p);
        const vf inf = k(KC_INF);
        return sel(x == inf, inf, madd(t, p, e));
    }
    // The exponent as a vector `av` (read from memory) and as the scalar `a` that picks
    // the polynomial.
    static ALWAYS_INLINE vf pow(vf x, vf av, float a) {
        return (a >= -4.0f && a <= 4.0f) ? pow_with<false>(x, av) : pow_with<true>(x, av);
    }
    static ALWAYS_INLINE vf pow(vf x, float a) {
        return pow(x, splat(a), a);
    }

    static ALWAYS_INLINE vf sqrt(vf x) {
        vf r = x;
        for (int k = 0; k < W; ++k) r[k] = __builtin_sqrtf(x[k]);
        return r;
    }

    // The frame's coefficients splatted into whole vectors once per job and kept in
    // memory, so that each folds into the instruction that uses it.
    struct vcurve {
        vf la, lb, a, b, c, d, e, f, g, h, i, cut, cut2;
        vf q[8];     // the output power's polynomial (render_curve::pow_q)
        vf band[2];  // pow_table's entries from band_at (eight and sixteen lanes)
        vi band_at;  // pow_band + 127, or less where the band would pass the table's end
    };
    struct vsetup {
        vcurve in, out;
        vf g1[9], g2[9], g3[9], g4[9], gy[3], wv, wv_quiet, lms_w[3];
    };
    static void splat_curve(const render_curve& c, vcurve* v) {
        v->la = splat(c.la);
        v->lb = splat(c.lb);
        v->a = splat(c.a);
        v->b = splat(c.b);
        v->c = splat(c.c);
        v->d = splat(c.d);
        v->e = splat(c.e);
        v->f = splat(c.f);
        v->g = splat(c.g);
        v->h = splat(c.h);
        v->i = splat(c.i);
        v->cut = splat(c.cut);
        v->cut2 = splat(c.cut2);
        for (int j = 0; j < 8; ++j) v->q[j] = splat(c.pow_q[j]);
        // The band's entries: sixteen in two registers of eight lanes, thirty-two in two
        // of sixteen (kept within the table).
        constexpr int band = W == 16 ? 32 : 16;
        const int at = c.pow_band + 127 < 256 - band ? c.pow_band + 127 : 256 - band;
        v->band_at = splati(at);
        if constexpr (W == 8 || W == 16)
            if (c.pow_in_range)
                for (int j = 0; j < band; ++j) v->band[j / W][j % W] = c.pow_table[at + j];
    }
    static void splat_setup(const render_setup& s, vsetup* v) {
        splat_curve(s.in, &v->in);
        splat_curve(s.out, &v->out);
        for (int i = 0; i < 9; ++i) {
            v->g1[i] = splat(s.g1[i]);
            v->g2[i] = splat(s.g2[i]);
            v->g3[i] = splat(s.g3[i]);
            v->g4[i] = splat(s.g4[i]);
        }
        for (int i = 0; i < 3; ++i) v->gy[i] = splat(s.gy[i]);
        v->wv = splat(s.wv);
        v->wv_quiet = splat(s.wv_quiet);
        // The test of pass_lms_identity as weights: lms_ratio on cone lms_pos, -1 on cone
        // lms_neg, 0 on the third, so that no cone is picked by an index at run time.
        for (int i = 0; i < 3; ++i)
            v->lms_w[i] = splat(i == s.lms_pos ? s.lms_ratio : i == s.lms_neg ? -1.0f : 0.0f);
        // Hidden from the optimiser: otherwise it rebuilds the splats from the scalars at
        // every use.
        __asm__ volatile("" : : "r"(v) : "memory");
    }

    // ---- stages -----------------------------------------------------------------------

    template <int F, bool P>
    static ALWAYS_INLINE vf input(const vcurve& c, vf x) {
        x = vmax(madd(x, c.la, c.lb), vf{});
        switch (F) {
            case 1: {
                const vi hi = x >= c.cut;
                vf h = x, l = x;
                if (any(hi)) h = pow_with<P>(madd(x, c.b, c.c), c.a);
                l = madd(x, c.e, c.f);  // cheaper than testing whether it is needed
                x = sel(hi, h, l);
                break;
            }
            case 2: {
                const vf u = pow_with<P>(x, c.e);
                x = pow_with<P>(vmax(u + c.a, vf{}) / madd(u, c.c, c.b), c.d);
                break;
            }
            case 3: {
                const vi hi = x >= c.cut;
                vf h = x, l = x;
                if (any(hi)) h = madd(exp2(madd(x, c.a, c.c)), c.d, c.b);
                if (!all(hi)) l = x * x / 3.0f;
                x = sel(hi, h, l);
                break;
            }
            case 4: {
                const vi hi = x >= c.cut;
                vf h = x, l = x;
                if (any(hi)) h = madd(exp2(madd(x, c.c, c.d)), c.a, c.b);
                l = madd(x, c.e, c.f);  // cheaper than testing whether it is needed
                x = sel(hi, h, l);
                break;
            }
            case 5: {
                const vi hi = x >= c.cut;
                vf h = x, l = x;
                if (any(hi)) h = exp2(madd(x, c.e, c.f)) * c.a;
                if (!all(hi)) l = madd(pow_with<P>(x * c.d, c.c), c.a, c.b);
                x = sel(hi, h, l);
                break;
            }
            case 6: {
                const vf v = exp2(madd(x, c.a, c.b));
                x = sel(x >= c.cut, v, madd(v, c.c, c.d));
                break;
            }
            case 7: {
                const vi mid = (x >= c.cut) & (x < c.cut2);
                const vi top = x >= c.cut2;
                vf m = x, t = x, l = x;
                if (any(mid)) m = pow_with<P>(madd(x, c.f, c.g), c.e);
                if (any(top)) t = madd(exp2(madd(x, c.c, c.d)), c.a, c.b);
                l = madd(x, c.h, c.i);
                x = sel(mid, m, sel(top, t, l));
                break;
            }
            default:
                break;
        }
        return vmax(x, vf{});
    }

    template <int F, bool P>
    static ALWAYS_INLINE vf output(const vcurve& c, vf x) {
        x = vmax(x, vf{});
        switch (F) {
            case 1: {
                const vi hi = x >= c.cut;
                vf h = x, l = x;
                if (any(hi)) h = madd(pow_with<P>(x, c.a), c.b, c.c);
                l = madd(x, c.e, c.f);  // cheaper than testing whether it is needed
                x = sel(hi, h, l);
                break;
            }
            case 2: {
                const vf u = pow_with<P>(x, c.d);
                x = pow_with<P>(madd(u, c.b, c.a) / madd(u, c.c, k(KC_ONE)), c.e);
                break;
            }
            case 3: {
                const vi hi = x >= c.cut;
                vf h = x, l = x;
                if (any(hi)) h = madd(log2(x * 12.0f + c.b), c.a, c.c);
                if (!all(hi)) l = sqrt(x * 3.0f);
                x = sel(hi, h, l);
                break;
            }
            case 4: {
                const vi hi = x >= c.cut;
                vf h = x, l = x;
                if (any(hi)) h = madd(log2(madd(x, c.a, c.b)), c.c, c.d);
                l = madd(x, c.e, c.f);  // cheaper than testing whether it is needed
                x = sel(hi, h, l);
                break;
            }
            case 5: {
                const vi hi = x >= c.cut;
                vf h = x, l = x;
                if (any(hi)) h = madd(log2(x * c.a), c.e, c.f);
                if (!all(hi)) l = pow_with<P>(madd(x, c.a, c.b), c.c) * c.d;
                x = sel(hi, h, l);
                break;
            }
            case 6: {
                const vi hi = x >= c.cut;
                vf h = x, l = x;
                if (any(hi)) h = madd(log2(x), c.a, c.b);
                if (!all(hi)) l = madd(log2(madd(x, c.c, c.d)), c.a, c.b);
                x = sel(hi, h, l);
                break;
            }
            case 7: {
                const vi mid = (x >= c.cut) & (x < c.cut2);
                const vi top = x >= c.cut2;
                vf m = x, t = x, l = x;
                if (any(mid)) m = madd(pow_with<P>(x, c.e), c.f, c.g);
                if (any(top)) t = madd(log2(madd(x, c.a, c.b)), c.c, c.d);
                l = madd(x, c.h, c.i);
                x = sel(mid, m, sel(top, t, l));
                break;
            }
            default:
                break;
        }
        return vmax(madd(x, c.la, c.lb), vf{});
    }

    static ALWAYS_INLINE vf tone(const render_setup& s, vf v) {
        const vi negative = v < 0.0f;
        if (s.do_gamma) v = pow(v, s.gamma);
        if (s.do_contrast) {
            const vi lo = v < 0.5f;
            const vi mid = (v >= 0.5f) & (v < 1.0f);
            if (any(lo | mid)) {
                const vf e = exp2(sel(lo, v, -v) * s.contrast);
                const vf low = e * s.c_low - s.c_low;
                const vf high = e * s.c_high + s.c_off;
                v = sel(lo, low, sel(mid, high, v));
            }
        }
        if (s.do_blacks_whites) {
            const float b4 = 4.0f * s.blacks;
            const float w4 = -4.0f * s.whites;
            const float w8 = 8.0f * s.whites;
            const vf low = v * ((v * b4 - b4) * v + (s.blacks + 1.0f));
            const vf high = ((v * w4 + w8) * v + (1.0f - 5.0f * s.whites)) * v + s.whites;
            v = sel(v < 0.5f, low, sel(v < 1.0f, high, v));
        }
        return sel(negative, vf{}, v);
    }

    static ALWAYS_INLINE void matrix(const vf* m, vf& x, vf& y, vf& z) {
        const vf a = madd(z, m[2], madd(y, m[1], x * m[0]));
        const vf b = madd(z, m[5], madd(y, m[4], x * m[3]));
        const vf c = madd(z, m[8], madd(y, m[7], x * m[6]));
        x = a;
        y = b;
        z = c;
    }

    // Cube root of v > 0 (else 0) without logarithms: a guess for v^(-1/3) from the
    // exponent bits, three Newton steps r <- r (4 - v r^3) / 3 (each squares the relative
    // error: 4e-2, 5e-3, 7e-5, 1e-8), then v r^2.
    static ALWAYS_INLINE vf cbrt(vf v) {
        const vi positive = (v > k(KC_ZERO)) & (v < k(KC_INF));
        const vf x = sel(positive, v, k(KC_ONE));
        const vf bits = __builtin_convertvector(as_int(x), vf);
        vf r = as_float(__builtin_convertvector(k(KC_CBRT_MAGIC) - bits * k(KC_THIRD), vi));
        // x / 3 once, and the three steps written out: no loop to count.
        const vf x3 = x * k(KC_THIRD);
        const vf four_thirds = k(KC_FOUR_THIRDS);
        r = r * nmadd(x3, r * r * r, four_thirds);
        r = r * nmadd(x3, r * r * r, four_thirds);
        r = r * nmadd(x3, r * r * r, four_thirds);
        const vf c = x * r * r;
        return sel(positive, c, sel(v == __builtin_inff(), v, vf{}));
    }

    static ALWAYS_INLINE void highlights(const vsetup& v, vf& r, vf& g, vf& b) {
        const vf w = v.wv;
        const vf wv = w;
        const vf y2 = madd(vmin(b, wv), v.gy[2], madd(vmin(g, wv), v.gy[1], vmin(r, wv) * v.gy[0]));
        const vi on = y2 > 0.0f;
        if (!any(on)) return;
        const vf y = madd(b, v.gy[2], madd(g, v.gy[1], r * v.gy[0]));
        const vf y1 = vmin(y, wv);
        const vf c = vmin((y1 - w) / (y2 - w), splat(1.0f));
        const vf k = 1.0f - c;
        const vf kw = k * w;
        r = sel(on, vmin(madd(c, r, kw), wv), r);
        g = sel(on, vmin(madd(c, g, kw), wv), g);
        b = sel(on, vmin(madd(c, b, kw), wv), b);
    }

    // The stages run as passes over a chunk of planes held in L1, each pass a short loop
    // whose iterations are independent: the processor overlaps consecutive iterations,
    // which one long chain of dependent polynomial steps per pixel would not allow.
    static ALWAYS_INLINE vf load(const float* p) {
        vf v;
        std::memcpy(&v, p, sizeof(vf));
        return v;
    }
    static ALWAYS_INLINE void store(float* p, vf v) {
        std::memcpy(p, &v, sizeof(vf));
    }

    // One loop per curve form, so that nothing is decided inside it; the curve is a local
    // copy, which no store to the planes can change, so its values stay in registers.
    // The power's polynomial is chosen once per curve (`steep`), outside the loop.
    // R, G and B side by side in one loop: three independent chains to overlap, and the
    // curve's values read once for all three.
    template <int F, bool P>
    static void curve3(const vcurve& c, float* pr, float* pg, float* pb, int n, bool out) {
        for (int k = 0; k < n; k += W) {
            const vf r = load(pr + k), g = load(pg + k), b = load(pb + k);
            if (out) {
                store(pr + k, output<F, P>(c, r));
                store(pg + k, output<F, P>(c, g));
                store(pb + k, output<F, P>(c, b));
            } else {
                store(pr + k, input<F, P>(c, r));
                store(pg + k, input<F, P>(c, g));
                store(pb + k, input<F, P>(c, b));
            }
        }
    }
    // An input curve of form 4 (the camera logs) whose clamps are idle below (see
    // render_curve::idle_below): codes that the levels take below 0 come out 0 at the end
    // without the clamp at 0, and the exponential, whose result is used only from the cut
    // up, needs no lower clamp. The bits are input<4, P>'s.
    static void log_in(const vcurve& c, float* pr, float* pg, float* pb, int n) {
        for (int i = 0; i < n; i += W) {
            log_in(c, pr + i);
            log_in(c, pg + i);
            log_in(c, pb + i);
        }
    }
    static ALWAYS_INLINE void log_in(const vcurve& c, float* p) {
        const vf x = madd(load(p), c.la, c.lb);
        const vf hi = madd(exp2_from_range(madd(x, c.c, c.d)), c.a, c.b);
        const vf lo = madd(x, c.e, c.f);
        store(p, vmax(sel(x >= c.cut, hi, lo), vf{}));
    }
    // An output curve of form 1 whose power segment lies above a positive cut
    // (pow_normal), as two loops: logarithms into a plane of their own, then exponentials.
    // Each loop's chain of dependent steps is half as long, so the processor keeps more
    // iterations in flight. The exponential runs whether or not a lane is above the cut;
    // below it, its result is not used. The levels come folded into the segments.
    template <bool P>
    static void power_out(const vcurve& c, float* pr, float* pg, float* pb, int n) {
        alignas(64) float lr[CHUNK], lg[CHUNK], lb[CHUNK];
        for (int i = 0; i < n; i += W) {
            power_log<P>(c, pr + i, lr + i);
            power_log<P>(c, pg + i, lg + i);
            power_log<P>(c, pb + i, lb + i);
        }
        for (int i = 0; i < n; i += W) {
            power_exp(c, pr + i, lr + i);
            power_exp(c, pg + i, lg + i);
            power_exp(c, pb + i, lb + i);
        }
    }
    // x is clamped at 0 by the second loop; here max(x, cut) does that too (NaN to cut).
    template <bool P>
    static ALWAYS_INLINE void power_log(const vcurve& c, const float* x, float* l) {
        store(l, log2_normal<P>(vmax(load(x), c.cut)) * c.a);
    }
    static ALWAYS_INLINE void power_exp(const vcurve& c, float* x, const float* l) {
        const vf v = vmax(load(x), vf{});
        const vf hi = madd(exp2(load(l)), c.b, c.c);
        const vf lo = madd(v, c.e, c.f);
        store(x, vmax(sel(v >= c.cut, hi, lo), vf{}));
    }
    // The same curve with 0 < a <= 1 (pow_in_range), its power times b from a table by
    // the exponent and a polynomial in the mantissa (power_fit): no logarithm and no
    // exponential, and so half the arithmetic.
    static void power_table(const render_curve& s, const vcurve& c, float* pr, float* pg, float* pb,
                            int n) {
        for (int i = 0; i < n; i += W) {
            power_table(s.pow_table, c, pr + i);
            power_table(s.pow_table, c, pg + i);
            power_table(s.pow_table, c, pb + i);
        }
    }
    static ALWAYS_INLINE void power_table(const float* table, const vcurve& c, float* p) {
        const vf v = vmax(load(p), vf{});
        const vf hi = power_b(table, c, vmax(v, c.cut), c.c);
        const vf lo = madd(v, c.e, c.f);
        store(p, vmax(sel(v >= c.cut, hi, lo), vf{}));
    }
    // b x^a + add for normal x and infinity (power_fit's table and polynomial).
    static ALWAYS_INLINE vf power_b(const float* table, const vcurve& c, vf x, vf add) {
        const vi bits = as_int(x);
        const vf t = as_float((bits & ki(KI_MANTISSA)) | ki(KI_ONE_BITS)) - k(KC_ONE);
        const vf* q = c.q;
        vf p = madd(t, q[7], q[6]);
        p = madd(p, t, q[5]);
        p = madd(p, t, q[4]);
        p = madd(p, t, q[3]);
        p = madd(p, t, q[2]);
        p = madd(p, t, q[1]);
        p = madd(p, t, q[0]);
        // The exponent field alone indexes the table: a sign bit (a negative number, -0 or
        // a negative NaN from a caller outside the render) must not index before its start.
        return madd(lookup(table, c, (bits >> 23) & splati(255)), madd(p, t, k(KC_ONE)), add);
    }
    static ALWAYS_INLINE vf lookup(const float* table, const vcurve& c, vi i) {
        (void)c;  // only the eight- and sixteen-lane builds have the band
#if defined(__AVX2__)
        // Eight lanes whose exponents all lie in the band take its entries from two
        // registers by permutation, chosen by bit 3; the gather is the slow way.
        if constexpr (W == 8) {
            const __m256i j = (__m256i)(i - c.band_at);
            if (_mm256_testz_si256(j, _mm256_set1_epi32(-16))) {
                const __m256 lo = _mm256_permutevar8x32_ps((__m256)c.band[0], j);
                const __m256 hi = _mm256_permutevar8x32_ps((__m256)c.band[1], j);
                return (vf)_mm256_blendv_ps(lo, hi, (__m256)_mm256_slli_epi32(j, 28));
            }
        }
#endif
#if defined(__AVX512F__)
        // Sixteen lanes: a band of thirty-two entries, one two-register permutation.
        if constexpr (W == 16) {
            const __m512i j = (__m512i)(i - c.band_at);
            if (_mm512_test_epi32_mask(j, _mm512_set1_epi32(-32)) == 0)
                return (vf)_mm512_permutex2var_ps((__m512)c.band[0], j, (__m512)c.band[1]);
            return (vf)_mm512_i32gather_ps((__m512i)i, table, 4);
        }
#endif
#if defined(__AVX2__)
        if constexpr (W == 8) return (vf)_mm256_i32gather_ps(table, (__m256i)i, 4);
#endif
        vf r{};
        for (int k = 0; k < W; ++k) r[k] = table[i[k]];
        return r;
    }
    template <int F>
    static void pass_form(const render_curve& s, const vcurve& c, float* pr, float* pg, float* pb,
                          int n, bool out) {
        if constexpr (F == 1) {
            if (out && s.pow_normal) {
                if (s.pow_in_range)
                    power_table(s, c, pr, pg, pb, n);
                else if (s.steep)
                    power_out<true>(c, pr, pg, pb, n);
                else
                    power_out<false>(c, pr, pg, pb, n);
                return;
            }
        }
        if constexpr (F == 4) {
            if (!out && s.idle_below) return log_in(c, pr, pg, pb, n);
        }
        if (s.steep)
            curve3<F, true>(c, pr, pg, pb, n, out);
        else
            curve3<F, false>(c, pr, pg, pb, n, out);
    }
    // The curve of one side on the three colour planes; one loop per curve form, so that
    // nothing is decided inside it. The power's polynomial is chosen once per curve.
    static void pass_curve(const render_curve& s, const vcurve& c, float* pr, float* pg, float* pb,
                           int n, bool out) {
        switch (s.form) {
            case 1:
                return pass_form<1>(s, c, pr, pg, pb, n, out);
            case 2:
                return pass_form<2>(s, c, pr, pg, pb, n, out);
            case 3:
                return pass_form<3>(s, c, pr, pg, pb, n, out);
            case 4:
                return pass_form<4>(s, c, pr, pg, pb, n, out);
            case 5:
                return pass_form<5>(s, c, pr, pg, pb, n, out);
            case 6:
                return pass_form<6>(s, c, pr, pg, pb, n, out);
            case 7:
                return pass_form<7>(s, c, pr, pg, pb, n, out);
            default:
                return pass_form<0>(s, c, pr, pg, pb, n, out);
        }
    }
    static void pass_rgb(const render_setup& s, const vsetup& v, float* pr, float* pg, float* pb,
                         int n) {
        for (int k = 0; k < n; k += W) {
            vf r = load(pr + k), g = load(pg + k), b = load(pb + k);
            matrix(v.g2, r, g, b);
            if (s.wv != 0.0f) highlights(v, r, g, b);
            store(pr + k, tone(s, r));
            store(pg + k, tone(s, g));
            store(pb + k, tone(s, b));
        }
    }
    static void pass_cone(const vsetup& v, float* pr, float* pg, float* pb, int n) {
        for (int k = 0; k < n; k += W) {
            vf r = load(pr + k), g = load(pg + k), b = load(pb + k);
            matrix(v.g1, r, g, b);
            store(pr + k, cbrt(r));
            store(pg + k, cbrt(g));
            store(pb + k, cbrt(b));
        }
    }
    static void pass_lab(const render_setup& s, const vsetup& v, float* pr, float* pg, float* pb,
                         int n) {
        for (int k = 0; k < n; k += W) {
            vf r = load(pr + k), g = load(pg + k), b = load(pb + k);
            matrix(v.g3, r, g, b);
            r = tone(s, r);
            if (s.do_ab) {
                g = g * s.ab_scale;
                b = b * s.ab_scale;
            }
            matrix(v.g4, r, g, b);
            r = r * r * r;
            g = g * g * g;
            b = b * b * b;
            matrix(v.g2, r, g, b);
            if (s.wv != 0.0f) highlights(v, r, g, b);
            store(pr + k, r);
            store(pg + k, g);
            store(pb + k, b);
        }
    }

    // The perceptual route when its middle is the identity (see render_setup): the cones
    // clamped at 0 go straight to GAINS2. A lane where L could come out negative (and so
    // be cut to 0 by the tone curve) or whose cones are infinite takes the whole route
    // instead. Such lanes are rare but scattered (a few in a third of the vectors of a
    // frame of saturated colours), so the loop only notes them, without a branch; their
    // cones are then packed into vectors of their own for the whole route, and the
    // results put back in place. Every step is per lane, so every vector width gives the
    // same bits.
    template <bool HL>
    static void pass_lms_identity(const render_setup& s, const vsetup& v, float* pr, float* pg,
                                  float* pb, int n) {
        alignas(64) float cones[3][CHUNK];
        int listed[CHUNK / W];
        unsigned marked[CHUNK / W];  // the listed vectors' lanes for the whole route
        int nlisted = 0;
        for (int i = 0; i < n; i += W) {
            vf r = load(pr + i), g = load(pg + i), b = load(pb + i);
            matrix(v.g1, r, g, b);
            vf fr, fg, fb;
            const vi ok = lms_shortcut(s, v, r, g, b, fr, fg, fb);
            store(cones[0] + i, r);
            store(cones[1] + i, g);
            store(cones[2] + i, b);
            const unsigned off = lane_bits(~ok);
            listed[nlisted] = i;
            marked[nlisted] = off;
            nlisted += off != 0 ? 1 : 0;
            if (HL && any(vmax(fr, vmax(fg, fb)) > v.wv_quiet)) highlights(v, fr, fg, fb);
            store(pr + i, fr);
            store(pg + i, fg);
            store(pb + i, fb);
        }
        if (nlisted == 0) return;
        alignas(64) float wr[CHUNK], wg[CHUNK], wb[CHUNK];
        int at[CHUNK];
        int m = 0;
        for (int j = 0; j < nlisted; ++j)
            for (unsigned bits = marked[j]; bits != 0; bits &= bits - 1) {
                const int p = listed[j] + __builtin_ctz(bits);
                at[m] = p;
                wr[m] = cones[0][p];
                wg[m] = cones[1][p];
                wb[m] = cones[2][p];
                ++m;
            }
        const int padded = (m + W - 1) / W * W;
        for (int t = m; t < padded; ++t) wr[t] = wg[t] = wb[t] = 0.0f;
        for (int t = 0; t < padded; t += W) {
            vf cr = cbrt(load(wr + t)), cg = cbrt(load(wg + t)), cb = cbrt(load(wb + t));
            matrix(v.g3, cr, cg, cb);
            cr = tone(s, cr);
            matrix(v.g4, cr, cg, cb);
            cr = cr * cr * cr;
            cg = cg * cg * cg;
            cb = cb * cb * cb;
            matrix(v.g2, cr, cg, cb);
            if (HL) highlights(v, cr, cg, cb);
            store(wr + t, cr);
            store(wg + t, cg);
            store(wb + t, cb);
        }
        for (int t = 0; t < m; ++t) {
            pr[at[t]] = wr[t];
            pg[at[t]] = wg[t];
            pb[at[t]] = wb[t];
        }
    }
    // The shortcut's result for cones r, g, b (GAINS2 on the cones clamped at 0) and the
    // lanes where it holds.
    static ALWAYS_INLINE vi lms_shortcut(const render_setup& s, const vsetup& v, vf r, vf g, vf b,
                                         vf& fr, vf& fg, vf& fb) {
        const vf zero = k(KC_ZERO);
        fr = vmax(r, zero);
        fg = vmax(g, zero);
        fb = vmax(b, zero);
        // Clamped at 0 the cones are never NaN, so their maximum tells infinity apart.
        vi ok = vmax(fr, vmax(fg, fb)) < k(KC_INF);
        // ratio x_pos - x_neg >= 0, the third cone weighing 0 (finite, where it counts).
        if (s.lms_neg >= 0)
            ok &= madd(fb, v.lms_w[2], madd(fg, v.lms_w[1], fr * v.lms_w[0])) >= zero;
        matrix(v.g2, fr, fg, fb);
        return ok;
    }

    // `decoded`: the planes already hold the input stage's results (from a table).
    // The one rule for values that are not ordinary numbers, on the way in and on the way
    // out of every route: NaN and -Inf count as 0, +Inf as the largest finite value, so
    // that what comes out is always finite.
    static ALWAYS_INLINE vf ordinary(vf x) {
        const auto keep = (x == x) & (x > splat(-__builtin_huge_valf()));
        return sel(keep, vmin(x, splat(3.40282347e38f)), vf{});
    }
    static void pass_ordinary(float* pr, float* pg, float* pb, int n) {
        for (int i = 0; i < n; i += W) {
            store(pr + i, ordinary(load(pr + i)));
            store(pg + i, ordinary(load(pg + i)));
            store(pb + i, ordinary(load(pb + i)));
        }
    }
    static void chunk(const render_setup& s, const vsetup& v, float* pr, float* pg, float* pb,
                      int n, bool decoded) {
        // Decoded planes come from integer codes, which are ordinary already.
        if (!decoded) {
            pass_ordinary(pr, pg, pb, n);
            pass_curve(s.in, v.in, pr, pg, pb, n, false);
        }
        if (!s.perceptual) {
            pass_rgb(s, v, pr, pg, pb, n);
        } else if (s.lms_identity) {
            if (s.wv != 0.0f)
                pass_lms_identity<true>(s, v, pr, pg, pb, n);
            else
                pass_lms_identity<false>(s, v, pr, pg, pb, n);
        } else {
            pass_cone(v, pr, pg, pb, n);
            pass_lab(s, v, pr, pg, pb, n);
        }
        pass_curve(s.out, v.out, pr, pg, pb, n, true);
        pass_ordinary(pr, pg, pb, n);
    }
};

// ---- pixel formats ------------------------------------------------------------------

struct format_info {
    int bytes;       // per pixel
    int kind;        // 0: 8-bit, 1: RGBA16, 2: ARGB15, 3: float, 4: half
    int r, g, b, a;  // channel positions
};

// What an integer code is multiplied by on reading: 1/255 (as the constant 0.003921569),
// 1/65535 for RGBA16, 1/32768 for ARGB15.
inline float code_scale(int kind) {
    return kind == 0 ? 0.003921569f : kind == 1 ? 1.0f / 65535.0f : 1.0f / 32768.0f;
}

inline format_info format_of(imageFormat f) {
    switch (f) {
        case IMAGE_RGBA8:
            return {4, 0, 0, 1, 2, 3};
        case IMAGE_RGBA16:
            return {8, 1, 0, 1, 2, 3};
        case IMAGE_RGBA32F:
            return {16, 3, 0, 1, 2, 3};
        case IMAGE_ARGB8:
            return {4, 0, 1, 2, 3, 0};
        case IMAGE_ARGB15:
            return {8, 2, 1, 2, 3, 0};
        case IMAGE_ARGB32F:
            return {16, 3, 1, 2, 3, 0};
        case IMAGE_BGRA8:
            return {4, 0, 2, 1, 0, 3};
        case IMAGE_BGRA32F:
            return {16, 3, 2, 1, 0, 3};
        case IMAGE_BGRA16F:
            return {8, 4, 2, 1, 0, 3};
    }
    return {0, 0, 0, 0, 0, 0};
}

// Exact bit conversions for half floats, with round-to-nearest-even on the way out.
inline float half_to_float(uint16_t h) {
    const uint32_t sign = (uint32_t)(h & 0x8000u) << 16;
    uint32_t exp = (h >> 10) & 0x1fu;
    uint32_t mant = h & 0x3ffu;
    uint32_t bits;
    if (exp == 0x1f) {
        bits = sign | 0x7f800000u | (mant << 13);
    } else if (exp != 0) {
        bits = sign | ((exp + 112u) << 23) | (mant << 13);
    } else if (mant == 0) {
        bits = sign;
    } else {
        exp = 113;
        while ((mant & 0x400u) == 0) {
            mant <<= 1;
            --exp;
        }
        bits = sign | (exp << 23) | ((mant & 0x3ffu) << 13);
    }
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

inline float half_range(float f) {
    return f > 65504.0f ? 65504.0f : f < -65504.0f ? -65504.0f : f;
}
inline uint16_t float_to_half(float f) {
    uint32_t x;
    std::memcpy(&x, &f, 4);
    const uint16_t sign = (uint16_t)((x >> 16) & 0x8000u);
    const uint32_t ax = x & 0x7fffffffu;
    if (ax >= 0x7f800000u) return (uint16_t)(sign | 0x7c00u | (ax > 0x7f800000u ? 0x200u : 0u));
    if (ax >= 0x477ff000u) return (uint16_t)(sign | 0x7c00u);  // rounds past 65504
    if (ax < 0x38800000u) {                                    // subnormal half or zero
        if (ax < 0x33000001u) return sign;
        const uint32_t e = ax >> 23;
        const uint32_t m = (ax & 0x7fffffu) | 0x800000u;
        const uint32_t shift = 126u - e;  // 14 ... 24
        uint32_t v = m >> shift;
        const uint32_t rest = m & ((1u << shift) - 1u);
        const uint32_t halfway = 1u << (shift - 1u);
        if (rest > halfway || (rest == halfway && (v & 1u))) ++v;
        return (uint16_t)(sign | v);
    }
    uint32_t v = ((ax - 0x38000000u) >> 13);
    const uint32_t rest = ax & 0x1fffu;
    if (rest > 0x1000u || (rest == 0x1000u && (v & 1u))) ++v;
    return (uint16_t)(sign | v);
}

template <typename T>
inline T load_as(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

template <typename T>
inline void store_as(char* p, T v) {
    std::memcpy(p, &v, sizeof(T));
}

// Integer channels: clamped to 0-1 (NaN to 0), scaled and truncated toward zero. Alpha
// is rounded instead: it is only carried through, and truncating k / 65535 * 65535 can
// give k - 1, so opacity would creep down by a code on every pass.
inline float clamp01(float v) {
    return !(v > 0.0f) ? 0.0f : (v > 1.0f ? 1.0f : v);
}

// `eight`: whether the float rows go eight pixels per step, in the shuffled order; both
// sides of a chunk must agree on it.
inline void load_chunk(const format_info& fi, bool eight, const char* src, int n, float* pr,
                       float* pg, float* pb, float* pa) {
    (void)eight;  // only builds with AVX2 have the eight-pixel step
    const int bpp = fi.bytes;
    switch (fi.kind) {
        case 0: {
            int k = 0;
#if defined(__SSE2__)
            // Four whole pixels (16 bytes) per step, widened and transposed into the planes.
            const __m128i zero = _mm_setzero_si128();
            const __m128 scale = _mm_set1_ps(code_scale(0));
            for (; k + 4 <= n; k += 4) {
                const __m128i b =
                    _mm_loadu_si128((const __m128i*)(const void*)(src + (ptrdiff_t)k * 4));
                const __m128i lo = _mm_unpacklo_epi8(b, zero);
                const __m128i hi = _mm_unpackhi_epi8(b, zero);
                __m128 ch[4] = {_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)), scale),
                                _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)), scale),
                                _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)), scale),
                                _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero)), scale)};
                _MM_TRANSPOSE4_PS(ch[0], ch[1], ch[2], ch[3]);
                _mm_store_ps(pr + k, ch[fi.r]);
                _mm_store_ps(pg + k, ch[fi.g]);
                _mm_store_ps(pb + k, ch[fi.b]);
                _mm_store_ps(pa + k, ch[fi.a]);
            }
#endif
            for (; k < n; ++k) {
                const unsigned char* q = (const unsigned char*)src + (ptrdiff_t)k * bpp;
                pr[k] = (float)q[fi.r] * code_scale(0);
                pg[k] = (float)q[fi.g] * code_scale(0);
                pb[k] = (float)q[fi.b] * code_scale(0);
                pa[k] = (float)q[fi.a] * code_scale(0);
            }
            break;
        }
        case 1:
        case 2: {
            const float scale = code_scale(fi.kind);
            int k = 0;
#if defined(__SSE2__)
            // Four whole pixels (32 bytes) per step, widened and transposed into the planes.
            const __m128i zero = _mm_setzero_si128();
            const __m128 vscale = _mm_set1_ps(scale);
            for (; k + 4 <= n; k += 4) {
                const char* q = src + (ptrdiff_t)k * 8;
                const __m128i p01 = _mm_loadu_si128((const __m128i*)(const void*)q);
                const __m128i p23 = _mm_loadu_si128((const __m128i*)(const void*)(q + 16));
                __m128 ch[4] = {_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(p01, zero)), vscale),
                                _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(p01, zero)), vscale),
                                _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(p23, zero)), vscale),
                                _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(p23, zero)), vscale)};
                _MM_TRANSPOSE4_PS(ch[0], ch[1], ch[2], ch[3]);
                _mm_store_ps(pr + k, ch[fi.r]);
                _mm_store_ps(pg + k, ch[fi.g]);
                _mm_store_ps(pb + k, ch[fi.b]);
                _mm_store_ps(pa + k, ch[fi.a]);
            }
#endif
            for (; k < n; ++k) {
                const char* q = src + (ptrdiff_t)k * bpp;
                pr[k] = (float)load_as<uint16_t>(q + 2 * fi.r) * scale;
                pg[k] = (float)load_as<uint16_t>(q + 2 * fi.g) * scale;
                pb[k] = (float)load_as<uint16_t>(q + 2 * fi.b) * scale;
                pa[k] = (float)load_as<uint16_t>(q + 2 * fi.a) * scale;
            }
            break;
        }
        case 3: {
            int k = 0;
#if defined(__AVX2__)
            // Eight whole pixels per step in four registers, two shuffles deep. The planes
            // get the pixels in the order 0 2 4 6 1 3 5 7, which store_chunk undoes; every
            // stage works lane by lane, so the order does not matter in between.
            float* plane[4];
            plane[fi.r] = pr;
            plane[fi.g] = pg;
            plane[fi.b] = pb;
            plane[fi.a] = pa;
            for (; eight && k + 8 <= n; k += 8) {
                const float* q = (const float*)(const void*)(src + (ptrdiff_t)k * 16);
                const __m256 p0 = _mm256_loadu_ps(q);
                const __m256 p1 = _mm256_loadu_ps(q + 8);
                const __m256 p2 = _mm256_loadu_ps(q + 16);
                const __m256 p3 = _mm256_loadu_ps(q + 24);
                const __m256 t0 = _mm256_unpacklo_ps(p0, p1);
                const __m256 t1 = _mm256_unpackhi_ps(p0, p1);
                const __m256 t2 = _mm256_unpacklo_ps(p2, p3);
                const __m256 t3 = _mm256_unpackhi_ps(p2, p3);
                _mm256_store_ps(plane[0] + k, _mm256_shuffle_ps(t0, t2, 0x44));
                _mm256_store_ps(plane[1] + k, _mm256_shuffle_ps(t0, t2, 0xEE));
                _mm256_store_ps(plane[2] + k, _mm256_shuffle_ps(t1, t3, 0x44));
                _mm256_store_ps(plane[3] + k, _mm256_shuffle_ps(t1, t3, 0xEE));
            }
#endif
#if defined(__SSE2__)
            // Four whole pixels per step, transposed into the planes: never past the row.
            for (; k + 4 <= n; k += 4) {
                const char* q = src + (ptrdiff_t)k * 16;
                __m128 p0 = _mm_loadu_ps((const float*)(const void*)q);
                __m128 p1 = _mm_loadu_ps((const float*)(const void*)(q + 16));
                __m128 p2 = _mm_loadu_ps((const float*)(const void*)(q + 32));
                __m128 p3 = _mm_loadu_ps((const float*)(const void*)(q + 48));
                _MM_TRANSPOSE4_PS(p0, p1, p2, p3);
                __m128 ch[4] = {p0, p1, p2, p3};
                _mm_store_ps(pr + k, ch[fi.r]);
                _mm_store_ps(pg + k, ch[fi.g]);
                _mm_store_ps(pb + k, ch[fi.b]);
                _mm_store_ps(pa + k, ch[fi.a]);
            }
#endif
            for (; k < n; ++k) {
                const char* q = src + (ptrdiff_t)k * 16;
                pr[k] = load_as<float>(q + 4 * fi.r);
                pg[k] = load_as<float>(q + 4 * fi.g);
                pb[k] = load_as<float>(q + 4 * fi.b);
                pa[k] = load_as<float>(q + 4 * fi.a);
            }
            break;
        }
        case 4:
            for (int k = 0; k < n; ++k) {
                const char* q = src + (ptrdiff_t)k * bpp;
                pr[k] = half_to_float(load_as<uint16_t>(q + 2 * fi.r));
                pg[k] = half_to_float(load_as<uint16_t>(q + 2 * fi.g));
                pb[k] = half_to_float(load_as<uint16_t>(q + 2 * fi.b));
                pa[k] = half_to_float(load_as<uint16_t>(q + 2 * fi.a));
            }
            break;
        default:
            break;
    }
}

// The planes by position in the pixel, and the offset added before truncating each to a
// code: 0.5 for alpha (rounded), 0 for the colours (truncated). The store loops then
// index nothing at run time.
struct code_planes {
    const float* plane[4];
    float offset[4];
};
inline code_planes code_planes_of(const format_info& fi, const float* pr, const float* pg,
                                  const float* pb, const float* pa) {
    code_planes p{};
    p.plane[fi.r] = pr;
    p.plane[fi.g] = pg;
    p.plane[fi.b] = pb;
    p.plane[fi.a] = pa;
    p.offset[fi.a] = 0.5f;
    return p;
}
// The four channels of pixels k, k + 1, ... as integer codes: clamped to 0-1 (NaN to 0:
// the second operand of max wins), scaled, offset and truncated (v + 0 is v for the
// clamped, non-negative v).
#if defined(__SSE2__)
inline void codes4(const code_planes& p, int k, float scale, __m128i* code) {
    for (int c = 0; c < 4; ++c) {
        const __m128 v = _mm_min_ps(_mm_max_ps(_mm_load_ps(p.plane[c] + k), _mm_setzero_ps()),
                                    _mm_set1_ps(1.0f));
        code[c] = _mm_cvttps_epi32(
            _mm_add_ps(_mm_mul_ps(v, _mm_set1_ps(scale)), _mm_set1_ps(p.offset[c])));
    }
}
#endif
#if defined(__AVX2__)
inline void codes8(const code_planes& p, int k, float scale, __m256i* code) {
    for (int c = 0; c < 4; ++c) {
        const __m256 v =
            _mm256_min_ps(_mm256_max_ps(_mm256_load_ps(p.plane[c] + k), _mm256_setzero_ps()),
                          _mm256_set1_ps(1.0f));
        code[c] = _mm256_cvttps_epi32(
            _mm256_add_ps(_mm256_mul_ps(v, _mm256_set1_ps(scale)), _mm256_set1_ps(p.offset[c])));
    }
}
#endif

inline void store_chunk(const format_info& fi, bool eight, char* dst, int n, const float* pr,
                        const float* pg, const float* pb, const float* pa) {
    (void)eight;  // only builds with AVX2 have the eight-pixel step
    const int bpp = fi.bytes;
    switch (fi.kind) {
        case 0: {
            int k = 0;
#if defined(__AVX2__)
            // Eight whole pixels per step. The packs narrow each 128-bit half to the four
            // channels of four pixels, channel by channel; one byte shuffle makes that
            // pixel by pixel.
            {
                const code_planes p = code_planes_of(fi, pr, pg, pb, pa);
                const __m256i transpose =
                    _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8,
                                     12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
                for (; k + 8 <= n; k += 8) {
                    __m256i code[4];
                    codes8(p, k, 255.0f, code);
                    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(code[0], code[1]),
                                                              _mm256_packs_epi32(code[2], code[3]));
                    _mm256_storeu_si256((__m256i*)(void*)(dst + (ptrdiff_t)k * 4),
                                        _mm256_shuffle_epi8(bytes, transpose));
                }
            }
#endif
#if defined(__SSE2__)
            // Four whole pixels per step: the same clamp (NaN to 0), scale and truncation
            // as below, then narrowed to bytes; alpha rounded.
            const code_planes p = code_planes_of(fi, pr, pg, pb, pa);
            for (; k + 4 <= n; k += 4) {
                __m128i code[4];
                codes4(p, k, 255.0f, code);
                // Channel-major codes to pixel-major bytes.
                __m128 t0 = _mm_castsi128_ps(code[0]), t1 = _mm_castsi128_ps(code[1]);
                __m128 t2 = _mm_castsi128_ps(code[2]), t3 = _mm_castsi128_ps(code[3]);
                _MM_TRANSPOSE4_PS(t0, t1, t2, t3);
                const __m128i w01 = _mm_packs_epi32(_mm_castps_si128(t0), _mm_castps_si128(t1));
                const __m128i w23 = _mm_packs_epi32(_mm_castps_si128(t2), _mm_castps_si128(t3));
                _mm_storeu_si128((__m128i*)(void*)(dst + (ptrdiff_t)k * 4),
                                 _mm_packus_epi16(w01, w23));
            }
#endif
            for (; k < n; ++k) {
                unsigned char* q = (unsigned char*)dst + (ptrdiff_t)k * bpp;
                q[fi.r] = (unsigned char)(int)(clamp01(pr[k]) * 255.0f);
                q[fi.g] = (unsigned char)(int)(clamp01(pg[k]) * 255.0f);
                q[fi.b] = (unsigned char)(int)(clamp01(pb[k]) * 255.0f);
                q[fi.a] = (unsigned char)(int)(clamp01(pa[k]) * 255.0f + 0.5f);
            }
            break;
        }
        case 1:
        case 2: {
            const float scale = fi.kind == 1 ? 65535.0f : 32768.0f;
            int k = 0;
#if defined(__AVX2__)
            // Eight whole pixels per step: unsigned packs to 16 bits, channels 0/1 and 2/3
            // interleaved word by word, then pairs of those dword by dword, which gives
            // whole pixels in the order 0 1 | 4 5 and 2 3 | 6 7.
            {
                const code_planes p = code_planes_of(fi, pr, pg, pb, pa);
                const __m256i interleave =
                    _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8,
                                     9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
                for (; k + 8 <= n; k += 8) {
                    __m256i code[4];
                    codes8(p, k, scale, code);
                    const __m256i c01 =
                        _mm256_shuffle_epi8(_mm256_packus_epi32(code[0], code[1]), interleave);
                    const __m256i c23 =
                        _mm256_shuffle_epi8(_mm256_packus_epi32(code[2], code[3]), interleave);
                    const __m256i lo = _mm256_unpacklo_epi32(c01, c23);
                    const __m256i hi = _mm256_unpackhi_epi32(c01, c23);
                    char* q = dst + (ptrdiff_t)k * 8;
                    _mm256_storeu_si256((__m256i*)(void*)q,
                                        _mm256_permute2x128_si256(lo, hi, 0x20));
                    _mm256_storeu_si256((__m256i*)(void*)(q + 32),
                                        _mm256_permute2x128_si256(lo, hi, 0x31));
                }
            }
#endif
#if defined(__SSE2__)
            // Four whole pixels per step; codes are narrowed to 16 bits through a signed
            // pack around 32768, since SSE2 has no unsigned one.
            const __m128i bias32 = _mm_set1_epi32(32768);
            const __m128i bias16 = _mm_set1_epi16((short)-32768);
            const code_planes p = code_planes_of(fi, pr, pg, pb, pa);
            for (; k + 4 <= n; k += 4) {
                __m128i code[4];
                codes4(p, k, scale, code);
                __m128 t[4];
                for (int c = 0; c < 4; ++c) t[c] = _mm_castsi128_ps(_mm_sub_epi32(code[c], bias32));
                _MM_TRANSPOSE4_PS(t[0], t[1], t[2], t[3]);
                const __m128i p01 = _mm_xor_si128(
                    _mm_packs_epi32(_mm_castps_si128(t[0]), _mm_castps_si128(t[1])), bias16);
                const __m128i p23 = _mm_xor_si128(
                    _mm_packs_epi32(_mm_castps_si128(t[2]), _mm_castps_si128(t[3])), bias16);
                char* q = dst + (ptrdiff_t)k * 8;
                _mm_storeu_si128((__m128i*)(void*)q, p01);
                _mm_storeu_si128((__m128i*)(void*)(q + 16), p23);
            }
#endif
            for (; k < n; ++k) {
                char* q = dst + (ptrdiff_t)k * bpp;
                store_as<uint16_t>(q + 2 * fi.r, (uint16_t)(int)(clamp01(pr[k]) * scale));
                store_as<uint16_t>(q + 2 * fi.g, (uint16_t)(int)(clamp01(pg[k]) * scale));
                store_as<uint16_t>(q + 2 * fi.b, (uint16_t)(int)(clamp01(pb[k]) * scale));
                store_as<uint16_t>(q + 2 * fi.a, (uint16_t)(int)(clamp01(pa[k]) * scale + 0.5f));
            }
            break;
        }
        case 3: {
            int k = 0;
#if defined(__SSE2__)
            // Whole pixels only; bypass the cache when the row is 16-byte aligned, since a
            // frame is far larger than any cache and is not read back here.
            const bool aligned = ((uintptr_t)dst & 15u) == 0;
#if defined(__AVX2__)
            // The inverse of load_chunk's eight-pixel step.
            const bool aligned32 = ((uintptr_t)dst & 31u) == 0;
            const float* plane[4];
            plane[fi.r] = pr;
            plane[fi.g] = pg;
            plane[fi.b] = pb;
            plane[fi.a] = pa;
            auto put = [&](float* q, __m256 v) {
                if (aligned32) {
                    _mm256_stream_ps(q, v);
                } else if (aligned) {
                    _mm_stream_ps(q, _mm256_castps256_ps128(v));
                    _mm_stream_ps(q + 4, _mm256_extractf128_ps(v, 1));
                } else {
                    _mm256_storeu_ps(q, v);
                }
            };
            for (; eight && k + 8 <= n; k += 8) {
                const __m256 c0 = _mm256_load_ps(plane[0] + k);
                const __m256 c1 = _mm256_load_ps(plane[1] + k);
                const __m256 c2 = _mm256_load_ps(plane[2] + k);
                const __m256 c3 = _mm256_load_ps(plane[3] + k);
                const __m256 t0 = _mm256_unpacklo_ps(c0, c1);
                const __m256 t1 = _mm256_unpackhi_ps(c0, c1);
                const __m256 t2 = _mm256_unpacklo_ps(c2, c3);
                const __m256 t3 = _mm256_unpackhi_ps(c2, c3);
                float* q = (float*)(void*)(dst + (ptrdiff_t)k * 16);
                put(q, _mm256_shuffle_ps(t0, t2, 0x44));
                put(q + 8, _mm256_shuffle_ps(t0, t2, 0xEE));
                put(q + 16, _mm256_shuffle_ps(t1, t3, 0x44));
                put(q + 24, _mm256_shuffle_ps(t1, t3, 0xEE));
            }
#endif
            for (; k + 4 <= n; k += 4) {
                __m128 ch[4];
                ch[fi.r] = _mm_load_ps(pr + k);
                ch[fi.g] = _mm_load_ps(pg + k);
                ch[fi.b] = _mm_load_ps(pb + k);
                ch[fi.a] = _mm_load_ps(pa + k);
                _MM_TRANSPOSE4_PS(ch[0], ch[1], ch[2], ch[3]);
                float* q = (float*)(void*)(dst + (ptrdiff_t)k * 16);
                if (aligned) {
                    _mm_stream_ps(q, ch[0]);
                    _mm_stream_ps(q + 4, ch[1]);
                    _mm_stream_ps(q + 8, ch[2]);
                    _mm_stream_ps(q + 12, ch[3]);
                } else {
                    _mm_storeu_ps(q, ch[0]);
                    _mm_storeu_ps(q + 4, ch[1]);
                    _mm_storeu_ps(q + 8, ch[2]);
                    _mm_storeu_ps(q + 12, ch[3]);
                }
            }
#endif
            for (; k < n; ++k) {
                char* q = dst + (ptrdiff_t)k * 16;
                store_as<float>(q + 4 * fi.r, pr[k]);
                store_as<float>(q + 4 * fi.g, pg[k]);
                store_as<float>(q + 4 * fi.b, pb[k]);
                store_as<float>(q + 4 * fi.a, pa[k]);
            }
            break;
        }
        case 4:
            for (int k = 0; k < n; ++k) {
                char* q = dst + (ptrdiff_t)k * bpp;
                // Colours beyond the half range take its largest finite value, as colours
                // beyond the float range take the float's.
                store_as<uint16_t>(q + 2 * fi.r, float_to_half(half_range(pr[k])));
                store_as<uint16_t>(q + 2 * fi.g, float_to_half(half_range(pg[k])));
                store_as<uint16_t>(q + 2 * fi.b, float_to_half(half_range(pb[k])));
                store_as<uint16_t>(q + 2 * fi.a, float_to_half(pa[k]));
            }
            break;
        default:
            break;
    }
}

// Integer pixels through a table of the input stage's result for every code: R, G and B
// take their decoded values from it, alpha only the format's scaling.
inline void load_chunk_decoded(const format_info& fi, const float* table, const char* src, int n,
                               float* pr, float* pg, float* pb, float* pa) {
    int k = 0;
#if defined(__AVX2__)
    // Eight pixels per step: each channel's codes moved into 32-bit lanes by byte
    // shuffles and looked up with one gather. Loads never go past the eighth pixel.
    float* plane[4];
    plane[fi.r] = pr;
    plane[fi.g] = pg;
    plane[fi.b] = pb;
    plane[fi.a] = pa;
    if (fi.kind == 0) {
        for (; k + 8 <= n; k += 8) {
            const __m256i px = _mm256_loadu_si256((const __m256i*)(const void*)(src + 4 * k));
            for (int c = 0; c < 4; ++c) {
                // Byte c of each pixel to the low byte of its lane, zeros above it.
                const __m256i pick = _mm256_set1_epi32((int)(0x80808000u | (uint32_t)c));
                const __m256i lane =
                    _mm256_add_epi32(pick, _mm256_setr_epi32(0, 4, 8, 12, 0, 4, 8, 12));
                const __m256i code = _mm256_shuffle_epi8(px, lane);
                if (c == fi.a)
                    _mm256_store_ps(plane[c] + k, _mm256_mul_ps(_mm256_cvtepi32_ps(code),
                                                                _mm256_set1_ps(code_scale(0))));
                else
                    _mm256_store_ps(plane[c] + k, _mm256_i32gather_ps(table, code, 4));
            }
        }
    } else {
        const float scale = code_scale(fi.kind);
        // Pixels 0-3 and 4-7 in two registers; within each 128-bit half the shuffles
        // place channel c of its two pixels in lanes 0-1 (first register) or 2-3 (second),
        // which gives the order 0 1 4 5 2 3 6 7, put right by one permutation.
        const __m256i order = _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7);
        for (; k + 8 <= n; k += 8) {
            const char* q = src + 8 * k;
            const __m256i p03 = _mm256_loadu_si256((const __m256i*)(const void*)q);
            const __m256i p47 = _mm256_loadu_si256((const __m256i*)(const void*)(q + 32));
            for (int c = 0; c < 4; ++c) {
                const char lo = (char)(2 * c), hi = (char)(2 * c + 1);
                const char z = (char)0x80;
                const __m256i first = _mm256_setr_epi8(
                    lo, hi, z, z, (char)(lo + 8), (char)(hi + 8), z, z, z, z, z, z, z, z, z, z, lo,
                    hi, z, z, (char)(lo + 8), (char)(hi + 8), z, z, z, z, z, z, z, z, z, z);
                const __m256i second = _mm256_setr_epi8(
                    z, z, z, z, z, z, z, z, lo, hi, z, z, (char)(lo + 8), (char)(hi + 8), z, z, z,
                    z, z, z, z, z, z, z, lo, hi, z, z, (char)(lo + 8), (char)(hi + 8), z, z);
                const __m256i code =
                    _mm256_permutevar8x32_epi32(_mm256_or_si256(_mm256_shuffle_epi8(p03, first),
                                                                _mm256_shuffle_epi8(p47, second)),
                                                order);
                if (c == fi.a)
                    _mm256_store_ps(plane[c] + k,
                                    _mm256_mul_ps(_mm256_cvtepi32_ps(code), _mm256_set1_ps(scale)));
                else
                    _mm256_store_ps(plane[c] + k, _mm256_i32gather_ps(table, code, 4));
            }
        }
    }
#endif
    if (fi.kind == 0) {
        const unsigned char* q = (const unsigned char*)src + 4 * k;
        for (; k < n; ++k, q += 4) {
            pr[k] = table[q[fi.r]];
            pg[k] = table[q[fi.g]];
            pb[k] = table[q[fi.b]];
            pa[k] = (float)q[fi.a] * code_scale(0);
        }
    } else {
        const float scale = code_scale(fi.kind);
        for (const char* q = src + 8 * k; k < n; ++k, q += 8) {
            uint16_t c[4];
            std::memcpy(c, q, 8);
            pr[k] = table[c[fi.r]];
            pg[k] = table[c[fi.g]];
            pb[k] = table[c[fi.b]];
            pa[k] = (float)c[fi.a] * scale;
        }
    }
}

inline char* row_address(const image* img, int y, int x) {
    return img->pixels + (ptrdiff_t)(y - img->top) * img->row_bytes +
           (ptrdiff_t)(x - img->left) * format_of(img->format).bytes;
}

// One prefetch per cache line of n pixels from p; the lines are only asked for, never
// read, so the hint cannot fault or go past what the rows hold.
inline void prefetch_pixels(const char* p, int n, int bytes) {
    const ptrdiff_t size = (ptrdiff_t)n * bytes;
    for (ptrdiff_t b = 0; b < size; b += 64) __builtin_prefetch(p + b);
    if (size > 0) __builtin_prefetch(p + size - 1);
}

template <int W>
void run_rows(const render_job* job) {
    using L = lanes<W>;
    const render_setup& s = *job->setup;
    const format_info fin = format_of(job->in->format);
    const format_info fout = format_of(job->out->format);
    const int width = job->x2 - job->x1;
    if (width <= 0 || fin.bytes == 0 || fout.bytes == 0) return;
    alignas(64) float pr[CHUNK], pg[CHUNK], pb[CHUNK], pa[CHUNK];
    const bool eight = fin.kind == 3 && fout.kind == 3;
    typename L::vsetup v;
    L::splat_setup(s, &v);
    // Integer inputs have few distinct codes. When the frame has at least as many pixels
    // (three channels each to decode), the input stage runs once per code into a table,
    // through the same passes (so the bits are the same), and the rows look codes up.
    std::vector<float> table;
    // Sixteen-bit codes make a table of 256 KB, out of L1: on sixteen lanes (measured on
    // a Zen 4 core) computing the curves beats gathering from it, by 8 % on the camera
    // frame; eight-bit codes keep theirs everywhere.
    const bool wide_codes = W < 16 && (fin.kind == 1 || fin.kind == 2);
    const int codes = fin.kind == 0 ? 256 : wide_codes ? 65536 : 0;
    // Decoded as three planes of a whole number of vectors each; the entries past the last
    // code are never looked up.
    const int third = (codes / 3 + W) / W * W;
    if (codes > 0 && (int64_t)width * (job->y2 - job->y1) >= (int64_t)codes) {
        // Without the memory for it (262 KB at most) every pixel is decoded instead: a
        // render reports nothing, and nothing may escape into the host.
        try {
            table.resize((size_t)(3 * third));
        } catch (const std::bad_alloc&) {
            table.clear();
        }
    }
    if (!table.empty()) {
        const float scale = code_scale(fin.kind);
        for (int i = 0; i < 3 * third; ++i) table[(size_t)i] = (float)i * scale;
        float* t = table.data();
        for (int i = 0; i < third; i += CHUNK) {
            const int m = third - i < CHUNK ? third - i : CHUNK;
            L::pass_curve(s.in, v.in, t + i, t + third + i, t + 2 * third + i, m, false);
        }
    }
    const bool decoded = !table.empty();
    for (int y = job->y1; y < job->y2; ++y) {
        const char* src = row_address(job->in, y, job->x1);
        char* dst = row_address(job->out, y, job->x1);
        for (int x = 0; x < width; x += CHUNK) {
            const int n = width - x < CHUNK ? width - x : CHUNK;
            const int padded = (n + W - 1) / W * W;
            if (decoded)
                load_chunk_decoded(fin, table.data(), src + (ptrdiff_t)x * fin.bytes, n, pr, pg, pb,
                                   pa);
            else
                load_chunk(fin, eight, src + (ptrdiff_t)x * fin.bytes, n, pr, pg, pb, pa);
            for (int k = n; k < padded; ++k) pr[k] = pg[k] = pb[k] = pa[k] = 0.0f;
            // Ask for the whole next chunk (the rest of this row, or the start of the next
            // one) while this one is computed: the frame streams from memory, and without
            // this the passes wait on it at the start of every chunk.
            if (x + CHUNK < width) {
                prefetch_pixels(src + (ptrdiff_t)(x + CHUNK) * fin.bytes,
                                width - (x + CHUNK) < CHUNK ? width - (x + CHUNK) : CHUNK,
                                fin.bytes);
            } else if (y + 1 < job->y2) {
                prefetch_pixels(row_address(job->in, y + 1, job->x1), width < CHUNK ? width : CHUNK,
                                fin.bytes);
            }
            L::chunk(s, v, pr, pg, pb, padded, decoded);
            store_chunk(fout, eight, dst + (ptrdiff_t)x * fout.bytes, n, pr, pg, pb, pa);
        }
        if (job->callback && job->callback(job->user) != 0) break;
    }
#if defined(__SSE2__)
    _mm_sfence();  // order the streamed stores before the frame is handed back
#endif
}

template <int W>
void fast_array(int op, const float* x, float* y, int n, float a) {
    using L = lanes<W>;
    using vf = typename L::vf;
    const vf av = L::splat(a);
    // The output power takes the table route where the render does (0 < a <= 1).
    const bool table_power = op == 3 && a > 0.0f && a <= 1.0f;
    render_curve curve{};
    curve.pow_in_range = table_power;
    curve.pow_band = -14;
    if (table_power) power_fit(a, 1.0, curve.pow_q, curve.pow_table);
    typename L::vcurve c;
    L::splat_curve(curve, &c);
    const float* table = curve.pow_table;
    for (int i = 0; i < n; i += W) {
        const int m = n - i < W ? n - i : W;
        vf v = L::splat(1.0f);  // lanes past the end hold a value every function takes
        for (int k = 0; k < m; ++k) v[k] = x[i + k];
        vf r{};
        switch (op) {
            case 0:
                r = L::log2(v);
                break;
            case 1:
                r = L::exp2(v);
                break;
            case 2:
                r = L::pow(v, av, a);
                break;
            case 3:
                if (table_power)
                    r = L::power_b(table, c, v, L::splat(0.0f));
                else
                    r = (a >= -4.0f && a <= 4.0f) ? L::template pow_normal<false>(v, av)
                                                  : L::template pow_normal<true>(v, av);
                break;
            case 4:
                r = L::cbrt(v);
                break;
            default:
                break;
        }
        for (int k = 0; k < m; ++k) y[i + k] = r[k];
    }
}

}  // namespace
