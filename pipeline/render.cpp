#include "pipeline/render.h"

#include <cmath>
#include <utility>

#include "pipeline/render_kernel.h"
#include "pipeline/slots.h"

void render_rows_portable(const render_job* job) {
    run_rows<1>(job);
}
void render_rows_lanes4(const render_job* job) {
    run_rows<4>(job);
}
void render_fast_lanes4(int op, const float* x, float* y, int n, float a) {
    fast_array<4>(op, x, y, n, a);
}

namespace {

constexpr double LN2 = 0.69314718055994530942;
constexpr double LOG10_2 = 0.30102999566398119521;

// The curve form is the slot truncated to an integer; anything outside 1-7 (NaN
// included) is no curve.
int form_of(float type) {
    return (type >= 1.0f && type < 8.0f) ? (int)type : 0;
}

render_curve curve_of(const float* c, int type_slot, int la_slot, int lb_slot) {
    render_curve r{};
    r.form = form_of(c[type_slot]);
    r.la = c[la_slot];
    r.lb = c[lb_slot];
    const float* p = c + type_slot + 1;
    r.a = p[0];
    r.b = p[1];
    r.c = p[2];
    r.d = p[3];
    r.e = p[4];
    r.f = p[5];
    r.g = p[6];
    r.h = p[7];
    r.i = p[8];
    r.cut = p[9];
    r.cut2 = p[10];
    // The exponents each form raises to (the same slots on both sides).
    auto steep = [](float a) { return !(a >= -4.0f && a <= 4.0f); };
    switch (r.form) {
        case 1:
            r.steep = steep(r.a);
            break;
        case 2:
            r.steep = steep(r.d) || steep(r.e);
            break;
        case 5:
            r.steep = steep(r.c);
            break;
        case 7:
            r.steep = steep(r.e);
            break;
        default:
            break;
    }
    return r;
}

// Whether the perceptual route's middle (cube roots, GAINS3, tone on L, AB_SCALE, GAINS4,
// cubes) is the identity for this frame, and the per-pixel condition under which it is.
bool lms_is_identity(render_setup* s) {
    if (!s->perceptual || s->do_gamma || s->do_ab || s->do_contrast || s->do_blacks_whites)
        return false;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) sum += (double)s->g4[3 * i + k] * (double)s->g3[3 * k + j];
            if (!(std::fabs(sum - (i == j ? 1.0 : 0.0)) <= 1e-6)) return false;
        }
    // L = c0 l' + c1 m' + c2 s' on cube roots l', m', s' >= 0. With at most one negative
    // coefficient c_j, L >= 0 wherever c_i x_i' >= |c_j| x_j' for the largest positive c_i,
    // that is x_i (c_i / |c_j|)^3 >= x_j on the cones themselves.
    const float* c = s->g3;
    int neg = -1, pos = -1;
    for (int k = 0; k < 3; ++k) {
        if (c[k] < 0.0f) {
            if (neg >= 0) return false;
            neg = k;
        } else if (pos < 0 || c[k] > c[pos]) {
            pos = k;
        }
    }
    if (pos < 0 || !(c[pos] > 0.0f)) return false;
    s->lms_pos = pos;
    s->lms_neg = neg;
    s->lms_ratio = 0.0f;
    if (neg >= 0) {
        const double q = (double)c[pos] / -(double)c[neg];
        // Rounded down a little, so the test in single precision errs on the safe side.
        const double ratio = q * q * q * 0.999;
        if (!(ratio > 0.0 && ratio < 1e30)) return false;
        s->lms_ratio = (float)ratio;
    }
    return true;
}

}  // namespace

