// The library's own sine and cosine: correctly rounded, so that curves have
// the same points on every platform.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "elements/sine_cosine.h"

using quillon::sineCosine;

namespace {

TEST(SineCosine, QuadrantAnglesGiveTheRoundedTinyValues) {
    // The cosine of the double nearest pi/2 is that double's distance from
    // pi/2; C libraries that reduce with a short pi get it wrong.
    EXPECT_EQ(sineCosine(1.5707963267948966).cosine, 6.123233995736766e-17);
    EXPECT_EQ(sineCosine(1.5707963267948966).sine, 1.0);
    EXPECT_EQ(sineCosine(3.141592653589793).sine, 1.2246467991473532e-16);
    EXPECT_EQ(sineCosine(3.141592653589793).cosine, -1.0);
    EXPECT_EQ(sineCosine(4.71238898038469).cosine, -1.8369701987210297e-16);
    EXPECT_EQ(sineCosine(6.283185307179586).sine, -2.4492935982947064e-16);
}

TEST(SineCosine, ZeroAndTinyAngles) {
    EXPECT_EQ(sineCosine(0.0).sine, 0.0);
    EXPECT_EQ(sineCosine(0.0).cosine, 1.0);
    EXPECT_TRUE(std::signbit(sineCosine(-0.0).sine));
    EXPECT_EQ(sineCosine(1e-300).sine, 1e-300);
    EXPECT_EQ(sineCosine(1e-300).cosine, 1.0);
}

TEST(SineCosine, NearHalfwayCasesRoundToNearest) {
    // sin(0.16110731556870733) = 0.1604112808577602271466...: the double
    // below is nearer than the one above, which some C libraries return.
    EXPECT_EQ(sineCosine(0.16110731556870733).sine, 0.16041128085776021);
    EXPECT_EQ(sineCosine(3.9269908169872494).sine, -0.70710678118655312);
}

// Wherever the result differs from the C library's, it must be the nearer of
// the two to the true value (judged in long double, 11 more bits).
TEST(SineCosine, NeverLessAccurateThanTheCLibrary) {
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> angle(-50.0, 50.0);
    int differences = 0;
    for (int i = 0; i < 500000; ++i) {
        const double theta = i % 4 == 0 ? std::ldexp(angle(random), -(i % 50)) : angle(random);
        const auto sc = sineCosine(theta);
        const long double trueSine = sinl(theta);
        const long double trueCosine = cosl(theta);
        if (sc.sine != std::sin(theta)) {
            ++differences;
            ASSERT_LE(fabsl(sc.sine - trueSine), fabsl(std::sin(theta) - trueSine)) << theta;
        }
        if (sc.cosine != std::cos(theta)) {
            ++differences;
            ASSERT_LE(fabsl(sc.cosine - trueCosine), fabsl(std::cos(theta) - trueCosine)) << theta;
        }
        ASSERT_LE(fabsl(sc.sine - trueSine), std::ldexp(1.0L, -53)) << theta;
        ASSERT_LE(fabsl(sc.cosine - trueCosine), std::ldexp(1.0L, -53)) << theta;
    }
    // Differences are the C library's rare misroundings, not a pattern.
    EXPECT_LT(differences, 2000);
}

TEST(SineCosine, LargeAndNonFiniteAngles) {
    EXPECT_DOUBLE_EQ(sineCosine(1e6).sine, std::sin(1e6));
    EXPECT_TRUE(std::isnan(sineCosine(NAN).sine));
    EXPECT_TRUE(std::isnan(sineCosine(NAN).cosine));
    EXPECT_TRUE(std::isnan(sineCosine(INFINITY).cosine));
    EXPECT_TRUE(std::isnan(sineCosine(-INFINITY).sine));
    quillon::SineCosineEstimate e{};
    EXPECT_FALSE(quillon::estimateSineCosine(NAN, e));
    EXPECT_FALSE(quillon::estimateSineCosine(INFINITY, e));
    EXPECT_FALSE(quillon::estimateSineCosine(65536.5, e));
    EXPECT_TRUE(quillon::estimateSineCosine(-65536.0, e));
}

// Correctly rounded sin and cos of angles from 2^28 to the largest double,
// computed with Python's mpmath at 2,400 bits when this table was made
// (mp.prec = 2400; float(mpmath.sin(mpf(a))).hex()). Among them the double
// nearest a multiple of pi/2 of all (6381956970095103 * 2^797), whose cosine
// is below 2^-60.
TEST(SineCosine, HugeAnglesMatchAHighPrecisionComputation) {
    struct Case {
        double theta, sine, cosine;
    };
    const Case cases[] = {
    {0x1.0000000000000p+28, -0x1.f8eef8d66d4eap-1, -0x1.5315d441272dep-3},
    {0x1.0000001000000p+28, -0x1.58263a7d63adcp-1, 0x1.7b15b165a9836p-1},
    {0x1.dcd6500400000p+29, 0x1.c2eead24b46f4p-1, 0x1.e4fda92f2f1dcp-2},
    {0x1.2a05f20000000p+33, -0x1.f334c7896a4e3p-2, 0x1.bf098901c931ap-1},
    {0x1.cbe991a145852p+36, -0x1.a7b937381844cp-2, -0x1.d21c2dac33789p-1},
    {0x1.0000000000001p+52, 0x1.053c35068e10dp-4, -0x1.fef526a39c993p-1},
    {0x1.c6bf526340000p+49, 0x1.b76f88136cebap-1, -0x1.06c154609d33fp-1},
    {0x1.6345785d8a000p+56, -0x1.dbadc7a119fc8p-2, -0x1.c567c5278afcbp-1},
    {0x1.0f0cf064dd592p+73, -0x1.b453ab76bf397p-1, 0x1.0be2cef01c8f4p-1},
    {0x1.f2a353f47450dp+99, -0x1.ef346d3b271ffp-1, 0x1.041fec03cf9e3p-2},
    {0x1.249ad2594c37dp+332, -0x1.85c5e5b929359p-2, 0x1.d9757496841f5p-1},
    {0x1.4e718d7d7625ap+664, -0x1.49b644938c64cp-1, 0x1.87b4df51f679ep-1},
    {0x1.7e43c8800759cp+996, -0x1.a2c16b010e385p-1, -0x1.2699022adc4c1p-1},
    {0x1.fffffffffffffp+1023, 0x1.452fc98b34e97p-8, -0x1.fffe62ecfab75p-1},
    {0x1.6ac5b262ca1ffp+849, 0x1.0000000000000p+0, -0x1.14ae72e6ba22fp-61},
    {0x1.0000000000000p+1023, 0x1.205248cbdb760p-1, -0x1.a719f26c232bfp-1},
    {-0x1.0f0cf064dd592p+73, 0x1.b453ab76bf397p-1, 0x1.0be2cef01c8f4p-1},
    {-0x1.0000000000000p+60, 0x1.a94adab06665cp-1, -0x1.1d146047d6947p-1},
    {-0x1.6ac5b262ca1ffp+849, -0x1.0000000000000p+0, -0x1.14ae72e6ba22fp-61},
    {-0x1.3b3a7a260a9f4p+958, -0x1.e42ae39d3fd7fp-1, 0x1.4d05744466a13p-2},
    {0x1.fffffffffffffp+27, -0x1.f8eef8ac0a93ep-1, -0x1.5315d833051f6p-3},
    {0x1.2b9af98000000p+30, 0x1.a3ca05b8ba17fp-2, 0x1.d2ffcc98f33f8p-1},
    };
    for (const Case& c : cases) {
        const auto sc = sineCosine(c.theta);
        EXPECT_EQ(sc.sine, c.sine) << std::hexfloat << c.theta;
        EXPECT_EQ(sc.cosine, c.cosine) << std::hexfloat << c.theta;
    }
    EXPECT_EQ(sineCosine(DBL_MAX).sine, sineCosine(-DBL_MAX).sine * -1);
}

// The reduction of large angles (integer arithmetic with 2/pi) must agree
// with the one of smaller angles (pi/2 in four doubles) wherever both apply.
TEST(SineCosine, TheTwoReductionsAgree) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> exponent(0.0, 28.0);
#ifdef NDEBUG
    const int count = 200000;
#else
    const int count = 20000;
#endif
    for (int i = 0; i < count; ++i) {
        double theta = std::exp2(exponent(random));
        if (i % 2) theta = -theta;
        if (i % 5 == 0) theta = std::nearbyint(theta / 1.5707963267948966) * 1.5707963267948966;
        if (theta == 0.0) continue;
        const auto wide = quillon::detail::sineCosineByWideReduction(theta);
        const auto usual = sineCosine(theta);
        ASSERT_EQ(wide.sine, usual.sine) << std::hexfloat << theta;
        ASSERT_EQ(wide.cosine, usual.cosine) << std::hexfloat << theta;
    }
}

