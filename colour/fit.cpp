#include "colour/fit.h"

#include <cmath>
#include <vector>

#include "colour/convert.h"
#include "colour/matrix.h"
#include "pipeline/parameters.h"
#include "pipeline/slots.h"

namespace {

// D65 as the perceptual route's common white (OKLab is defined relative to it).
constexpr double D65_x = 0.31271;
constexpr double D65_y = 0.32902;

// Patch values enter a fit only when they are usable numbers: negative, infinite and
// not-a-number values count as 0.
double usable(float v) {
    return std::isfinite(v) && v > 0.0f ? (double)v : 0.0;
}

void to_slots(float* coeffs, int first, const double* m) {
    for (int k = 0; k < 9; ++k) coeffs[first + k] = (float)m[k];
}

void mat_vec(double* out, const double* m, const double* v) {
    mul(out, m, v, 3, 3, 1);
}

// The luminance of column k of M under the weights gy: sum_j gy_j M[j][k].
void column_luminance(double* ym, const double* m, const double* gy) {
    for (int k = 0; k < 3; ++k) ym[k] = gy[0] * m[k] + gy[1] * m[3 + k] + gy[2] * m[6 + k];
}

bool finite9(const double* m) {
    for (int k = 0; k < 9; ++k)
        if (!std::isfinite(m[k])) return false;
    return true;
}

struct patches {
    int n = 0;
    std::vector<double> src, tgt;  // n x 3 each
    const reference_patch* ref = nullptr;
};

patches gather(const parameters* p) {
    patches d;
    const reference_card* rc = p->source.ref;
    if (!rc || rc->patch_count <= 0) return d;
    d.n = rc->patch_count < CARD_MAX_PATCHES ? rc->patch_count : CARD_MAX_PATCHES;
    d.ref = rc->patches;
    d.src.resize((size_t)d.n * 3);
    d.tgt.resize((size_t)d.n * 3);
    for (int i = 0; i < d.n; ++i)
        for (int k = 0; k < 3; ++k) {
            d.src[(size_t)(3 * i + k)] = usable(p->source.linear[k][i]);
            d.tgt[(size_t)(3 * i + k)] = usable(p->target.linear[k][i]);
        }
    return d;
}

// ---- RGB route --------------------------------------------------------------------------

void rgb_route(float* coeffs, const parameters* p, const double* gy) {
    coeffs[DELTAE] = 0.0f;
    const patches d = gather(p);
    const int n = d.n;
    const auto un = (size_t)n;
    double m[9];
    I(m, 3);

    // Darker patches weigh more, so that relative rather than absolute errors count.
    std::vector<double> w(un);
    for (int i = 0; i < n; ++i) {
        double y = 0.0;
        for (int k = 0; k < 3; ++k)
            if (gy[k] > 0.0) y += gy[k] * d.src[(size_t)(3 * i + k)];
        if (y < 0.0) y = 0.0;
        w[(size_t)i] = y > 0.0 ? (double)std::pow((float)y, -0.6666666f) : 0.0;
    }
    std::vector<double> ch[6];  // source R, G, B, target R, G, B
    for (int k = 0; k < 6; ++k) {
        ch[k].resize(un);
        for (int i = 0; i < n; ++i)
            ch[k][(size_t)i] = k < 3 ? d.src[(size_t)(3 * i + k)] : d.tgt[(size_t)(3 * i + k - 3)];
    }

    if (p->mode == CORRECTION_PER_CHANNEL) {
        for (int k = 0; k < 3; ++k) {
            float c = 1.0f;
            solve1(n, w.data(), ch[k].data(), ch[3 + k].data(), &c);
            m[4 * k] = c;
        }
    } else if (p->mode == CORRECTION_MIX_CHANNELS) {
        for (int k = 0; k < 3; ++k) {
            float c[3] = {0.0f, 0.0f, 0.0f};
            solve3(n, w.data(), ch[0].data(), ch[1].data(), ch[2].data(), ch[3 + k].data(), c);
            for (int j = 0; j < 3; ++j) m[3 * k + j] = c[j];
        }
    }

    if (p->mode == CORRECTION_PER_CHANNEL || p->mode == CORRECTION_MIX_CHANNELS) {
        // Refit a blend of the fitted colours and their luminance, over all channels.
        std::vector<double> x1(3 * un), x2(3 * un), y(3 * un), ww(3 * un);
        for (int i = 0; i < n; ++i) {
            double c[3];
            mat_vec(c, m, &d.src[(size_t)(3 * i)]);
            const double lum = gy[0] * c[0] + gy[1] * c[1] + gy[2] * c[2];
            for (int k = 0; k < 3; ++k) {
                const size_t s = (size_t)(3 * i + k);
                x1[s] = c[k];
                x2[s] = lum;
                y[s] = d.tgt[s];
                ww[s] = w[(size_t)i];
            }
        }
        float ab[2] = {0.0f, 0.0f};
        solve2(3 * n, ww.data(), x1.data(), x2.data(), y.data(), ab);
        double ym[3];
        column_luminance(ym, m, gy);
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) m[3 * j + k] = ab[0] * m[3 * j + k] + ab[1] * ym[k];
    }

