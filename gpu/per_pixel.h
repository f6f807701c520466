// The per-pixel transform as the GPU kernels evaluate it, written once in the common subset
// of C++, OpenCL C, Metal and CUDA. Whoever includes it first defines:
//   GPU_FN              qualifier of a function (empty, inline, __device__ inline)
//   GPU_COEFFS          type of a pointer to the coefficient vector, address space included
//   F4(x, y, z, w)      a float4 from four floats
//   powr, exp, log, log10, log2, sqrt on float, powr(x, y) being NaN for x < 0
// and the coefficient slot names. No includes, no standard library, no overloading: the
// OpenCL and Metal texts are this file pasted into a kernel source at build time.
//
// The formulas and their order are the scalar reference's, so that a frame rendered through
// the table differs from the CPU render only by the table's interpolation (and the device's
// math library).

// max(x, 0), with NaN (and -0) becoming 0.
GPU_FN float gpu_clamp0(float x) {
    return x > 0.0f ? x : 0.0f;
}

// NaN and -inf count as 0, +inf as the largest finite float: the render's rule for values
// that are not ordinary numbers, on the way in and on the way out.
GPU_FN float gpu_ordinary(float x) {
    if (!(x == x) || x < -3.40282347e38f) return 0.0f;
    return x < 3.40282347e38f ? x : 3.40282347e38f;
}

// min(x, w), with NaN counting as w.
GPU_FN float gpu_min_w(float x, float w) {
    return x < w ? x : w;
}

// The curve form held in a TYPE slot; out-of-range values (NaN included) mean no curve.
GPU_FN int gpu_curve_form(float slot) {
    return slot >= 1.0f && slot < 8.0f ? (int)slot : 0;
}

GPU_FN float gpu_input_curve(int form, GPU_COEFFS s, float x) {
    const float a = s[INPUT_A], b = s[INPUT_B], c = s[INPUT_C], d = s[INPUT_D];
    const float e = s[INPUT_E], f = s[INPUT_F], g = s[INPUT_G], h = s[INPUT_H];
    const float i = s[INPUT_I], cut = s[INPUT_CUT], cut2 = s[INPUT_CUT2];
    switch (form) {
        case 1:
            return x >= cut ? powr(b * x + c, a) : e * x + f;
        case 2: {
            const float u = powr(x, e);
            return powr(gpu_clamp0(u + a) / (c * u + b), d);
        }
        case 3:
            return x >= cut ? exp(a * x + c) * d + b : x * x / 3.0f;
        case 4:
            return x >= cut ? exp(c * x + d) * a + b : e * x + f;
        case 5:
            return x >= cut ? exp(e * x + f) * a : powr(d * x, c) * a + b;
        case 6:
            return x >= cut ? exp(a * x + b) : exp(a * x + b) * c + d;
        case 7:
            if (x < cut) return h * x + i;
            if (x < cut2) return powr(f * x + g, e);
            return exp(c * x + d) * a + b;
        default:
            return x;
    }
}

GPU_FN float gpu_output_curve(int form, GPU_COEFFS s, float x) {
    const float a = s[OUTPUT_A], b = s[OUTPUT_B], c = s[OUTPUT_C], d = s[OUTPUT_D];
    const float e = s[OUTPUT_E], f = s[OUTPUT_F], g = s[OUTPUT_G], h = s[OUTPUT_H];
    const float i = s[OUTPUT_I], cut = s[OUTPUT_CUT], cut2 = s[OUTPUT_CUT2];
    switch (form) {
        case 1:
            return x >= cut ? powr(x, a) * b + c : e * x + f;
        case 2: {
            const float u = powr(x, d);
            return powr((b * u + a) / (c * u + 1.0f), e);
        }
        case 3:
            return x >= cut ? log(12.0f * x + b) * a + c : sqrt(3.0f * x);
        case 4:
            return x >= cut ? log10(a * x + b) * c + d : e * x + f;
        case 5:
            return x >= cut ? log(a * x) * e + f : powr(a * x + b, c) * d;
        case 6:
            return x >= cut ? log2(x) * a + b : log2(c * x + d) * a + b;
        case 7:
            if (x < cut) return h * x + i;
            if (x < cut2) return powr(x, e) * f + g;
            return log10(a * x + b) * c + d;
        default:
            return x;
    }
}

GPU_FN float gpu_input_value(GPU_COEFFS s, int form, float x) {
    x = gpu_clamp0(gpu_ordinary(x) * s[INPUT_LEVELS_A] + s[INPUT_LEVELS_B]);
    return gpu_clamp0(gpu_input_curve(form, s, x));
}

GPU_FN float gpu_output_value(GPU_COEFFS s, int form, float x) {
    x = gpu_output_curve(form, s, gpu_clamp0(x));
    return gpu_ordinary(gpu_clamp0(x * s[OUTPUT_LEVELS_A] + s[OUTPUT_LEVELS_B]));
}

// Input stage on x, y and z; w passes through.
GPU_FN float4 input_transfer(float4 p, GPU_COEFFS s) {
    const int form = gpu_curve_form(s[INPUT_TYPE]);
    return F4(gpu_input_value(s, form, p.x), gpu_input_value(s, form, p.y),
              gpu_input_value(s, form, p.z), p.w);
}