void power_fit(double a, double b, float q[8], float table[256]) {
    // Q(t) = ((1 + t)^a - 1) / t at the eight Chebyshev nodes of [0, 1], and the
    // polynomial through them by Gaussian elimination on its Vandermonde system (well
    // enough conditioned at this degree in double precision).
    constexpr int N = 8;
    double m[N][N + 1];
    for (int j = 0; j < N; ++j) {
        const double t = 0.5 - 0.5 * std::cos(3.14159265358979323846 * (j + 0.5) / N);
        double power = 1.0;
        for (int k = 0; k < N; ++k, power *= t) m[j][k] = power;
        m[j][N] = std::expm1(a * std::log1p(t)) / t;
    }
    for (int col = 0; col < N; ++col) {
        int pivot = col;
        for (int r = col + 1; r < N; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
        for (int k = 0; k <= N; ++k) std::swap(m[col][k], m[pivot][k]);
        for (int r = 0; r < N; ++r) {
            if (r == col) continue;
            const double f = m[r][col] / m[col][col];
            for (int k = col; k <= N; ++k) m[r][k] -= f * m[col][k];
        }
    }
    for (int k = 0; k < N; ++k) q[k] = (float)(m[k][N] / m[k][k]);
    table[0] = 0.0f;  // subnormals and zero never reach the table
    for (int i = 1; i < 255; ++i) table[i] = (float)(b * std::exp2(a * (i - 127)));
    table[255] = (float)(b * HUGE_VAL);
}

namespace {

void make_setup(const float* c, render_setup* s) {
    *s = render_setup{};
    s->in = curve_of(c, INPUT_TYPE, INPUT_LEVELS_A, INPUT_LEVELS_B);
    s->out = curve_of(c, OUTPUT_TYPE, OUTPUT_LEVELS_A, OUTPUT_LEVELS_B);
    // An output power segment whose cut lies below the smallest normal number (a pure
    // power, cut 0) may move its cut up to it when both segments give the same value at 0:
    // zeros then take the linear segment (the same result) and subnormals a value within
    // 1e-15 of their power, and the power never sees anything but normal numbers.
    constexpr float MIN_NORMAL = 1.17549435e-38f;
    const render_curve& i = s->in;
    s->in.idle_below = i.form == 4 && i.cut > 0.0f && i.cut < 1e30f && i.e >= 0.0f && i.f <= 0.0f &&
                       i.c > 0.0f && i.c < 1e30f && (double)i.c * i.cut + i.d >= -126.0;
    render_curve& o = s->out;
    if (o.form == 1 && (o.cut >= MIN_NORMAL || o.f == o.c) && std::isfinite(o.la) &&
        std::isfinite(o.lb)) {
        o.pow_normal = true;
        if (!(o.cut >= MIN_NORMAL)) o.cut = MIN_NORMAL;
        // Such a curve runs in a loop of its own, which applies the levels as part of each
        // segment: la (p b + c) + lb = p (la b) + (la c + lb), and the same for e and f.
        const double la = o.la, lb = o.lb;
        o.b = (float)(la * o.b);
        o.c = (float)(la * o.c + lb);
        o.e = (float)(la * o.e);
        o.f = (float)(la * o.f + lb);
        o.la = 1.0f;
        o.lb = 0.0f;
        // With 0 < a <= 1 (every display curve) the power, times b, comes from a table and
        // a polynomial. The band of exponents kept in registers starts at the cut's (at
        // 2^-14 for pure powers) and covers sixteen octaves (thirty-two for sixteen lanes), where
        // display values lie.
        o.pow_in_range = o.a > 0.0f && o.a <= 1.0f;
        if (o.pow_in_range) {
            power_fit(o.a, o.b, o.pow_q, o.pow_table);
            int e = 0;
            std::frexp(o.cut, &e);
            o.pow_band = e - 1 > -14 ? e - 1 : -14;
        }
    }
    // The route is the reference's: any DELTAE that is not 0 (NaN included) is perceptual.
    s->perceptual = c[DELTAE] != 0.0f;
    for (int k = 0; k < 9; ++k) {
        s->g1[k] = c[GAINS1_11 + k];
        s->g2[k] = c[GAINS2_11 + k];
        s->g3[k] = c[GAINS3_11 + k];
        s->g4[k] = c[GAINS4_11 + k];
    }
    for (int k = 0; k < 3; ++k) s->gy[k] = c[GAINSY_1 + k];
    s->wv = c[WV];
    // Luminance is at most the sum of the (non-negative) weights times the largest channel;
    // the margin covers the rounding of that sum in the row function. There y2 = Y < WV,
    // so the protection's ratio is exactly 1 and the pixel comes back as it was.
    s->wv_quiet = -INFINITY;
    const float* gy = c + GAINSY_1;
    if (s->wv > 0.0f && s->wv < 1e30f && gy[0] >= 0.0f && gy[1] >= 0.0f && gy[2] >= 0.0f) {
        const double sum = (double)gy[0] + (double)gy[1] + (double)gy[2];
        if (sum < 1e30) s->wv_quiet = (float)((double)s->wv * 0.999 / (sum > 1.0 ? sum : 1.0));
    }
    s->gamma = c[GAMMA];
    s->ab_scale = c[AB_SCALE];
    s->contrast = c[CONTRAST];
    s->blacks = c[BLACKS];
    s->whites = c[WHITES];
    s->do_gamma = s->gamma != 1.0f;
    s->do_ab = s->ab_scale != 1.0f;
    s->do_contrast = s->contrast != 0.0f;
    s->do_blacks_whites = s->blacks != 0.0f || s->whites != 0.0f;
    s->lms_identity = lms_is_identity(s);
    if (s->do_contrast) {
        const double k = (double)s->contrast * LN2;
        s->c_low = (float)(0.5 / (std::exp(k / 2.0) - 1.0));
        const double d = -0.5 / (std::exp(-k / 2.0) - std::exp(-k));
        s->c_high = (float)d;
        s->c_off = (float)(1.0 - d * std::exp(-k));
    }
}

int clip_lo(int a, int b) {
    return a > b ? a : b;
}
int clip_hi(int a, int b) {
    return a < b ? a : b;
}

using rows_fn = void (*)(const render_job*);

rows_fn rows_of(render_backend b) {
    switch (b) {
        case RENDER_PORTABLE:
            return render_rows_portable;
        case RENDER_LANES4:
            return render_rows_lanes4;
#if defined(CHROMALANE_X86_BACKENDS)
        case RENDER_AVX2:
            return render_rows_avx2;
        case RENDER_AVX512:
            return render_rows_avx512;
#endif
        default:
            return nullptr;
    }
}

}  // namespace

bool render_backend_available(render_backend b) {
    switch (b) {
        case RENDER_AUTO:
        case RENDER_PORTABLE:
        case RENDER_LANES4:
            return true;
#if defined(CHROMALANE_X86_BACKENDS)
        case RENDER_AVX2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        case RENDER_AVX512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("fma");
#endif
        default:
            return false;
    }
}

const char* render_backend_name(render_backend b) {
    switch (b) {
        case RENDER_AUTO:
            return "auto";
        case RENDER_PORTABLE:
            return "portable";
        case RENDER_LANES4:
            return "4 lanes";
        case RENDER_AVX2:
            return "avx2";
        case RENDER_AVX512:
            return "avx512";
    }
    return "?";
}

render_backend render_backend_auto() {
    static const render_backend chosen = [] {
        if (render_backend_available(RENDER_AVX512)) return RENDER_AVX512;
        if (render_backend_available(RENDER_AVX2)) return RENDER_AVX2;
        return RENDER_LANES4;
    }();
    return chosen;
}

void render_coefficients(const image* in, image* out, const OfxRectI* area, const float* coeffs,
                         int (*callback)(void*), void* user, render_backend backend) {
    if (!in || !out || !area || !coeffs || !in->pixels || !out->pixels) return;
    if (backend == RENDER_AUTO || !render_backend_available(backend))
        backend = render_backend_auto();
    float folded[COEFFICIENT_COUNT];
    for (int k = 0; k < COEFFICIENT_COUNT; ++k) folded[k] = coeffs[k];
    render_fold_bases(folded);
    render_setup setup;
    make_setup(folded, &setup);
    // Rows and columns outside either image are never touched, whatever the caller asks.
    render_job job{};
    job.in = in;
    job.out = out;
    job.x1 = clip_lo(area->x1, clip_lo(in->left, out->left));
    job.y1 = clip_lo(area->y1, clip_lo(in->top, out->top));
    job.x2 = clip_hi(area->x2, clip_hi(in->right, out->right));
    job.y2 = clip_hi(area->y2, clip_hi(in->bottom, out->bottom));
    job.setup = &setup;
    job.callback = callback;
    job.user = user;
    if (job.x1 >= job.x2 || job.y1 >= job.y2) return;
    rows_of(backend)(&job);
}

void render(const image* in, image* out, const OfxRectI* area, char* scratch, const parameters* p,
            int (*callback)(void*), void* user) {
    (void)scratch;  // the row function works in small cache-resident blocks of its own
    if (!p) return;
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents_memo(coeffs, p);
    render_coefficients(in, out, area, coeffs, callback, user, RENDER_AUTO);
}

float fast_log2(float v) {
    return lanes<1>::log2(lanes<1>::vf{v})[0];
}
float fast_exp2(float y) {
    return lanes<1>::exp2(lanes<1>::vf{y})[0];
}
float fast_pow(float x, float a) {
    return lanes<1>::pow(lanes<1>::vf{x}, a)[0];
}

void render_fold_bases(float* c) {
    const int in_form = form_of(c[INPUT_TYPE]);
    const int out_form = form_of(c[OUTPUT_TYPE]);
    auto scale = [&](int slot, double k) { c[slot] = (float)((double)c[slot] * k); };
    if (in_form == 3) {
        scale(INPUT_A, 1.0 / LN2);
        scale(INPUT_C, 1.0 / LN2);
    } else if (in_form == 4 || in_form == 7) {
        scale(INPUT_C, 1.0 / LN2);
        scale(INPUT_D, 1.0 / LN2);
    } else if (in_form == 5) {
        scale(INPUT_E, 1.0 / LN2);
        scale(INPUT_F, 1.0 / LN2);
    } else if (in_form == 6) {
        scale(INPUT_A, 1.0 / LN2);
        scale(INPUT_B, 1.0 / LN2);
    }
    if (out_form == 3) {
        scale(OUTPUT_A, LN2);
    } else if (out_form == 4 || out_form == 7) {
        scale(OUTPUT_C, LOG10_2);
    } else if (out_form == 5) {
        scale(OUTPUT_E, LN2);
    }
}
void render_fast_functions(render_backend b, render_fast_op op, const float* x, float* y, int n,
                           float a) {
    if (b == RENDER_AUTO || !render_backend_available(b)) b = render_backend_auto();
    switch (b) {
#if defined(CHROMALANE_X86_BACKENDS)
        case RENDER_AVX2:
            return render_fast_avx2(op, x, y, n, a);
        case RENDER_AVX512:
            return render_fast_avx512(op, x, y, n, a);
#endif
        case RENDER_LANES4:
            return render_fast_lanes4(op, x, y, n, a);
        default:
            return fast_array<1>(op, x, y, n, a);
    }
}

float fast_cbrt(float v) {
    return lanes<1>::cbrt(lanes<1>::vf{v})[0];
}