// The estimate's bound must hold for what sineCosine() returns, for the
// angles a curve meets: random angles, radians of degrees, the steps of
// every point count, and angles next to multiples of pi/32 (where the
// reduction cancels) and of pi/2 (where a value is exactly +-1). The bound
// used is four times the proven one: the errors seen must stay within the
// proven one, 2^-49 relative plus 2^-100.
struct Checked {
    double maxRelative = 0;
    long exactOnes = 0;
};

void checkEstimate(double theta, Checked& seen) {
    quillon::SineCosineEstimate e{};
    ASSERT_TRUE(quillon::estimateSineCosine(theta, e)) << theta;
    const auto sc = sineCosine(theta);
    const double pairs[2][3] = {{e.sine, e.sineError, sc.sine},
                                {e.cosine, e.cosineError, sc.cosine}};
    for (const auto& p : pairs) {
        const double off = std::fabs(p[2] - p[0]);
        ASSERT_LE(off, p[1]) << std::hexfloat << theta << " " << p[0] << " " << p[2];
        if (p[1] == 0.0) {
            ++seen.exactOnes;
            ASSERT_EQ(std::fabs(p[0]), 1.0) << theta;
        } else if (off > 0x1p-100) {
            seen.maxRelative = std::max(seen.maxRelative, off / std::fabs(p[0]));
        }
    }
}

