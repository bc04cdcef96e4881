// Element writers, byte for byte, through the exported functions: the worked
// elements of the GDSII record layouts, the point limits and their
// neighbours, and what happens after each report.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "host.h"

using namespace host;

namespace {

using Messages = std::vector<std::string>;

class Elements : public ::testing::Test {
protected:
    void SetUp() override { resetWriter(); }
    void TearDown() override { resetWriter(); }

    // Installs the recording handler for the rest of the test.
    static void withHandler() { SetErrorHandle(recordMessage); }
};

// n points (i, 10 * i + 1).
struct Points {
    explicit Points(int n) : xs(static_cast<std::size_t>(n)), ys(xs.size()) {
        for (int i = 0; i < n; ++i) {
            xs[static_cast<std::size_t>(i)] = i;
            ys[static_cast<std::size_t>(i)] = 10 * i + 1;
        }
    }
    std::vector<int> xs, ys;
};

const char* const prologueZero = "00 06 26 01 00 00 00 08 2F 03 00 00 00 00";

// ---- BOX ------------------------------------------------------------------

TEST_F(Elements, SquareIsTheSeventyEightByteBox) {
    const Bytes box = elementBytes([] { GDS_Square(0, 0, 10, 1, 0, 0, 0); });
    EXPECT_EQ(toHex(box), toHex(hex(std::string("00 04 2D 00") + prologueZero +
                                    "00 06 0D 02 00 01 00 06 2E 02 00 00 00 2C 10 03" +
                                    int4s({0, 0, 10, 0, 10, 10, 0, 10, 0, 0}) + "00 04 11 00")));
    EXPECT_EQ(box.size(), 78u);
}

TEST_F(Elements, BoxCornersStayInTheOrderPassed) {
    const Bytes box = elementBytes([] { GDS_Box(10, 10, 0, 0, 2, 7, 0, 0); });
    EXPECT_EQ(xyRecords(box).at(0),
              (std::vector<std::pair<int, int>>{{10, 10}, {0, 10}, {0, 0}, {10, 0}, {10, 10}}));
    EXPECT_EQ(toHex(records(box).at(4).data), "00 07");  // BOXTYPE
}

TEST_F(Elements, BoxWHAndSquareAddToTheCorner) {
    EXPECT_EQ(toHex(elementBytes([] { GDS_BoxWH(5, 5, -5, 10, 1, 2, 3, 4); })),
              toHex(elementBytes([] { GDS_Box(5, 5, 0, 15, 1, 2, 3, 4); })));
    EXPECT_EQ(toHex(elementBytes([] { GDS_Square(-3, 4, 7, 1, 0, 0, 0); })),
              toHex(elementBytes([] { GDS_Box(-3, 4, 4, 11, 1, 0, 0, 0); })));
    // Sums wrap around in 32 bits.
    EXPECT_EQ(xyRecords(elementBytes([] { GDS_BoxWH(2147483647, 0, 1, 1, 0, 0, 0, 0); }))
                  .at(0)
                  .at(1)
                  .first,
              -2147483647 - 1);
}

TEST_F(Elements, SixteenBitFieldsKeepTheirLowHalfAndPlexAllThirtyTwo) {
    const Bytes box = elementBytes([] { GDS_Box(0, 0, 1, 1, 70000, 65541, 0x10003, 70000); });
    const auto recs = records(box);
    EXPECT_EQ(toHex(recs.at(1).data), "00 03");        // ELFLAGS
    EXPECT_EQ(toHex(recs.at(2).data), "00 01 11 70");  // PLEX 70000
    EXPECT_EQ(toHex(recs.at(3).data), "11 70");        // LAYER 4464
    EXPECT_EQ(toHex(recs.at(4).data), "00 05");        // BOXTYPE
}

TEST_F(Elements, ElementOutsideStructureThrowsOrIsWrittenAfterTheReport) {
    EXPECT_EQ(expectThrowOutside([] { GDS_Box(0, 0, 1, 1, 0, 0, 0, 0); }),
              "Error: Structure is not opened.");
    withHandler();
    const Bytes written = elementBytesOutside([] { GDS_Box(0, 0, 1, 1, 0, 0, 0, 0); });
    EXPECT_EQ(messages(), Messages{"Error: Structure is not opened."});
    EXPECT_EQ(written.size(), 78u);
}

// ---- BOUNDARY -------------------------------------------------------------

TEST_F(Elements, TriangleIsClosedByTheWriter) {
    const int xs[] = {0, 100, 0};
    const int ys[] = {0, 0, 50};
    const Bytes boundary = elementBytes([&] { GDS_Boundary(xs, ys, 3, 1, 2, 0, 0); });
    EXPECT_EQ(toHex(boundary),
              toHex(hex(std::string("00 04 08 00") + prologueZero +
                        "00 06 0D 02 00 01 00 06 0E 02 00 02 00 24 10 03" +
                        int4s({0, 0, 100, 0, 0, 50, 0, 0}) + "00 04 11 00")));
    EXPECT_EQ(boundary.size(), 70u);
}

TEST_F(Elements, BoundaryOf199VerticesIsTheLargestAccepted) {
    const Points p(199);
    const Bytes boundary = elementBytes([&] { GDS_Boundary(p.xs.data(), p.ys.data(), 199, 1, 0, 0, 0); });
    const auto xy = xyRecords(boundary).at(0);
    EXPECT_EQ(xy.size(), 200u);  // XY total length 1604
    EXPECT_EQ(xy.back(), xy.front());
    EXPECT_EQ(xy[198], std::make_pair(198, 1981));
}

TEST_F(Elements, BoundaryOf200VerticesThrowsOrIsWrittenWhole) {
    const Points p(200);
    EXPECT_EQ(throwsWritingNothing([&] { GDS_Boundary(p.xs.data(), p.ys.data(), 200, 1, 0, 0, 0); }),
              "Error: Too many points for BOUNDARY structure. ");
    withHandler();
    const Bytes boundary = elementBytes([&] { GDS_Boundary(p.xs.data(), p.ys.data(), 200, 1, 0, 0, 0); });
    EXPECT_EQ(messages(), Messages{"Error: Too many points for BOUNDARY structure. "});
    EXPECT_EQ(records(boundary).at(5).data.size() + 4, 1612u);
}

TEST_F(Elements, BoundaryOfTwoVerticesWithHandlerIsStillClosed) {
    const int xs[] = {5, 6};
    const int ys[] = {7, 8};
    EXPECT_EQ(throwsWritingNothing([&] { GDS_Boundary(xs, ys, 2, 1, 0, 0, 0); }),
              "Error: Not enougph points for BOUNDARY structure. ");
    withHandler();
    const Bytes boundary = elementBytes([&] { GDS_Boundary(xs, ys, 2, 1, 0, 0, 0); });
    EXPECT_EQ(messages(), Messages{"Error: Not enougph points for BOUNDARY structure. "});
    EXPECT_EQ(xyRecords(boundary).at(0),
              (std::vector<std::pair<int, int>>{{5, 7}, {6, 8}, {5, 7}}));
}

TEST_F(Elements, BoundaryCountIsTheSignedLowHalfOfItsSlot) {
    const Points p(3);
    const Bytes boundary =
        elementBytes([&] { GDS_Boundary(p.xs.data(), p.ys.data(), 65539, 1, 0, 0, 0); });
    EXPECT_EQ(xyRecords(boundary).at(0).size(), 4u);
    EXPECT_EQ(throwsWritingNothing(
                  [&] { GDS_Boundary(p.xs.data(), p.ys.data(), 40000, 1, 0, 0, 0); }),
              "Error: Not enougph points for BOUNDARY structure. ");
}

TEST_F(Elements, BoundaryWithNothingToCloseOrTooLongForXYIsNotWritten) {
    withHandler();
    const Points p(8191);
    EXPECT_TRUE(elementBytes([&] { GDS_Boundary(p.xs.data(), p.ys.data(), 0, 1, 0, 0, 0); }).empty());
    EXPECT_TRUE(elementBytes([&] { GDS_Boundary(p.xs.data(), p.ys.data(), -5, 1, 0, 0, 0); }).empty());
    EXPECT_TRUE(elementBytes([&] { GDS_Boundary(p.xs.data(), p.ys.data(), 8191, 1, 0, 0, 0); }).empty());
    const Bytes largest =
        elementBytes([&] { GDS_Boundary(p.xs.data(), p.ys.data(), 8190, 1, 0, 0, 0); });
    EXPECT_EQ(toHex(Bytes(largest.begin() + 30, largest.begin() + 34)), "FF FC 10 03");
    EXPECT_EQ(messages(), (Messages{"Error: Not enougph points for BOUNDARY structure. ",
                                    "Error: Not enougph points for BOUNDARY structure. ",
                                    "Error: Too many points for BOUNDARY structure. ",
                                    "Error: Too many points for BOUNDARY structure. "}));
}

TEST_F(Elements, BoundaryOutsideStructureWithTooFewPointsReportsBoth) {
    withHandler();
    const int xs[] = {0, 1};
    const int ys[] = {0, 1};
    const Bytes written = elementBytesOutside([&] { GDS_Boundary(xs, ys, 2, 1, 0, 0, 0); });
    EXPECT_EQ(messages(), (Messages{"Error: Structure is not opened.",
                                    "Error: Not enougph points for BOUNDARY structure. "}));
    EXPECT_EQ(written.size(), 8u * 2 + 46);
}

TEST_F(Elements, NullPointArraysAreReportedInsteadOfRead) {
    const int xs[] = {0, 1, 2};
    EXPECT_EQ(throwsWritingNothing([&] { GDS_Boundary(xs, nullptr, 3, 1, 0, 0, 0); }),
              "Error: Point array is NULL.");
    EXPECT_EQ(throwsWritingNothing([&] { GDS_Path(nullptr, xs, 3, 1, 1, 0, 0, 0, 0); }),
              "Error: Point array is NULL.");
    EXPECT_EQ(throwsWritingNothing([&] { GDS_Node(nullptr, nullptr, 1, 1, 0, 0, 0); }),
              "Error: Point array is NULL.");
    EXPECT_EQ(throwsWritingNothing(
                  [&] { GDS_Aref("A", xs, nullptr, 1, 1, 0, 1.0, 0.0, 0, 0); }),
              "Error: Point array is NULL.");
    withHandler();
    EXPECT_TRUE(elementBytes([&] { GDS_Boundary(nullptr, xs, 3, 1, 0, 0, 0); }).empty());
    EXPECT_EQ(messages(), Messages{"Error: Point array is NULL."});
}

// ---- PATH -----------------------------------------------------------------

TEST_F(Elements, TwoPointPathIsTheSixtyEightBytePath) {
    const int xs[] = {0, 100};
    const int ys[] = {0, 0};
    int returned = 0;
    const Bytes path = elementBytes([&] { returned = GDS_Path(xs, ys, 2, 10, 1, 0, 0, 0, 0); });
    EXPECT_EQ(toHex(path),
              toHex(hex(std::string("00 04 09 00") + prologueZero +
                        "00 06 0D 02 00 01 00 06 0E 02 00 00 00 06 21 02 00 00"
                        "00 08 0F 03 00 00 00 0A 00 14 10 03" +
                        int4s({0, 0, 100, 0}) + "00 04 11 00")));
    EXPECT_EQ(returned, 2);
}

TEST_F(Elements, PathAttributesAreWrittenUnchanged) {
    const int xs[] = {0, 100};
    const int ys[] = {0, 0};
    const auto recs = records(elementBytes([&] { GDS_Path(xs, ys, 2, -10, 3, 4, 4, 0, 0); }));
    EXPECT_EQ(toHex(recs.at(6).data), "FF FF FF F6");  // WIDTH -10
    EXPECT_EQ(toHex(recs.at(5).data), "00 04");        // PATHTYPE 4, no extensions
    EXPECT_EQ(recs.size(), 9u);
}

TEST_F(Elements, PathOf200PointsIsOneElement) {
    const Points p(200);
    const Bytes path = elementBytes([&] { GDS_Path(p.xs.data(), p.ys.data(), 200, 1, 1, 0, 0, 0, 0); });
    ASSERT_EQ(xyRecords(path).size(), 1u);
    EXPECT_EQ(xyRecords(path)[0].size(), 200u);
}

// A longer polyline becomes PATH elements of at most 200 points that overlap
// by one segment: each piece starts at the second-to-last point of the one
// before, so every joint is an inner point of one piece.
TEST_F(Elements, LongPathIsSplitIntoOverlappingPieces) {
    for (int n : {201, 401, 1000}) {
        const Points p(n);
        int returned = 0;
        const Bytes path = elementBytes(
            [&] { returned = GDS_Path(p.xs.data(), p.ys.data(), n, 5, 1, 2, 1, 0, 0); });
        EXPECT_EQ(returned, n);
        const auto pieces = xyRecords(path);
        ASSERT_EQ(pieces.size(), static_cast<std::size_t>((n - 2 + 197) / 198));
        std::vector<std::pair<int, int>> joined;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            EXPECT_LE(pieces[i].size(), 200u);
            EXPECT_GE(pieces[i].size(), 3u);
            if (i > 0) {
                const auto& before = pieces[i - 1];
                EXPECT_EQ(pieces[i][0], before[before.size() - 2]);
                EXPECT_EQ(pieces[i][1], before.back());
            }
            joined.insert(joined.end(), pieces[i].begin() + (i > 0 ? 2 : 0), pieces[i].end());
        }
        ASSERT_EQ(joined.size(), static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) EXPECT_EQ(joined[static_cast<std::size_t>(i)], std::make_pair(i, 10 * i + 1));
        // A round path keeps its type and attribute records in every piece.
        const auto recs = records(path);
        ASSERT_EQ(recs.size(), 9 * pieces.size());
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            for (std::size_t r = 0; r < 7; ++r) {
                EXPECT_EQ(toHex(recs[9 * i + r].data), toHex(recs[r].data));
            }
        }
    }
    const Points p(201);
    const auto pieces = xyRecords(elementBytes([&] { GDS_Path(p.xs.data(), p.ys.data(), 201, 5, 1, 0, 0, 0, 0); }));
    EXPECT_EQ(pieces[0].size(), 200u);
    EXPECT_EQ(pieces[1], (std::vector<std::pair<int, int>>{{198, 1981}, {199, 1991}, {200, 2001}}));
}

