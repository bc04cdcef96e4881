// sin and cos in double-double arithmetic (about 106 significant bits),
// rounded once to double at the end. Only IEEE double additions and
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

}  // namespace

SineCosine sineCosine(double theta) {
    if (theta == 0.0) return {theta, 1.0};
    if (!(std::fabs(theta) < 268435456.0)) return {std::sin(theta), std::cos(theta)};

    double k = 0.0;
    const DoubleDouble r = reduce(theta, k);
    double sinR = 0.0;
    double cosR = 0.0;
    if (!fastSineCosine(r, sinR, cosR)) {
        DoubleDouble sinSeries;
        DoubleDouble cosSeries;
        seriesSineCosine(r, sinSeries, cosSeries);
        sinR = sinSeries.hi;
        cosR = cosSeries.hi;
    }

    // The quadrant k mod 4 decides which of +-sin r, +-cos r each one is.
    switch (static_cast<long long>(k) & 3) {
        case 0: return {sinR, cosR};
        case 1: return {cosR, -sinR};
        case 2: return {-sinR, -cosR};
        default: return {-cosR, sinR};
    }
}

}  // namespace quillon
