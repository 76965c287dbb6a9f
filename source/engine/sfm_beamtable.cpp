// The beam table: per beam width, the shape of the beamshaped pattern.
//
// A decoded channel's beamshaped pattern is the cardioid h = (1 + cos t)/2
// narrowed by two side cardioids at +-120 degrees (sfm_beam_pattern):
//   B(t) = max(h - k * (max(f - 0.3 h, 0) + max(g - 0.3 h, 0)), 0).
// Row r of the table stands for the -3 dB full width
//   w(r) = 30 deg + r / 72.00213 rad   (row 0: 30 deg, row 127: 131.06 deg),
// the widest row being the plain cardioid (its -3 dB points lie at
// +-acos(sqrt(2) - 1)).
//
// Columns:
//   1  side-beam sharpness k such that B(w/2) = B(0) / sqrt(2). The side
//      cardioids' contribution is linear in k, so the root is found by
//      bisection on a monotone function; it reaches 0 at row 127.
//   2  direct-sound gain, 1.
//   3  diffuse-field share of the pattern relative to the cardioid: the
//      horizontal energy ratio  int B^2 dt / int h^2 dt  with a smooth
//      correction (a natural cubic spline through five calibration rows) that
//      matches the published calibration of the decoder.
//   4, 5  diffuse-field coherence of neighbouring and of the outer beam pair, 0.5.
#include "sfm_internal.h"

#include <cmath>

namespace {

constexpr double kSideAngle = 120.0 * SFM_PI / 180.0; // default side-beam angle
constexpr double kOverlap = 0.3;                   // default beam overlap
constexpr double kMinWidth = SFM_PI / 6.0;            // 30 degrees, row 0
constexpr double kRowsPerRad = 72.00213;           // 127 rows span 30 .. 131.06 degrees
constexpr double kPairCoherence = 0.5;

// The pattern of sfm_beam_pattern in double precision, for the design.
double pattern_d(double t, double k)
{
    double f = (std::cos(t - kSideAngle) + 1.0) * 0.5;
    double g = (std::cos(t + kSideAngle) + 1.0) * 0.5;
    double h = (std::cos(t) + 1.0) * 0.5;
    double l = std::fmax(f - h * kOverlap, 0.0);
    double m = std::fmax(g - h * kOverlap, 0.0);
    return std::fmax(h - k * (l + m), 0.0);
}

double row_width(int row) { return kMinWidth + row / kRowsPerRad; }

// Sharpness at which the pattern is 3 dB down at half the row's width.
double solve_sharpness(double width)
{
    const double target = pattern_d(0.0, 0.0) * std::sqrt(0.5);
    const double t = 0.5 * width;
    if (pattern_d(t, 0.0) <= target)
        return 0.0; // already as narrow as the cardioid allows
    double lo = 0.0, hi = 16.0;
    for (int it = 0; it < 60; ++it) {
        double mid = 0.5 * (lo + hi);
        if (pattern_d(t, mid) > target)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

// Horizontal energy of the pattern relative to the cardioid's.
double energy_ratio(double k)
{
    const int n = 1440;
    double e = 0.0, c = 0.0;
    for (int i = 0; i < n; ++i) {
        double t = -SFM_PI + (i + 0.5) * (2.0 * SFM_PI / n);
        double b = pattern_d(t, k);
        double h = (std::cos(t) + 1.0) * 0.5;
        e += b * b;
        c += h * h;
    }
    return e / c;
}

// Calibration rows of column 3 (the decoder's published values).
constexpr int kCalRows = 5;
constexpr int kCalRow[kCalRows] = {0, 20, 50, 90, 127};
constexpr double kCalValue[kCalRows] = {0.24048, 0.36372, 0.53968, 0.77747, 1.0};

// Natural cubic spline through (x[i], y[i]), i < kCalRows, evaluated at xv.
double spline(const double* x, const double* y, double xv)
{
    const int n = kCalRows;
    // Second derivatives s[1 .. n-2] from the tridiagonal system
    // h0 s[i-1] + 2 (h0 + h1) s[i] + h1 s[i+1] = 6 (dy1/h1 - dy0/h0), s[0] = s[n-1] = 0.
    double diag[kCalRows] = {0.0}, rhs[kCalRows] = {0.0}, s[kCalRows] = {0.0};
    for (int i = 1; i < n - 1; ++i) {
        double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
        diag[i] = 2.0 * (h0 + h1);
        rhs[i] = 6.0 * ((y[i + 1] - y[i]) / h1 - (y[i] - y[i - 1]) / h0);
        if (i > 1) { // eliminate the sub-diagonal h0 with the previous row
            double w = h0 / diag[i - 1];
            diag[i] -= w * (x[i] - x[i - 1]);
            rhs[i] -= w * rhs[i - 1];
        }
    }
    for (int i = n - 2; i >= 1; --i)
        s[i] = (rhs[i] - (x[i + 1] - x[i]) * s[i + 1]) / diag[i];
    int seg = 0;
    while (seg < n - 2 && xv > x[seg + 1])
        ++seg;
    double h = x[seg + 1] - x[seg];
    double A = (x[seg + 1] - xv) / h, B = (xv - x[seg]) / h;
    return A * y[seg] + B * y[seg + 1] +
           ((A * A * A - A) * s[seg] + (B * B * B - B) * s[seg + 1]) * h * h / 6.0;
}

struct BeamTable {
    float rows[SFM_BEAM_ROWS][SFM_BEAM_COLS];
    BeamTable()
    {
        double sharp[SFM_BEAM_ROWS], energy[SFM_BEAM_ROWS];
        for (int r = 0; r < SFM_BEAM_ROWS; ++r) {
            sharp[r] = solve_sharpness(row_width(r));
            energy[r] = energy_ratio(sharp[r]);
        }
        double x[kCalRows], corr[kCalRows];
        for (int i = 0; i < kCalRows; ++i) {
            x[i] = kCalRow[i];
            corr[i] = kCalValue[i] / energy[kCalRow[i]];
        }
        for (int r = 0; r < SFM_BEAM_ROWS; ++r) {
            rows[r][0] = static_cast<float>(sharp[r]);
            rows[r][1] = 1.0f;
            rows[r][2] = static_cast<float>(energy[r] * spline(x, corr, r));
            rows[r][3] = static_cast<float>(kPairCoherence);
            rows[r][4] = static_cast<float>(kPairCoherence);
        }
    }
};

} // namespace

const float (*sfm_beam_table())[SFM_BEAM_COLS]
{
    static const BeamTable table; // built once, thread-safe initialisation
    return table.rows;
}

int sfm_beam_row(float widthRad)
{
    float x = (widthRad - static_cast<float>(kMinWidth)) * static_cast<float>(kRowsPerRad);
    if (!(x > 0.0f)) // also catches NaN
        return 0;
    if (x >= static_cast<float>(SFM_BEAM_ROWS - 1)) // before the conversion: x may exceed any int
        return SFM_BEAM_ROWS - 1;
    return static_cast<int>(std::floor(x + 0.5f));
}