// Extended paths are split into type-4 pieces whose ends at a split carry no
// extension; the polyline's own ends keep its extension (half the width for
// type 2, 0 for type 4). Flush paths keep type 0 and get no extension records.
TEST_F(Elements, LongExtendedPathPiecesCarryExtensionsAtTheirOwnEndsOnly) {
    const Points p(201);
    const struct {
        int pathType;
        std::string piece0, piece1;  // PATHTYPE .. ENDEXTN or PATHTYPE, WIDTH
    } cases[] = {
        {2, "00 06 21 02 00 04 00 08 0F 03 00 00 00 0B 00 08 30 03 00 00 00 05 00 08 31 03 00 00 00 00",
            "00 06 21 02 00 04 00 08 0F 03 00 00 00 0B 00 08 30 03 00 00 00 00 00 08 31 03 00 00 00 05"},
        {4, "00 06 21 02 00 04 00 08 0F 03 00 00 00 0B 00 08 30 03 00 00 00 00 00 08 31 03 00 00 00 00",
            "00 06 21 02 00 04 00 08 0F 03 00 00 00 0B 00 08 30 03 00 00 00 00 00 08 31 03 00 00 00 00"},
        {0, "00 06 21 02 00 00 00 08 0F 03 00 00 00 0B", "00 06 21 02 00 00 00 08 0F 03 00 00 00 0B"},
    };
    for (const auto& c : cases) {
        const Bytes path = elementBytes([&] { GDS_Path(p.xs.data(), p.ys.data(), 201, 11, 1, 0, c.pathType, 0, 0); });
        const std::size_t perPiece = c.pathType == 0 ? 9u : 11u;
        const auto recs = records(path);
        ASSERT_EQ(recs.size(), 2 * perPiece) << c.pathType;
        for (std::size_t piece = 0; piece < 2; ++piece) {
            Bytes attributes;
            for (std::size_t r = 5; r < perPiece - 2; ++r) {
                const Record& record = recs[piece * perPiece + r];
                const Bytes head = {static_cast<std::uint8_t>((record.data.size() + 4) >> 8),
                                    static_cast<std::uint8_t>(record.data.size() + 4),
                                    record.type, record.dataType};
                attributes.insert(attributes.end(), head.begin(), head.end());
                attributes.insert(attributes.end(), record.data.begin(), record.data.end());
            }
            EXPECT_EQ(toHex(attributes), toHex(hex(piece == 0 ? c.piece0 : c.piece1))) << c.pathType;
            EXPECT_EQ(recs[piece * perPiece + perPiece - 2].type, 0x10);  // then XY
        }
    }
}

