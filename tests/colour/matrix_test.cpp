#include "colour/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

namespace {

void expect_identity(const double* M, int n, double tol) {
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            EXPECT_NEAR(M[i * n + j], i == j ? 1.0 : 0.0, tol) << "at " << i << "," << j;
}

TEST(Matrix, ProductsSumsAndShapes) {
    const double A[6] = {1, 2, 3, 4, 5, 6};     // 2x3
    const double B[6] = {7, 8, 9, 10, 11, 12};  // 3x2
    double R[4];
    mul(R, A, B, 3, 2, 2);
    EXPECT_EQ(R[0], 58.0);
    EXPECT_EQ(R[1], 64.0);
    EXPECT_EQ(R[2], 139.0);
    EXPECT_EQ(R[3], 154.0);

    double At[6];
    T(At, A, 2, 3);  // 3x2
    const double expect_t[6] = {1, 4, 2, 5, 3, 6};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(At[i], expect_t[i]);

    double one[1] = {7.0};
    I(one, 1);
    EXPECT_EQ(one[0], 1.0);

    const double d[2] = {2.0, -1.0};
    double D[6];
    diagmul(D, d, A, 3, 2);  // rows scaled
    const double expect_d[6] = {2, 4, 6, -4, -5, -6};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(D[i], expect_d[i]);

    double S[6];
    add(S, A, B, 2, 3);
    addto(S, A, 2, 3);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(S[i], 2 * A[i] + B[i]);
}

TEST(Matrix, Mul2fRoundsEachProductAndSumsInSinglePrecision) {
    // 1e8 + 1 - 1e8: exact in double, but the 1 is lost against 1e8 in float.
    const double A[3] = {1e8, 1.0, -1e8};
    const double B[3] = {1.0, 1.0, 1.0};
    double rd;
    float rf;
    mul(&rd, A, B, 3, 1, 1);
    mul_2f(&rf, A, B, 3, 1, 1);
    EXPECT_EQ(rd, 1.0);
    EXPECT_EQ(rf, 0.0f);
    // A product that is not a float is rounded before it is summed.
    const double a = 1.0 + std::ldexp(1.0, -30), b = 3.0;
    mul_2f(&rf, &a, &b, 1, 1, 1);
    EXPECT_EQ(rf, 3.0f);
}

TEST(Matrix, InversesOfRandomMatricesAndSingularOnes) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    for (int trial = 0; trial < 50; ++trial) {
        double m2[4], m3[9], m4[16], i2[4], i3[9], i4[16], p[16];
        for (double& v : m2) v = u(rng);
        for (double& v : m3) v = u(rng);
        for (double& v : m4) v = u(rng);
        // Keep them away from singular so the tolerance means something.
        for (int i = 0; i < 2; ++i) m2[i * 3] += 5.0;
        for (int i = 0; i < 3; ++i) m3[i * 4] += 5.0;
        for (int i = 0; i < 4; ++i) m4[i * 5] += 5.0;
        ASSERT_EQ(invert2(i2, m2), 1);
        mul(p, m2, i2, 2, 2, 2);
        expect_identity(p, 2, 1e-13);
        ASSERT_EQ(invert3(i3, m3), 1);
        mul(p, m3, i3, 3, 3, 3);
        expect_identity(p, 3, 1e-13);
        ASSERT_EQ(invert4(i4, m4), 1);
        mul(p, m4, i4, 4, 4, 4);
        expect_identity(p, 4, 1e-13);
        mul(p, i4, m4, 4, 4, 4);
        expect_identity(p, 4, 1e-13);
    }
    // A 4x4 whose first row is not needed for its determinant's sign pattern.
    const double m4[16] = {0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 2, 0, 0, 0};
    double i4[16];
    ASSERT_EQ(invert4(i4, m4), 1);
    const double expect4[16] = {0, 0, 0, 0.5, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(i4[i], expect4[i]);

    double out[16];
    const double s2[4] = {1, 2, 2, 4};
    const double s3[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const double s4[16] = {1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 5, 0, 2, 1};
    EXPECT_EQ(invert2(out, s2), 0);
    EXPECT_EQ(invert3(out, s3), 0);
    EXPECT_EQ(invert4(out, s4), 0);
}

// Samples of y = sum c_j x_j with a few wild samples of zero weight, which must
// not move the fit.
struct regression {
    std::vector<double> w, x[4], y;
};

regression make_regression(int n, int k, const double* c) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    regression r;
    for (int i = 0; i < n; ++i) {
        double yi = 0.0;
        for (int j = 0; j < k; ++j) {
            r.x[j].push_back(u(rng));
            yi += c[j] * r.x[j].back();
        }
        const bool outlier = i % 7 == 3;
        r.w.push_back(outlier ? 0.0 : 0.5 + u(rng) * 0.25);
        r.y.push_back(outlier ? yi + 100.0 : yi);
    }
    return r;
}

TEST(Solvers, RecoverExactDataAndIgnoreZeroWeights) {
    const double c[4] = {0.75, -1.5, 2.25, 0.125};
    float out[4];
    {
        const regression r = make_regression(20, 1, c);
        EXPECT_EQ(solve1(20, r.w.data(), r.x[0].data(), r.y.data(), out), 1);
        EXPECT_FLOAT_EQ(out[0], 0.75f);
    }
    {
        const regression r = make_regression(20, 2, c);
        EXPECT_EQ(solve2(20, r.w.data(), r.x[0].data(), r.x[1].data(), r.y.data(), out), 1);
        for (int j = 0; j < 2; ++j) EXPECT_FLOAT_EQ(out[j], static_cast<float>(c[j]));
    }
    {
        const regression r = make_regression(20, 3, c);
        EXPECT_EQ(
            solve3(20, r.w.data(), r.x[0].data(), r.x[1].data(), r.x[2].data(), r.y.data(), out),
            1);
        for (int j = 0; j < 3; ++j) EXPECT_FLOAT_EQ(out[j], static_cast<float>(c[j]));
    }
    {
        const regression r = make_regression(20, 4, c);
        EXPECT_EQ(solve4(20, r.w.data(), r.x[0].data(), r.x[1].data(), r.x[2].data(), r.x[3].data(),
                         r.y.data(), out),
                  1);
        for (int j = 0; j < 4; ++j) EXPECT_FLOAT_EQ(out[j], static_cast<float>(c[j]));
    }
}

TEST(Solvers, WeightsPullTheFitTowardsHeavySamples) {
    // Two inconsistent samples of y = c x: the fit is their weighted mean slope.
    const double x[2] = {1.0, 1.0}, y[2] = {1.0, 3.0};
    const double w[2] = {3.0, 1.0};
    float c;
    EXPECT_EQ(solve1(2, w, x, y, &c), 1);
    EXPECT_FLOAT_EQ(c, 1.5f);
}

TEST(Solvers, DegenerateInputKeepsTheFallbackValues) {
    const double w[3] = {1, 1, 1}, zero[3] = {0, 0, 0}, x[3] = {1, 2, 3}, x2[3] = {2, 4, 6},
                 x3[3] = {0, 1, 5}, y[3] = {1, 2, 3};
    float c[4] = {9, 9, 9, 9};
    EXPECT_EQ(solve1(3, w, zero, y, c), 0);
    EXPECT_EQ(c[0], 1.0f);
    c[0] = 9;
    EXPECT_EQ(solve1(0, w, x, y, c), 0);
    EXPECT_EQ(c[0], 1.0f);

    c[0] = c[1] = 9;
    EXPECT_EQ(solve2(3, w, x, x2, y, c), 0);  // collinear
    EXPECT_EQ(c[0], 0.0f);
    EXPECT_EQ(c[1], 0.0f);
    c[0] = c[1] = c[2] = 9;
    EXPECT_EQ(solve3(3, w, x, x2, x3, y, c), 0);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(c[j], 0.0f);
    c[0] = c[1] = c[2] = c[3] = 9;
    EXPECT_EQ(solve4(3, w, x, x2, x3, y, y, c), 0);
    for (int j = 0; j < 4; ++j) EXPECT_EQ(c[j], 0.0f);
    c[0] = c[1] = c[2] = 9;
    EXPECT_EQ(solve3(0, w, x, x2, x3, y, c), 0);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(c[j], 0.0f);
    // All weights zero: nothing to fit.
    EXPECT_EQ(solve2(3, zero, x, x3, y, c), 0);
}

TEST(Solvers, Solve3DashFillsAMatrixColumnByColumn) {
    const double M[9] = {0.9, 0.2, -0.1, 0.05, 1.1, 0.3, -0.2, 0.15, 0.8};
    const int n = 24;
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> X(3 * n), Y(3 * n), w(n);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < 3; ++j) X[static_cast<size_t>(3 * i + j)] = u(rng);
        mul(&Y[static_cast<size_t>(3 * i)], &X[static_cast<size_t>(3 * i)], M, 3, 1, 3);
        w[static_cast<size_t>(i)] = 0.1 + u(rng);
    }
    Y[5 * 3 + 1] += 50.0;  // a wild sample that carries no weight
    w[5] = 0.0;
    double out[9];
    const double sentinel = -123.0;
    for (double& v : out) v = sentinel;
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(solve3_dash(n, w.data(), X.data(), Y.data() + k, out + k), 1);
        // Only column k (and the earlier ones) has been written.
        for (int i = 0; i < 9; ++i) {
            if (i % 3 > k) {
                EXPECT_EQ(out[i], sentinel);
            }
        }
    }
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(out[i], M[i], 1e-12);

    // Samples on a plane: singular, and nothing is written.
    for (int i = 0; i < n; ++i) X[static_cast<size_t>(3 * i + 2)] = 0.0;
    for (double& v : out) v = sentinel;
    EXPECT_EQ(solve3_dash(n, w.data(), X.data(), Y.data(), out), 0);
    EXPECT_EQ(solve3_dash(0, w.data(), X.data(), Y.data(), out), 0);
    for (double v : out) EXPECT_EQ(v, sentinel);
}

