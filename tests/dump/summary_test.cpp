// The --summary view: counts per record and element kind, structures,
// layers and the bounding box.
#include <gtest/gtest.h>

#include "gds_records.h"
#include "gds_summary.h"
#include "hex.h"

namespace {

quillon::reader::Summary summarise(const std::vector<std::uint8_t>& bytes) {
    quillon::reader::Summary summary;
    const auto error = quillon::reader::readRecords(bytes.data(), bytes.size(),
                                            [&](const quillon::reader::Record& r) { summary.record(r); });
    EXPECT_FALSE(error) << error->message;
    return summary;
}

// Two structures: "A" with a BOUNDARY on 1/0 and a TEXT on 63/5, "TOP"
// with a BOX on 1/2, a PATH on 2/0 and an SREF of "A".
const char* const twoStructures =
    "00 06 00 02 00 03"
    "00 1C 01 02 00 7C 00 01 00 01 00 00 00 00 00 00 00 7C 00 01 00 01 00 00 00 00 00 00"
    "00 06 02 06 4C 42"
    "00 14 03 05 3E 41 89 37 4B C6 A7 F0 39 44 B8 2F A0 9B 5A 54"
    "00 1C 05 02 00 7C 00 01 00 01 00 00 00 00 00 00 00 7C 00 01 00 01 00 00 00 00 00 00"
    "00 06 06 06 41 00"
    "00 04 08 00 00 06 0D 02 00 01 00 06 0E 02 00 00"
    "00 24 10 03 00 00 00 00 00 00 00 00 00 00 00 0A 00 00 00 00 00 00 00 0A 00 00 00 0A"
    "            00 00 00 00 00 00 00 00 00 04 11 00"
    "00 04 0C 00 00 06 0D 02 00 3F 00 06 16 02 00 05 00 0C 10 03 FF FF FF 9C 00 00 00 05"
    "00 06 19 06 68 69 00 04 11 00"
    "00 04 07 00"
    "00 1C 05 02 00 7C 00 01 00 01 00 00 00 00 00 00 00 7C 00 01 00 01 00 00 00 00 00 00"
    "00 08 06 06 54 4F 50 00"
    "00 04 2D 00 00 06 0D 02 00 01 00 06 2E 02 00 02"
    "00 2C 10 03 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 01 00 00 00 01"
    "            00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 00 00 04 11 00"
    "00 04 09 00 00 06 0D 02 00 02 00 06 0E 02 00 00"
    "00 14 10 03 00 00 01 F4 00 00 00 00 00 00 01 F4 00 00 03 E8 00 04 11 00"
    "00 04 0A 00 00 06 12 06 41 00 00 0C 10 03 00 00 00 00 FF FF FF 00 00 04 11 00"
    "00 04 07 00"
    "00 04 04 00";

TEST(Summary, CountsRecordsAndElementsByKind) {
    const auto summary = summarise(hex(twoStructures));
    EXPECT_EQ(summary.recordCounts().at(quillon::reader::BGNSTR), 2u);
    EXPECT_EQ(summary.recordCounts().at(quillon::reader::XY), 5u);
    EXPECT_EQ(summary.recordCounts().at(quillon::reader::ENDEL), 5u);
    const std::map<unsigned, std::size_t> elements = {
        {quillon::reader::BOUNDARY, 1}, {quillon::reader::PATH, 1}, {quillon::reader::SREF, 1},
        {quillon::reader::TEXT, 1},     {quillon::reader::BOX, 1}};
    EXPECT_EQ(summary.elementCounts(), elements);
}

TEST(Summary, ListsStructuresWithTheirElementCountsInFileOrder) {
    const auto summary = summarise(hex(twoStructures));
    const std::vector<std::pair<std::string, std::size_t>> structures = {{"A", 2}, {"TOP", 3}};
    EXPECT_EQ(summary.structures(), structures);
}

TEST(Summary, CountsElementsPerLayerAndType) {
    const auto summary = summarise(hex(twoStructures));
    const std::map<std::pair<int, int>, std::size_t> layers = {
        {{1, 0}, 1}, {{1, 2}, 1}, {{2, 0}, 1}, {{63, 5}, 1}};
    EXPECT_EQ(summary.layers(), layers);
}

TEST(Summary, BoundsEveryPointOfEveryElement) {
    const auto summary = summarise(hex(twoStructures));
    ASSERT_TRUE(summary.boundingBox().has_value());
    EXPECT_EQ(summary.boundingBox()->minX, -100);
    EXPECT_EQ(summary.boundingBox()->minY, -256);
    EXPECT_EQ(summary.boundingBox()->maxX, 500);
    EXPECT_EQ(summary.boundingBox()->maxY, 1000);
}

TEST(Summary, WritesAReadableReport) {
    const auto summary = summarise(hex(twoStructures));
    std::ostringstream out;
    summary.write(out);
    const std::string report = out.str();
    EXPECT_NE(report.find("library: \"LB\", 366 bytes, database unit 0.001 user units, 1e-09 m\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("elements: 5\n  BOUNDARY 1\n  PATH 1\n  SREF 1\n  TEXT 1\n  BOX 1\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("structures: 2\n  \"A\" 2 elements\n  \"TOP\" 3 elements\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("layers: 4 (layer/datatype)\n  1/0 1 element\n  1/2 1 element\n"
                          "  2/0 1 element\n  63/5 1 element\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("bounding box: (-100, -256) to (500, 1000) (database units, top "
                          "structures with references expanded)\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("XY extent: (-100, -256) to (500, 1000)"), std::string::npos) << report;
}

TEST(Summary, ReportsNoBoundingBoxForAFileWithoutElements) {
    const auto summary = summarise(headerRecord + endlibRecord);
    EXPECT_FALSE(summary.boundingBox().has_value());
    std::ostringstream out;
    summary.write(out);
    EXPECT_NE(out.str().find("bounding box: none"), std::string::npos);
    EXPECT_NE(out.str().find("XY extent: none"), std::string::npos);
    EXPECT_NE(out.str().find("structures: 0\n"), std::string::npos);
}

// A library around a leaf "L" holding the box (0, 0)-(10, 20), with the
// records of one top structure given as hex between the two.
std::vector<std::uint8_t> withLeaf(const std::string& topRecords) {
    return hex("00 06 00 02 00 03"
               "00 1C 01 02 00 7C 00 01 00 01 00 00 00 00 00 00 00 7C 00 01 00 01 00 00 00 00 00 00"
               "00 1C 05 02 00 7C 00 01 00 01 00 00 00 00 00 00 00 7C 00 01 00 01 00 00 00 00 00 00"
               "00 06 06 06 4C 00"
               "00 04 2D 00 00 06 0D 02 00 01 00 06 2E 02 00 00"
               "00 2C 10 03 00 00 00 00 00 00 00 00 00 00 00 0A 00 00 00 00 00 00 00 0A 00 00 00 14"
               "            00 00 00 00 00 00 00 14 00 00 00 00 00 00 00 00 00 04 11 00"
               "00 04 07 00"
               "00 1C 05 02 00 7C 00 01 00 01 00 00 00 00 00 00 00 7C 00 01 00 01 00 00 00 00 00 00"
               "00 06 06 06 54 00" +
               topRecords + "00 04 07 00 00 04 04 00");
}

quillon::reader::HierarchyExtent::Box extentOf(const std::vector<std::uint8_t>& bytes) {
    const auto summary = summarise(bytes);
    EXPECT_TRUE(summary.extent().has_value());
    return summary.extent().value_or(quillon::reader::HierarchyExtent::Box{0, 0, 0, 0});
}

void expectBox(const quillon::reader::HierarchyExtent::Box& box, double minX, double minY, double maxX,
               double maxY) {
    EXPECT_NEAR(box.minX, minX, 1e-9);
    EXPECT_NEAR(box.minY, minY, 1e-9);
    EXPECT_NEAR(box.maxX, maxX, 1e-9);
    EXPECT_NEAR(box.maxY, maxY, 1e-9);
}

TEST(Extent, PlacesAReferenceByReflectionMagnificationRotationAndOrigin) {
    // SREF "L" at (100, 100), reflected, magnified 2, turned by 90 degrees:
    // (x, y) -> (100 + 2y, 100 + 2x), so (0, 0)-(10, 20) lands on
    // (100, 100)-(140, 120).
    expectBox(extentOf(withLeaf("00 04 0A 00 00 06 12 06 4C 00 00 06 1A 01 80 00"
                                "00 0C 1B 05 41 20 00 00 00 00 00 00"
                                "00 0C 1C 05 42 5A 00 00 00 00 00 00"
                                "00 0C 10 03 00 00 00 64 00 00 00 64 00 04 11 00")),
              100, 100, 140, 120);
}

TEST(Extent, SpansTheCornerInstancesOfAnArray) {
    // AREF "L" 3 x 2 from (0, 0) with steps (100, 0) and (0, 50).
    expectBox(extentOf(withLeaf("00 04 0B 00 00 06 12 06 4C 00 00 08 13 02 00 03 00 02"
                                "00 1C 10 03 00 00 00 00 00 00 00 00 00 00 01 2C 00 00 00 00"
                                "            00 00 00 00 00 00 00 64 00 04 11 00")),
              0, 0, 210, 70);
}

TEST(Extent, WidensPathsByHalfTheirWidth) {
    // "L" is not referenced here, so it is a top structure of its own.
    expectBox(extentOf(withLeaf("00 04 09 00 00 06 0D 02 00 02 00 08 0F 03 FF FF FF F6"
                                "00 14 10 03 00 00 01 F4 00 00 00 00 00 00 03 E8 00 00 00 00"
                                "00 04 11 00")),
              0, -5, 1005, 20);
}

TEST(Extent, EndsOnCyclicReferencesAndCountsOnlyTopStructures) {
    // "T" references itself and "L": the cycle adds nothing; "L" is not a
    // top structure, so its box counts only through "T".
    expectBox(extentOf(withLeaf("00 04 0A 00 00 06 12 06 54 00 00 0C 10 03 00 00 03 E8 00 00 00 00"
                                "00 04 11 00"
                                "00 04 0A 00 00 06 12 06 4C 00 00 0C 10 03 00 00 00 05 00 00 00 05"
                                "00 04 11 00")),
              5, 5, 15, 25);
}

TEST(Extent, ReportsNothingWhenEveryStructureIsReferenced) {
    // "T" references "L" and "L" nothing, but a reference from "L" back to
    // "T" leaves no top structure.
    const auto bytes = hex(
        "00 06 00 02 00 03"
        "00 1C 05 02 00 7C 00 01 00 01 00 00 00 00 00 00 00 7C 00 01 00 01 00 00 00 00 00 00"
        "00 06 06 06 4C 00 00 04 0A 00 00 06 12 06 54 00 00 0C 10 03 00 00 00 00 00 00 00 00"
        "00 04 11 00 00 04 07 00"
        "00 1C 05 02 00 7C 00 01 00 01 00 00 00 00 00 00 00 7C 00 01 00 01 00 00 00 00 00 00"
        "00 06 06 06 54 00 00 04 0A 00 00 06 12 06 4C 00 00 0C 10 03 00 00 00 00 00 00 00 00"
        "00 04 11 00 00 04 07 00 00 04 04 00");
    EXPECT_FALSE(summarise(bytes).extent().has_value());
}

TEST(Extent, HandlesAHierarchyDeeperThanAnyStack) {
    // 100000 structures, each referencing the one before: no recursion.
    std::vector<std::uint8_t> bytes = headerRecord;
    auto name = [](int i) {
        std::string text = "S" + std::to_string(i);
        if (text.size() % 2) text += '\0';
        return text;
    };
    auto ascii = [](std::uint8_t type, const std::string& text) {
        std::vector<std::uint8_t> record = {0, static_cast<std::uint8_t>(text.size() + 4), type, 6};
        record.insert(record.end(), text.begin(), text.end());
        return record;
    };
    const auto bgnstr = hex("00 1C 05 02 00 7C 00 01 00 01 00 00 00 00 00 00"
                            "00 7C 00 01 00 01 00 00 00 00 00 00");
    const int depth = 100000;
    auto append = [&bytes](const std::vector<std::uint8_t>& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
    };
    const auto reference = hex("00 0C 10 03 00 00 00 01 00 00 00 00 00 04 11 00");
    for (int i = 0; i < depth; ++i) {
        append(bgnstr);
        append(ascii(6, name(i)));
        if (i == 0) {
            append(hex("00 04 08 00 00 06 0D 02 00 01 00 24 10 03"
                                "00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 00"
                                "00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 00 00 04 11 00"));
        } else {
            append(hex("00 04 0A 00"));
            append(ascii(0x12, name(i - 1)));
            append(reference);
        }
        append(hex("00 04 07 00"));
    }
    append(endlibRecord);
    expectBox(extentOf(bytes), depth - 1, 0, depth, 1);
}

}  // namespace