// Repeated points are dropped from a long polyline before it is split, so
// that no overlap is a zero-length segment without a direction.
TEST_F(Elements, LongPathOverlapIsNeverAZeroLengthSegment) {
    std::vector<int> xs, ys;
    for (int i = 0; i < 300; ++i) {
        const int copies = (i % 7 == 0 || (i >= 190 && i <= 200)) ? 3 : 1;
        for (int c = 0; c < copies; ++c) {
            xs.push_back(i);
            ys.push_back(i * i);
        }
    }
    const auto pieces = xyRecords(elementBytes([&] {
        GDS_Path(xs.data(), ys.data(), static_cast<int>(xs.size()), 4, 1, 0, 0, 0, 0);
    }));
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].size(), 200u);
    EXPECT_EQ(pieces[0].back(), std::make_pair(199, 199 * 199));
    EXPECT_EQ(pieces[1].front(), std::make_pair(198, 198 * 198));
    EXPECT_EQ(pieces[1].back(), std::make_pair(299, 299 * 299));
    EXPECT_EQ(pieces[1].size(), 102u);
    // Fewer than 201 distinct points: one element of the distinct points.
    const std::vector<int> same(250, 7);
    std::vector<int> ramp(250);
    for (int i = 0; i < 250; ++i) ramp[static_cast<std::size_t>(i)] = i / 2;
    const auto whole = xyRecords(elementBytes([&] { GDS_Path(ramp.data(), same.data(), 250, 4, 1, 0, 2, 0, 0); }));
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0].size(), 125u);
}

