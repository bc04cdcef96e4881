// The export state as hosts that catch errors and carry on see it: every
// sequence leaves a report or a well-formed file (the files kept here are
// read by KLayout afterwards), calls from inside the handler are refused,
// empty names and invalid units are refused, and strict mode writes nothing
// of a bad call.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "host.h"

using namespace host;
namespace fs = std::filesystem;
using Messages = std::vector<std::string>;

namespace {

class State : public ::testing::Test {
protected:
    void SetUp() override { resetWriter(); }
    void TearDown() override { resetWriter(); }
};

// Runs call and answers the message it throws ("" when it throws nothing).
std::string caught(const std::function<void()>& call) {
    try {
        call();
    } catch (const GDSIIException& e) {
        return e.message;
    }
    return "";
}

// Record types of a file, in order.
std::vector<int> recordTypes(const fs::path& path) {
    std::vector<int> types;
    for (const Record& r : records(readFile(path))) types.push_back(r.type);
    return types;
}

const std::vector<int> header = {0x00, 0x01, 0x02, 0x03};

std::vector<int> operator+(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<int> structureA = {0x05, 0x06, 0x07};
const std::vector<int> box = {0x2D, 0x26, 0x2F, 0x0D, 0x2E, 0x10, 0x11};

// A host catching every throw, or with a handler, after a refused duplicate
// name: the flag says open, the file holds no structure.
TEST_F(State, ElementAfterRefusedDuplicateIsReportedNotWrittenOutside) {
    for (const bool handler : {false, true}) {
        resetWriter();
        const fs::path path = keptPath(handler ? "dup-handler.gds" : "dup-catch.gds");
        GDS_BeginLib(path.c_str(), 0.001, 1e-9);
        GDS_BeginStructure("A");
        GDS_EndStructure();
        EXPECT_EQ(caught([] { GDS_BeginStructure("A"); }),
                  "Error: Structure with this name is already inserted.");
        if (handler) SetErrorHandle(recordMessage);
        const auto box = [] { GDS_Box(0, 0, 10, 10, 1, 0, 0, 0); };
        const auto end = [] { GDS_EndStructure(); };
        if (handler) {
            box();
            end();
            EXPECT_EQ(messages(), (Messages{"Error: Structure is not opened.",
                                            "Error: Structure is not opened."}));
        } else {
            EXPECT_EQ(caught(box), "Error: Structure is not opened.");
            EXPECT_EQ(caught(end), "Error: Structure is not opened.");
        }
        // The host goes on normally.
        GDS_BeginStructure("B");
        GDS_Box(0, 0, 10, 10, 1, 0, 0, 0);
        GDS_EndStructure();
        GDS_EndLib();
        EXPECT_EQ(recordTypes(path), (header + structureA + std::vector<int>{0x05, 0x06} + ::box +
                      std::vector<int>{0x07, 0x04}));
    }
}

TEST_F(State, EachLibraryStartsCleanAfterAnUnclosedStructure) {
    SetErrorHandle(recordMessage);
    // Reported, and malformed as specified (no ENDSTR): not one for the reader.
    const fs::path first = tempPath("unclosed-first.gds");
    const fs::path second = keptPath("unclosed-second.gds");
    GDS_BeginLib(first.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("OPEN");
    GDS_EndLib();
    EXPECT_EQ(messages(), Messages{"Error: Structure is not closed."});
    messages().clear();
    // Idle now, with the flag left set as specified: an element written now
    // would go nowhere, and is reported.
    GDS_Box(0, 0, 1, 1, 1, 0, 0, 0);
    EXPECT_EQ(messages(), Messages{"Error: Structure is not opened."});
    messages().clear();
    GDS_BeginLib(second.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("OPEN");  // neither the flag nor the name carried over
    GDS_Box(0, 0, 10, 10, 1, 0, 0, 0);
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(recordTypes(second), (header + std::vector<int>{0x05, 0x06} + box +
                                       std::vector<int>{0x07, 0x04}));
}

TEST_F(State, IdleBeginStructureLeavesNoNameForTheNextLibrary) {
    SetErrorHandle(recordMessage);
    GDS_BeginStructure("TOP");
    EXPECT_EQ(messages(), Messages{"Error: Process is already stoped."});
    messages().clear();
    const fs::path path = keptPath("idle-structure.gds");
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("TOP");
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(recordTypes(path), (header + structureA + std::vector<int>{0x04}));
}

// ---- calls from inside the handler ---------------------------------------

std::vector<int> reentrantResults;
std::string fallbackPath;

int QUILLON_CALL handlerThatCallsBack(const char* message) {
    messages().push_back(message);
    reentrantResults.push_back(GDS_BeginLib(fallbackPath.c_str(), 0.001, 1e-9));
    reentrantResults.push_back(GDS_Box(0, 0, 1, 1, 1, 0, 0, 0));
    reentrantResults.push_back(GDS_EndStructure());
    reentrantResults.push_back(GDS_EndLib());
    return 0;
}

TEST_F(State, CallsFromInsideTheHandlerAreRefusedWithoutRecursion) {
    const fs::path fallback = tempPath("fallback.gds");
    fs::remove(fallback);
    fallbackPath = fallback.string();
    reentrantResults.clear();
    SetErrorHandle(handlerThatCallsBack);
    GDS_BeginLib(tempPath("no/such/dir/x.gds").c_str(), 0.001, 1e-9);
    EXPECT_EQ(messages(), Messages{"Error: Cannot open GDSII file."});
    EXPECT_EQ(reentrantResults, std::vector<int>(4, QUILLON_ERROR_REENTRANT));
    EXPECT_FALSE(fs::exists(fallback));
    GDS_EndLib();  // ends the export the handler let run on

    // Inside a structure: the element being reported is written whole, with
    // nothing of the refused calls between its records.
    const fs::path path = keptPath("reentrant.gds");
    reentrantResults.clear();
    messages().clear();
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("S");
    const int xs[] = {0, 10};
    const int ys[] = {0, 10};
    GDS_Boundary(xs, ys, 2, 1, 0, 0, 0);
    EXPECT_EQ(messages(), Messages{"Error: Not enougph points for BOUNDARY structure. "});
    EXPECT_EQ(reentrantResults, std::vector<int>(4, QUILLON_ERROR_REENTRANT));
    SetErrorHandle(nullptr);
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_EQ(recordTypes(path), (header + std::vector<int>{0x05, 0x06, 0x08, 0x26, 0x2F, 0x0D, 0x0E, 0x10, 0x11,
                                        0x07, 0x04}));
}

// ---- names and units no reader accepts -------------------------------------

TEST_F(State, EmptyStructureNamesAreRefusedWhole) {
    const int xs[] = {0, 10, 0};
    const int ys[] = {0, 0, 10};
    // A structure begins outside any other; references go inside one.
    const std::vector<std::pair<bool, std::function<void()>>> calls = {
        {false, [] { GDS_BeginStructure(""); }},
        {true, [] { GDS_Sref("", 0, 0, 0, 1.0, 0.0, 0, 0); }},
        {true, [&] { GDS_Aref("", xs, ys, 1, 1, 0, 1.0, 0.0, 0, 0); }},
    };
    for (const auto& [inStructure, call] : calls) {
        EXPECT_EQ(inStructure ? throwsWritingNothing(call) : expectThrowOutside(call),
                  "Error: Structure name is empty.");
        SetErrorHandle(recordMessage);
        EXPECT_TRUE((inStructure ? elementBytes(call) : elementBytesOutside(call)).empty());
        EXPECT_EQ(messages(), Messages{"Error: Structure name is empty."});
        resetWriter();
    }
}

TEST_F(State, InvalidUnitsAreRefusedBeforeTheFileIsTouched) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const fs::path path = tempPath("units.gds");
    for (const double bad : {0.0, -0.001, nan, inf, -inf}) {
        for (const bool first : {true, false}) {
            fs::remove(path);
            const double user = first ? bad : 0.001;
            const double metres = first ? 1e-9 : bad;
            EXPECT_EQ(caught([&] { GDS_BeginLib(path.c_str(), user, metres); }),
                      "Error: Invalid units.");
            SetErrorHandle(recordMessage);
            EXPECT_EQ(GDS_BeginLib(path.c_str(), user, metres), QUILLON_ERROR_ARGUMENT);
            EXPECT_EQ(messages(), Messages{"Error: Invalid units."});
            EXPECT_FALSE(fs::exists(path));
            GDS_EndLib();  // still idle
            EXPECT_EQ(messages().back(), "Error: Process is already stoped.");
            resetWriter();
        }
    }
    // Unusual but finite positive units are kept.
    GDS_BeginLib(path.c_str(), 1000.0, 1e-3);
    GDS_EndLib();
    EXPECT_EQ(recordTypes(path), (header + std::vector<int>{0x04}));
}

// ---- strict mode -----------------------------------------------------------

struct StrictCase {
    const char* what;
    std::function<int()> call;
    const char* message;
    int status;
};

TEST_F(State, StrictModeWritesNothingOfABadCall) {
    static const int xs[] = {0, 10, 10, 0, 5};
    static const int ys[] = {0, 0, 10, 10, 5};
    static std::vector<int> many(250, 0);
    static const std::string longText(513, 'x');
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const char* const range = "Error: Value does not fit its GDSII field.";
    const char* const coordinate = "Error: Coordinate does not fit 32 bits.";
    const char* const finite = "Error: Value is not a finite number.";
    const std::vector<StrictCase> cases = {
        {"boundary of 2", [] { return GDS_Boundary(xs, ys, 2, 1, 0, 0, 0); },
         "Error: Not enougph points for BOUNDARY structure. ", QUILLON_ERROR_ARGUMENT},
        {"boundary of 250", [] { return GDS_Boundary(many.data(), many.data(), 250, 1, 0, 0, 0); },
         "Error: Too many points for BOUNDARY structure. ", QUILLON_ERROR_ARGUMENT},
        {"count 65539", [] { return GDS_Boundary(xs, ys, 65539, 1, 0, 0, 0); }, range,
         QUILLON_ERROR_RANGE},
        {"layer 70000", [] { return GDS_Boundary(xs, ys, 3, 70000, 0, 0, 0); }, range,
         QUILLON_ERROR_RANGE},
        {"layer -1", [] { return GDS_Box(0, 0, 1, 1, -1, 0, 0, 0); }, range, QUILLON_ERROR_RANGE},
        {"null points", [] { return GDS_Boundary(nullptr, ys, 3, 1, 0, 0, 0); },
         "Error: Point array is NULL.", QUILLON_ERROR_ARGUMENT},
        // GDS_Path answers the count as read, whatever happened.
        {"path of 1", [] { return GDS_Path(xs, ys, 1, 10, 1, 0, 0, 0, 0); },
         "Error: Not enougph points for PATH structure. ", 1},
        {"path type 3", [] { return GDS_Path(xs, ys, 2, 10, 1, 0, 3, 0, 0); }, range, 2},
        {"node of 51", [] { return GDS_Node(many.data(), many.data(), 51, 1, 0, 0, 0); },
         "Error: Too many points for NODE record. ", QUILLON_ERROR_ARGUMENT},
        {"node of 0", [] { return GDS_Node(xs, ys, 0, 1, 0, 0, 0); },
         "Error: Not enougph points for NODE record. ", QUILLON_ERROR_ARGUMENT},
        {"text 513", [] { return GDS_Text(0, 0, longText.c_str(), 1, 0, 0, 0, 0, 0, 1, 0, 0, 0); },
         "errStringSizeIsOver", QUILLON_ERROR_ARGUMENT},
        {"text type 300", [] { return GDS_Text(0, 0, "A", 1, 300, 0, 0, 0, 0, 1, 0, 0, 0); },
         "errTextTypeLimit", QUILLON_ERROR_ARGUMENT},
        {"text type slot 0x10005",
         [] { return GDS_Text(0, 0, "A", 1, 0x10005, 0, 0, 0, 0, 1, 0, 0, 0); },
         "errTextTypeLimit", QUILLON_ERROR_ARGUMENT},
        {"text mag NaN", [=] { return GDS_Text(0, 0, "A", 1, 0, 0, 0, 0, 0, nan, 0, 0, 0); },
         finite, QUILLON_ERROR_RANGE},
        {"sref angle inf", [=] { return GDS_Sref("C", 0, 0, 0, 1.0, inf, 0, 0); }, finite,
         QUILLON_ERROR_RANGE},
        {"aref 0 columns", [] { return GDS_Aref("C", xs, ys, 0, 2, 0, 1.0, 0.0, 0, 0); },
         "Error: Columns and rows must lie in 1 to 32767.", QUILLON_ERROR_RANGE},
        {"aref 40000 rows", [] { return GDS_Aref("C", xs, ys, 2, 40000, 0, 1.0, 0.0, 0, 0); },
         "Error: Columns and rows must lie in 1 to 32767.", QUILLON_ERROR_RANGE},
        {"boxwh overflow",
         [] { return GDS_BoxWH(2147483000, 0, 1000, 10, 1, 0, 0, 0); }, coordinate,
         QUILLON_ERROR_RANGE},
        {"square overflow", [] { return GDS_Square(-2147483000, 0, -1000, 1, 0, 0, 0); },
         coordinate, QUILLON_ERROR_RANGE},
        {"circle overflow", [] { return GDS_Circle(2147483647, 0, 10, 8, 1, 0, 0, 0); },
         coordinate, QUILLON_ERROR_RANGE},
        {"circle of 2", [] { return GDS_Circle(0, 0, 10, 2, 1, 0, 0, 0); },
         "Error: Not enougph points for BOUNDARY structure. ", QUILLON_ERROR_ARGUMENT},
        {"arc angle NaN", [=] { return GDS_Arc(0, 0, 10, nan, 90, 8, 1, 1, 0, 0, 0, 0); },
         finite, QUILLON_ERROR_RANGE},
        {"sector angle inf", [=] { return GDS_Sector(0, 0, 10, 0, inf, 8, 1, 0, 0, 0); }, finite,
         QUILLON_ERROR_RANGE},
        {"nested structure", [] { return GDS_BeginStructure("T"); },
         "Error: Structure is already opened.", QUILLON_ERROR_STATE},
    };
    for (const StrictCase& c : cases) {
        SCOPED_TRACE(c.what);
        resetWriter();
        GDS_SetStrict(1);
        SetErrorHandle(recordMessage);
        int status = 0;
        EXPECT_TRUE(elementBytes([&] { status = c.call(); }).empty());
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(messages(), Messages{c.message});
        // Without a handler the same call throws the same message.
        SetErrorHandle(nullptr);
        EXPECT_EQ(throwsWritingNothing([&] { c.call(); }), c.message);
    }
}

TEST_F(State, StrictModeRefusesOutOfOrderCallsAndClosesAtEndLib) {
    EXPECT_EQ(GDS_SetStrict(1), 0);
    EXPECT_EQ(GDS_SetStrict(1), 1);
    SetErrorHandle(recordMessage);
    const fs::path path = keptPath("strict-order.gds");
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    EXPECT_EQ(GDS_Box(0, 0, 1, 1, 1, 0, 0, 0), QUILLON_ERROR_STATE);  // outside a structure
    EXPECT_EQ(GDS_EndStructure(), QUILLON_ERROR_STATE);
    GDS_BeginStructure("A");
    GDS_EndStructure();
    EXPECT_EQ(GDS_BeginStructure("A"), QUILLON_ERROR_ARGUMENT);  // duplicate: flag unchanged
    EXPECT_EQ(GDS_Box(0, 0, 1, 1, 1, 0, 0, 0), QUILLON_ERROR_STATE);
    GDS_BeginStructure("B");
    GDS_Box(0, 0, 1, 1, 1, 0, 0, 0);
    EXPECT_EQ(GDS_EndLib(), QUILLON_ERROR_STATE);  // closes B first
    EXPECT_EQ(messages(), (Messages{"Error: Structure is not opened.",
                                    "Error: Structure is not opened.",
                                    "Error: Structure with this name is already inserted.",
                                    "Error: Structure is not opened.",
                                    "Error: Structure is not closed."}));
    EXPECT_EQ(recordTypes(path), (header + structureA + std::vector<int>{0x05, 0x06} + box +
                                     std::vector<int>{0x07, 0x04}));
    // The next library starts with no structure open.
    messages().clear();
    GDS_BeginLib(tempPath("strict-next.gds").c_str(), 0.001, 1e-9);
    GDS_BeginStructure("B");
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_TRUE(messages().empty());
}

}  // namespace
