#include "pipeline/evaluate.h"

#include <cfloat>
#include <cmath>

#include "pipeline/slots.h"

namespace {

// x^y with the meaning exp(y * ln x): 0 for x = 0 and NaN for x < 0 (powf would give a
// real result for negative x and integer y, and infinity for 0 with negative y).
float pw(float x, float y) {
    if (x > 0.0f) return std::pow(x, y);
    if (x == 0.0f) return 0.0f;
    return NAN;
}

// max(x, 0), with NaN (and -0) becoming 0.
float clamp0(float x) {
    return x > 0.0f ? x : 0.0f;
}

// NaN and -Inf count as 0, +Inf as the largest finite value: the render's rule too.
float ordinary(float x) {
    if (!(x == x) || x == -HUGE_VALF) return 0.0f;
    return x < FLT_MAX ? x : FLT_MAX;
}

// min(x, w), with NaN counting as w.
float min_w(float x, float w) {
    return x < w ? x : w;
}

float input_curve(int form, const float* s, float x) {
    const float a = s[INPUT_A], b = s[INPUT_B], c = s[INPUT_C], d = s[INPUT_D], e = s[INPUT_E],
                f = s[INPUT_F], g = s[INPUT_G], h = s[INPUT_H], i = s[INPUT_I];
    const float cut = s[INPUT_CUT], cut2 = s[INPUT_CUT2];
    switch (form) {
        case 1:
            return x >= cut ? pw(b * x + c, a) : e * x + f;
        case 2: {
            const float u = pw(x, e);
            return pw(clamp0(u + a) / (c * u + b), d);
        }
        case 3:
            return x >= cut ? std::exp(a * x + c) * d + b : x * x / 3.0f;
        case 4:
            return x >= cut ? std::exp(c * x + d) * a + b : e * x + f;
        case 5:
            return x >= cut ? std::exp(e * x + f) * a : pw(d * x, c) * a + b;
        case 6:
            return x >= cut ? std::exp(a * x + b) : std::exp(a * x + b) * c + d;
        case 7:
            if (x < cut) return h * x + i;
            if (x < cut2) return pw(f * x + g, e);
            return std::exp(c * x + d) * a + b;
        default:
            return x;
    }
}

float output_curve(int form, const float* s, float x) {
    const float a = s[OUTPUT_A], b = s[OUTPUT_B], c = s[OUTPUT_C], d = s[OUTPUT_D], e = s[OUTPUT_E],
                f = s[OUTPUT_F], g = s[OUTPUT_G], h = s[OUTPUT_H], i = s[OUTPUT_I];
    const float cut = s[OUTPUT_CUT], cut2 = s[OUTPUT_CUT2];
    switch (form) {
        case 1:
            return x >= cut ? pw(x, a) * b + c : e * x + f;
        case 2: {
            const float u = pw(x, d);
            return pw((b * u + a) / (c * u + 1.0f), e);
        }
        case 3:
            return x >= cut ? std::log(12.0f * x + b) * a + c : std::sqrt(3.0f * x);
        case 4:
            return x >= cut ? std::log10(a * x + b) * c + d : e * x + f;
        case 5:
            return x >= cut ? std::log(a * x) * e + f : pw(a * x + b, c) * d;
        case 6:
            return x >= cut ? std::log2(x) * a + b : std::log2(c * x + d) * a + b;
        case 7:
            if (x < cut) return h * x + i;
            if (x < cut2) return pw(x, e) * f + g;
            return std::log10(a * x + b) * c + d;
        default:
            return x;
    }
}

// The curve form held in a TYPE slot; out-of-range values (NaN included) mean no curve.
int curve_form(float slot) {
    return slot >= 1.0f && slot < 8.0f ? static_cast<int>(slot) : 0;
}

// Constants of the tone curve, computed once per call.
struct tone {
    float gamma;
    bool contrast;
    float k, a, d, top;        // contrast: A, D and 1 - D * exp(-k)
    float b4, b1, w4, w8, w5;  // blacks and whites polynomial coefficients
};

tone make_tone(const float* s) {
    tone t{};
    t.gamma = s[GAMMA];
    t.k = s[CONTRAST] * 0.6931472f;
    t.contrast = t.k != 0.0f;
    if (t.contrast) {
        t.a = 0.5f / (std::exp(t.k / 2.0f) - 1.0f);
        t.d = -0.5f / (std::exp(-t.k / 2.0f) - std::exp(-t.k));
        t.top = 1.0f - t.d * std::exp(-t.k);
    }
    const float blacks = s[BLACKS], whites = s[WHITES];
    t.b4 = 4.0f * blacks;
    t.b1 = blacks + 1.0f;
    t.w4 = -4.0f * whites;
    t.w8 = 8.0f * whites;
    t.w5 = 1.0f - 5.0f * whites;
    return t;
}

float tone_curve(const tone& t, float whites, float v) {
    if (v < 0.0f) return 0.0f;
    v = pw(v, t.gamma);
    if (t.contrast && v < 1.0f) {
        if (v < 0.5f)
            v = t.a * std::exp(t.k * v) - t.a;
        else
            v = t.d * std::exp(-t.k * v) + t.top;
    }
    if (v < 1.0f) {
        if (v < 0.5f)
            v = v * ((t.b4 * v - t.b4) * v + t.b1);
        else
            v = ((t.w4 * v + t.w8) * v + t.w5) * v + whites;
    }
    return v;
}

void mul3(const float* m, const float* in, float* out) {
    const float x = in[0], y = in[1], z = in[2];
    out[0] = m[0] * x + m[1] * y + m[2] * z;
    out[1] = m[3] * x + m[4] * y + m[5] * z;
    out[2] = m[6] * x + m[7] * y + m[8] * z;
}

void protect_highlights(const float* s, float* rgb) {
    const float w = s[WV];
    if (w == 0.0f) return;
    const float g1 = s[GAINSY_1], g2 = s[GAINSY_2], g3 = s[GAINSY_3];
    const float y2 = g1 * min_w(rgb[0], w) + g2 * min_w(rgb[1], w) + g3 * min_w(rgb[2], w);
    if (!(y2 > 0.0f)) return;
    const float y1 = min_w(g1 * rgb[0] + g2 * rgb[1] + g3 * rgb[2], w);
    const float c = min_w((y1 - w) / (y2 - w), 1.0f);
    for (int k = 0; k < 3; ++k) rgb[k] = min_w(c * rgb[k] + (1.0f - c) * w, w);
}

float cube_root(float v) {
    return v > 0.0f ? std::exp(std::log(v) * 0.33333334f) : 0.0f;
}

}  // namespace

