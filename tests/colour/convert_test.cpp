#include "colour/convert.h"

#include <gtest/gtest.h>

#include <cmath>

#include "colour/matrix.h"

namespace {

// Primaries and whites as their standards publish them.
constexpr color_space SRGB = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290};
constexpr color_space REC2020 = {0.708, 0.292, 0.170, 0.797, 0.131, 0.046, 0.3127, 0.3290};

void expect_matrix_near(const double* got, const double* want, double tol, const char* what) {
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(got[i], want[i], tol) << what << " [" << i << "]";
}

TEST(Convert, RgbToXyzMatchesPublishedMatrices) {
    // sRGB as published to four places, Rec. 2020 to six.
    const double srgb[9] = {0.4124, 0.3576, 0.1805, 0.2126, 0.7152, 0.0722, 0.0193, 0.1192, 0.9505};
    const double rec2020[9] = {0.636958, 0.144617, 0.168881, 0.262700, 0.677998,
                               0.059302, 0.000000, 0.028073, 1.060985};
    double M[9], Minv[9], P[9];
    M_XYZ_from_RGB(M, &SRGB);
    expect_matrix_near(M, srgb, 1e-4, "sRGB");
    M_RGB_from_XYZ(Minv, &SRGB);
    mul(P, M, Minv, 3, 3, 3);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(P[i], i % 4 == 0 ? 1.0 : 0.0, 1e-14);
    // The published inverse, computed from the four-place forward matrix.
    const double srgb_inv[9] = {3.2406, -1.5372, -0.4986, -0.9689, 1.8758,
                                0.0415, 0.0557,  -0.2040, 1.0570};
    expect_matrix_near(Minv, srgb_inv, 1e-3, "sRGB inverse");

    M_XYZ_from_RGB(M, &REC2020);
    expect_matrix_near(M, rec2020, 1e-6, "Rec. 2020");
}

TEST(Convert, RgbWhiteMapsToTheWhitePoint) {
    double M[9], XYZ[3];
    const double one[3] = {1, 1, 1};
    M_XYZ_from_RGB(M, &REC2020);
    mul(XYZ, M, one, 3, 3, 1);
    EXPECT_NEAR(XYZ[0], 0.3127 / 0.3290, 1e-14);
    EXPECT_NEAR(XYZ[1], 1.0, 1e-14);
    EXPECT_NEAR(XYZ[2], (1 - 0.3127 - 0.3290) / 0.3290, 1e-14);
}

TEST(Convert, DegeneratePrimariesGiveNaN) {
    // Red and green coincide (values exact in binary, so the determinant is exactly 0).
    const color_space flat = {0.25, 0.5, 0.25, 0.5, 0.125, 0.0625, 0.3127, 0.3290};
    double M[9];
    M_XYZ_from_RGB(M, &flat);
    for (double v : M) EXPECT_TRUE(std::isnan(v));
    M_RGB_from_XYZ(M, &flat);
    for (double v : M) EXPECT_TRUE(std::isnan(v));
}

TEST(Convert, BradfordD65ToD50MatchesThePublishedMatrix) {
    // Published for the whites (0.95047, 1, 1.08883) and (0.96422, 1, 0.82521).
    const double want[9] = {1.0478112,  0.0228866,  -0.0501270, 0.0295424, 0.9904844,
                            -0.0170491, -0.0092345, 0.0150436,  0.7521316};
    const double d65[3] = {0.95047, 1.0, 1.08883}, d50[3] = {0.96422, 1.0, 0.82521};
    double d65x, d65y, d50x, d50y;
    CIExy_from_XYZ(&d65x, &d65y, d65);
    CIExy_from_XYZ(&d50x, &d50y, d50);
    double M[9];
    for (int j = 0; j < 3; ++j) {
        const double e[3] = {j == 0 ? 1.0 : 0.0, j == 1 ? 1.0 : 0.0, j == 2 ? 1.0 : 0.0};
        double col[3];
        XYZ_change_illuminate(col, e, d50x, d50y, d65x, d65y);  // target first
        for (int i = 0; i < 3; ++i) M[i * 3 + j] = col[i];
    }
    expect_matrix_near(M, want, 2e-7, "Bradford D65->D50");
}

TEST(Convert, AdaptationMapsWhiteToWhiteAndIsIdentityForEqualWhites) {
    const double d65x = 0.31271, d65y = 0.32902;
    const double src[3] = {D50_x / D50_y, 1.0, (1 - D50_x - D50_y) / D50_y};
    double out[3];
    XYZ_change_illuminate(out, src, d65x, d65y, D50_x, D50_y);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], XYZ_D65[i], 1e-12);

    double M[9];
    M_XYZ_change_illuminate(M, d65x, d65y, D50_x, D50_y);
    mul(out, M, src, 3, 3, 1);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], XYZ_D65[i], 1e-12);

    M_XYZ_change_illuminate(M, 0.3127, 0.3290, 0.3127, 0.3290);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(M[i], i % 4 == 0 ? 1.0 : 0.0, 1e-14);
    const double c[3] = {0.2, 0.5, 0.7};
    XYZ_change_illuminate(out, c, 0.3127, 0.3290, 0.3127, 0.3290);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], c[i], 1e-14);
}