TEST(SineCosine, EstimateBoundHoldsForTenMillionAngles) {
#ifdef NDEBUG
    const int count = 10000000;
#else
    const int count = 400000;  // the Debug and sanitizer builds are slower
#endif
    std::mt19937_64 random(2024);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    Checked seen;
    for (int i = 0; i < count; ++i) {
        double theta = 0;
        switch (i % 5) {
            case 0: theta = 4 * 3.141592653589793 * unit(random); break;
            case 1: theta = (720 * unit(random)) * 0.017453292519943295; break;
            case 2: theta = 65536 * unit(random); break;
            case 3: {  // next to j pi/32
                const double j = std::nearbyint(400 * unit(random));
                theta = j * 0.09817477042468103 +
                        std::ldexp(unit(random), -static_cast<int>(random() % 60));
                break;
            }
            default: {  // a point of a circle, angle by repeated addition
                const int n = 3 + static_cast<int>(random() % 197);
                const int point = static_cast<int>(random() % n);
                theta = 0;
                for (int p = 0; p < point; ++p) theta += 6.283185307179586 / n;
            }
        }
        checkEstimate(theta, seen);
        if (HasFatalFailure()) return;
    }
    EXPECT_LE(seen.maxRelative, 0x1p-49);
    EXPECT_GT(seen.maxRelative, 0x1p-56);  // the check saw real errors
    EXPECT_GT(seen.exactOnes, 0);
}