TEST_F(Elements, PathOfFewerThanTwoPointsIsNeverWritten) {
    const int xs[] = {0, 1};
    EXPECT_EQ(throwsWritingNothing([&] { GDS_Path(xs, xs, 1, 1, 1, 0, 0, 0, 0); }),
              "Error: Not enougph points for PATH structure. ");
    withHandler();
    int returned = 7;
    EXPECT_TRUE(elementBytes([&] { returned = GDS_Path(xs, xs, 1, 1, 1, 0, 0, 0, 0); }).empty());
    EXPECT_EQ(returned, 1);
    EXPECT_TRUE(elementBytes([&] { returned = GDS_Path(xs, xs, 0, 1, 1, 0, 0, 0, 0); }).empty());
    EXPECT_EQ(returned, 0);
    EXPECT_TRUE(elementBytes([&] { returned = GDS_Path(xs, xs, 40000, 1, 1, 0, 0, 0, 0); }).empty());
    EXPECT_EQ(returned, -25536);
    EXPECT_EQ(messages().size(), 3u);
    messages().clear();
    EXPECT_TRUE(elementBytesOutside([&] { GDS_Path(xs, xs, 1, 1, 1, 0, 0, 0, 0); }).empty());
    EXPECT_EQ(messages(), (Messages{"Error: Structure is not opened.",
                                    "Error: Not enougph points for PATH structure. "}));
}

