#include "colour/convert.h"

#include <cmath>
#include <limits>

#include "colour/matrix.h"

// clang-format off
const double M_Bradford[9] = {
     0.8951,  0.2664, -0.1614,
    -0.7502,  1.7135,  0.0367,
     0.0389, -0.0685,  1.0296};
const double M_Bradfordinv[9] = {
     0.9869929054667121,   -0.1470542564209901,   0.15996265166373125,
     0.4323052697233945,    0.5183602715367776,   0.049291228212855615,
    -0.008528664575177331,  0.04004282165408486,  0.96848669578755};
const double M_CAT02[9] = {
     0.7328, 0.4296, -0.1624,
    -0.7036, 1.6975,  0.0061,
     0.0030, 0.0136,  0.9834};
const double M_CAT02inv[9] = {
     1.0961238208355142,   -0.27886900021828726,  0.1827451793827731,
     0.45436904197535916,   0.4735331543074117,   0.07209780371722913,
    -0.009627608738429355, -0.005698031216113421, 1.0153256399545427};
const double M_OKLab1[9] = {
    0.8189330101, 0.3618667424, -0.1288597137,
    0.0329845436, 0.9293118715,  0.0361456387,
    0.0482003018, 0.2643662691,  0.6338517070};
const double M_OKLab1inv[9] = {
     1.2270138511035211,  -0.5577999806518222,  0.28125614896646783,
    -0.04058017842328059,  1.11225686961683,    -0.0716766786656012,
    -0.07638128450570689, -0.4214819784180127,   1.5861632204407947};
const double M_OKLab2[9] = {
    0.2104542553,  0.7936177850, -0.0040720468,
    1.9779984951, -2.4285922050,  0.4505937099,
    0.0259040371,  0.7827717662, -0.8086757660};
// The exact inverse of the 10-digit matrix above; its first column is 1 to within
// 6e-8, and exactly 1 once rounded to single precision.
const double M_OKLab2inv[9] = {
    0.9999999984505198,  0.39633779217376786,  0.2158037580607588,
    1.0000000088817609, -0.10556134232365635, -0.06385417477170591,
    1.0000000546724108, -0.08948418209496575, -1.2914855378640917};

const double XYZ_D50[3] = {0.9642119944211994, 1.0, 0.8251882845188288};
const double XYZ_D65[3] = {0.9504285453771807, 1.0, 1.0889003707981277};

