// Handles: compact records byte for byte, undefined references reported at
// close, the most severe status of a call, refusals of quillon_open through
// the callback, and paths of any length.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "host.h"

using namespace host;

namespace {

struct Heard {
    QuillonWriter* writer = nullptr;
    std::vector<int> statuses;
    std::vector<std::string> messages;
    std::string lastError;  // quillon_last_error, read inside the callback
};

void QUILLON_CALL hear(void* userData, int status, const char* message) {
    auto* heard = static_cast<Heard*>(userData);
    heard->statuses.push_back(status);
    heard->messages.push_back(message);
    if (heard->writer != nullptr) heard->lastError = quillon_last_error(heard->writer);
}

QuillonOptions options(Heard* heard = nullptr) {
    QuillonOptions o;
    quillon_default_options(&o);
    o.libraryName = "L";
    o.compression = 0;
    o.onError = heard != nullptr ? hear : nullptr;
    o.userData = heard;
    return o;
}

// The bytes a handle writes between STRNAME "S" and ENDSTR.
Bytes handleElementBytes(const QuillonOptions& o, const std::function<void(QuillonWriter*)>& calls) {
    const auto path = tempPath("compact.gds");
    QuillonWriter* w = quillon_open(path.c_str(), 0.001, 1e-9, &o, nullptr);
    EXPECT_NE(w, nullptr);
    quillon_begin_structure(w, "S");
    calls(w);
    quillon_end_structure(w);
    quillon_close(w);
    const Bytes file = readFile(path);
    // HEADER 6, BGNLIB 28, LIBNAME "L" 6, UNITS 20, BGNSTR 28, STRNAME 6;
    // ENDSTR and ENDLIB after.
    return Bytes(file.begin() + 94, file.end() - 8);
}

TEST(Compact, LeavesOutTheDefaultsOfGDSII) {
    const std::string boxXY = int4s({0, 0, 10, 0, 10, 10, 0, 10, 0, 0});
    const auto withBox = [&](const std::string& head) {
        return head + " 00 06 0D 02 00 01  00 06 2E 02 00 00  00 2C 10 03" + boxXY + "00 04 11 00";
    };
    const std::string sref = "00 04 0A 00  00 06 12 06 43 00";
    const std::string xy = "00 0C 10 03" + int4s({5, 7}) + "00 04 11 00";
    const std::vector<std::pair<std::function<void(QuillonWriter*)>, std::string>> cases = {
        // BOX: no ELFLAGS, no PLEX at 0; each written when set.
        {[](QuillonWriter* w) { quillon_box(w, 0, 0, 10, 10, 1, 0, 0, 0); }, withBox("00 04 2D 00")},
        {[](QuillonWriter* w) { quillon_box(w, 0, 0, 10, 10, 1, 0, 1, 0); },
         withBox("00 04 2D 00  00 06 26 01 00 01")},
        {[](QuillonWriter* w) { quillon_box(w, 0, 0, 10, 10, 1, 0, 0, 9); },
         withBox("00 04 2D 00  00 08 2F 03 00 00 00 09")},
        // SREF: no STRANS, MAG, ANGLE for the identity...
        {[](QuillonWriter* w) { quillon_sref(w, "C", 5, 7, 0, 1.0, 0.0, 0, 0); }, sref + xy},
        // ...STRANS and ANGLE 90 (REAL8 42 5A ...) but no MAG 1 when reflected...
        {[](QuillonWriter* w) { quillon_sref(w, "C", 5, 7, 0x8000, 1.0, 90.0, 0, 0); },
         sref + "00 06 1A 01 80 00  00 0C 1C 05 42 5A 00 00 00 00 00 00" + xy},
        // ...STRANS 0 and MAG 2 (41 20 ...) but no ANGLE 0 when magnified.
        {[](QuillonWriter* w) { quillon_sref(w, "C", 5, 7, 0, 2.0, 0.0, 0, 0); },
         sref + "00 06 1A 01 00 00  00 0C 1B 05 41 20 00 00 00 00 00 00" + xy},
        // TEXT of the identity: PRESENTATION, PATHTYPE and WIDTH stay.
        {[](QuillonWriter* w) { quillon_text(w, 5, 7, "hi", 1, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0); },
         "00 04 0C 00  00 06 0D 02 00 01  00 06 16 02 00 00  00 06 17 01 00 00"
         "00 06 21 02 00 00  00 08 0F 03 00 00 00 00  00 0C 10 03" + int4s({5, 7}) +
             "00 06 19 06 68 69  00 04 11 00"},
    };
    for (const auto& [call, expected] : cases)
        EXPECT_EQ(toHex(handleElementBytes(options(), call)), toHex(hex(expected)));
}

TEST(Compact, OlderCallersAndFlatFunctionsKeepEveryRecord) {
    resetWriter();
    QuillonOptions old = options();
    old.size = offsetof(QuillonOptions, compact);  // built before compact existed
    const auto call = [](QuillonWriter* w) { quillon_sref(w, "C", 5, 7, 0, 1.0, 0.0, 0, 0); };
    SetErrorHandle(recordMessage);  // hears of the undefined "C" at the end
    GDS_SetStrict(1);  // strict mode does not make the flat functions compact
    const Bytes flat = elementBytes([] { GDS_Sref("C", 5, 7, 0, 1.0, 0.0, 0, 0); });
    EXPECT_EQ(toHex(handleElementBytes(old, call)), toHex(flat));
    QuillonOptions full = options();
    full.compact = 0;
    EXPECT_EQ(toHex(handleElementBytes(full, call)), toHex(flat));
    resetWriter();
}

TEST(UndefinedReferences, ReportedOnceAtCloseNamingTheFirstTen) {
    Heard heard;
    const QuillonOptions o = options(&heard);
    QuillonWriter* w = quillon_open(tempPath("ghosts.gds").c_str(), 0.001, 1e-9, &o, nullptr);
    ASSERT_NE(w, nullptr);
    heard.writer = w;
    quillon_begin_structure(w, "TOP");
    const int xs[] = {0, 10, 0}, ys[] = {0, 0, 10};
    quillon_sref(w, "PAd", 0, 0, 0, 1.0, 0.0, 0, 0);
    quillon_sref(w, "PAD", 0, 0, 0, 1.0, 0.0, 0, 0);
    for (int i = 1; i <= 11; ++i) {
        const std::string name = "X" + std::to_string(i);
        quillon_aref(w, name.c_str(), xs, ys, 2, 2, 0, 1.0, 0.0, 0, 0);
        quillon_sref(w, name.c_str(), 0, 0, 0, 1.0, 0.0, 0, 0);
    }
    quillon_end_structure(w);
    quillon_begin_structure(w, "PAD");  // defined after its reference: fine
    quillon_end_structure(w);
    EXPECT_EQ(quillon_close(w), QUILLON_WARNING_UNDEFINED_STRUCTURE);
    EXPECT_EQ(heard.messages, std::vector<std::string>{"Error: Reference to an undefined structure."});
    EXPECT_EQ(heard.lastError, "Error: Reference to an undefined structure. Undefined: PAd, X1, X2, "
                               "X3, X4, X5, X6, X7, X8, X9 and 2 more.");
    EXPECT_EQ(records(readFile(tempPath("ghosts.gds"))).back().type, 0x04);  // ENDLIB: kept whole
}

TEST(UndefinedReferences, FlatFunctionsReportThemInStrictModeOnly) {
    for (const int strict : {0, 1}) {
        resetWriter();
        SetErrorHandle(recordMessage);
        GDS_SetStrict(strict);
        GDS_BeginLib(tempPath("flat-ghost.gds").c_str(), 0.001, 1e-9);
        GDS_BeginStructure("TOP");
        GDS_Sref("GHOST", 0, 0, 0, 1.0, 0.0, 0, 0);
        GDS_EndStructure();
        EXPECT_EQ(GDS_EndLib(), strict ? QUILLON_WARNING_UNDEFINED_STRUCTURE : 0);
        EXPECT_EQ(messages(), strict ? std::vector<std::string>{"Error: Reference to an undefined "
                                                                "structure."}
                                     : std::vector<std::string>{});
    }
    resetWriter();
}

TEST(StatusOrder, AFullDiskWeighsMoreThanWhatCloseRepairs) {
    const std::vector<std::function<void(QuillonWriter*)>> leftovers = {
        [](QuillonWriter*) {},  // a structure left open
        [](QuillonWriter* w) { quillon_property(w, 1, "queued"); },
        [](QuillonWriter* w) {
            quillon_end_structure(w);
            quillon_property(w, 1, "queued");
        },
    };
    for (const auto& leftover : leftovers) {
        Heard heard;
        const QuillonOptions o = options(&heard);
        QuillonWriter* w = quillon_open("/dev/full", 0.001, 1e-9, &o, nullptr);
        ASSERT_NE(w, nullptr);
        quillon_begin_structure(w, "TOP");
        quillon_box(w, 0, 0, 10, 10, 1, 0, 0, 0);
        leftover(w);
        EXPECT_EQ(quillon_close(w), QUILLON_ERROR_IO);
        EXPECT_EQ(heard.messages.back(), "Error: Cannot write GDSII file.");
        EXPECT_GE(heard.messages.size(), 2u);  // what close repaired is reported too
    }
}

TEST(StatusOrder, OpenReportsEveryRefusalToTheCallback) {
    const auto path = tempPath("refused.gds");
    const std::vector<std::tuple<const char*, int, double, int, const char*>> cases = {
        {nullptr, -1, 0.001, QUILLON_ERROR_ARGUMENT, "Error: File name is NULL."},
        {path.c_str(), 10, 0.001, QUILLON_ERROR_ARGUMENT, "Error: Compression must lie in -1 to 9."},
        {path.c_str(), -1, 0.0, QUILLON_ERROR_ARGUMENT, "Error: Invalid units."},
        {path.c_str(), -1, 1e-300, QUILLON_ERROR_ARGUMENT, "Error: Invalid units."},  // no REAL8
    };
    for (const auto& [name, compression, unit, status, message] : cases) {
        Heard heard;
        QuillonOptions o = options(&heard);
        o.compression = compression;
        int reported = 0;
        EXPECT_EQ(quillon_open(name, unit, 1e-9, &o, &reported), nullptr);
        EXPECT_EQ(reported, status);
        EXPECT_EQ(heard.messages, std::vector<std::string>{message});
    }
}

TEST(LongPaths, AHandleTakesAnyCountAndSplitsIt) {
    const int n = 40000;  // beyond the 16 bits of a flat count
    std::vector<int> xs(n), ys(n);
    for (int i = 0; i < n; ++i) {
        xs[static_cast<std::size_t>(i)] = i * 10;
        ys[static_cast<std::size_t>(i)] = (i % 2) * 10;
    }
    const Bytes bytes = handleElementBytes(options(), [&](QuillonWriter* w) {
        EXPECT_EQ(quillon_path(w, xs.data(), ys.data(), n, 2, 1, 0, 0, 0, 0), QUILLON_OK);
    });
    const auto pieces = xyRecords(bytes);
    ASSERT_GE(pieces.size(), static_cast<std::size_t>(n / 199));
    EXPECT_EQ(pieces.front().front(), std::make_pair(0, 0));
    EXPECT_EQ(pieces.back().back(), std::make_pair(xs.back(), ys.back()));
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        EXPECT_LE(pieces[k].size(), 200u);
        if (k > 0) {  // each piece starts on the last segment of the one before
            EXPECT_EQ(pieces[k][0], pieces[k - 1][pieces[k - 1].size() - 2]);
        }
    }
}

}  // namespace