TEST_F(Elements, PathCountOfHighSlotReadsItsLowHalf) {
    const int xs[] = {0, 100};
    const int ys[] = {0, 0};
    int returned = 0;
    const Bytes path = elementBytes([&] { returned = GDS_Path(xs, ys, 65538, 1, 1, 0, 0, 0, 0); });
    EXPECT_EQ(returned, 2);
    EXPECT_EQ(xyRecords(path).at(0).size(), 2u);
}

// ---- NODE -----------------------------------------------------------------

TEST_F(Elements, TwoPointNodeIsTheFiftyFourByteNode) {
    const int xs[] = {0, 100};
    const int ys[] = {0, 0};
    const Bytes node = elementBytes([&] { GDS_Node(xs, ys, 2, 5, 1, 0, 0); });
    EXPECT_EQ(toHex(node), toHex(hex(std::string("00 04 15 00") + prologueZero +
                                     "00 06 0D 02 00 05 00 06 2A 02 00 01 00 14 10 03" +
                                     int4s({0, 0, 100, 0}) + "00 04 11 00")));
}

TEST_F(Elements, NodeLimits) {
    const Points p(51);
    EXPECT_EQ(elementBytes([&] { GDS_Node(p.xs.data(), p.ys.data(), 1, 1, 0, 0, 0); }).size(), 46u);
    EXPECT_EQ(elementBytes([&] { GDS_Node(p.xs.data(), p.ys.data(), 65537, 1, 0, 0, 0); }).size(), 46u);
    EXPECT_EQ(xyRecords(elementBytes([&] { GDS_Node(p.xs.data(), p.ys.data(), 50, 1, 0, 0, 0); }))
                  .at(0)
                  .size(),
              50u);
    EXPECT_EQ(throwsWritingNothing([&] { GDS_Node(p.xs.data(), p.ys.data(), 51, 1, 0, 0, 0); }),
              "Error: Too many points for NODE record. ");
    EXPECT_EQ(throwsWritingNothing([&] { GDS_Node(p.xs.data(), p.ys.data(), 40000, 1, 0, 0, 0); }),
              "Error: Not enougph points for NODE record. ");
    withHandler();
    const Bytes many = elementBytes([&] { GDS_Node(p.xs.data(), p.ys.data(), 51, 1, 0, 0, 0); });
    EXPECT_EQ(records(many).at(5).data.size() + 4, 412u);
    const Bytes none = elementBytes([&] { GDS_Node(p.xs.data(), p.ys.data(), 0, 1, 0, 0, 0); });
    EXPECT_EQ(toHex(Bytes(none.end() - 8, none.end())), "00 04 10 03 00 04 11 00");
    EXPECT_TRUE(elementBytes([&] { GDS_Node(p.xs.data(), p.ys.data(), -1, 1, 0, 0, 0); }).empty());
    EXPECT_EQ(messages(), (Messages{"Error: Too many points for NODE record. ",
                                    "Error: Not enougph points for NODE record. ",
                                    "Error: Not enougph points for NODE record. "}));
    messages().clear();
    elementBytesOutside([&] { GDS_Node(p.xs.data(), p.ys.data(), 0, 1, 0, 0, 0); });
    EXPECT_EQ(messages(), (Messages{"Error: Structure is not opened.",
                                    "Error: Not enougph points for NODE record. "}));
}

