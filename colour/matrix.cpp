#include "colour/matrix.h"

#include <cmath>
#include <cstddef>
#include <vector>

void mul(double* R, const double* A, const double* B, int k, int rows, int cols) {
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            double* r = &R[i * cols + j];
            *r = 0.0;
            for (int l = 0; l < k; ++l) *r += A[i * k + l] * B[l * cols + j];
        }
    }
}

void mul_2f(float* R, const double* A, const double* B, int k, int rows, int cols) {
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            float sum = 0.0f;
            for (int l = 0; l < k; ++l) sum += static_cast<float>(A[i * k + l] * B[l * cols + j]);
            R[i * cols + j] = sum;
        }
    }
}

void diagmul(double* R, const double* d, const double* M, int cols, int rows) {
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) R[i * cols + j] = d[i] * M[i * cols + j];
}

void add(double* R, const double* A, const double* B, int rows, int cols) {
    for (int i = 0; i < rows * cols; ++i) R[i] = A[i] + B[i];
}

void addto(double* R, const double* A, int rows, int cols) {
    for (int i = 0; i < rows * cols; ++i) R[i] += A[i];
}

void I(double* M, int n) {
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) M[i * n + j] = i == j ? 1.0 : 0.0;
}

void T(double* out, const double* in, int rows, int cols) {
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) out[j * rows + i] = in[i * cols + j];
}

int invert2(double* out, const double* in) {
    const double det = in[0] * in[3] - in[1] * in[2];
    if (det == 0.0) return 0;
    out[0] = in[3] / det;
    out[1] = -in[1] / det;
    out[2] = -in[2] / det;
    out[3] = in[0] / det;
    return 1;
}

int invert3(double* out, const double* in) {
    const double a = in[0], b = in[1], c = in[2];
    const double d = in[3], e = in[4], f = in[5];
    const double g = in[6], h = in[7], k = in[8];
    const double det = a * e * k + b * f * g + c * d * h - c * e * g - b * d * k - a * f * h;
    if (det == 0.0) return 0;
    out[0] = (e * k - f * h) / det;
    out[1] = (c * h - b * k) / det;
    out[2] = (b * f - c * e) / det;
    out[3] = (f * g - d * k) / det;
    out[4] = (a * k - c * g) / det;
    out[5] = (c * d - a * f) / det;
    out[6] = (d * h - e * g) / det;
    out[7] = (b * g - a * h) / det;
    out[8] = (a * e - b * d) / det;
    return 1;
}

namespace {

// Determinant of the 3x3 minor of a 4x4 matrix without row r and column c.
double minor4(const double* m, int r, int c) {
    int rows[3], cols[3];
    for (int i = 0, n = 0; i < 4; ++i)
        if (i != r) rows[n++] = i;
    for (int j = 0, n = 0; j < 4; ++j)
        if (j != c) cols[n++] = j;
    auto at = [&](int i, int j) { return m[rows[i] * 4 + cols[j]]; };
    return at(0, 0) * (at(1, 1) * at(2, 2) - at(1, 2) * at(2, 1)) -
           at(0, 1) * (at(1, 0) * at(2, 2) - at(1, 2) * at(2, 0)) +
           at(0, 2) * (at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0));
}

}  // namespace

int invert4(double* out, const double* in) {
    // Cofactors of the first row, expanded over the 2x2 minors of the lower rows.
    double cof0[4];
    for (int j = 0; j < 4; ++j) cof0[j] = (j % 2 == 0 ? 1.0 : -1.0) * minor4(in, 0, j);
    const double det = in[0] * cof0[0] + in[1] * cof0[1] + in[2] * cof0[2] + in[3] * cof0[3];
    if (det == 0.0) return 0;
    // The inverse is the transposed cofactor matrix over the determinant.
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            const double cof =
                i == 0 ? cof0[j] : ((i + j) % 2 == 0 ? 1.0 : -1.0) * minor4(in, i, j);
            out[j * 4 + i] = cof / det;
        }
    }
    return 1;
}

int solve1(int n, const double* w, const double* x, const double* y, float* c) {
    c[0] = 1.0f;
    if (n < 1) return 0;
    double sxx = 0.0, sxy = 0.0;
    for (int i = 0; i < n; ++i) {
        sxx += w[i] * x[i] * x[i];
        sxy += w[i] * x[i] * y[i];
    }
    if (sxx == 0.0) return 0;
    c[0] = static_cast<float>(sxy / sxx);
    return 1;
}