// ---------------------------------------------------------------------------
// BFGS

struct counted {
    double (*f)(const double*, int);
    int n;
    mutable long evaluations = 0;
};

double call_counted(const double* x, const void* data) {
    const auto* c = static_cast<const counted*>(data);
    ++c->evaluations;
    return c->f(x, c->n);
}

double bowl(const double* x, int) {
    return (x[0] - 1) * (x[0] - 1) + 10 * (x[1] + 2) * (x[1] + 2);
}

TEST(BFGS, StopsAtOnceWhenStartingAtTheMinimum) {
    counted c{bowl, 2};
    const double x0[2] = {1.0, -2.0};
    double x[2];
    BFGS(x, call_counted, x0, &c, 2);
    EXPECT_EQ(x[0], 1.0);
    EXPECT_EQ(x[1], -2.0);
    EXPECT_EQ(c.evaluations, 1 + 2 * 2);  // the value and one gradient
}

double constant(const double*, int) {
    return 3.0;
}

TEST(BFGS, NoUnknownsEvaluatesOnce) {
    counted c{constant, 0};
    double x[1] = {42.0};
    const double x0[1] = {0.0};
    BFGS(x, call_counted, x0, &c, 0);
    EXPECT_EQ(c.evaluations, 1);
    EXPECT_EQ(x[0], 42.0);
}