    {
        const double s = (double)p->saturation / 100.0;
        double ym[3];
        column_luminance(ym, m, gy);
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) m[3 * j + k] = s * m[3 * j + k] + (1.0 - s) * ym[k];
    }

    if (p->white_balance && n > 0) {
        // Only near-neutral patches of the chart (CIELAB chroma under 10) balance white.
        std::vector<double> v(un), c(3 * un), t(3 * un);
        for (int i = 0; i < n; ++i) {
            const double* lab = d.ref[i].lab;
            const double chroma = std::sqrt(lab[1] * lab[1] + lab[2] * lab[2]);
            v[(size_t)i] = 10.0 - chroma > 0.0 ? 10.0 - chroma : 0.0;
            double ci[3];
            mat_vec(ci, m, &d.src[(size_t)(3 * i)]);
            for (int k = 0; k < 3; ++k) {
                c[(size_t)k * un + (size_t)i] = ci[k];
                t[(size_t)k * un + (size_t)i] = d.tgt[(size_t)(3 * i + k)];
            }
        }
        for (int k = 0; k < 3; ++k) {
            float g = 1.0f;
            solve1(n, v.data(), &c[(size_t)k * un], &t[(size_t)k * un], &g);
            for (int j = 0; j < 3; ++j) m[3 * k + j] *= g;
        }
    }

    double e = (double)std::exp(p->exposure * 0.6931472f);
    if (p->preserve_lightness) {
        const double white = gy[0] * (m[0] + m[1] + m[2]) + gy[1] * (m[3] + m[4] + m[5]) +
                             gy[2] * (m[6] + m[7] + m[8]);
        // A correction that turns white black cannot be normalised; leave it as fitted.
        if (std::isfinite(white) && white > 0.0) e /= white;
    }
    for (double& v : m) v *= e;
    to_slots(coeffs, GAINS2_11, m);
}

// ---- perceptual route -------------------------------------------------------------------

void fit_matrix_deltaE(double* C, const double* rgb, const std::vector<double>& ref_xyz,
                       const card_fit_data& base) {
    // A least-squares start towards the chart's XYZ, then minimise the OKLab difference.
    double S[9];
    I(S, 3);
    for (int k = 0; k < 3; ++k) solve3_dash(base.n, base.weights, rgb, ref_xyz.data() + k, S + k);
    double St[9];
    T(St, S, 3, 3);
    card_fit_data data = base;
    data.rgb = rgb;
    BFGS(C, card_deltaE, St, &data, 9);
}

