// The handle API: writers of their own, open at once, with status codes,
// the last error's text, options, and a close that always finishes the file.
#include <cmath>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "host.h"

using namespace host;
namespace fs = std::filesystem;

namespace {

QuillonOptions fixedOptions(const char* libraryName = nullptr) {
    QuillonOptions options;
    quillon_default_options(&options);
    options.libraryName = libraryName;
    const int stamp[6] = {2026, 12, 7, 8, 32, 51};
    for (int i = 0; i < 6; ++i) options.timestamp[i] = stamp[i];
    return options;
}

// The same small layout, through a handle.
void drawCell(QuillonWriter* w, const char* name, int shift) {
    const int xs[] = {0, 100 + shift, 50};
    const int ys[] = {0, 0, 80 + shift};
    EXPECT_EQ(quillon_begin_structure(w, name), QUILLON_OK);
    EXPECT_EQ(quillon_boundary(w, xs, ys, 3, 1, 0, 0, 0), QUILLON_OK);
    EXPECT_EQ(quillon_path(w, xs, ys, 3, 10, 2, 0, 0, 0, 0), QUILLON_OK);
    EXPECT_EQ(quillon_circle(w, 0, 0, 500 + shift, 32, 3, 0, 0, 0), QUILLON_OK);
    EXPECT_EQ(quillon_text(w, 0, 0, name, 4, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0), QUILLON_OK);
    EXPECT_EQ(quillon_end_structure(w), QUILLON_OK);
}

// The same layout through the flat functions.
void drawCellFlat(const char* name, int shift) {
    const int xs[] = {0, 100 + shift, 50};
    const int ys[] = {0, 0, 80 + shift};
    GDS_BeginStructure(name);
    GDS_Boundary(xs, ys, 3, 1, 0, 0, 0);
    GDS_Path(xs, ys, 3, 10, 2, 0, 0, 0, 0);
    GDS_Circle(0, 0, 500 + shift, 32, 3, 0, 0, 0);
    GDS_Text(0, 0, name, 4, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
    GDS_EndStructure();
}

class Handles : public ::testing::Test {
protected:
    void SetUp() override { resetWriter(); }
    void TearDown() override { resetWriter(); }
};

TEST_F(Handles, TwoFilesAtOnceMatchTheFlatFunctionsByteForByte) {
    const fs::path flatA = tempPath("flat-a.gds");
    const fs::path flatB = tempPath("flat-b.gds");
    for (const auto& [path, shift] : {std::pair{flatA, 0}, std::pair{flatB, 7}}) {
        GDS_BeginLib(path.c_str(), 0.001, 1e-9);
        drawCellFlat("TOP", shift);
        GDS_EndLib();
    }
    // LIBNAME chosen to be the flat files' names, so that the bytes compare.
    const std::string nameA = flatA.string(), nameB = flatB.string();
    // Full records, as the flat functions write them.
    QuillonOptions optionsA = fixedOptions(nameA.c_str());
    QuillonOptions optionsB = fixedOptions(nameB.c_str());
    optionsA.compact = optionsB.compact = 0;
    const fs::path pathA = keptPath("handle-a.gds"), pathB = keptPath("handle-b.gds");
    int status = 1;
    QuillonWriter* a = quillon_open(pathA.c_str(), 0.001, 1e-9, &optionsA, &status);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(status, QUILLON_OK);
    QuillonWriter* b = quillon_open(pathB.c_str(), 0.001, 1e-9, &optionsB, &status);
    ASSERT_NE(b, nullptr);
    drawCell(b, "TOP", 7);
    drawCell(a, "TOP", 0);  // the same name in another writer is no duplicate
    EXPECT_EQ(quillon_close(a), QUILLON_OK);
    EXPECT_EQ(quillon_close(b), QUILLON_OK);
    EXPECT_EQ(toHex(readFile(pathA)), toHex(readFile(flatA)));
    EXPECT_EQ(toHex(readFile(pathB)), toHex(readFile(flatB)));
}

struct Reported {
    std::vector<int> statuses;
    std::vector<std::string> messages;
};

void QUILLON_CALL collect(void* userData, int status, const char* message) {
    auto* reported = static_cast<Reported*>(userData);
    reported->statuses.push_back(status);
    reported->messages.push_back(message);
}

TEST_F(Handles, ErrorsComeBackAsStatusTextAndCallbackAndWriteNothing) {
    Reported reported;
    QuillonOptions options = fixedOptions("LIB");
    options.onError = collect;
    options.userData = &reported;
    const fs::path path = keptPath("handle-errors.gds");
    QuillonWriter* w = quillon_open(path.c_str(), 0.001, 1e-9, &options, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_STREQ(quillon_last_error(w), "");
    EXPECT_EQ(quillon_box(w, 0, 0, 1, 1, 1, 0, 0, 0), QUILLON_ERROR_STATE);
    EXPECT_STREQ(quillon_last_error(w), "Error: Structure is not opened.");
    EXPECT_EQ(quillon_begin_structure(w, nullptr), QUILLON_ERROR_ARGUMENT);
    EXPECT_EQ(quillon_begin_structure(w, "TOP"), QUILLON_OK);
    EXPECT_EQ(quillon_box(w, 0, 0, 1, 1, 70000, 0, 0, 0), QUILLON_ERROR_RANGE);
    EXPECT_EQ(quillon_text(w, 0, 0, nullptr, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0),
              QUILLON_ERROR_ARGUMENT);
    EXPECT_STREQ(quillon_last_error(w), "errStringIsNULL");
    EXPECT_EQ(quillon_box(nullptr, 0, 0, 1, 1, 1, 0, 0, 0), QUILLON_ERROR_ARGUMENT);
    // A structure left open is closed by quillon_close, and reported.
    EXPECT_EQ(quillon_close(w), QUILLON_ERROR_STATE);
    EXPECT_EQ(reported.statuses,
              (std::vector<int>{QUILLON_ERROR_STATE, QUILLON_ERROR_ARGUMENT, QUILLON_ERROR_RANGE,
                                QUILLON_ERROR_ARGUMENT, QUILLON_ERROR_STATE}));
    EXPECT_EQ(reported.messages.back(), "Error: Structure is not closed.");
    const auto recs = records(readFile(path));
    ASSERT_EQ(recs.size(), 4u + 3u + 1u);
    EXPECT_EQ(toHex(recs[2].data), "4C 49 42 00");  // LIBNAME "LIB"
    EXPECT_EQ(recs[6].type, 0x07);
    EXPECT_EQ(quillon_close(nullptr), QUILLON_OK);
}

TEST_F(Handles, OpenFailsCleanlyWithAReason) {
    int status = 0;
    EXPECT_EQ(quillon_open(tempPath("no/such/dir/h.gds").c_str(), 0.001, 1e-9, nullptr, &status),
              nullptr);
    EXPECT_EQ(status, QUILLON_ERROR_IO);
    const fs::path path = tempPath("bad-units.gds");
    fs::remove(path);
    EXPECT_EQ(quillon_open(path.c_str(), 0.0, 1e-9, nullptr, &status), nullptr);
    EXPECT_EQ(status, QUILLON_ERROR_ARGUMENT);
    EXPECT_FALSE(fs::exists(path));
    QuillonOptions options = fixedOptions();
    options.timestamp[1] = 13;
    EXPECT_EQ(quillon_open(path.c_str(), 0.001, 1e-9, &options, &status), nullptr);
    EXPECT_EQ(status, QUILLON_ERROR_RANGE);
    const std::string longName(70000, 'L');
    options = fixedOptions(longName.c_str());
    EXPECT_EQ(quillon_open(path.c_str(), 0.001, 1e-9, &options, &status), nullptr);
    EXPECT_EQ(status, QUILLON_ERROR_ARGUMENT);
}

TEST_F(Handles, LenientHandleCarriesOnLikeTheFlatFunctionsWithAHandler) {
    QuillonOptions options = fixedOptions("L");
    options.strict = 0;
    const fs::path path = tempPath("lenient.gds");
    QuillonWriter* w = quillon_open(path.c_str(), 0.001, 1e-9, &options, nullptr);
    ASSERT_NE(w, nullptr);
    quillon_begin_structure(w, "S");
    const int xs[] = {0, 10};
    const int ys[] = {0, 10};
    // Reported, then written as passed: two vertices and the closing point.
    EXPECT_EQ(quillon_boundary(w, xs, ys, 2, 70000, 0, 0, 0), QUILLON_ERROR_ARGUMENT);
    quillon_end_structure(w);
    EXPECT_EQ(quillon_close(w), QUILLON_OK);
    const auto xy = xyRecords(readFile(path));
    ASSERT_EQ(xy.size(), 1u);
    EXPECT_EQ(xy[0].size(), 3u);
}

TEST_F(Handles, OptionsOfAnOlderCallerKeepTheirDefaults) {
    // A caller that knows only size and libraryName: strict by default.
    QuillonOptions options = fixedOptions("OLD");
    options.strict = 0;
    options.size = offsetof(QuillonOptions, timestamp);
    QuillonWriter* w = quillon_open(tempPath("old.gds").c_str(), 0.001, 1e-9, &options, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(quillon_box(w, 0, 0, 1, 1, 1, 0, 0, 0), QUILLON_ERROR_STATE);
    EXPECT_EQ(quillon_close(w), QUILLON_OK);
    const auto recs = records(readFile(tempPath("old.gds")));
    EXPECT_EQ(recs.size(), 5u);  // the refused box wrote nothing
}

}  // namespace

namespace {

// PROPATTR / PROPVALUE pairs of an element's records, in order.
std::vector<std::pair<int, std::string>> propertiesOf(const Bytes& element) {
    std::vector<std::pair<int, std::string>> found;
    const auto recs = records(element);
    for (std::size_t i = 0; i + 1 < recs.size(); ++i) {
        if (recs[i].type != 0x2B) continue;
        EXPECT_EQ(recs[i + 1].type, 0x2C);
        std::string value(recs[i + 1].data.begin(), recs[i + 1].data.end());
        while (!value.empty() && value.back() == 0) value.pop_back();
        found.emplace_back((recs[i].data[0] << 8) | recs[i].data[1], value);
    }
    return found;
}

class Properties : public ::testing::Test {
protected:
    void SetUp() override { resetWriter(); }
    void TearDown() override { resetWriter(); }
};

TEST_F(Properties, GoBetweenTheElementDataAndEndelInTheOrderGiven) {
    // PROPATTR 1 "VDD" (odd: one NUL) and PROPATTR 65535 "AB".
    const Bytes box = elementBytes([] {
        EXPECT_EQ(GDS_Property(1, "VDD"), 0);
        GDS_Property(65535, "AB");
        GDS_Box(0, 0, 10, 10, 1, 0, 0, 0);
        GDS_Box(0, 0, 10, 10, 1, 0, 0, 0);  // the queue was consumed
    });
    EXPECT_EQ(toHex(Bytes(box.begin() + 74, box.begin() + 74 + 30)),
              toHex(hex("00 06 2B 02 00 01  00 08 2C 06 56 44 44 00"
                        "00 06 2B 02 FF FF  00 06 2C 06 41 42  00 04 11 00")));
    EXPECT_EQ(box.size(), 78u + 26u + 78u);
    // Every element kind carries them, each piece of a split path too.
    const int xs[] = {0, 10, 10}, ys[] = {0, 0, 10};
    std::vector<int> px(450), py(450);
    for (int i = 0; i < 450; ++i) px[static_cast<std::size_t>(i)] = i * 10;
    const std::vector<std::pair<int, std::function<void()>>> kinds = {
        {1, [&] { GDS_Boundary(xs, ys, 3, 1, 0, 0, 0); }},
        {3, [&] { GDS_Path(px.data(), py.data(), 450, 5, 1, 0, 0, 0, 0); }},
        {1, [&] { GDS_Circle(0, 0, 100, 16, 1, 0, 0, 0); }},
        {1, [&] { GDS_Arc(0, 0, 100, 0, 90, 16, 5, 1, 0, 0, 0, 0); }},
        {1, [&] { GDS_Sref("C", 0, 0, 0, 1.0, 0.0, 0, 0); }},
        {1, [&] { GDS_Aref("C", xs, ys, 2, 2, 0, 1.0, 0.0, 0, 0); }},
        {1, [&] { GDS_Text(0, 0, "pin", 1, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0); }},
        {1, [&] { GDS_Node(xs, ys, 3, 1, 0, 0, 0); }},
    };
    for (const auto& [pieces, call] : kinds) {
        const auto found = propertiesOf(elementBytes([&] {
            GDS_Property(7, "net");
            call();
        }));
        EXPECT_EQ(found, (std::vector<std::pair<int, std::string>>(
                             static_cast<std::size_t>(pieces), {7, "net"})));
    }
}

TEST_F(Properties, PolygonPiecesEachCarryThemAndASmallPolygonIsOneBoundary) {
    // A closed square (last vertex = first) is the BOUNDARY of its 4 vertices.
    const int sx[] = {0, 10, 10, 0, 0}, sy[] = {0, 0, 10, 10, 0};
    EXPECT_EQ(toHex(elementBytes([&] { GDS_Polygon(sx, sy, 5, 1, 2, 0, 0); })),
              toHex(elementBytes([&] { GDS_Boundary(sx, sy, 4, 1, 2, 0, 0); })));
    // A 1000-vertex circle: pieces of at most 199 vertices, each with the
    // property, on the polygon's layer.
    std::vector<int> cx(1000), cy(1000);
    for (std::size_t i = 0; i < cx.size(); ++i) {
        const double a = 6.283185307179586 * static_cast<double>(i) / 1000.0;
        cx[i] = static_cast<int>(std::lround(50000 * std::cos(a)));
        cy[i] = static_cast<int>(std::lround(50000 * std::sin(a)));
    }
    const Bytes pieces = elementBytes([&] {
        GDS_Property(9, "ring");
        EXPECT_EQ(GDS_Polygon(cx.data(), cy.data(), 1000, 3, 0, 0, 0), 0);
    });
    std::size_t boundaries = 0;
    for (const auto& rec : records(pieces)) {
        if (rec.type == 0x08) ++boundaries;
        if (rec.type == 0x10) {
            EXPECT_LE(rec.data.size(), 8u * 200u);
        }
    }
    EXPECT_GE(boundaries, 6u);
    EXPECT_EQ(propertiesOf(pieces), (std::vector<std::pair<int, std::string>>(boundaries, {9, "ring"})));
}

TEST_F(Properties, PolygonAboveTheLimitEnclosingNothingIsReportedAndTakesThem) {
    // A 200-gon traced twice, and a zigzag out and back: 400 vertices each,
    // no area under even-odd fill. At the limit they would be written as
    // given; above it nothing is written, the call says so and the queued
    // property goes with it.
    std::vector<int> twiceX, twiceY, flatX, flatY;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 200; ++i) {
            const double a = 6.283185307179586 * i / 200.0;
            twiceX.push_back(static_cast<int>(std::lround(10000 * std::cos(a))));
            twiceY.push_back(static_cast<int>(std::lround(10000 * std::sin(a))));
            const int k = round == 0 ? i : 199 - i;
            flatX.push_back(k * 10);
            flatY.push_back(k % 2 * 7);
        }
    }
    SetErrorHandle(recordMessage);
    const Bytes written = elementBytes([&] {
        GDS_Property(4, "gone");
        EXPECT_EQ(GDS_Polygon(twiceX.data(), twiceY.data(), 400, 1, 0, 0, 0), QUILLON_ERROR_ARGUMENT);
        EXPECT_EQ(GDS_Polygon(flatX.data(), flatY.data(), 400, 1, 0, 0, 0), QUILLON_ERROR_ARGUMENT);
        GDS_Box(0, 0, 1, 1, 1, 0, 0, 0);
    });
    EXPECT_TRUE(propertiesOf(written).empty());
    EXPECT_EQ(written.size(), 78u);  // the box alone
    EXPECT_EQ(messages(), (std::vector<std::string>(2, "Error: Polygon cannot be fractured.")));
}

TEST_F(Properties, BadOrUnusedPropertiesAreReported) {
    SetErrorHandle(recordMessage);
    const Bytes written = elementBytes([] {
        GDS_Property(0, "x");
        GDS_Property(65536, "x");
        GDS_Property(1, nullptr);
        GDS_Property(2, "lost");  // no element follows before ENDSTR
    });
    EXPECT_TRUE(written.empty());
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              "Error: Property attribute must lie in 1 to 65535.",
                              "Error: Property attribute must lie in 1 to 65535.",
                              "Error: Property value is NULL.",
                              "Error: Properties have no element."}));
    // A refused element takes its properties with it.
    messages().clear();
    const int xs[] = {0, 10};
    GDS_SetStrict(1);
    const Bytes refused = elementBytes([&] {
        GDS_Property(3, "gone");
        GDS_Boundary(xs, xs, 2, 1, 0, 0, 0);
        GDS_Box(0, 0, 1, 1, 1, 0, 0, 0);
    });
    EXPECT_TRUE(propertiesOf(refused).empty());
    EXPECT_EQ(refused.size(), 78u);
}