int solve2(int n, const double* w, const double* x1, const double* x2, const double* y, float* c) {
    c[0] = c[1] = 0.0f;
    if (n < 1) return 0;
    double a11 = 0.0, a12 = 0.0, a22 = 0.0, b1 = 0.0, b2 = 0.0;
    for (int i = 0; i < n; ++i) {
        a11 += w[i] * x1[i] * x1[i];
        a12 += w[i] * x1[i] * x2[i];
        a22 += w[i] * x2[i] * x2[i];
        b1 += w[i] * x1[i] * y[i];
        b2 += w[i] * x2[i] * y[i];
    }
    const double det = a11 * a22 - a12 * a12;
    if (det == 0.0) return 0;
    c[0] = static_cast<float>((b1 * a22 - a12 * b2) / det);
    c[1] = static_cast<float>((a11 * b2 - a12 * b1) / det);
    return 1;
}

namespace {

// Accumulates the weighted normal equations of up to four regressors: A = sum w x x^T,
// b = sum w x y, then solves them with the matching inverter.
template <int N>
int solve_normal(int n, const double* w, const double* const (&x)[N], const double* y,
                 double* coef) {
    double A[N * N] = {}, b[N] = {}, inv[N * N];
    for (int i = 0; i < n; ++i) {
        for (int r = 0; r < N; ++r) {
            for (int s = 0; s < N; ++s) A[r * N + s] += w[i] * x[r][i] * x[s][i];
            b[r] += w[i] * x[r][i] * y[i];
        }
    }
    const int ok = N == 3 ? invert3(inv, A) : invert4(inv, A);
    if (!ok) return 0;
    mul(coef, inv, b, N, N, 1);
    return 1;
}

}  // namespace

int solve3(int n, const double* w, const double* x1, const double* x2, const double* x3,
           const double* y, float* c) {
    c[0] = c[1] = c[2] = 0.0f;
    if (n < 1) return 0;
    const double* const x[3] = {x1, x2, x3};
    double coef[3];
    if (!solve_normal<3>(n, w, x, y, coef)) return 0;
    for (int j = 0; j < 3; ++j) c[j] = static_cast<float>(coef[j]);
    return 1;
}

int solve4(int n, const double* w, const double* x1, const double* x2, const double* x3,
           const double* x4, const double* y, float* c) {
    c[0] = c[1] = c[2] = c[3] = 0.0f;
    if (n < 1) return 0;
    const double* const x[4] = {x1, x2, x3, x4};
    double coef[4];
    if (!solve_normal<4>(n, w, x, y, coef)) return 0;
    for (int j = 0; j < 4; ++j) c[j] = static_cast<float>(coef[j]);
    return 1;
}

int solve3_dash(int n, const double* w, const double* X, const double* Y, double* out) {
    if (n < 1) return 0;
    double A[9] = {}, b[3] = {}, inv[9], m[3];
    for (int i = 0; i < n; ++i) {
        const double* xi = X + 3 * i;
        const double yi = Y[3 * i];
        for (int r = 0; r < 3; ++r) {
            for (int s = 0; s < 3; ++s) A[r * 3 + s] += w[i] * xi[r] * xi[s];
            b[r] += w[i] * xi[r] * yi;
        }
    }
    if (!invert3(inv, A)) return 0;
    mul(m, inv, b, 3, 3, 1);
    out[0] = m[0];
    out[3] = m[1];
    out[6] = m[2];
    return 1;
}

// ---------------------------------------------------------------------------
// BFGS