void perceptual_route(float* coeffs, const parameters* p, const double* gy, const double* Mout) {
    coeffs[DELTAE] = 1.0f;
    const patches d = gather(p);
    const int n = d.n;
    const auto un = (size_t)n;

    std::vector<double> ref_xyz(3 * un), ref_oklab(3 * un), w(un);
    double wsum = 0.0;
    for (int i = 0; i < n; ++i) {
        XYZ_from_CIELabD50(&ref_xyz[(size_t)(3 * i)], d.ref[i].lab);
        double* ok = &ref_oklab[(size_t)(3 * i)];
        OKLab_from_CIELabD50(ok, d.ref[i].lab);
        double wi = 1.0;
        if (p->white_balance) {
            wi = 5.0 - 400.0 * std::sqrt(ok[1] * ok[1] + ok[2] * ok[2]);
            if (wi < 1.0) wi = 1.0;
        }
        w[(size_t)i] = wi;
        wsum += wi;
    }
    card_fit_data base{};
    base.n = n;
    base.reference = ref_oklab.data();
    base.weights = w.data();
    base.weight_sum = wsum;
    base.from_cone = M_CAT02inv;

    double Min[9];
    M_XYZ_from_RGB(Min, &p->input_space);
    double Csrc[9], Ctgt[9];

    if (p->mode == CORRECTION_DELTAE_WB) {
        const double start[3] = {1.0, 1.0, 1.0};
        double cone_in[9], cone_out[9], gs[3], gt[3];
        mul(cone_in, M_CAT02, Min, 3, 3, 3);
        mul(cone_out, M_CAT02, Mout, 3, 3, 3);
        card_fit_data ds = base;
        ds.rgb = d.src.data();
        ds.to_cone = cone_in;
        BFGS(gs, card_WB_deltaE, start, &ds, 3);
        card_fit_data dt = base;
        dt.rgb = d.tgt.data();
        dt.to_cone = cone_out;
        BFGS(gt, card_WB_deltaE, start, &dt, 3);
        double tmp[9];
        diagmul(tmp, gs, cone_in, 3, 3);
        mul(Csrc, M_CAT02inv, tmp, 3, 3, 3);
        diagmul(tmp, gt, cone_out, 3, 3);
        mul(Ctgt, M_CAT02inv, tmp, 3, 3, 3);
    } else {
        if (p->source.reference) {
            double adapt[9];
            M_XYZ_change_illuminate(adapt, D65_x, D65_y, p->input_space.white_x,
                                    p->input_space.white_y);
            mul(Csrc, adapt, Min, 3, 3, 3);
        } else {
            fit_matrix_deltaE(Csrc, d.src.data(), ref_xyz, base);
        }
        if (p->target.reference) {
            double adapt[9];
            M_XYZ_change_illuminate(adapt, D65_x, D65_y, p->output_space.white_x,
                                    p->output_space.white_y);
            mul(Ctgt, adapt, Mout, 3, 3, 3);
        } else {
            fit_matrix_deltaE(Ctgt, d.tgt.data(), ref_xyz, base);
        }
    }

    // The way back to output RGB needs Ctgt inverted. A singular (or non-finite) fit is
    // replaced by what a reference target card gives: the output space's own matrix,
    // adapted to D65; if even that cannot be inverted, output RGB is taken as XYZ.
    double Ctgt_inv[9];
    if (!finite9(Ctgt) || !invert3(Ctgt_inv, Ctgt) || !finite9(Ctgt_inv)) {
        double adapt[9];
        M_XYZ_change_illuminate(adapt, D65_x, D65_y, p->output_space.white_x,
                                p->output_space.white_y);
        mul(Ctgt, adapt, Mout, 3, 3, 3);
        if (!finite9(Ctgt) || !invert3(Ctgt_inv, Ctgt) || !finite9(Ctgt_inv)) {
            I(Ctgt, 3);
            I(Ctgt_inv, 3);
        }
    }

    if (p->preserve_lightness) {
        const double yin = Min[3] + Min[4] + Min[5];
        const double white[3] = {1.0, 1.0, 1.0};
        double X[3], r[3];
        mat_vec(X, Csrc, white);
        mat_vec(r, Ctgt_inv, X);
        const double L = gy[0] * r[0] + gy[1] * r[1] + gy[2] * r[2];
        // Scaling by 0 or through a non-number would wipe out the picture; skip instead.
        if (std::isfinite(X[1]) && X[1] != 0.0 && std::isfinite(L) && L != 0.0 &&
            std::isfinite(yin)) {
            for (double& v : Csrc) v *= yin / X[1];
            // Ctgt scales by L / X_Y, so its inverse by X_Y / L.
            for (double& v : Ctgt_inv) v *= X[1] / L;
        }
    }

    const double e = (double)std::exp(p->exposure * 0.6931472f);
    for (double& v : Csrc) v *= e;

    double g1[9], g2[9];
    mul(g1, M_OKLab1, Csrc, 3, 3, 3);
    mul(g2, Ctgt_inv, M_OKLab1inv, 3, 3, 3);
    to_slots(coeffs, GAINS1_11, g1);
    to_slots(coeffs, GAINS2_11, g2);
}