const double color_standard_observer[COLOR_STANDARD_OBSERVER_ROWS][4] = {
    {360.0, 1.299000e-04, 3.917000e-06, 6.061000e-04},
    {365.0, 2.321000e-04, 6.965000e-06, 1.086000e-03},
    {370.0, 4.149000e-04, 1.239000e-05, 1.946000e-03},
    {375.0, 7.416000e-04, 2.202000e-05, 3.486000e-03},
    {380.0, 1.368000e-03, 3.900000e-05, 6.450001e-03},
    {385.0, 2.236000e-03, 6.400000e-05, 1.054999e-02},
    {390.0, 4.243000e-03, 1.200000e-04, 2.005001e-02},
    {395.0, 7.650000e-03, 2.170000e-04, 3.621000e-02},
    {400.0, 1.431000e-02, 3.960000e-04, 6.785001e-02},
    {405.0, 2.319000e-02, 6.400000e-04, 1.102000e-01},
    {410.0, 4.351000e-02, 1.210000e-03, 2.074000e-01},
    {415.0, 7.763000e-02, 2.180000e-03, 3.713000e-01},
    {420.0, 1.343800e-01, 4.000000e-03, 6.456000e-01},
    {425.0, 2.147700e-01, 7.300000e-03, 1.039050e+00},
    {430.0, 2.839000e-01, 1.160000e-02, 1.385600e+00},
    {435.0, 3.285000e-01, 1.684000e-02, 1.622960e+00},
    {440.0, 3.482800e-01, 2.300000e-02, 1.747060e+00},
    {445.0, 3.480600e-01, 2.980000e-02, 1.782600e+00},
    {450.0, 3.362000e-01, 3.800000e-02, 1.772110e+00},
    {455.0, 3.187000e-01, 4.800000e-02, 1.744100e+00},
    {460.0, 2.908000e-01, 6.000000e-02, 1.669200e+00},
    {465.0, 2.511000e-01, 7.390000e-02, 1.528100e+00},
    {470.0, 1.953600e-01, 9.098000e-02, 1.287640e+00},
    {475.0, 1.421000e-01, 1.126000e-01, 1.041900e+00},
    {480.0, 9.564000e-02, 1.390200e-01, 8.129501e-01},
    {485.0, 5.795001e-02, 1.693000e-01, 6.162000e-01},
    {490.0, 3.201000e-02, 2.080200e-01, 4.651800e-01},
    {495.0, 1.470000e-02, 2.586000e-01, 3.533000e-01},
    {500.0, 4.900000e-03, 3.230000e-01, 2.720000e-01},
    {505.0, 2.400000e-03, 4.073000e-01, 2.123000e-01},
    {510.0, 9.300000e-03, 5.030000e-01, 1.582000e-01},
    {515.0, 2.910000e-02, 6.082000e-01, 1.117000e-01},
    {520.0, 6.327000e-02, 7.100000e-01, 7.824999e-02},
    {525.0, 1.096000e-01, 7.932000e-01, 5.725001e-02},
    {530.0, 1.655000e-01, 8.620000e-01, 4.216000e-02},
    {535.0, 2.257499e-01, 9.148501e-01, 2.984000e-02},
    {540.0, 2.904000e-01, 9.540000e-01, 2.030000e-02},
    {545.0, 3.597000e-01, 9.803000e-01, 1.340000e-02},
    {550.0, 4.334499e-01, 9.949501e-01, 8.749999e-03},
    {555.0, 5.120501e-01, 1.000000e+00, 5.749999e-03},
    {560.0, 5.945000e-01, 9.950000e-01, 3.900000e-03},
    {565.0, 6.784000e-01, 9.786000e-01, 2.749999e-03},
    {570.0, 7.621000e-01, 9.520000e-01, 2.100000e-03},
    {575.0, 8.425000e-01, 9.154000e-01, 1.800000e-03},
    {580.0, 9.163000e-01, 8.700000e-01, 1.650001e-03},
    {585.0, 9.786000e-01, 8.163000e-01, 1.400000e-03},
    {590.0, 1.026300e+00, 7.570000e-01, 1.100000e-03},
    {595.0, 1.056700e+00, 6.949000e-01, 1.000000e-03},
    {600.0, 1.062200e+00, 6.310000e-01, 8.000000e-04},
    {605.0, 1.045600e+00, 5.668000e-01, 6.000000e-04},
    {610.0, 1.002600e+00, 5.030000e-01, 3.400000e-04},
    {615.0, 9.384000e-01, 4.412000e-01, 2.400000e-04},
    {620.0, 8.544499e-01, 3.810000e-01, 1.900000e-04},
    {625.0, 7.514000e-01, 3.210000e-01, 1.000000e-04},
    {630.0, 6.424000e-01, 2.650000e-01, 4.999999e-05},
    {635.0, 5.419000e-01, 2.170000e-01, 3.000000e-05},
    {640.0, 4.479000e-01, 1.750000e-01, 2.000000e-05},
    {645.0, 3.608000e-01, 1.382000e-01, 1.000000e-05},
    {650.0, 2.835000e-01, 1.070000e-01, -8.470329e-22},
    {655.0, 2.187000e-01, 8.160000e-02, 0.000000e+00},
    {660.0, 1.649000e-01, 6.100000e-02, 0.000000e+00},
    {665.0, 1.212000e-01, 4.458000e-02, 0.000000e+00},
    {670.0, 8.740000e-02, 3.200000e-02, 0.000000e+00},
    {675.0, 6.360000e-02, 2.320000e-02, 0.000000e+00},
    {680.0, 4.677000e-02, 1.700000e-02, 0.000000e+00},
    {685.0, 3.290000e-02, 1.192000e-02, 0.000000e+00},
    {690.0, 2.270000e-02, 8.210000e-03, 0.000000e+00},
    {695.0, 1.584000e-02, 5.723000e-03, 0.000000e+00},
    {700.0, 1.135916e-02, 4.102000e-03, 0.000000e+00},
    {705.0, 8.110916e-03, 2.929000e-03, 0.000000e+00},
    {710.0, 5.790346e-03, 2.091000e-03, 0.000000e+00},
    {715.0, 4.109457e-03, 1.484000e-03, 0.000000e+00},
    {720.0, 2.899327e-03, 1.047000e-03, 0.000000e+00},
    {725.0, 2.049190e-03, 7.400000e-04, 0.000000e+00},
    {730.0, 1.439971e-03, 5.200000e-04, 0.000000e+00},
    {735.0, 9.999493e-04, 3.611000e-04, 0.000000e+00},
    {740.0, 6.900786e-04, 2.492000e-04, 0.000000e+00},
    {745.0, 4.760213e-04, 1.719000e-04, 0.000000e+00},
    {750.0, 3.323011e-04, 1.200000e-04, 0.000000e+00},
    {755.0, 2.348261e-04, 8.480000e-05, 0.000000e+00},
    {760.0, 1.661505e-04, 6.000000e-05, 0.000000e+00},
    {765.0, 1.174130e-04, 4.240000e-05, 0.000000e+00},
    {770.0, 8.307527e-05, 3.000000e-05, 0.000000e+00},
    {775.0, 5.870652e-05, 2.120000e-05, 0.000000e+00},
    {780.0, 4.150994e-05, 1.499000e-05, 0.000000e+00},
    {785.0, 2.935326e-05, 1.060000e-05, 0.000000e+00},
    {790.0, 2.067383e-05, 7.465700e-06, 0.000000e+00},
    {795.0, 1.455977e-05, 5.257800e-06, 0.000000e+00},
    {800.0, 1.025398e-05, 3.702900e-06, 0.000000e+00},
    {805.0, 7.221456e-06, 2.607800e-06, 0.000000e+00},
    {810.0, 5.085868e-06, 1.836600e-06, 0.000000e+00},
    {815.0, 3.581652e-06, 1.293400e-06, 0.000000e+00},
    {820.0, 2.522525e-06, 9.109300e-07, 0.000000e+00},
    {825.0, 1.776509e-06, 6.415300e-07, 0.000000e+00},
    {830.0, 1.251141e-06, 4.518100e-07, 0.000000e+00},
};
// clang-format on

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// CIE 1976 constants: delta = 6/29 and the linear segment below delta^3.
constexpr double LAB_DELTA = 6.0 / 29.0;
constexpr double LAB_3_DELTA2 = 0.12841854934601665;
constexpr double LAB_4_29 = 0.13793103448275862;
constexpr double D50_Xn = 0.34567 / 0.3585;
constexpr double D50_Zn = 0.29583 / 0.3585;