TEST_F(Elements, NodeTooLongForXYIsNotWritten) {
    withHandler();
    const Points p(8192);
    EXPECT_TRUE(elementBytes([&] { GDS_Node(p.xs.data(), p.ys.data(), 8192, 1, 0, 0, 0); }).empty());
    EXPECT_EQ(xyRecords(elementBytes([&] { GDS_Node(p.xs.data(), p.ys.data(), 8191, 1, 0, 0, 0); }))
                  .at(0)
                  .size(),
              8191u);
}

// ---- TEXT -----------------------------------------------------------------

TEST_F(Elements, OneLetterTextIsTheHundredAndTwoByteText) {
    const Bytes text = elementBytes([] { GDS_Text(0, 0, "A", 0, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0); });
    EXPECT_EQ(toHex(text),
              toHex(hex(std::string("00 04 0C 00") + prologueZero +
                        "00 06 0D 02 00 00 00 06 16 02 00 00 00 06 17 01 00 00"
                        "00 06 21 02 00 00 00 08 0F 03 00 00 00 00 00 06 1A 01 00 00"
                        "00 0C 1B 05 41 10 00 00 00 00 00 00 00 0C 1C 05 00 00 00 00 00 00 00 00"
                        "00 0C 10 03 00 00 00 00 00 00 00 00 00 06 19 06 41 00 00 04 11 00")));
    EXPECT_EQ(text.size(), 102u);
}