double oklab_distance(const double* xyz, const double* ref) {
    double lab[3];
    OKLab_from_XYZ(lab, xyz);
    const double dl = lab[0] - ref[0], da = lab[1] - ref[1], db = lab[2] - ref[2];
    return std::sqrt(dl * dl + da * da + db * db);
}

}  // namespace

double card_deltaE(const double* x, const void* data) {
    const auto* d = static_cast<const card_fit_data*>(data);
    if (!(d->weight_sum > 0.0)) return 0.0;
    double sum = 0.0;
    for (int i = 0; i < d->n; ++i) {
        double xyz[3];
        mul(xyz, x, d->rgb + 3 * i, 3, 3, 1);
        sum += d->weights[i] * oklab_distance(xyz, d->reference + 3 * i);
    }
    return sum / d->weight_sum;
}

double card_WB_deltaE(const double* x, const void* data) {
    const auto* d = static_cast<const card_fit_data*>(data);
    if (!(d->weight_sum > 0.0)) return 0.0;
    double sum = 0.0;
    for (int i = 0; i < d->n; ++i) {
        double c[3], xyz[3];
        mul(c, d->to_cone, d->rgb + 3 * i, 3, 3, 1);
        for (int k = 0; k < 3; ++k) c[k] *= x[k];
        mul(xyz, d->from_cone, c, 3, 3, 1);
        sum += d->weights[i] * oklab_distance(xyz, d->reference + 3 * i);
    }
    return sum / d->weight_sum;
}

void set_coefficents_for_correction(float* coeffs, const parameters* p) {
    double id[9];
    I(id, 3);
    to_slots(coeffs, GAINS1_11, id);
    to_slots(coeffs, GAINS2_11, id);
    to_slots(coeffs, GAINS3_11, M_OKLab2);
    to_slots(coeffs, GAINS4_11, M_OKLab2inv);
    double Mout[9];
    M_XYZ_from_RGB(Mout, &p->output_space);
    double gy[3];
    for (int k = 0; k < 3; ++k) {
        coeffs[GAINSY_1 + k] = (float)Mout[3 + k];
        gy[k] = (double)coeffs[GAINSY_1 + k];
    }
    switch (p->mode) {
        case CORRECTION_NONE:
        case CORRECTION_PER_CHANNEL:
        case CORRECTION_MIX_CHANNELS:
            rgb_route(coeffs, p, gy);
            break;
        case CORRECTION_DELTAE_WB:
        case CORRECTION_DELTAE:
            perceptual_route(coeffs, p, gy, Mout);
            break;
        case CORRECTION_IDENTITY:
            coeffs[DELTAE] = 0.0f;
            break;
        default:
            break;
    }
}
