// sin and cos in double-double arithmetic (about 106 significant bits),
// rounded once to double at the end. Angles of 2^28 or more are reduced in
// integer arithmetic with 1,280 bits of 2/pi. Only IEEE double additions and
// multiplications are used, with no fused multiply-add, so the result is the
// same wherever the library is built.
#include "sine_cosine.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace quillon {

namespace {

// An unevaluated sum hi + lo with |lo| <= ulp(hi) / 2.
struct DoubleDouble {
    double hi;
    double lo;
};

DoubleDouble twoSum(double a, double b) {
    const double sum = a + b;
    const double bPart = sum - a;
    return {sum, (a - (sum - bPart)) + (b - bPart)};
}

DoubleDouble quickTwoSum(double a, double b) {  // |a| >= |b|
    const double sum = a + b;
    return {sum, b - (sum - a)};
}

// The exact product a * b as hi + lo (Dekker's splitting).
DoubleDouble twoProduct(double a, double b) {
    constexpr double splitter = 134217729.0;  // 2^27 + 1
    const double product = a * b;
    const double ta = splitter * a;
    const double aHi = ta - (ta - a);
    const double aLo = a - aHi;
    const double tb = splitter * b;
    const double bHi = tb - (tb - b);
    const double bLo = b - bHi;
    return {product, ((aHi * bHi - product) + aHi * bLo + aLo * bHi) + aLo * bLo};
}

DoubleDouble add(DoubleDouble a, DoubleDouble b) {
    DoubleDouble sum = twoSum(a.hi, b.hi);
    const DoubleDouble low = twoSum(a.lo, b.lo);
    sum = quickTwoSum(sum.hi, sum.lo + low.hi);
    return quickTwoSum(sum.hi, sum.lo + low.lo);
}

DoubleDouble multiply(DoubleDouble a, DoubleDouble b) {
    const DoubleDouble product = twoProduct(a.hi, b.hi);
    return quickTwoSum(product.hi, product.lo + (a.hi * b.lo + a.lo * b.hi));
}

DoubleDouble negate(DoubleDouble a) { return {-a.hi, -a.lo}; }

// pi / 2 as the sum of four doubles, 212 bits in all.
constexpr double halfPi1 = 1.5707963267948966;
constexpr double halfPi2 = 6.123233995736766e-17;
constexpr double halfPi3 = -1.4973849048591698e-33;
constexpr double halfPi4 = 5.562271104316826e-50;
constexpr double twoOverPi = 0.6366197723675814;

// Taylor coefficients: sine[m] = (-1)^m / (2m + 1)!, cosine[m] = (-1)^m /
// (2m)!, as double-doubles. Terms from doubleTerms on are small enough to be
// summed in plain double without touching the 106-bit result.
constexpr int termCount = 15;
constexpr int doubleTerms = 8;

struct Coefficients {
    DoubleDouble sine[termCount];
    DoubleDouble cosine[termCount];
};

// c / n for a small integer n, to double-double accuracy.
DoubleDouble divide(DoubleDouble c, double n) {
    const double quotient = c.hi / n;
    const DoubleDouble product = twoProduct(quotient, n);
    const double remainder = ((c.hi - product.hi) - product.lo + c.lo) / n;
    return quickTwoSum(quotient, remainder);
}

const Coefficients& coefficients() {
    static const Coefficients table = [] {
        Coefficients made{};
        DoubleDouble reciprocalFactorial{1.0, 0.0};  // 1 / k!
        for (int k = 1; k <= 2 * termCount; ++k) {
            reciprocalFactorial = divide(reciprocalFactorial, k);
            const int m = (k - 1) / 2;
            const DoubleDouble signed_ = (m % 2 == 0) ? reciprocalFactorial
                                                      : negate(reciprocalFactorial);
            if (k % 2 == 1) made.sine[(k - 1) / 2] = k == 1 ? DoubleDouble{1.0, 0.0} : signed_;
        }
        reciprocalFactorial = {1.0, 0.0};
        made.cosine[0] = {1.0, 0.0};
        for (int k = 1; k < 2 * termCount; ++k) {
            reciprocalFactorial = divide(reciprocalFactorial, k);
            if (k % 2 == 0) {
                const int m = k / 2;
                made.cosine[m] = (m % 2 == 0) ? reciprocalFactorial : negate(reciprocalFactorial);
            }
        }
        return made;
    }();
    return table;
}

// sum over m of c[m] * z^m by Horner's rule: the small high terms in
// double, the leading ones in double-double.
DoubleDouble series(const DoubleDouble (&c)[termCount], DoubleDouble z) {
    double tail = 0.0;
    for (int m = termCount - 1; m >= doubleTerms; --m) tail = tail * z.hi + c[m].hi;
    DoubleDouble sum{tail, 0.0};
    for (int m = doubleTerms - 1; m >= 0; --m) sum = add(multiply(sum, z), c[m]);
    return sum;
}

// theta = k * pi/2 + r with |r| <= pi/4 (and a hair); k * halfPi1 is close
// enough to theta that theta minus it is exact.
DoubleDouble reduce(double theta, double& k) {
    // Rounded half away from zero by a cast, which every platform does alike.
    const double scaled = theta * twoOverPi;
    k = static_cast<double>(static_cast<std::int64_t>(scaled + (scaled < 0 ? -0.5 : 0.5)));
    if (k == 0.0) return {theta, 0.0};
    const DoubleDouble p1 = twoProduct(k, halfPi1);
    DoubleDouble r = add({theta - p1.hi, 0.0}, {-p1.lo, 0.0});
    r = add(r, negate(twoProduct(k, halfPi2)));
    r = add(r, negate(twoProduct(k, halfPi3)));
    return add(r, {-k * halfPi4, 0.0});
}

// sin r and cos r for |r| <= pi/4 + a hair, to about 106 bits, by series.
void seriesSineCosine(DoubleDouble r, DoubleDouble& sinR, DoubleDouble& cosR) {
    const Coefficients& c = coefficients();
    const DoubleDouble z = multiply(r, r);
    sinR = multiply(r, series(c.sine, z));
    cosR = series(c.cosine, z);
}

// sin and cos at a = i / 128 for i = 0 to tableSize - 1, as double-doubles:
// a fast evaluation needs only a short series around the nearest of them.
constexpr int tableSize = 102;  // covers [0, pi/4 + 1/256]
constexpr double tableStep = 1.0 / 128;

struct Table {
    DoubleDouble sine[tableSize];
    DoubleDouble cosine[tableSize];
};

const Table& table() {
    static const Table made = [] {
        Table t{};
        for (int i = 0; i < tableSize; ++i)
            seriesSineCosine({i * tableStep, 0.0}, t.sine[i], t.cosine[i]);
        return t;
    }();
    return made;
}

// Whether value + residual, known to within bound, rounds to value: the
// residual keeps clear of half the smaller gap next to value.
bool roundsTo(double value, double residual, double bound) {
    // The double next to |value| toward zero has the bit pattern one below.
    std::uint64_t bits;
    const double magnitude = std::fabs(value);
    if (magnitude == 0.0) return false;
    std::memcpy(&bits, &magnitude, sizeof bits);
    --bits;
    double below;
    std::memcpy(&below, &bits, sizeof below);
    const double halfGap = (magnitude - below) / 2;
    return std::fabs(residual) + bound < halfGap;
}

// sin r and cos r rounded to double from the table and a short series;
// false when either lies too close to a rounding boundary for this
// evaluation's error (about 2^-66 relative) to decide.
bool fastSineCosine(DoubleDouble r, double& sinR, double& cosR) {
    const bool negative = r.hi < 0;
    if (negative) r = negate(r);
    const int i = static_cast<int>(r.hi * 128 + 0.5);
    if (i >= tableSize) return false;
    const Table& tab = table();
    const DoubleDouble s = tab.sine[i];
    const DoubleDouble c = tab.cosine[i];

    // r = a + t, |t| <= 1/256; a is exact and close to r, so t.hi is exact.
    const double t = r.hi - i * tableStep;
    const double t2 = t * t;
    // sin t = t + ds and cos t = 1 + dc; every term left out is below
    // 2^-78 relative to the result.
    const double ds = r.lo - t * t2 * (1.0 / 6 - t2 * (1.0 / 120 - t2 * (1.0 / 5040)));
    const double dc = -t * r.lo - t2 * (0.5 - t2 * (1.0 / 24 - t2 * (1.0 / 720)));

    constexpr double relativeBound = 0x1p-62;
    // sin(a + t) = sin a cos t + cos a sin t
    const DoubleDouble ct = twoProduct(c.hi, t);
    const DoubleDouble sinHead = twoSum(s.hi, ct.hi);
    const double sinRest = sinHead.lo + s.lo + ct.lo + c.lo * t + s.hi * dc + c.hi * ds;
    const DoubleDouble sinSum = quickTwoSum(sinHead.hi, sinRest);
    // cos(a + t) = cos a cos t - sin a sin t
    const DoubleDouble st = twoProduct(s.hi, t);
    const DoubleDouble cosHead = twoSum(c.hi, -st.hi);
    const double cosRest = cosHead.lo + c.lo - st.lo - s.lo * t + c.hi * dc - s.hi * ds;
    const DoubleDouble cosSum = quickTwoSum(cosHead.hi, cosRest);

    if (!roundsTo(sinSum.hi, sinSum.lo, relativeBound * std::fabs(sinSum.hi)) ||
        !roundsTo(cosSum.hi, cosSum.lo, relativeBound * std::fabs(cosSum.hi)))
        return false;
    sinR = negative ? -sinSum.hi : sinSum.hi;
    cosR = cosSum.hi;
    return true;
}

// 2/pi to 1,280 bits: 2/pi = sum of twoOverPiWords[j] * 2^(-32 (j + 1)),
// the rest below 2^-1280.
constexpr std::uint32_t twoOverPiWords[40] = {
    0xa2f9836e, 0x4e441529, 0xfc2757d1, 0xf534ddc0, 0xdb629599, 0x3c439041,
    0xfe5163ab, 0xdebbc561, 0xb7246e3a, 0x424dd2e0, 0x06492eea, 0x09d1921c,
    0xfe1deb1c, 0xb129a73e, 0xe88235f5, 0x2ebb4484, 0xe99c7026, 0xb45f7e41,
    0x3991d639, 0x835339f4, 0x9c845f8b, 0xbdf9283b, 0x1ff897ff, 0xde05980f,
    0xef2f118b, 0x5a0a6d1f, 0x6d367ecf, 0x27cb09b7, 0x4f463f66, 0x9e5fea2d,
    0x7527bac7, 0xebe5f17b, 0x3d0739f7, 0x8a5292ea, 0x6bfb5fb1, 0x1f8d5d08,
    0x56033046, 0xfc7b6bab, 0xf0cfbc20, 0x9af4361d,
};

// Bits low to low + count - 1 (count <= 53) of the 320-bit integer in limbs
// (least significant first); bits below 0 read as 0.
std::uint64_t bitsOf(const std::uint32_t (&limbs)[10], int low, int count) {
    std::uint64_t result = 0;
    for (int b = low + count - 1; b >= low; --b) {
        const std::uint64_t bit = b < 0 ? 0 : (limbs[b / 32] >> (b % 32)) & 1u;
        result = (result << 1) | bit;
    }
    return result;
}

// x = k * pi/2 + r, |r| <= pi/4, for finite x >= 1, in integer arithmetic
// (Payne and Hanek's method): x = m * 2^e with m an integer of 53 bits, and
// x * 2/pi mod 4 needs only the bits of 2/pi from 2^(1-e) on, since the ones
// before contribute multiples of 4. Eight words of them from word j0 times m
// give P, and x * 2/pi = P / 2^shift (mod 4), shift = 32 (j0 + 8) - e, which
// lies between 223 and 308; the words left out after them add less than
// 2^(53 - shift) <= 2^-170. A double lies no closer than 2^-62 to a multiple
// of pi/2 in units of pi/2, so the fraction keeps more than 106 good bits,
// and r is good to about 2^-104 relative.
DoubleDouble reduceWide(double x, int& quadrant) {
    int exponent = 0;
    const double mantissa = std::frexp(x, &exponent);  // x = mantissa * 2^exponent
    const auto m = static_cast<std::uint64_t>(std::ldexp(mantissa, 53));
    const int e = exponent - 53;
    const int j0 = e >= 2 ? (e - 2) / 32 : 0;
    const int shift = 32 * (j0 + 8) - e;

    // P = window * m, window = words j0 to j0 + 7 as one 256-bit integer.
    std::uint32_t limbs[10] = {};
    const std::uint32_t mParts[2] = {static_cast<std::uint32_t>(m),
                                     static_cast<std::uint32_t>(m >> 32)};
    for (int b = 0; b < 2; ++b) {
        std::uint64_t carry = 0;
        for (int i = 0; i < 8; ++i) {
            const std::uint64_t word = twoOverPiWords[j0 + 7 - i];
            const std::uint64_t cur = word * mParts[b] + limbs[i + b] + carry;
            limbs[i + b] = static_cast<std::uint32_t>(cur);
            carry = cur >> 32;
        }
        limbs[8 + b] = static_cast<std::uint32_t>(carry);
    }

    // Integer part mod 4 and the fraction, rounded to the nearest integer:
    // a fraction of 1/2 or more becomes fraction - 1.
    int k = static_cast<int>(bitsOf(limbs, shift, 2));
    const bool roundUp = bitsOf(limbs, shift - 1, 1) != 0;
    std::uint32_t fraction[10] = {};
    for (int i = 0; i < 10; ++i) {
        const int below = shift - 32 * i;  // bits of limb i inside the fraction
        if (below <= 0) break;
        fraction[i] = below >= 32 ? limbs[i] : limbs[i] & ((1u << below) - 1u);
    }
    if (roundUp) {
        k += 1;
        // |fraction - 1| = 2^shift - fraction: two's complement within shift bits.
        std::uint64_t borrow = 1;
        for (int i = 0; i < 10; ++i) {
            const std::uint64_t cur = static_cast<std::uint64_t>(~fraction[i]) + borrow;
            fraction[i] = static_cast<std::uint32_t>(cur);
            borrow = cur >> 32;
        }
        for (int i = 0; i < 10; ++i) {
            const int below = shift - 32 * i;
            if (below <= 0) fraction[i] = 0;
            else if (below < 32) fraction[i] &= (1u << below) - 1u;
        }
    }
    quadrant = k & 3;

    int top = -1;
    for (int i = 9; i >= 0 && top < 0; --i)
        for (int b = 31; b >= 0; --b)
            if ((fraction[i] >> b) & 1u) {
                top = 32 * i + b;
                break;
            }
    if (top < 0) return {0.0, 0.0};
    const double hi = std::ldexp(static_cast<double>(bitsOf(fraction, top - 52, 53)),
                                 top - 52 - shift);
    const double lo = std::ldexp(static_cast<double>(bitsOf(fraction, top - 105, 53)),
                                 top - 105 - shift);
    DoubleDouble r = multiply(quickTwoSum(hi, lo), {halfPi1, halfPi2});
    return roundUp ? negate(r) : r;
}

// sin r and cos r of the reduced angle, turned to the quadrant.
SineCosine inQuadrant(DoubleDouble r, int quadrant) {
    double sinR = 0.0;
    double cosR = 0.0;
    if (!fastSineCosine(r, sinR, cosR)) {
        DoubleDouble sinSeries;
        DoubleDouble cosSeries;
        seriesSineCosine(r, sinSeries, cosSeries);
        sinR = sinSeries.hi;
        cosR = cosSeries.hi;
    }
    switch (quadrant & 3) {
        case 0: return {sinR, cosR};
        case 1: return {cosR, -sinR};
        case 2: return {-sinR, -cosR};
        default: return {-cosR, sinR};
    }
}

}  // namespace

namespace detail {

SineCosine sineCosineByWideReduction(double theta) {
    int quadrant = 0;
    const DoubleDouble r = reduceWide(std::fabs(theta), quadrant);
    SineCosine sc = inQuadrant(r, quadrant);
    if (theta < 0) sc.sine = -sc.sine;
    return sc;
}

}  // namespace detail

SineCosine sineCosine(double theta) {
    if (theta == 0.0) return {theta, 1.0};
    if (!std::isfinite(theta)) {
        const double nan = theta - theta;
        return {nan, nan};
    }
    if (!(std::fabs(theta) < 268435456.0)) return detail::sineCosineByWideReduction(theta);

    double k = 0.0;
    const DoubleDouble r = reduce(theta, k);
    // The quadrant k mod 4 decides which of +-sin r, +-cos r each one is.
    return inQuadrant(r, static_cast<int>(static_cast<long long>(k) & 3));
}

}  // namespace quillon
