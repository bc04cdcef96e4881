// The shapes by tolerance, bent and extended paths and text polygons of the
// handle API: their points and records to the last unit.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "host.h"

using namespace host;

namespace {

using PointList = std::vector<std::pair<int, int>>;

struct Written {
    int status;
    std::string lastError;
    Bytes bytes;  // the whole file
};

// One handle writer (strict unless told), one structure, draw's calls.
Written throughHandle(const std::function<int(QuillonWriter*)>& draw, int strict = 1) {
    QuillonOptions options;
    quillon_default_options(&options);
    options.strict = strict;
    const auto path = tempPath("shapes.gds");
    QuillonWriter* w = quillon_open(path.string().c_str(), 0.001, 1e-9, &options, nullptr);
    EXPECT_NE(w, nullptr);
    quillon_begin_structure(w, "S");
    Written result{draw(w), quillon_last_error(w), {}};
    quillon_end_structure(w);
    quillon_close(w);
    result.bytes = readFile(path);
    return result;
}

// The ellipse's points as the interface defines them: the fewest chords
// (at least one per quarter turn) within tolerance of a circle of the
// larger radius, at parametric angles start + sweep * i / n, rounded to the
// nearest grid point.
PointList expectedEllipse(int cx, int cy, int rx, int ry, double start, double end,
                          double tolerance) {
    const double sweep = (end - start) * M_PI / 180;
    const bool full = std::fabs(end - start) >= 360;
    const double big = std::max(rx, ry);
    long n = std::max(1L, static_cast<long>(std::ceil(std::fabs(sweep) / (M_PI / 2) - 1e-12)));
    while (big * (1 - std::cos(std::fabs(sweep) / (2 * n))) > tolerance) ++n;
    PointList points;
    if (!full) points.push_back({cx, cy});
    for (long i = 0; i < (full ? n : n + 1); ++i) {
        const double t = start * M_PI / 180 + sweep * i / n;
        points.push_back({static_cast<int>(std::lround(cx + rx * std::cos(t))),
                          static_cast<int>(std::lround(cy + ry * std::sin(t)))});
    }
    return points;
}

struct EllipseCase {
    int cx, cy, rx, ry;
    double start, end, tolerance;
};

class Ellipses : public ::testing::TestWithParam<EllipseCase> {};

TEST_P(Ellipses, PointsAreTheFewestChordsWithinToleranceRoundedToTheGrid) {
    const EllipseCase c = GetParam();
    const Written w = throughHandle([&](QuillonWriter* h) {
        return quillon_ellipse(h, c.cx, c.cy, c.rx, c.ry, 0, 0, c.start, c.end, c.tolerance, 1,
                               0, 0, 0);
    });
    ASSERT_EQ(w.status, QUILLON_OK) << w.lastError;
    auto xy = xyRecords(w.bytes).at(0);
    xy.pop_back();  // the closing point
    EXPECT_EQ(xy, expectedEllipse(c.cx, c.cy, c.rx, c.ry, c.start, c.end, c.tolerance));
}

INSTANTIATE_TEST_SUITE_P(Table, Ellipses, ::testing::Values(
    EllipseCase{0, 0, 1000, 1000, 0, 360, 2.0},      // a circle of 50 points
    EllipseCase{-300, 700, 2000, 500, 45, 405, 5.0}, // an ellipse from 45 degrees
    EllipseCase{10, 10, 800, 800, 0, 90, 1.0},       // a quarter: both ends exact
    EllipseCase{0, 0, 600, 900, 200, -35, 0.75},     // clockwise sector
    EllipseCase{0, 0, 100, 100, 0, 360, 500.0}));    // a huge tolerance: one chord a quarter

TEST(TextPolygons, TheLetterIIsThreeRectanglesSharingTheirCorners) {
    // ".###." over five rows of "..#.." over ".###.", 10 units a pixel, from
    // the baseline's left end: the bars carry the stem's corners.
    const Written w = throughHandle(
        [](QuillonWriter* h) { return quillon_text_polygons(h, "I", 0, 0, 70, 8, 0.0, 9, 3); });
    ASSERT_EQ(w.status, QUILLON_OK) << w.lastError;
    const auto xy = xyRecords(w.bytes);
    ASSERT_EQ(xy.size(), 3u);
    EXPECT_EQ(xy[0], (PointList{{10, 60}, {20, 60}, {30, 60}, {40, 60}, {40, 70}, {10, 70},
                                {10, 60}}));
    EXPECT_EQ(xy[1], (PointList{{20, 10}, {30, 10}, {30, 60}, {20, 60}, {20, 10}}));
    EXPECT_EQ(xy[2], (PointList{{10, 0}, {40, 0}, {40, 10}, {30, 10}, {20, 10}, {10, 10},
                                {10, 0}}));
    // Each a BOUNDARY on layer 9, data type 3 (compact: no ELFLAGS, no PLEX).
    EXPECT_NE(toHex(w.bytes).find(toHex(hex("00 04 08 00 00 06 0D 02 00 09 00 06 0E 02 00 03"
                                            "00 3C 10 03"))),
              std::string::npos);
}

TEST(PathEx, ExplicitExtensionsAreTypeFourWithBgnextnAndEndextn) {
    const int xs[] = {0, 1000};
    const int ys[] = {0, 0};
    const Written w = throughHandle([&](QuillonWriter* h) {
        return quillon_path_ex(h, xs, ys, 2, 20, 4, 7, -3, 0, 0.0, 1, 0, 0, 0);
    });
    ASSERT_EQ(w.status, QUILLON_OK) << w.lastError;
    EXPECT_NE(toHex(w.bytes).find(toHex(hex("00 06 21 02 00 04 00 08 0F 03" + int4s({20}) +
                                            "00 08 30 03" + int4s({7}) + "00 08 31 03" +
                                            int4s({-3}) + "00 14 10 03" +
                                            int4s({0, 0, 1000, 0})))),
              std::string::npos);
}

struct Refusal {
    const char* what;
    std::function<int(QuillonWriter*)> call;
    int status;
    const char* message;
};

const int cornerXs[] = {0, 1000, 1000};
const int cornerYs[] = {0, 0, 1000};

class Refusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refusals, NameTheirReasonAndWriteNothing) {
    const Refusal& r = GetParam();
    const Written w = throughHandle(r.call);
    EXPECT_EQ(w.status, r.status) << r.what;
    EXPECT_EQ(w.lastError, r.message) << r.what;
    EXPECT_TRUE(xyRecords(w.bytes).empty()) << r.what;
}