void apply_input_transfer(const float* coeffs, float* values, int count) {
    const float la = coeffs[INPUT_LEVELS_A], lb = coeffs[INPUT_LEVELS_B];
    const int form = curve_form(coeffs[INPUT_TYPE]);
    for (int n = 0; n < count; ++n) {
        const float x = clamp0(ordinary(values[n]) * la + lb);
        values[n] = clamp0(input_curve(form, coeffs, x));
    }
}

void apply_output_transfer(const float* coeffs, float* values, int count) {
    const float la = coeffs[OUTPUT_LEVELS_A], lb = coeffs[OUTPUT_LEVELS_B];
    const int form = curve_form(coeffs[OUTPUT_TYPE]);
    for (int n = 0; n < count; ++n) {
        const float x = output_curve(form, coeffs, clamp0(values[n]));
        values[n] = ordinary(clamp0(x * la + lb));
    }
}

void apply_correction_and_adjustments(const float* coeffs, float* pixels, int count) {
    const tone t = make_tone(coeffs);
    const float whites = coeffs[WHITES];
    const float ab_scale = coeffs[AB_SCALE];
    const bool perceptual = coeffs[DELTAE] != 0.0f;
    for (int n = 0; n < count; ++n) {
        float* p = pixels + 4 * n;
        float v[3];
        if (!perceptual) {
            mul3(coeffs + GAINS2_11, p, v);
            protect_highlights(coeffs, v);
            for (int k = 0; k < 3; ++k) p[k] = tone_curve(t, whites, v[k]);
        } else {
            float lms[3], lab[3];
            mul3(coeffs + GAINS1_11, p, lms);
            for (float& x : lms) x = cube_root(x);
            mul3(coeffs + GAINS3_11, lms, lab);
            lab[0] = tone_curve(t, whites, lab[0]);
            lab[1] *= ab_scale;
            lab[2] *= ab_scale;
            mul3(coeffs + GAINS4_11, lab, lms);
            for (float& x : lms) x = x * x * x;
            mul3(coeffs + GAINS2_11, lms, v);
            protect_highlights(coeffs, v);
            for (int k = 0; k < 3; ++k) p[k] = v[k];
        }
    }
}
