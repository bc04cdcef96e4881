// Sine and cosine computed by the library itself, so that a curve has the
// same points on every platform: the C libraries of Linux and Windows round
// some angles differently, and one unit in the last place is enough to move
// a truncated coordinate.
#pragma once

namespace quillon {

struct SineCosine {
    double sine;
    double cosine;
};

// sin(theta) and cos(theta), correctly rounded but for inputs closer to a
// rounding boundary than about 2^-100. For |theta| >= 2^28 (an angle of no
// use to a curve) the C library's functions answer instead.
SineCosine sineCosine(double theta);

}  // namespace quillon