namespace {

constexpr double GRADIENT_STEP = 1e-5;
constexpr double WOLFE_C1 = 1e-6;
constexpr double WOLFE_C2 = 0.1;
constexpr int MAX_ITERATIONS = 1000;
constexpr int MAX_EXPANSIONS = 10;
constexpr int MAX_ZOOM = 16;

struct problem {
    bfgs_objective f;
    const void* data;
    int n;
};

// Central differences; fx is f(x), already known. Where x is below both neighbours
// along an axis it is a minimum along that axis and the slope there is taken as 0,
// which keeps the minimiser from wandering off a minimum that lies between samples.
void gradient(const problem& p, double* g, double* x, double fx) {
    for (int i = 0; i < p.n; ++i) {
        const double xi = x[i];
        x[i] = xi - GRADIENT_STEP;
        const double a = p.f(x, p.data);
        x[i] = xi + GRADIENT_STEP;
        const double b = p.f(x, p.data);
        x[i] = xi;
        g[i] = fx < a && fx < b ? 0.0 : (b - a) / (2.0 * GRADIENT_STEP);
    }
}

double dot(const double* a, const double* b, int n) {
    double s = 0.0;
    for (int i = 0; i < n; ++i) s += a[i] * b[i];
    return s;
}

struct step {
    double alpha;  // 0 when the search failed
    double phi;
};

// Strong-Wolfe line search from x (value phi0, gradient g) along d. On acceptance
// xa and ga hold the new point and its gradient. A NaN value counts as no decrease,
// so a step never lands on a point where the objective is undefined.
step line_search(const problem& p, const double* x, double phi0, const double* g, const double* d,
                 double* xa, double* ga) {
    const int n = p.n;
    const double dphi0 = dot(g, d, n);
    auto value_at = [&](double alpha) {
        for (int i = 0; i < n; ++i) xa[i] = x[i] + alpha * d[i];
        return p.f(xa, p.data);
    };
    auto slope_at = [&](double phi) {  // gradient at xa, whose value is phi
        gradient(p, ga, xa, phi);
        return dot(ga, d, n);
    };

    double alpha = 1.0, alpha_prev = 0.0, phi_prev = phi0;
    double lo = 0.0, hi = 0.0, phi_lo = 0.0;
    bool zoom = false;
    for (int i = 0; i < MAX_EXPANSIONS; ++i) {
        const double phi = value_at(alpha);
        // The decrease test uses the previous candidate's step, so the first
        // candidate only has to be no worse than the start.
        if ((i > 0 && !(phi <= phi_prev)) || !(phi <= phi0 + WOLFE_C1 * alpha_prev * dphi0)) {
            lo = alpha_prev, hi = alpha, phi_lo = phi_prev;
            zoom = true;
            break;
        }
        const double dphi = slope_at(phi);
        if (std::fabs(dphi) <= -WOLFE_C2 * dphi0) return {alpha, phi};
        if (dphi >= 0.0) {
            lo = alpha, hi = alpha_prev, phi_lo = phi;
            zoom = true;
            break;
        }
        if (i == MAX_EXPANSIONS - 1) return {alpha, phi};  // xa, ga are this candidate's
        phi_prev = phi;
        alpha_prev = alpha;
        alpha *= 2.0;
    }
    if (zoom) {
        for (int j = 0; j < MAX_ZOOM; ++j) {
            const double aj = 0.5 * (lo + hi);
            const double phi = value_at(aj);
            if (!(phi < phi_lo) || !(phi <= phi0 + WOLFE_C1 * aj * dphi0)) {
                hi = aj;
                continue;
            }
            const double dphi = slope_at(phi);
            if (std::fabs(dphi) <= -WOLFE_C2 * dphi0) return {aj, phi};
            if (dphi * (hi - lo) >= 0.0) hi = lo;
            lo = aj;
            phi_lo = phi;
        }
    }
    return {0.0, phi0};
}

}  // namespace

void BFGS(double* x, bfgs_objective f, const double* x0, const void* data, int n) {
    if (n <= 0) {
        f(x0, data);
        return;
    }
    const problem p{f, data, n};
    const auto un = static_cast<std::size_t>(n);
    std::vector<double> g(un), d(un), xa(un), ga(un), s(un), y(un);
    std::vector<double> H(un * un), A(un * un), B(un * un), tmp(un * un);

    for (std::size_t i = 0; i < un; ++i) x[i] = x0[i];
    double f0 = f(x, data);
    gradient(p, g.data(), x, f0);
    I(H.data(), n);

    for (int iter = 0; iter < MAX_ITERATIONS; ++iter) {
        double size = 0.0;
        for (std::size_t i = 0; i < un; ++i) {
            double di = 0.0;
            for (std::size_t j = 0; j < un; ++j) di -= H[i * un + j] * g[j];
            d[i] = di;
            size += std::fabs(di);
        }
        if (size < 1e-10) break;

        const step st = line_search(p, x, f0, g.data(), d.data(), xa.data(), ga.data());
        if (st.alpha == 0.0) break;

        for (std::size_t i = 0; i < un; ++i) {
            s[i] = xa[i] - x[i];
            y[i] = ga[i] - g[i];
        }
        const double ys = dot(y.data(), s.data(), n);
        const double rho = 1.0 / ys;
        // The inverse update keeps H positive definite only while y's > 0. The
        // search can accept a step that misses the curvature condition (after the
        // expansion limit), and the axis-minimum rule of the gradient can flatten y,
        // so otherwise the update is skipped: the point still advances and H keeps
        // the curvature learnt so far, so the next direction is still downhill.
        if (ys > 0.0 && std::isfinite(rho)) {
            // H <- (I - rho s y^T) H (I - rho y s^T) + rho s s^T
            for (std::size_t i = 0; i < un; ++i) {
                for (std::size_t j = 0; j < un; ++j) {
                    const double id = i == j ? 1.0 : 0.0;
                    A[i * un + j] = id - rho * s[i] * y[j];
                    B[i * un + j] = id - rho * y[i] * s[j];
                }
            }
            mul(tmp.data(), A.data(), H.data(), n, n, n);
            mul(H.data(), tmp.data(), B.data(), n, n, n);
            for (std::size_t i = 0; i < un; ++i)
                for (std::size_t j = 0; j < un; ++j) tmp[i * un + j] = rho * s[i] * s[j];
            addto(H.data(), tmp.data(), n, n);
        }

        for (std::size_t i = 0; i < un; ++i) x[i] = xa[i];
        f0 = st.phi;
        g.swap(ga);
    }
}