TEST_F(Elements, TextStringIsPaddedToEvenLength) {
    auto stringRecord = [](const char* s) {
        const auto recs = records(elementBytes([&] { GDS_Text(0, 0, s, 0, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0); }));
        return toHex(concat({hex("00 00 19 06"), recs.at(12).data}));
    };
    EXPECT_EQ(stringRecord("AB"), "00 00 19 06 41 42");
    EXPECT_EQ(stringRecord("ABC"), "00 00 19 06 41 42 43 00");
    EXPECT_EQ(stringRecord(""), "00 00 19 06");
}

TEST_F(Elements, TextLengthAndTypeLimits) {
    const std::string longest(512, 'x');
    const std::string tooLong(513, 'x');
    auto text = [](const char* s, int type) {
        return [=] { GDS_Text(1, 2, s, 3, type, 0, 0, 0, 0, 1.0, 0.0, 0, 0); };
    };
    EXPECT_EQ(records(elementBytes(text(longest.c_str(), 0))).at(12).data.size(), 512u);
    EXPECT_EQ(throwsWritingNothing(text(tooLong.c_str(), 0)), "errStringSizeIsOver");
    EXPECT_EQ(throwsWritingNothing(text(nullptr, 0)), "errStringIsNULL");
    for (int type : {-1, 256, 65535}) EXPECT_EQ(throwsWritingNothing(text("T", type)), "errTextTypeLimit");
    for (int type : {0, 255}) EXPECT_FALSE(elementBytes(text("T", type)).empty());
    EXPECT_EQ(toHex(records(elementBytes(text("T", 0x10005))).at(4).data), "00 05");
    EXPECT_TRUE(messages().empty());

    withHandler();
    // Written whole after the report, and with its type's 16 bits.
    EXPECT_EQ(records(elementBytes(text(tooLong.c_str(), 0))).at(12).data.size(), 514u);
    EXPECT_EQ(toHex(records(elementBytes(text("T", 300))).at(4).data), "01 2C");
    EXPECT_TRUE(elementBytes(text(nullptr, 300)).empty());  // stops at the NULL
    EXPECT_EQ(messages(), (Messages{"errStringSizeIsOver", "errTextTypeLimit", "errStringIsNULL"}));
}

TEST_F(Elements, TextOutsideStructureWithBadTypeReportsBothThenWrites) {
    withHandler();
    const Bytes written = elementBytesOutside([] { GDS_Text(0, 0, "A", 0, 300, 0, 0, 0, 0, 1.0, 0.0, 0, 0); });
    EXPECT_EQ(messages(), (Messages{"Error: Structure is not opened.", "errTextTypeLimit"}));
    EXPECT_EQ(written.size(), 102u);
}