// XYZ with Y = 1 of a white given by its chromaticity.
void white_XYZ(double* out, double x, double y) {
    out[0] = x / y;
    out[1] = 1.0;
    out[2] = (1.0 - x - y) / y;
}

// von Kries scaling in the cone space of M (inverse Minv) from the cone
// responses of the source white to those of the target white.
void adapt(double* out, const double* XYZ, const double* M, const double* Minv,
           const double* target_white, const double* source_white) {
    double rho_t[3], rho_s[3], c[3];
    mul(rho_t, M, target_white, 3, 3, 1);
    mul(rho_s, M, source_white, 3, 3, 1);
    mul(c, M, XYZ, 3, 3, 1);
    for (int i = 0; i < 3; ++i) c[i] = c[i] * rho_t[i] / rho_s[i];
    mul(out, Minv, c, 3, 3, 1);
}

double lab_finv(double f) {
    return f > LAB_DELTA ? f * f * f : LAB_3_DELTA2 * (f - LAB_4_29);
}

}  // namespace

void M_XYZ_from_RGB(double* M, const color_space* cs) {
    // Columns are the primaries' (x, y, z).
    // clang-format off
    const double P[9] = {
        cs->red_x,                   cs->green_x,                     cs->blue_x,
        cs->red_y,                   cs->green_y,                     cs->blue_y,
        1.0 - cs->red_x - cs->red_y, 1.0 - cs->green_x - cs->green_y, 1.0 - cs->blue_x - cs->blue_y};
    // clang-format on
    double W[3], Pinv[9], S[3];
    white_XYZ(W, cs->white_x, cs->white_y);
    // A degenerate set of primaries has no matrix; NaN tells the caller so
    // rather than leaving the output unset.
    if (!invert3(Pinv, P)) {
        for (int i = 0; i < 9; ++i) M[i] = NaN;
        return;
    }
    mul(S, Pinv, W, 3, 3, 1);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) M[i * 3 + j] = P[i * 3 + j] * S[j];
}

