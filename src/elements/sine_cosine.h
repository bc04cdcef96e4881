// Sine and cosine computed by the library itself, so that a curve has the
// same points on every platform: the C libraries of Linux and Windows round
// some angles differently, and one unit in the last place is enough to move
// a truncated coordinate.
//
// Two functions: sineCosine() gives the correctly rounded values, slowly
// (double-double arithmetic); estimateSineCosine() gives them to within a
// proven bound, fast. A curve point needs only its truncated coordinates, and
// the estimate's bound almost always leaves no doubt about those (see
// curves.cpp); only then does it call sineCosine().
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace quillon {

struct SineCosine {
    double sine;
    double cosine;
};

// sin(theta) and cos(theta), correctly rounded but for inputs closer to a
// rounding boundary than about 2^-100, for every finite theta (large angles
// are reduced with 1,280 bits of 2/pi). NaN and infinities give NaN.
SineCosine sineCosine(double theta);

// The value v of each of them lies within [value - error, value + error].
struct SineCosineEstimate {
    double sine;
    double sineError;
    double cosine;
    double cosineError;
};

namespace detail {

// sineCosine() with its reduction for large angles (2^28 and more), for any
// finite |theta| >= 1: the tests compare it with the other reduction.
SineCosine sineCosineByWideReduction(double theta);

// sin(j * pi / 32) for j = 0 to 16, rounded to double; 0 and 1 exact.
constexpr double eighthQuadrantSines[17] = {
    0.0,
    0x1.917a6bc29b42cp-4, 0x1.8f8b83c69a60bp-3, 0x1.294062ed59f06p-2, 0x1.87de2a6aea963p-2,
    0x1.e2b5d3806f63bp-2, 0x1.1c73b39ae68c8p-1, 0x1.44cf325091dd6p-1, 0x1.6a09e667f3bcdp-1,
    0x1.8bc806b151741p-1, 0x1.a9b66290ea1a3p-1, 0x1.c38b2f180bdb1p-1, 0x1.d906bcf328d46p-1,
    0x1.e9f4156c62ddap-1, 0x1.f6297cff75cb0p-1, 0x1.fd88da3d12526p-1, 1.0,
};

// sin(j * pi / 32) for j = 0 to 63, from the first quadrant by symmetry
// (negation is exact).
struct SineTable {
    double value[64];
};

constexpr SineTable makeSineTable() {
    SineTable t{};
    for (int j = 0; j < 64; ++j) {
        const int m = j % 32;
        const double v = eighthQuadrantSines[m <= 16 ? m : 32 - m];
        t.value[j] = j < 32 ? v : -v;
    }
    return t;
}

inline constexpr SineTable sineTable = makeSineTable();

}  // namespace detail

// Estimates of sin(theta) and cos(theta) for |theta| <= 65536, with error
// bounds that hold both for the true values and for what sineCosine()
// returns; false (and nothing set) for any other theta, NaN included.
//
// Method and proof (IEEE double, round to nearest, no fused multiply-add;
// u = 2^-53):
// 1. k = theta * 32/pi rounded to an integer, |k| < 2^20, and r = theta -
//    k * pi/32, |r| <= 0.0491. pi/32 = P1 + P2 + P3 + d with P1 and P2 of 32
//    bits and |d| < 2^-126, so k*P1 and k*P2 are exact. theta - k*P1 is
//    exact: for k != 0, |theta| > 2^-5, so theta and k*P1 are multiples of
//    2^-57 and their difference is below 2^-4. twoSum makes s + e = a - k*P2
//    exactly, and lo = e - k*P3 is rounded once: r = s + lo + eta with
//    |eta| <= 2^-106 |s| + 2^-104.
// 2. sin r = s + (s z P(z) + lo), cos r = 1 + (z Q(z) - lo s), z = s*s, P
//    and Q the Taylor series to r^9 and r^8 of (sin r - r)/r^3 and (cos r -
//    1)/r^2 (the first terms left out are below 2^-65). The Horner sums are
//    within 6u of their value, their terms at most 1/6 and 1/2 of z, so each
//    result is within 1.1u of its own magnitude plus 2^-103 (the terms in lo
//    of second order are below that).
// 3. theta = j pi/32 + r (j = k mod 64): sin = S cos r + C sin r, cos = C cos
//    r - S sin r, with S and C from the table (within u). Each product is
//    within 3.1u of its magnitude, and the sum of the two magnitudes is at
//    most 3.01 times the result's: either the terms have one sign, or S (or
//    C) is 0 and the table's other value is +-1 exactly, or the result is at
//    least sin(pi/64 - 2^-30) while the smaller term is at most |r|. With the
//    final rounding: within 10.4u = 2^-49.6 of the result, plus 2^-103.
// 4. sineCosine() is within u (1 + 2^-40) of the true value, so it is within
//    2^-49.3 |estimate| + 2^-102 of the estimate. The bound given is 2^-47
//    |estimate| + 2^-90, four times that.
// 5. When r is 0 or tiny (|s| <= 2^-27) at a multiple of pi/2 (j mod 16 =
//    0), the value that is +-cos r is +-1 exactly: cos r > 1 - 2^-54, so it
//    rounds to 1, and so does sineCosine(). Its error is then 0.
// The estimate itself, for any theta with |theta| <= 65536 (the caller
// checks); no branch, so that a loop over many angles runs without
// mispredictions and the compiler may vectorise it.
inline SineCosineEstimate estimateInRange(double theta) {
    constexpr double thirtyTwoOverPi = 0x1.45f306dc9c883p+3;
    constexpr double p1 = 0x1.921fb54400000p-4;
    constexpr double p2 = 0x1.0b4611a600000p-38;
    constexpr double p3 = 0x1.3198a2e037073p-73;
    const double scaled = theta * thirtyTwoOverPi;
    // k = scaled rounded to the nearest integer by adding and removing
    // 1.5 * 2^52 (double arithmetic, as the build makes it everywhere); the
    // low bits of the sum's pattern are k in two's complement.
    constexpr double roundingShift = 0x1.8p52;
    const double shifted = scaled + roundingShift;
    const double k = shifted - roundingShift;
    std::uint64_t shiftedBits;
    std::memcpy(&shiftedBits, &shifted, sizeof shiftedBits);
    const auto ki = static_cast<std::uint32_t>(shiftedBits);
    const double a = theta - k * p1;
    const double b = -(k * p2);
    const double s = a + b;  // twoSum(a, b) = s + e
    const double bPart = s - a;
    const double e = (a - (s - bPart)) + (b - bPart);
    const double lo = e - k * p3;

    const double z = s * s;
    const double sinPoly =
        -1.0 / 6 + z * (1.0 / 120 + z * (-1.0 / 5040 + z * (1.0 / 362880)));
    const double cosPoly =
        -0.5 + z * (1.0 / 24 + z * (-1.0 / 720 + z * (1.0 / 40320)));
    const double sinR = s + (s * z * sinPoly + lo);
    const double cosR = 1.0 + (z * cosPoly - lo * s);

    const std::uint32_t j = ki & 63u;
    const double sj = detail::sineTable.value[j];
    const double cj = detail::sineTable.value[(j + 16u) & 63u];
    SineCosineEstimate out;
    out.sine = sj * cosR + cj * sinR;
    out.cosine = cj * cosR - sj * sinR;
    constexpr double relative = 0x1p-47;
    constexpr double absolute = 0x1p-90;
    out.sineError = std::fabs(out.sine) * relative + absolute;
    out.cosineError = std::fabs(out.cosine) * relative + absolute;
    // Point 5: at a multiple of pi/2, the one of them that is +-cos r is the
    // table's +-1, exactly (selected, not branched to).
    const bool exact = (j & 15u) == 0 && std::fabs(s) <= 0x1p-27;
    const bool sineIsOne = sj != 0.0;
    out.cosine = exact && !sineIsOne ? cj : out.cosine;
    out.cosineError = exact && !sineIsOne ? 0.0 : out.cosineError;
    out.sine = exact && sineIsOne ? sj : out.sine;
    out.sineError = exact && sineIsOne ? 0.0 : out.sineError;
    return out;
}

// estimateInRange() for two angles at once, so that the curve code does
// its arithmetic two points per SSE2 instruction (about twice as fast).
// Why it is the scalar function bit for bit, so that the proof above holds
// for it unchanged: every double operation of estimateInRange() appears
// here in the same order with the same operands, only on a pair (GCC's
// vector types); an SSE2 packed addition, subtraction or multiplication
// rounds each lane exactly as the scalar instruction does (IEEE double,
// round to nearest, no fused multiply-add: the build turns contraction off),
// and every build does double arithmetic in SSE2, 32-bit x86 included
// (-mfpmath=sse). The table look-ups, the error bounds and the exact
// values of point 5 are done per lane, as scalars, by the same expressions.
// The tests compare the two on ten million angles.
inline void estimateInRangePair(const double* theta, SineCosineEstimate* out) {
    typedef double Pair __attribute__((vector_size(16)));
    constexpr double thirtyTwoOverPi = 0x1.45f306dc9c883p+3;
    constexpr double p1 = 0x1.921fb54400000p-4;
    constexpr double p2 = 0x1.0b4611a600000p-38;
    constexpr double p3 = 0x1.3198a2e037073p-73;
    constexpr double roundingShift = 0x1.8p52;
    const Pair th = {theta[0], theta[1]};
    const Pair scaled = th * thirtyTwoOverPi;
    const Pair shifted = scaled + roundingShift;
    const Pair k = shifted - roundingShift;
    std::uint64_t shiftedBits[2];
    std::memcpy(shiftedBits, &shifted, sizeof shiftedBits);
    const Pair a = th - k * p1;
    const Pair b = -(k * p2);
    const Pair s = a + b;
    const Pair bPart = s - a;
    const Pair e = (a - (s - bPart)) + (b - bPart);
    const Pair lo = e - k * p3;
    const Pair z = s * s;
    const Pair sinPoly =
        -1.0 / 6 + z * (1.0 / 120 + z * (-1.0 / 5040 + z * (1.0 / 362880)));
    const Pair cosPoly =
        -0.5 + z * (1.0 / 24 + z * (-1.0 / 720 + z * (1.0 / 40320)));
    const Pair sinR = s + (s * z * sinPoly + lo);
    const Pair cosR = 1.0 + (z * cosPoly - lo * s);
    std::uint32_t j[2];
    Pair sj;
    Pair cj;
    for (int l = 0; l < 2; ++l) {
        j[l] = static_cast<std::uint32_t>(shiftedBits[l]) & 63u;
        sj[l] = detail::sineTable.value[j[l]];
        cj[l] = detail::sineTable.value[(j[l] + 16u) & 63u];
    }
    const Pair sine = sj * cosR + cj * sinR;
    const Pair cosine = cj * cosR - sj * sinR;
    for (int l = 0; l < 2; ++l) {
        SineCosineEstimate& o = out[l];
        o.sine = sine[l];
        o.cosine = cosine[l];
        o.sineError = std::fabs(o.sine) * 0x1p-47 + 0x1p-90;
        o.cosineError = std::fabs(o.cosine) * 0x1p-47 + 0x1p-90;
        const bool exact = (j[l] & 15u) == 0 && std::fabs(s[l]) <= 0x1p-27;
        const bool sineIsOne = sj[l] != 0.0;
        o.cosine = exact && !sineIsOne ? cj[l] : o.cosine;
        o.cosineError = exact && !sineIsOne ? 0.0 : o.cosineError;
        o.sine = exact && sineIsOne ? sj[l] : o.sine;
        o.sineError = exact && sineIsOne ? 0.0 : o.sineError;
    }
}

inline bool estimateSineCosine(double theta, SineCosineEstimate& out) {
    if (!(std::fabs(theta) <= 65536.0)) return false;
    out = estimateInRange(theta);
    return true;
}

// Whether centre + radius * v, each operation rounded to double, has the
// same truncation toward zero for every v in [value - error, value + error];
// if so, at gets a value with that truncation. It is monotonic in v:
// rounding is monotonic, the product is monotonic for either sign of radius,
// and so is truncation. So when the ends of the interval (clamped to [-1, 1],
// where a sine or cosine lies) truncate alike, every v between does. The
// interval ends are rounded, but by far less than the margin in the error.
// centre and radius are 32-bit integers. certainAfter() makes the same
// test for any monotonic rounding.
template <typename Round>
inline bool certainAfter(double centre, double radius, double value, double error, Round round,
                         double& at) {
    const double below = value - error;
    const double above = value + error;
    const double low = below < -1.0 ? -1.0 : below;
    const double high = above > 1.0 ? 1.0 : above;
    const double atLow = centre + radius * low;
    const double atHigh = centre + radius * high;
    if (round(atLow) != round(atHigh)) return false;
    at = atLow;
    return true;
}

inline bool certainCoordinate(double centre, double radius, double value, double error,
                              double& at) {
    // Both ends are finite and below 2^33 in magnitude (centre and radius
    // are 32-bit integers), so the 64-bit conversion is the truncation.
    return certainAfter(centre, radius, value, error,
                        [](double v) { return static_cast<std::int64_t>(v); }, at);
}

}  // namespace quillon