double rosenbrock(const double* x, int n) {
    double s = 0.0;
    for (int i = 0; i + 1 < n; ++i)
        s += 100 * (x[i + 1] - x[i] * x[i]) * (x[i + 1] - x[i] * x[i]) + (1 - x[i]) * (1 - x[i]);
    return s;
}

// An ill-conditioned coupled quadratic with its minimum at t_i = 0.1 i - 0.3.
double coupled(const double* x, int n) {
    double s = 0.0;
    for (int i = 0; i < n; ++i) {
        const double e = x[i] - (0.1 * i - 0.3);
        const double next = i + 1 < n ? x[i + 1] - (0.1 * (i + 1) - 0.3) : 0.0;
        s += (1.0 + i) * e * e + 0.5 * e * next;
    }
    return s;
}

// Smooth and not quadratic: log-sum-exp of shifted coordinates plus a quartic.
double smooth3(const double* x, int) {
    const double a = x[0] - 0.5, b = x[1] + 0.25, c = x[2] - 2.0;
    return std::log(std::exp(a + b) + std::exp(-a + c) + std::exp(b - c)) + a * a * a * a + b * b +
           c * c;
}

// The shape of the correction fit: a 3x3 matrix that maps source colours onto
// targets compared after a cube root, as perceptual spaces do.
const double MATRIX_TRUTH[9] = {1.2, -0.15, 0.05, 0.1, 0.85, 0.1, -0.05, 0.2, 1.1};
double matrix_fit(const double* m, int) {
    double s = 0.0;
    for (int i = 0; i < 24; ++i) {
        // Well-spread positive colours (fractional parts of irrational multiples).
        const double src[3] = {0.05 + 0.9 * std::fmod(0.618034 * i, 1.0),
                               0.05 + 0.9 * std::fmod(0.414214 * i + 0.3, 1.0),
                               0.05 + 0.9 * std::fmod(0.732051 * i + 0.6, 1.0)};
        double got[3], want[3];
        mul(got, m, src, 3, 3, 1);
        mul(want, MATRIX_TRUTH, src, 3, 3, 1);
        for (int k = 0; k < 3; ++k) {
            const double e = std::cbrt(got[k]) - std::cbrt(want[k]);
            s += e * e;
        }
    }
    return s;
}