// Output stage on x, y and z; w passes through.
GPU_FN float4 output_transfer(float4 p, GPU_COEFFS s) {
    const int form = gpu_curve_form(s[OUTPUT_TYPE]);
    return F4(gpu_output_value(s, form, p.x), gpu_output_value(s, form, p.y),
              gpu_output_value(s, form, p.z), p.w);
}

// A row-major 3x3 matrix, given by its first slot, times (x, y, z); w copied.
GPU_FN float4 matrix_multiply(GPU_COEFFS m, float4 p) {
    return F4(m[0] * p.x + m[1] * p.y + m[2] * p.z, m[3] * p.x + m[4] * p.y + m[5] * p.z,
              m[6] * p.x + m[7] * p.y + m[8] * p.z, p.w);
}

// The tone curve on one value: gamma, contrast, then blacks and whites.
GPU_FN float gpu_tone(GPU_COEFFS s, float v) {
    if (v < 0.0f) return 0.0f;
    v = powr(v, s[GAMMA]);
    const float k = s[CONTRAST] * 0.6931472f;
    if (k != 0.0f && v < 1.0f) {
        if (v < 0.5f) {
            const float a = 0.5f / (exp(k / 2.0f) - 1.0f);
            v = a * exp(k * v) - a;
        } else {
            const float d = -0.5f / (exp(-k / 2.0f) - exp(-k));
            v = d * exp(-k * v) + (1.0f - d * exp(-k));
        }
    }
    if (v < 1.0f) {
        const float blacks = s[BLACKS], whites = s[WHITES];
        if (v < 0.5f) {
            const float b4 = 4.0f * blacks;
            v = v * ((b4 * v - b4) * v + (blacks + 1.0f));
        } else {
            v = ((-4.0f * whites * v + 8.0f * whites) * v + (1.0f - 5.0f * whites)) * v + whites;
        }
    }
    return v;
}

GPU_FN float4 apply_curve_RGB(float4 p, GPU_COEFFS s) {
    return F4(gpu_tone(s, p.x), gpu_tone(s, p.y), gpu_tone(s, p.z), p.w);
}

// Tone curve on lightness (x), saturation on the two opponent axes (y, z).
GPU_FN float4 apply_curve_Lab(float4 p, GPU_COEFFS s) {
    return F4(gpu_tone(s, p.x), p.y * s[AB_SCALE], p.z * s[AB_SCALE], p.w);
}

// Blends a pixel with a channel above the protection level w toward (w, w, w), so that no
// channel ends above w; a pixel with no channel above w is left as it is.
GPU_FN float4 do_highlight_protection(float4 p, GPU_COEFFS s) {
    const float w = s[WV];
    if (w == 0.0f) return p;
    const float g1 = s[GAINSY_1], g2 = s[GAINSY_2], g3 = s[GAINSY_3];
    const float y2 = g1 * gpu_min_w(p.x, w) + g2 * gpu_min_w(p.y, w) + g3 * gpu_min_w(p.z, w);
    if (!(y2 > 0.0f)) return p;
    const float y1 = gpu_min_w(g1 * p.x + g2 * p.y + g3 * p.z, w);
    const float c = gpu_min_w((y1 - w) / (y2 - w), 1.0f);
    const float cw = (1.0f - c) * w;
    return F4(gpu_min_w(c * p.x + cw, w), gpu_min_w(c * p.y + cw, w), gpu_min_w(c * p.z + cw, w),
              p.w);
}

// exp(ln v / 3) for v > 0, else 0.
GPU_FN float gpu_cube_root(float v) {
    return v > 0.0f ? exp(log(v) * 0.33333334f) : 0.0f;
}

// The whole transform of one table node: input stage, correction, output stage; w = 1.
GPU_FN float4 evaluate_node(float4 p, GPU_COEFFS s) {
    p = input_transfer(p, s);
    if (s[DELTAE] == 0.0f) {
        p = matrix_multiply(s + GAINS2_11, p);
        p = do_highlight_protection(p, s);
        p = apply_curve_RGB(p, s);
    } else {
        p = matrix_multiply(s + GAINS1_11, p);
        p = F4(gpu_cube_root(p.x), gpu_cube_root(p.y), gpu_cube_root(p.z), p.w);
        p = matrix_multiply(s + GAINS3_11, p);
        p = apply_curve_Lab(p, s);
        p = matrix_multiply(s + GAINS4_11, p);
        p = F4(p.x * p.x * p.x, p.y * p.y * p.y, p.z * p.z * p.z, p.w);
        p = matrix_multiply(s + GAINS2_11, p);
        p = do_highlight_protection(p, s);
    }
    p = output_transfer(p, s);
    p.w = 1.0f;
    return p;
}

// Node index (0 ... 47) of an axis for a channel value: value * 47 clamped to the table,
// NaN and -inf to 0, inf to 47.
GPU_FN float lut_coordinate(float v) {
    const float u = v * 47.0f;
    return u > 0.0f ? (u < 47.0f ? u : 47.0f) : 0.0f;
}