TEST(Convert, StoredInversesAreInversesToFullPrecision) {
    const double* pairs[4][2] = {{M_Bradford, M_Bradfordinv},
                                 {M_CAT02, M_CAT02inv},
                                 {M_OKLab1, M_OKLab1inv},
                                 {M_OKLab2, M_OKLab2inv}};
    for (const auto& p : pairs) {
        double P[9];
        mul(P, p[0], p[1], 3, 3, 3);
        for (int i = 0; i < 9; ++i) EXPECT_NEAR(P[i], i % 4 == 0 ? 1.0 : 0.0, 2e-15);
    }
    // As the pixel pipeline sees it (floats), OKLab's L axis maps to equal cone values.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(static_cast<float>(M_OKLab2inv[i * 3]), 1.0f);
    EXPECT_NEAR(M_OKLab2inv[1], 0.3963377922, 1e-10);
    EXPECT_NEAR(M_OKLab2inv[2], 0.2158037581, 1e-10);
}

TEST(Convert, CielabToXyz) {
    double XYZ[3];
    const double white[3] = {100, 0, 0};
    XYZ_from_CIELabD50(XYZ, white);
    EXPECT_NEAR(XYZ[0], 0.34567 / 0.3585, 1e-15);
    EXPECT_EQ(XYZ[1], 1.0);
    EXPECT_NEAR(XYZ[2], 0.29583 / 0.3585, 1e-15);

    const double grey[3] = {50, 0, 0};
    XYZ_from_CIELabD50(XYZ, grey);
    EXPECT_NEAR(XYZ[1], 0.1841865, 1e-7);  // L* = 50 is 18.42 % luminance

    // The knee at L* = 8 (f = 6/29) joins the cube and the line.
    const double below[3] = {8.0 - 1e-9, 0, 0}, above[3] = {8.0 + 1e-9, 0, 0};
    double lo[3], hi[3];
    XYZ_from_CIELabD50(lo, below);
    XYZ_from_CIELabD50(hi, above);
    EXPECT_NEAR(lo[1], 0.008856451679035631, 1e-11);
    EXPECT_NEAR(hi[1], lo[1], 1e-11);
    const double one[3] = {1.0, 0, 0};
    XYZ_from_CIELabD50(XYZ, one);
    EXPECT_NEAR(XYZ[1], 1.0 / 903.2963, 1e-9);  // the linear segment, L = 903.3 Y

    const double nan[3] = {NAN, 0, 0};
    XYZ_from_CIELabD50(XYZ, nan);
    for (double v : XYZ) EXPECT_TRUE(std::isnan(v));
}

TEST(Convert, CielabToLinearRgb) {
    // The D50 white is adapted onto the space's white, which is RGB 1, 1, 1.
    const double white[3] = {100, 0, 0};
    double rgb[3];
    linearRGB_from_CIELabD50(rgb, white, &SRGB);
    for (double v : rgb) EXPECT_NEAR(v, 1.0, 1e-12);
    linearRGB_from_CIELabD50(rgb, white, &REC2020);
    for (double v : rgb) EXPECT_NEAR(v, 1.0, 1e-12);
    // Neutral greys stay neutral and follow L*.
    const double grey[3] = {50, 0, 0};
    linearRGB_from_CIELabD50(rgb, grey, &SRGB);
    for (double v : rgb) EXPECT_NEAR(v, 0.1841865, 1e-7);
}

TEST(Convert, OklabMatchesPublishedPairs) {
    struct pair {
        double XYZ[3], Lab[3];
    };
    // Published to three places; the fourth published pair (pure Z) has a negative
    // cone response, which is clamped here, so it is checked separately below.
    const pair pairs[] = {
        {{0.950, 1.000, 1.089}, {1.000, 0.000, 0.000}},
        {{1.000, 0.000, 0.000}, {0.450, 1.236, -0.019}},
        {{0.000, 1.000, 0.000}, {0.922, -0.671, 0.263}},
    };
    for (const pair& p : pairs) {
        double lab[3];
        OKLab_from_XYZ(lab, p.XYZ);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(lab[i], p.Lab[i], 6e-4) << p.XYZ[0] << " " << i;
    }
}

