// Circles, sectors and arcs: the points they compute, to the last unit, and
// the reports of the curve writers and of the writers they hand on to.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "host.h"

using namespace host;

namespace {

using Messages = std::vector<std::string>;
using PointList = std::vector<std::pair<int, int>>;

class Curves : public ::testing::Test {
protected:
    void SetUp() override { resetWriter(); }
    void TearDown() override { resetWriter(); }
};

// The points handed to the boundary writer, without its closing point.
PointList circle(int cx, int cy, int r, int n) {
    auto xy = xyRecords(elementBytes([=] { GDS_Circle(cx, cy, r, n, 1, 0, 0, 0); })).at(0);
    xy.pop_back();
    return xy;
}

PointList sector(int cx, int cy, int r, double a0, double a1, int n) {
    auto xy = xyRecords(elementBytes([=] { GDS_Sector(cx, cy, r, a0, a1, n, 1, 0, 0, 0); })).at(0);
    xy.pop_back();
    return xy;
}

PointList arc(int cx, int cy, int r, double a0, double a1, int n) {
    return xyRecords(elementBytes([=] { GDS_Arc(cx, cy, r, a0, a1, n, 10, 1, 0, 0, 0, 0); })).at(0);
}

TEST_F(Curves, CircleOfFourPointsIsTheSeventyEightByteBoundary) {
    const Bytes written = elementBytes([] { GDS_Circle(0, 0, 1000, 4, 1, 0, 0, 0); });
    EXPECT_EQ(toHex(written),
              toHex(hex("00 04 08 00 00 06 26 01 00 00 00 08 2F 03 00 00 00 00"
                        "00 06 0D 02 00 01 00 06 0E 02 00 00 00 2C 10 03" +
                        int4s({1000, 0, 0, 1000, -1000, 0, 0, -1000, 1000, 0}) + "00 04 11 00")));
}

TEST_F(Curves, CirclePointsAreTruncatedTowardZero) {
    // -1.8e-13 becomes 0; 499.99999999999983 becomes 499.
    EXPECT_EQ(circle(500, 500, 1000, 4), (PointList{{1500, 500}, {500, 1500}, {-500, 500}, {499, -500}}));
    EXPECT_EQ(circle(0, 0, 1000, 6),
              (PointList{{1000, 0}, {500, 866}, {-499, 866}, {-1000, 0}, {-500, -866}, {499, -866}}));
}

TEST_F(Curves, CircleAnglesAdvanceByRepeatedAddition) {
    // Multiples of the step would give (499, -866) and (866, -500) at the end.
    EXPECT_EQ(circle(0, 0, 1000, 12),
              (PointList{{1000, 0}, {866, 499}, {500, 866}, {0, 1000}, {-499, 866}, {-866, 500},
                         {-1000, 0}, {-866, -499}, {-500, -866}, {0, -1000}, {500, -866}, {866, -499}}));
}

TEST_F(Curves, SectorStartsAtTheCentreAndStopsShortOfTheEndAngle) {
    EXPECT_EQ(sector(0, 0, 1000, 0.0, 90.0, 4), (PointList{{0, 0}, {1000, 0}, {923, 382}, {707, 707}}));
    // Clockwise when the end angle is below the start angle.
    EXPECT_EQ(sector(100, 200, 1000, 90.0, 0.0, 5),
              (PointList{{100, 200}, {100, 1200}, {409, 1151}, {687, 1009}, {909, 787}}));
    // The boundary writer closes it back to the centre.
    const auto closed = xyRecords(elementBytes([] { GDS_Sector(0, 0, 1000, 0.0, 90.0, 4, 1, 0, 0, 0); })).at(0);
    EXPECT_EQ(closed.back(), std::make_pair(0, 0));
}

TEST_F(Curves, ArcIsTheSeventySixBytePath) {
    const Bytes written = elementBytes([] { GDS_Arc(0, 0, 1000, 0.0, 90.0, 3, 10, 1, 0, 0, 0, 0); });
    EXPECT_EQ(toHex(written),
              toHex(hex("00 04 09 00 00 06 26 01 00 00 00 08 2F 03 00 00 00 00"
                        "00 06 0D 02 00 01 00 06 0E 02 00 00 00 06 21 02 00 00"
                        "00 08 0F 03 00 00 00 0A 00 1C 10 03" +
                        int4s({1000, 0, 866, 499, 500, 866}) + "00 04 11 00")));
}

TEST_F(Curves, NegativeRadiusMirrorsThroughTheCentre) {
    EXPECT_EQ(arc(0, 0, -1000, 0.0, 90.0, 3), (PointList{{-1000, 0}, {-866, -499}, {-500, -866}}));
    EXPECT_EQ(circle(7, 9, 0, 3), (PointList{{7, 9}, {7, 9}, {7, 9}}));
}

TEST_F(Curves, EqualAnglesRepeatTheStartPoint) {
    EXPECT_EQ(sector(0, 0, 100, 30.0, 30.0, 4), (PointList{{0, 0}, {86, 49}, {86, 49}, {86, 49}}));
    EXPECT_EQ(arc(0, 0, 100, 30.0, 30.0, 3), (PointList{{86, 49}, {86, 49}, {86, 49}}));
}

TEST_F(Curves, OutOfRangeCoordinatesKeepTheirLowThirtyTwoBits) {
    EXPECT_EQ(circle(2147483647, 0, 1, 4).at(0).first, -2147483647 - 1);
}

TEST_F(Curves, CountLimitsAndTheirNeighbours) {
    EXPECT_EQ(circle(0, 0, 1000, 65539).size(), 3u);
    EXPECT_EQ(circle(0, 0, 1000, 199).size(), 199u);
    EXPECT_TRUE(messages().empty());
    for (auto call : std::vector<std::function<void()>>{
             [] { GDS_Circle(0, 0, 1000, 200, 1, 0, 0, 0); },
             [] { GDS_Sector(0, 0, 1000, 0.0, 90.0, 200, 1, 0, 0, 0); },
             [] { GDS_Arc(0, 0, 1000, 0.0, 90.0, 200, 1, 1, 0, 0, 0, 0); }}) {
        EXPECT_EQ(throwsWritingNothing(call), "Error: Too many points for BOUNDARY structure. ");
    }
    EXPECT_EQ(throwsWritingNothing([] { GDS_Arc(0, 0, 1000, 0.0, 90.0, 40000, 1, 1, 0, 0, 0, 0); }),
              "Error: Not enougph points for BOUNDARY structure. ");
}

TEST_F(Curves, BadCountsReportFromBothWritersWithHandler) {
    SetErrorHandle(recordMessage);
    const std::string tooMany = "Error: Too many points for BOUNDARY structure. ";
    const std::string tooFew = "Error: Not enougph points for BOUNDARY structure. ";

    EXPECT_EQ(circle(0, 0, 1000, 200).size(), 200u);
    EXPECT_EQ(messages(), (Messages{tooMany, tooMany}));
    messages().clear();

    // A sector of one point is its centre; of two, the centre and the start.
    EXPECT_EQ(sector(5, 6, 100, 0.0, 90.0, 1), (PointList{{5, 6}}));
    EXPECT_EQ(sector(5, 6, 100, 0.0, 90.0, 2), (PointList{{5, 6}, {105, 6}}));
    EXPECT_EQ(messages(), (Messages{tooFew, tooFew, tooFew, tooFew}));
    messages().clear();

    // An arc of 2 points: the start and half the sweep; reported once.
    EXPECT_EQ(arc(0, 0, 1000, 0.0, 90.0, 2), (PointList{{1000, 0}, {707, 707}}));
    EXPECT_EQ(messages(), Messages{tooFew});
    messages().clear();

    // An arc of 1 point is refused by the path writer too and not written.
    EXPECT_TRUE(elementBytes([] { GDS_Arc(0, 0, 1000, 0.0, 90.0, 1, 1, 1, 0, 0, 0, 0); }).empty());
    EXPECT_EQ(messages(), (Messages{tooFew, "Error: Not enougph points for PATH structure. "}));
    messages().clear();

    // An arc of more than 199 points is reported once and written whole,
    // in PATH pieces overlapping by one segment.
    const auto pieces = xyRecords(elementBytes([] { GDS_Arc(0, 0, 1000, 0.0, 360.0, 300, 1, 1, 0, 0, 0, 0); }));
    EXPECT_EQ(messages(), Messages{tooMany});
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].size() + pieces[1].size(), 302u);
    messages().clear();

    // No point at all: nothing is written.
    EXPECT_TRUE(elementBytes([] { GDS_Circle(0, 0, 1000, 0, 1, 0, 0, 0); }).empty());
    EXPECT_TRUE(elementBytes([] { GDS_Sector(0, 0, 1000, 0.0, 90.0, -3, 1, 0, 0, 0); }).empty());
    EXPECT_EQ(messages(), (Messages{tooFew, tooFew, tooFew, tooFew}));
}