TEST_F(Elements, TextTooLongForStringRecordIsNotWritten) {
    withHandler();
    const std::string largest(65530, 'y');
    const std::string tooLarge(65531, 'y');
    EXPECT_EQ(records(elementBytes([&] {
                  GDS_Text(0, 0, largest.c_str(), 0, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
              })).at(12).data.size(),
              65530u);
    EXPECT_TRUE(elementBytes([&] {
                    GDS_Text(0, 0, tooLarge.c_str(), 0, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
                }).empty());
    EXPECT_EQ(messages(), (Messages{"errStringSizeIsOver", "errStringSizeIsOver"}));
}

TEST_F(Elements, TextTransformationIsWrittenAsGiven) {
    const auto recs = records(elementBytes(
        [] { GDS_Text(-5, 7, "Hi", 9, 3, 0x0016, 1, -20, 0x8006, 2.5, 90.0, 1, -1); }));
    EXPECT_EQ(toHex(recs.at(1).data), "00 01");
    EXPECT_EQ(toHex(recs.at(2).data), "FF FF FF FF");
    EXPECT_EQ(toHex(recs.at(5).data), "00 16");
    EXPECT_EQ(toHex(recs.at(7).data), "FF FF FF EC");
    EXPECT_EQ(toHex(recs.at(8).data), "80 06");
    EXPECT_EQ(toHex(recs.at(9).data), "41 28 00 00 00 00 00 00");
    EXPECT_EQ(toHex(recs.at(10).data), "42 5A 00 00 00 00 00 00");
    EXPECT_EQ(toHex(recs.at(11).data), "FF FF FF FB 00 00 00 07");
}

// ---- SREF and AREF --------------------------------------------------------

TEST_F(Elements, PlainSrefIsTheSeventyByteReference) {
    const Bytes sref = elementBytes([] { GDS_Sref("A", 100, -200, 0, 1.0, 0.0, 0, 0); });
    EXPECT_EQ(toHex(sref),
              toHex(hex(std::string("00 04 0A 00") + prologueZero +
                        "00 06 12 06 41 00 00 06 1A 01 00 00"
                        "00 0C 1B 05 41 10 00 00 00 00 00 00 00 0C 1C 05 00 00 00 00 00 00 00 00"
                        "00 0C 10 03 00 00 00 64 FF FF FF 38 00 04 11 00")));
}

TEST_F(Elements, ReferenceNamesArePaddedAndNeedNotExist) {
    EXPECT_EQ(toHex(records(elementBytes([] { GDS_Sref("AB", 0, 0, 0, 1.0, 0.0, 0, 0); })).at(3).data),
              "41 42");
    EXPECT_EQ(toHex(records(elementBytes([] { GDS_Sref("ABC", 0, 0, 0, 1.0, 0.0, 0, 0); })).at(3).data),
              "41 42 43 00");
    // A reference to the open structure itself is written without a report.
    withHandler();
    EXPECT_EQ(elementBytes([] { GDS_Sref("S", 0, 0, 0, 1.0, 0.0, 0, 0); }).size(), 70u);
    EXPECT_TRUE(messages().empty());
}

TEST_F(Elements, ArefWritesColRowBeforeItsThreePoints) {
    const int xs[] = {0, 300, 0};
    const int ys[] = {0, 0, 200};
    const Bytes aref = elementBytes([&] { GDS_Aref("CELL", xs, ys, 3, 2, 0x10002, 2.0, 45.0, 0, 0); });
    const auto recs = records(aref);
    ASSERT_EQ(recs.size(), 10u);
    EXPECT_EQ(recs.at(0).type, 0x0B);
    EXPECT_EQ(toHex(recs.at(4).data), "00 02");  // STRANS from the low half
    EXPECT_EQ(recs.at(7).type, 0x13);
    EXPECT_EQ(toHex(recs.at(7).data), "00 03 00 02");
    EXPECT_EQ(toHex(concat({hex("00 1C 10 03"), recs.at(8).data})),
              toHex(hex("00 1C 10 03" + int4s({0, 0, 300, 0, 0, 200}))));
    EXPECT_EQ(aref.size(), 92u + 4);
}

TEST_F(Elements, ReferencesOutsideStructureOrWithoutName) {
    const int xs[] = {0, 1, 2};
    EXPECT_EQ(throwsWritingNothing([] { GDS_Sref(nullptr, 0, 0, 0, 1.0, 0.0, 0, 0); }),
              "Error: Structure name is NULL.");
    const std::string tooLong(65531, 'z');
    EXPECT_EQ(throwsWritingNothing([&] { GDS_Aref(tooLong.c_str(), xs, xs, 1, 1, 0, 1.0, 0.0, 0, 0); }),
              "Error: Structure name is too long.");
    EXPECT_EQ(expectThrowOutside([] { GDS_Sref("A", 0, 0, 0, 1.0, 0.0, 0, 0); }),
              "Error: Structure is not opened.");
    withHandler();
    EXPECT_EQ(elementBytesOutside([&] { GDS_Aref("A", xs, xs, 1, 1, 0, 1.0, 0.0, 0, 0); }).size(),
              94u);
    EXPECT_EQ(messages(), Messages{"Error: Structure is not opened."});
}

}  // namespace