TEST(BFGS, ReachesTheMinimumOfSmoothFunctionsFromSeveralStarts) {
    struct problem {
        const char* name;
        double (*f)(const double*, int);
        int n;
        std::vector<double> minimum;  // empty when the minimum is not known in closed form
        double spread;                // of the starts around the minimum (or the origin)
        double x_tol;
    };
    std::vector<double> coupled_min;
    for (int i = 0; i < 9; ++i) coupled_min.push_back(0.1 * i - 0.3);
    const problem problems[] = {
        {"bowl", bowl, 2, {1.0, -2.0}, 1.5, 1e-5},
        {"coupled3", coupled, 3, {-0.3, -0.2, -0.1}, 1.5, 1e-5},
        {"smooth3", smooth3, 3, {}, 1.5, 0.0},
        // The gradient treats a point that is lowest along an axis as flat there,
        // which slows the walk down a curved valley: looser there.
        {"rosenbrock3", rosenbrock, 3, {1.0, 1.0, 1.0}, 1.0, 2e-2},
        {"coupled9", coupled, 9, coupled_min, 1.5, 1e-5},
        {"matrix9", matrix_fit, 9, std::vector<double>(MATRIX_TRUTH, MATRIX_TRUTH + 9), 0.3, 1e-3},
    };
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (const problem& p : problems) {
        std::vector<double> found;
        for (int start = 0; start < 4; ++start) {
            std::vector<double> x0(static_cast<size_t>(p.n)), x(x0.size());
            for (size_t i = 0; i < x0.size(); ++i)
                x0[i] = (p.minimum.empty() ? 0.0 : p.minimum[i]) + p.spread * u(rng);
            counted c{p.f, p.n};
            BFGS(x.data(), call_counted, x0.data(), &c, p.n);
            std::printf("[ BFGS     ] %-12s start %d: %ld evaluations, f = %.3g\n", p.name, start,
                        c.evaluations, p.f(x.data(), p.n));
            EXPECT_LT(c.evaluations, 20000) << p.name;
            EXPECT_LE(p.f(x.data(), p.n), p.f(x0.data(), p.n)) << p.name;
            for (size_t i = 0; i < p.minimum.size(); ++i)
                EXPECT_NEAR(x[i], p.minimum[i], p.x_tol)
                    << p.name << " start " << start << " x" << i;
            // Without a closed form, every start must reach the same point.
            if (p.minimum.empty()) {
                if (found.empty()) found = x;
                for (size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(x[i], found[i], 1e-4) << p.name;
            }
        }
    }
}

// A long concave stretch before a single minimum at 1000 pi.
double long_valley(const double* x, int) {
    return 1e6 * std::cos(x[0] / 1000.0);
}

double linear_slope(const double* x, int n) {
    double s = 0.0;
    for (int i = 0; i < n; ++i) s -= x[i];
    return s;
}

TEST(BFGS, StepsWithoutPositiveCurvatureDoNotSpoilTheEstimate) {
    // From x = 1 the search doubles its step ten times along a slope that only
    // steepens and takes the last one, so y's < 0. Updating with it would make
    // the estimate negative and send the next step uphill, ending the search far
    // from the minimum; skipping it keeps going down to the minimum.
    counted c{long_valley, 1};
    const double x0[1] = {1.0};
    double x[1];
    BFGS(x, call_counted, x0, &c, 1);
    EXPECT_NEAR(x[0], 1000.0 * 3.14159265358979, 1e-3);

    // On a plane y's is 0 (or rounding noise): the point must stay finite.
    counted plane{linear_slope, 2};
    const double p0[2] = {0.0, 0.0};
    double p[2];
    BFGS(p, call_counted, p0, &plane, 2);
    EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]));
    EXPECT_GT(p[0], 1000.0);
    EXPECT_NEAR(p[0], p[1], 1e-6 * p[0]);
}

double nan_beyond_one(const double* x, int) {
    if (x[0] > 1.0) return std::numeric_limits<double>::quiet_NaN();
    return -x[0] * x[0] * x[0] + 2.0 * (x[1] - 0.5) * (x[1] - 0.5);
}

TEST(BFGS, NeverStepsOntoAnUndefinedValue) {
    counted c{nan_beyond_one, 2};
    const double x0[2] = {0.2, 0.0};
    double x[2];
    BFGS(x, call_counted, x0, &c, 2);
    EXPECT_FALSE(std::isnan(nan_beyond_one(x, 2)));
    EXPECT_LE(nan_beyond_one(x, 2), nan_beyond_one(x0, 2));
}

}  // namespace