INSTANTIATE_TEST_SUITE_P(Table, Refusals, ::testing::Values(
    Refusal{"bend too large", [](QuillonWriter* h) {
        return quillon_path_ex(h, cornerXs, cornerYs, 3, 10, 0, 0, 0, 1001, 1.0, 1, 0, 0, 0);
    }, QUILLON_ERROR_ARGUMENT, "Error: Path segments too short for the bend radius."},
    Refusal{"reversal", [](QuillonWriter* h) {
        const int xs[] = {0, 1000, 0};
        const int ys[] = {0, 0, 0};
        return quillon_path_ex(h, xs, ys, 3, 10, 0, 0, 0, 10, 1.0, 1, 0, 0, 0);
    }, QUILLON_ERROR_ARGUMENT, "Error: Path segments too short for the bend radius."},
    Refusal{"extensions of type 2", [](QuillonWriter* h) {
        return quillon_path_ex(h, cornerXs, cornerYs, 3, 10, 2, 5, 0, 0, 0.0, 1, 0, 0, 0);
    }, QUILLON_ERROR_RANGE, "Error: Value does not fit its GDSII field."},
    Refusal{"inner radius outside", [](QuillonWriter* h) {
        return quillon_ellipse(h, 0, 0, 100, 100, 100, 50, 0, 360, 1.0, 1, 0, 0, 0);
    }, QUILLON_ERROR_RANGE, "Error: Radius, angle or tolerance out of range."},
    Refusal{"too many points", [](QuillonWriter* h) {
        return quillon_ellipse(h, 0, 0, 2000000000, 2000000000, 0, 0, 0, 360, 1e-9, 1, 0, 0, 0);
    }, QUILLON_ERROR_RANGE, "Error: Radius, angle or tolerance out of range."},
    Refusal{"NaN angle", [](QuillonWriter* h) {
        return quillon_arc_path(h, 0, 0, 100, NAN, 90, 1.0, 10, 0, 0, 0, 1, 0, 0, 0);
    }, QUILLON_ERROR_RANGE, "Error: Value is not a finite number."},
    Refusal{"past 32 bits", [](QuillonWriter* h) {
        return quillon_ellipse(h, 2147483000, 0, 1000, 1000, 0, 0, 0, 360, 1.0, 1, 0, 0, 0);
    }, QUILLON_ERROR_RANGE, "Error: Coordinate does not fit 32 bits."},
    Refusal{"text NULL", [](QuillonWriter* h) {
        return quillon_text_polygons(h, nullptr, 0, 0, 70, 0, 0.0, 1, 0);
    }, QUILLON_ERROR_ARGUMENT, "errStringIsNULL"}));

TEST(PathEx, LenientBendTooLargeReportsAndKeepsTheCornerSharp) {
    const Written w = throughHandle([](QuillonWriter* h) {
        return quillon_path_ex(h, cornerXs, cornerYs, 3, 10, 0, 0, 0, 1001, 1.0, 1, 0, 0, 0);
    }, 0);
    EXPECT_EQ(w.lastError, "Error: Path segments too short for the bend radius.");
    EXPECT_EQ(xyRecords(w.bytes), (std::vector<PointList>{{{0, 0}, {1000, 0}, {1000, 1000}}}));
}

}  // namespace