TEST(Convert, OklabTreatsNegativeConeResponsesAsZero) {
    const double z[3] = {0, 0, 1};
    double lms[3], lab[3], lab_clamped[3];
    mul(lms, M_OKLab1, z, 3, 3, 1);
    ASSERT_LT(lms[0], 0.0);
    lms[0] = -1e-3;  // any negative response, so rounding cannot make it positive
    double xyz_clamped[3];
    mul(xyz_clamped, M_OKLab1inv, lms, 3, 3, 1);
    OKLab_from_XYZ(lab, z);
    OKLab_from_XYZ(lab_clamped, xyz_clamped);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(lab[i], lab_clamped[i], 1e-6);
    const double black[3] = {-0.1, -0.1, -0.1};
    OKLab_from_XYZ(lab, black);
    for (double v : lab) EXPECT_EQ(v, 0.0);
}

TEST(Convert, CielabWhiteIsOklabWhite) {
    const double white[3] = {100, 0, 0};
    double lab[3];
    OKLab_from_CIELabD50(lab, white);
    EXPECT_NEAR(lab[0], 1.0, 1e-4);
    EXPECT_NEAR(lab[1], 0.0, 1e-4);
    EXPECT_NEAR(lab[2], 0.0, 1e-4);
    // Same as adapting to D65 by hand and converting.
    double direct[3];
    OKLab_from_XYZ(direct, XYZ_D65);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(lab[i], direct[i], 1e-12);
    // A chromatic colour moves the right way: CIELAB red-yellow is OKLab red-yellow.
    const double orange[3] = {60, 40, 60};
    OKLab_from_CIELabD50(lab, orange);
    EXPECT_GT(lab[1], 0.05);
    EXPECT_GT(lab[2], 0.05);
}

TEST(Convert, StandardObserverAndChromaticities) {
    EXPECT_EQ(color_standard_observer[0][0], 360.0);
    EXPECT_EQ(color_standard_observer[COLOR_STANDARD_OBSERVER_ROWS - 1][0], 830.0);
    for (int i = 1; i < COLOR_STANDARD_OBSERVER_ROWS; ++i)
        EXPECT_EQ(color_standard_observer[i][0] - color_standard_observer[i - 1][0], 5.0);
    EXPECT_EQ(color_standard_observer[(555 - 360) / 5][2], 1.0);  // ybar peaks at 555 nm
    // Chromaticities of pure 520 nm and 600 nm light, as tabulated.
    double x, y;
    CIExy_from_XYZ(&x, &y, &color_standard_observer[(520 - 360) / 5][1]);
    EXPECT_NEAR(x, 0.0743, 1e-4);
    EXPECT_NEAR(y, 0.8338, 1e-4);
    CIExy_from_XYZ(&x, &y, &color_standard_observer[(600 - 360) / 5][1]);
    EXPECT_NEAR(x, 0.6270, 1e-4);
    EXPECT_NEAR(y, 0.3725, 1e-4);
    CIExy_from_XYZ(&x, &y, XYZ_D65);
    EXPECT_NEAR(x, 0.31271, 1e-14);
    EXPECT_NEAR(y, 0.32902, 1e-14);
}

}  // namespace

// Pairs from the published CIEDE2000 test data (Sharma, Wu and Dalal), covering the hue
// wrap-around, a neutral colour, large differences and near-black.
TEST(DeltaE2000, PublishedPairs) {
    struct pair {
        double a[3], b[3], de;
    };
    const pair PAIRS[] = {
        {{50.0, 2.6772, -79.7751}, {50.0, 0.0, -82.7485}, 2.0425},
        {{50.0, 3.1571, -77.2803}, {50.0, 0.0, -82.7485}, 2.8615},
        {{50.0, 2.8361, -74.0200}, {50.0, 0.0, -82.7485}, 3.4412},
        {{50.0, 0.0, 0.0}, {50.0, -1.0, 2.0}, 2.3669},
        {{50.0, 2.5, 0.0}, {73.0, 25.0, -18.0}, 27.1492},
        {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
        {{2.0776, 0.0795, -1.1350}, {0.9033, -0.0636, -0.5514}, 0.9082},
    };
    for (const pair& p : PAIRS) {
        EXPECT_NEAR(deltaE2000(p.a, p.b), p.de, 5e-5);
        EXPECT_NEAR(deltaE2000(p.b, p.a), p.de, 5e-5);
    }
    const double same[3] = {41.0, 12.0, -30.0};
    EXPECT_EQ(deltaE2000(same, same), 0.0);
}

TEST(DeltaE2000, LabFromLinearRgbInvertsTheReverseRoute) {
    const color_space& cs = COLOR_SPACE[2];  // sRGB, D65 white
    const double lab[3] = {62.0, 18.0, -25.0};
    double rgb[3], back[3];
    linearRGB_from_CIELabD50(rgb, lab, &cs);
    CIELabD50_from_linearRGB(back, rgb, &cs);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], lab[k], 1e-9);
}