void M_RGB_from_XYZ(double* M, const color_space* cs) {
    double fwd[9];
    M_XYZ_from_RGB(fwd, cs);
    if (!invert3(M, fwd))
        for (int i = 0; i < 9; ++i) M[i] = NaN;
}

void XYZ_change_illuminate(double* out, const double* XYZ, double target_x, double target_y,
                           double source_x, double source_y) {
    double wt[3], ws[3];
    white_XYZ(wt, target_x, target_y);
    white_XYZ(ws, source_x, source_y);
    adapt(out, XYZ, M_Bradford, M_Bradfordinv, wt, ws);
}

void M_XYZ_change_illuminate(double* M, double target_x, double target_y, double source_x,
                             double source_y) {
    double wt[3], ws[3], rho_t[3], rho_s[3], D[3], scaled[9];
    white_XYZ(wt, target_x, target_y);
    white_XYZ(ws, source_x, source_y);
    mul(rho_t, M_CAT02, wt, 3, 3, 1);
    mul(rho_s, M_CAT02, ws, 3, 3, 1);
    for (int i = 0; i < 3; ++i) D[i] = rho_t[i] / rho_s[i];
    diagmul(scaled, D, M_CAT02, 3, 3);
    mul(M, M_CAT02inv, scaled, 3, 3, 3);
}

void CIExy_from_XYZ(double* x, double* y, const double* XYZ) {
    const double sum = XYZ[0] + XYZ[1] + XYZ[2];
    *x = XYZ[0] / sum;
    *y = XYZ[1] / sum;
}

void XYZ_from_CIELabD50(double* XYZ, const double* Lab) {
    const double fy = (Lab[0] + 16.0) / 116.0;
    const double fx = fy + Lab[1] / 500.0;
    const double fz = fy - Lab[2] / 200.0;
    XYZ[0] = D50_Xn * lab_finv(fx);
    XYZ[1] = lab_finv(fy);
    XYZ[2] = D50_Zn * lab_finv(fz);
}

void linearRGB_from_CIELabD50(double* RGB, const double* Lab, const color_space* cs) {
    double XYZ[3], adapted[3], M[9];
    XYZ_from_CIELabD50(XYZ, Lab);
    XYZ_change_illuminate(adapted, XYZ, cs->white_x, cs->white_y, D50_x, D50_y);
    M_RGB_from_XYZ(M, cs);
    mul(RGB, M, adapted, 3, 3, 1);
}

void OKLab_from_XYZ(double* OKLab, const double* XYZ) {
    double lms[3];
    mul(lms, M_OKLab1, XYZ, 3, 3, 1);
    for (double& v : lms) v = std::cbrt(v < 0.0 ? 0.0 : v);
    mul(OKLab, M_OKLab2, lms, 3, 3, 1);
}

void OKLab_from_CIELabD50(double* OKLab, const double* Lab) {
    double XYZ[3], adapted[3];
    XYZ_from_CIELabD50(XYZ, Lab);
    adapt(adapted, XYZ, M_Bradford, M_Bradfordinv, XYZ_D65, XYZ_D50);
    OKLab_from_XYZ(OKLab, adapted);
}

