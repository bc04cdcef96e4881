// The OASIS encodings and the repetition finder, against bytes worked out
// by hand from the format's definitions, and the validation of a whole file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <zlib.h>

#include "core/gdsii_writer.h"
#include "oasis/encoders.h"
#include "oasis/repetition_finder.h"

namespace o = quillon::oasis;

namespace {

std::string hexOf(const o::Bytes& bytes) {
    std::string text;
    char buffer[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X ", b);
        text += buffer;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

template <class F>
std::string encoded(F&& put) {
    o::Bytes bytes;
    put(bytes);
    return hexOf(bytes);
}

TEST(OasisEncoders, IntegersAreSevenBitGroupsLowFirstWithTheSignInBitZero) {
    const struct { std::uint64_t value; const char* hex; } unsignedCases[] = {
        {0, "00"}, {127, "7F"}, {128, "80 01"}, {16383, "FF 7F"}, {16384, "80 80 01"},
        {4294967296ull, "80 80 80 80 10"}};
    for (const auto& c : unsignedCases)
        EXPECT_EQ(encoded([&](o::Bytes& b) { o::putUnsigned(b, c.value); }), c.hex) << c.value;
    const struct { std::int64_t value; const char* hex; } signedCases[] = {
        {0, "00"}, {1, "02"}, {-1, "03"}, {63, "7E"}, {64, "80 01"}, {-64, "81 01"}};
    for (const auto& c : signedCases)
        EXPECT_EQ(encoded([&](o::Bytes& b) { o::putSigned(b, c.value); }), c.hex) << c.value;
}

TEST(OasisEncoders, RealsTakeWholeReciprocalOrDoubleForms) {
    const struct { double value; const char* hex; } cases[] = {
        {1000, "00 E8 07"}, {-3, "01 03"}, {0.5, "02 02"}, {-0.25, "03 04"},
        {0.3, "07 33 33 33 33 33 33 D3 3F"}};
    for (const auto& c : cases)
        EXPECT_EQ(encoded([&](o::Bytes& b) { o::putReal(b, c.value); }), c.hex) << c.value;
}

TEST(OasisEncoders, DeltasCarryTheirDirectionInTheLowBits) {
    const struct { void (*put)(o::Bytes&, o::Delta); o::Delta d; const char* hex; } cases[] = {
        {o::put2Delta, {5, 0}, "14"},       {o::put2Delta, {0, -3}, "0F"},
        {o::put2Delta, {-40, 0}, "A2 01"},  {o::put3Delta, {4, 4}, "24"},
        {o::put3Delta, {-2, 2}, "15"},      {o::put3Delta, {7, -7}, "3F"},
        {o::putGDelta, {0, 10}, "A2 01"},   {o::putGDelta, {-1, -1}, "1C"},
        {o::putGDelta, {3, -1}, "0D 03"},   {o::putGDelta, {-3, 5}, "0F 0A"}};
    for (const auto& c : cases)
        EXPECT_EQ(encoded([&](o::Bytes& b) { c.put(b, c.d); }), c.hex) << c.d.x << "," << c.d.y;
}

TEST(OasisEncoders, PointListsTakeTheSmallestFormThatHoldsEveryEdge) {
    const struct {
        std::vector<std::int32_t> xs, ys;
        bool polygon;
        const char* hex;
    } cases[] = {
        // Alternating, horizontal first: the last two edges implied.
        {{0, 400, 400, 200, 200, 0}, {0, 0, 100, 100, 300, 300}, true,
         "00 04 A0 06 C8 01 91 03 90 03"},
        {{0, 0, 5}, {0, 10, 10}, false, "01 02 14 0A"},           // a path, vertical first
        {{0, 10, 20, 20, 0}, {0, 0, 0, 10, 10}, true, "02 04 28 28 29 52"},  // Manhattan
        {{0, 10, 0}, {0, 0, 10}, true, "03 02 50 55"},            // octangular
        {{0, 10, 10, 0}, {0, 0, 10, 5}, true, "04 03 A0 01 A2 01 2B 0B"},  // any angle
    };
    for (const auto& c : cases)
        EXPECT_EQ(encoded([&](o::Bytes& b) {
                      o::putPointList(b, c.xs.data(), c.ys.data(), c.xs.size(), c.polygon);
                  }),
                  c.hex);
}

TEST(OasisEncoders, RepetitionsOfEachForm) {
    const o::Delta alongX[] = {{5, 0}, {12, 0}};
    const o::Delta onGrid[] = {{4, 0}, {12, 0}};
    const o::Delta anyway[] = {{3, -1}, {0, 10}};
    using R = o::Repetition;
    const struct { R r; const char* hex; } cases[] = {
        {{R::grid, 3, 2, {10, 0}, {0, 20}, nullptr, 6}, "01 01 00 0A 14"},
        {{R::lattice, 2, 2, {3, 1}, {-1, 2}, nullptr, 4}, "08 00 00 0D 02 07 04"},
        {{R::line, 1, 1, {7, 0}, {}, nullptr, 5}, "02 03 07"},
        {{R::line, 1, 1, {0, 1}, {}, nullptr, 2}, "03 00 01"},
        {{R::line, 1, 1, {4, 4}, {}, nullptr, 3}, "09 01 48"},
        {{R::arbitrary, 1, 1, {}, {}, alongX, 3}, "04 01 05 0C"},
        {{R::arbitrary, 1, 1, {}, {}, onGrid, 3}, "05 01 04 01 03"},
        {{R::arbitrary, 1, 1, {}, {}, anyway, 3}, "0A 01 0D 03 A2 01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(encoded([&](o::Bytes& b) { o::putRepetition(b, c.r); }), c.hex);
}

TEST(OasisRepetitionFinder, FindsLinesGridsAndArbitraryDisplacements) {
    const struct {
        std::vector<o::Delta> positions;
        std::size_t covered;
        o::Delta origin;
        const char* hex;
    } cases[] = {
        {{{0, 0}, {10, 0}, {20, 0}, {0, 20}, {10, 20}, {20, 20}}, 6, {0, 0}, "01 01 00 0A 14"},
        {{{30, 5}, {20, 5}, {10, 5}}, 3, {10, 5}, "02 01 0A"},  // from the far end
        {{{0, 0}, {0, 3}, {0, 6}, {0, 9}, {4, 1}}, 4, {0, 0}, "03 02 03"},  // a line, then more
        {{{0, 0}, {5, 0}, {3, 0}}, 3, {0, 0}, "04 01 03 02"},             // sorted along x
        // Arbitrary up to a repeated position, which no repetition holds.
        {{{0, 0}, {3, -1}, {3, 9}, {3, 9}}, 3, {0, 0}, "0A 01 0D 03 A2 01"},
        {{{5, 5}, {5, 5}, {6, 6}}, 1, {5, 5}, ""},
        // Rows that land on the first row: no lattice, which a reader would
        // read as one row.
        {{{1, 1}, {2, 2}, {1, 1}, {2, 2}}, 4, {1, 1}, "0A 02 18 1C 18"},
    };
    o::RepetitionFinder finder;
    for (const auto& c : cases) {
        o::Delta origin{};
        o::Repetition repetition;
        EXPECT_EQ(finder.find(c.positions, origin, repetition), c.covered);
        EXPECT_EQ(origin, c.origin);
        EXPECT_EQ(encoded([&](o::Bytes& b) { o::putRepetition(b, repetition); }), c.hex);
    }
}

}  // namespace

// A whole file through the writer, its window and class table overrun:
// the magic first, END 256 bytes long, its CRC32 over every byte before it.
TEST(OasisFile, EndsInItsCrc32AfterEveryKindOfElement) {
    const std::string path = ::testing::TempDir() + "oasis_file_test.oas";
    {
        quillon::GDSIIWriter w;
        w.setThrows(false);
        ASSERT_TRUE(w.setFormat(QUILLON_FORMAT_AUTO));
        w.beginLib(path.c_str(), 0.001, 1e-9);
        w.beginStructure("A");
        for (int i = 0; i < 12000; ++i)  // 1,500 classes, a grid, jitter
            w.writeBoxWH(i * 7 % 1000, i / 1000 * 50 + i % 3, 10 + i % 1500, 20, 1, 0, 0, 0);
        const std::int32_t xs[] = {0, 100, 100, 0, 0, 10, 10, 0};
        const std::int32_t ys[] = {0, 0, 100, 100, 10, 10, 20, 20};
        const std::int32_t rings[] = {4, 4};
        w.addProperty(5, "ring\x01");
        w.writePolygonRings(xs, ys, rings, 2, 2, 0, 0, 0);
        w.writePath(xs, ys, 4, 10, 3, 0, 1, 0, 0);
        w.writeAref("B", xs, ys, 3, 2, 0x8000, 2.0, 45.0, 0, 0);
        w.writeText(1, 2, "label", 4, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
        w.endStructure();
        w.beginStructure("B");
        w.endStructure();
        w.endLib();
        EXPECT_EQ(w.status(), 0);
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    o::Bytes bytes;
    for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
    std::fclose(file);
    ASSERT_GT(bytes.size(), 300u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 13), "%SEMI-OASIS\r\n");
    const std::size_t end = bytes.size() - 256;
    EXPECT_EQ(bytes[end], 2);                 // END
    EXPECT_EQ(bytes[bytes.size() - 5], 1);    // CRC32
    const std::uint32_t crc = static_cast<std::uint32_t>(
        crc32(crc32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size() - 4)));
    EXPECT_EQ(bytes[bytes.size() - 4] | bytes[bytes.size() - 3] << 8 |
                  bytes[bytes.size() - 2] << 16 | static_cast<std::uint32_t>(bytes.back()) << 24,
              crc);
    std::remove(path.c_str());
}
