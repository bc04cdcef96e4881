// The library's own sine and cosine: correctly rounded, so that curves have
// the same points on every platform.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

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
    EXPECT_TRUE(std::isnan(sineCosine(INFINITY).cosine));
}

}  // namespace