void CIELabD50_from_XYZ(double* Lab, const double* XYZ) {
    auto f = [](double t) {
        return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0;
    };
    const double fx = f(XYZ[0] / D50_Xn), fy = f(XYZ[1]), fz = f(XYZ[2] / D50_Zn);
    Lab[0] = 116.0 * fy - 16.0;
    Lab[1] = 500.0 * (fx - fy);
    Lab[2] = 200.0 * (fy - fz);
}

void CIELabD50_from_linearRGB(double* Lab, const double* RGB, const color_space* cs) {
    double M[9], XYZ[3], adapted[3];
    M_XYZ_from_RGB(M, cs);
    mul(XYZ, M, RGB, 3, 3, 1);
    XYZ_change_illuminate(adapted, XYZ, D50_x, D50_y, cs->white_x, cs->white_y);
    CIELabD50_from_XYZ(Lab, adapted);
}

double deltaE2000(const double* lab1, const double* lab2) {
    constexpr double PI = 3.14159265358979323846;
    constexpr double DEG = PI / 180.0;
    const double L1 = lab1[0], a1 = lab1[1], b1 = lab1[2];
    const double L2 = lab2[0], a2 = lab2[1], b2 = lab2[2];
    const double C1 = std::hypot(a1, b1), C2 = std::hypot(a2, b2);
    const double Cm = (C1 + C2) / 2;
    const double Cm7 = std::pow(Cm, 7);
    const double G = 0.5 * (1 - std::sqrt(Cm7 / (Cm7 + std::pow(25.0, 7))));
    const double a1p = (1 + G) * a1, a2p = (1 + G) * a2;
    const double C1p = std::hypot(a1p, b1), C2p = std::hypot(a2p, b2);
    auto hue = [](double b, double ap) {
        if (b == 0 && ap == 0) return 0.0;
        double h = std::atan2(b, ap);
        return h < 0 ? h + 2 * PI : h;
    };
    const double h1p = hue(b1, a1p), h2p = hue(b2, a2p);
    const double dLp = L2 - L1, dCp = C2p - C1p;
    double dhp = 0;
    if (C1p * C2p != 0) {
        dhp = h2p - h1p;
        if (dhp > PI)
            dhp -= 2 * PI;
        else if (dhp < -PI)
            dhp += 2 * PI;
    }
    const double dHp = 2 * std::sqrt(C1p * C2p) * std::sin(dhp / 2);
    const double Lpm = (L1 + L2) / 2, Cpm = (C1p + C2p) / 2;
    double hpm = h1p + h2p;
    if (C1p * C2p != 0) {
        if (std::abs(h1p - h2p) <= PI)
            hpm /= 2;
        else
            hpm = hpm < 2 * PI ? (hpm + 2 * PI) / 2 : (hpm - 2 * PI) / 2;
    }
    const double T = 1 - 0.17 * std::cos(hpm - 30 * DEG) + 0.24 * std::cos(2 * hpm) +
                     0.32 * std::cos(3 * hpm + 6 * DEG) - 0.20 * std::cos(4 * hpm - 63 * DEG);
    const double dtheta = 30 * DEG * std::exp(-std::pow((hpm / DEG - 275) / 25, 2));
    const double Cpm7 = std::pow(Cpm, 7);
    const double RC = 2 * std::sqrt(Cpm7 / (Cpm7 + std::pow(25.0, 7)));
    const double SL = 1 + 0.015 * (Lpm - 50) * (Lpm - 50) / std::sqrt(20 + (Lpm - 50) * (Lpm - 50));
    const double SC = 1 + 0.045 * Cpm, SH = 1 + 0.015 * Cpm * T;
    const double RT = -std::sin(2 * dtheta) * RC;
    const double tl = dLp / SL, tc = dCp / SC, th = dHp / SH;
    return std::sqrt(tl * tl + tc * tc + th * th + RT * tc * th);
}