// The curve code estimates two angles at a time: each of the pair must be
// the scalar estimate bit for bit (values and bounds), so that the proof and
// the checks above carry over. Angles of every kind the curves meet, either
// order within the pair, the exact multiples of pi/2 and both range ends.
TEST(SineCosine, PairedEstimateIsTheScalarOneBitForBit) {
#ifdef NDEBUG
    const int count = 10000000;
#else
    const int count = 400000;
#endif
    std::mt19937_64 random(77);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const double fixed[] = {0.0, -0.0, 1.5707963267948966, 3.141592653589793,
                            -3.141592653589793, 4.71238898038469, 6.283185307179586,
                            65536.0, -65536.0, 0x1p-1074, 1e-300};
    std::vector<double> angles(std::begin(fixed), std::end(fixed));
    while (static_cast<int>(angles.size()) < count) {
        switch (angles.size() % 4) {
            case 0: angles.push_back(4 * 3.141592653589793 * unit(random)); break;
            case 1: angles.push_back(65536 * unit(random)); break;
            case 2:
                angles.push_back(std::nearbyint(400 * unit(random)) * 0.09817477042468103 +
                                 std::ldexp(unit(random), -static_cast<int>(random() % 60)));
                break;
            default: {
                const int n = 3 + static_cast<int>(random() % 197);
                double theta = 0;
                for (int p = static_cast<int>(random() % n); p > 0; --p)
                    theta += 6.283185307179586 / n;
                angles.push_back(theta);
            }
        }
    }
    long exactOnes = 0;
    for (std::size_t i = 0; i + 1 < angles.size(); ++i) {
        quillon::SineCosineEstimate pair[2];
        quillon::estimateInRangePair(&angles[i], pair);
        for (int l = 0; l < 2; ++l) {
            const quillon::SineCosineEstimate alone = quillon::estimateInRange(angles[i + l]);
            ASSERT_EQ(std::memcmp(&alone, &pair[l], sizeof alone), 0)
                << std::hexfloat << angles[i + l];
            exactOnes += pair[l].sineError == 0.0 || pair[l].cosineError == 0.0;
        }
    }
    EXPECT_GT(exactOnes, 0);  // the exact +-1 of point 5 was selected in pairs too
}

// A coordinate the estimate decides is the one the correctly rounded value
// gives; the ones left undecided are few. Centres and radii over the whole
// 32-bit range, and the curves of the Windows comparison, whose angles the
// C libraries round differently.
TEST(SineCosine, DecidedCoordinatesAreTheCorrectlyRoundedOnes) {
    std::mt19937_64 random(99);
    std::uniform_int_distribution<std::int32_t> any(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<std::int32_t> small(-100000, 100000);
    long decided = 0;
    long undecided = 0;
    const auto check = [&](double theta, std::int32_t cx, std::int32_t cy, std::int32_t r) {
        quillon::SineCosineEstimate e{};
        if (!quillon::estimateSineCosine(theta, e)) return;
        const auto sc = sineCosine(theta);
        const double coordinates[2][3] = {{double(cx), e.cosine, e.cosineError},
                                          {double(cy), e.sine, e.sineError}};
        const double exact[2] = {cx + r * sc.cosine, cy + r * sc.sine};
        for (int k = 0; k < 2; ++k) {
            double at = 0;
            if (quillon::certainCoordinate(coordinates[k][0], r, coordinates[k][1],
                                           coordinates[k][2], at)) {
                ++decided;
                ASSERT_EQ(std::trunc(at), std::trunc(exact[k])) << theta << " " << cx << " " << r;
            } else {
                ++undecided;
            }
        }
    };
    // The curves of tests/windows/host.c.
    for (int count = 3; count <= 199; ++count) {
        double theta = 0;
        for (int i = 0; i < count; ++i, theta += 6.283185307179586 / count)
            check(theta, 12345, -50000, 1999999);
        const double start = -45.0 * 0.017453292519943295;
        const double step = ((315.0 + count) * 0.017453292519943295 - start) / count;
        theta = start;
        for (int i = 0; i < count; ++i, theta += step) check(theta, -1000, 1000000, 987654);
    }
    for (int i = 0; i < 4; ++i) {
        check(i * (6.283185307179586 / 4), -50000, 0, 59413);
        check(i * (6.283185307179586 / 4), 1000000, 0, 316868);
    }
    double theta = 0;
    for (int i = 1; i < 8; ++i, theta += ((360.0 * 3.141592653589793) / 8) * 0.005555555555555556)
        check(theta, -50000, 0, 59413);
    // Random circles, and the extremes.
#ifdef NDEBUG
    const int count = 1000000;
#else
    const int count = 50000;
#endif
    std::uniform_real_distribution<double> angle(-20.0, 20.0);
    for (int i = 0; i < count; ++i) {
        const bool wide = i % 2 == 0;
        check(angle(random), wide ? any(random) : small(random), wide ? any(random) : small(random),
              wide ? any(random) : small(random));
        if (HasFatalFailure()) return;
    }
    check(1.0, INT32_MIN, INT32_MAX, INT32_MIN);
    check(-1.0, INT32_MAX, INT32_MIN, INT32_MAX);
    EXPECT_LT(undecided, decided / 1000);
}

}  // namespace