TEST_F(Properties, HandleWritesThemAndKLayoutReadsThem) {
    const QuillonOptions options = fixedOptions("PROPS");
    const fs::path path = keptPath("properties.gds");
    QuillonWriter* w = quillon_open(path.c_str(), 0.001, 1e-9, &options, nullptr);
    ASSERT_NE(w, nullptr);
    quillon_begin_structure(w, "TOP");
    const std::string longValue(300, 'v');  // past the classic 128 bytes
    EXPECT_EQ(quillon_property(w, 1, "VDD"), QUILLON_OK);
    EXPECT_EQ(quillon_property(w, 2, longValue.c_str()), QUILLON_OK);
    const int xs[] = {0, 10, 10}, ys[] = {0, 0, 10};
    quillon_boundary(w, xs, ys, 3, 1, 0, 0, 0);  // gdspy drops BOX
    EXPECT_EQ(quillon_property(w, 0, "bad"), QUILLON_ERROR_RANGE);
    quillon_end_structure(w);
    EXPECT_EQ(quillon_close(w), QUILLON_OK);
    const auto found = propertiesOf(readFile(path));
    EXPECT_EQ(found, (std::vector<std::pair<int, std::string>>{{1, "VDD"}, {2, longValue}}));
}

}  // namespace

namespace {

TEST(HandleOptions, CompressionChosenByOptionOrSuffix) {
    const std::vector<std::tuple<const char*, int, bool>> cases = {
        {"plain.gds", -1, false}, {"zipped.gds.gz", -1, true}, {"forced.gds", 1, true},
        {"never.gds.gz", 0, false}, {"best.gds", 9, true}};
    for (const auto& [name, level, compressed] : cases) {
        QuillonOptions options = fixedOptions("Z");
        options.compression = level;
        const fs::path path = tempPath(name);
        QuillonWriter* w = quillon_open(path.c_str(), 0.001, 1e-9, &options, nullptr);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_EQ(quillon_close(w), QUILLON_OK);
        const Bytes bytes = readFile(path);
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes[0] == 0x1F && bytes[1] == 0x8B, compressed) << name;
    }
    QuillonOptions options = fixedOptions("Z");
    options.compression = 10;
    int status = 0;
    EXPECT_EQ(quillon_open(tempPath("bad.gds").c_str(), 0.001, 1e-9, &options, &status), nullptr);
    EXPECT_EQ(status, QUILLON_ERROR_ARGUMENT);
}

}  // namespace