TEST_F(Curves, CurveOutsideStructureReportsTwiceOrFourTimes) {
    SetErrorHandle(recordMessage);
    const std::string notOpened = "Error: Structure is not opened.";
    const std::string tooFew = "Error: Not enougph points for BOUNDARY structure. ";
    const Bytes valid = elementBytesOutside([] { GDS_Circle(0, 0, 1000, 4, 1, 0, 0, 0); });
    EXPECT_EQ(messages(), (Messages{notOpened, notOpened}));
    EXPECT_EQ(valid.size(), 78u);
    messages().clear();

    const Bytes two = elementBytesOutside([] { GDS_Circle(0, 0, 1000, 2, 1, 0, 0, 0); });
    EXPECT_EQ(messages(), (Messages{notOpened, tooFew, notOpened, tooFew}));
    EXPECT_EQ(xyRecords(two).at(0), (PointList{{1000, 0}, {-1000, 0}, {1000, 0}}));
}

TEST_F(Curves, CurveOutsideStructureThrowsWritingNothing) {
    EXPECT_EQ(expectThrowOutside([] { GDS_Sector(0, 0, 1000, 0.0, 90.0, 4, 1, 0, 0, 0); }),
              "Error: Structure is not opened.");
    EXPECT_EQ(expectThrowOutside([] { GDS_Arc(0, 0, 1000, 0.0, 90.0, 4, 1, 1, 0, 0, 0, 0); }),
              "Error: Structure is not opened.");
}

}  // namespace
