// Library and structure framing, the export state machine and its messages,
// driven through the exported functions of libquillon.so.
#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "host.h"

using namespace host;
namespace fs = std::filesystem;

namespace {

class Framing : public ::testing::Test {
protected:
    void SetUp() override { resetWriter(); }
    void TearDown() override { resetWriter(); }
};

const Bytes headerRecord = hex("00 06 00 02 00 03");
const Bytes endLib = hex("00 04 04 00");
const Bytes endStr = hex("00 04 07 00");
const Bytes bgnStr = concat({hex("00 1C 05 02"), hex(fixedStamp)});
const Bytes nanometreUnits =
    hex("00 14 03 05 3E 41 89 37 4B C6 A7 F0 39 44 B8 2F A0 9B 5A 54");

std::string expectThrow(const std::function<void()>& call) {
    try {
        call();
    } catch (const GDSIIException& e) {
        return e.message;
    }
    ADD_FAILURE() << "no GDSIIException thrown";
    return "";
}

TEST_F(Framing, EmptyLibraryIsTheSixtyEightBytesOfTheFormat) {
    // Relative name "a.gds": LIBNAME carries it with one pad byte.
    const fs::path folder = tempPath("");
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    GDS_BeginLib("a.gds", 0.001, 1e-9);
    GDS_EndLib();
    const Bytes written = readFile(folder / "a.gds");
    fs::current_path(previous);
    EXPECT_EQ(toHex(written),
              toHex(hex("00 06 00 02 00 03"
                        "00 1C 01 02 00 7E 00 0C 00 07 00 08 00 20 00 33 00 7E 00 0C 00 07 00 "
                        "08 00 20 00 33"
                        "00 0A 02 06 61 2E 67 64 73 00"
                        "00 14 03 05 3E 41 89 37 4B C6 A7 F0 39 44 B8 2F A0 9B 5A 54"
                        "00 04 04 00")));
    EXPECT_EQ(written.size(), 68u);
}

TEST_F(Framing, LibNameIsThePathAsPassedPaddedToEvenLength) {
    const fs::path even = tempPath("evenname.gds");  // path length decides padding
    const std::string name = even.string();
    GDS_BeginLib(name.c_str(), 0.001, 1e-9);
    GDS_EndLib();
    const auto recs = records(readFile(even));
    ASSERT_EQ(recs[2].type, 0x02);
    const std::string stored(recs[2].data.begin(), recs[2].data.end());
    if (name.size() % 2 == 0) {
        EXPECT_EQ(stored, name);
    } else {
        EXPECT_EQ(stored, name + std::string(1, '\0'));
    }
}

TEST_F(Framing, UnitsKeepArgumentOrder) {
    const fs::path path = tempPath("units.gds");
    GDS_BeginLib(path.c_str(), 1e-9, 0.001);
    GDS_EndLib();
    const auto recs = records(readFile(path));
    EXPECT_EQ(toHex(recs[3].data), "39 44 B8 2F A0 9B 5A 54 3E 41 89 37 4B C6 A7 F0");
}

TEST_F(Framing, ExistingFileIsTruncated) {
    const fs::path path = tempPath("truncate.gds");
    {
        std::ofstream junk(path, std::ios::binary);
        junk << std::string(10000, 'x');
    }
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_EndLib();
    const Bytes written = readFile(path);
    EXPECT_EQ(written.size(), 68u - 10 + 4 + path.string().size() + path.string().size() % 2);
    EXPECT_EQ(toHex(Bytes(written.end() - 4, written.end())), "00 04 04 00");
}

TEST_F(Framing, StructureRecordsCarryNameAndTimestamp) {
    const fs::path path = tempPath("structures.gds");
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("TOP");   // odd: one NUL
    GDS_EndStructure();
    GDS_BeginStructure("CELL");  // even: no NUL
    GDS_EndStructure();
    GDS_EndLib();
    const Bytes written = readFile(path);
    const Bytes expectedTail = concat({bgnStr, hex("00 08 06 06 54 4F 50 00"), endStr,
                                       bgnStr, hex("00 08 06 06 43 45 4C 4C"), endStr, endLib});
    ASSERT_GE(written.size(), expectedTail.size());
    EXPECT_EQ(toHex(Bytes(written.end() - static_cast<std::ptrdiff_t>(expectedTail.size()),
                          written.end())),
              toHex(expectedTail));
    EXPECT_TRUE(messages().empty());
}

TEST_F(Framing, EndLibWithoutLibraryThrowsOrReportsOnce) {
    EXPECT_EQ(expectThrow([] { GDS_EndLib(); }), "Error: Process is already stoped.");
    SetErrorHandle(recordMessage);
    GDS_EndLib();
    EXPECT_EQ(messages(), std::vector<std::string>{"Error: Process is already stoped."});
}

TEST_F(Framing, EndLibTwiceReportsTheSecond) {
    const fs::path path = tempPath("twice.gds");
    SetErrorHandle(recordMessage);
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_EndLib();
    EXPECT_TRUE(messages().empty());
    GDS_EndLib();
    EXPECT_EQ(messages(), std::vector<std::string>{"Error: Process is already stoped."});
    const Bytes written = readFile(path);
    EXPECT_EQ(written.size(), 62u + path.string().size() + path.string().size() % 2);
    EXPECT_EQ(toHex(Bytes(written.end() - 4, written.end())), "00 04 04 00");
}

TEST_F(Framing, SecondBeginLibIsRefusedAndLeavesBothFilesAlone) {
    const fs::path running = tempPath("running.gds");
    const fs::path refused = tempPath("refused.gds");
    fs::remove(refused);
    GDS_BeginLib(running.c_str(), 0.001, 1e-9);
    EXPECT_EQ(expectThrow([&] { GDS_BeginLib(refused.c_str(), 1.0, 1.0); }),
              "Error: Cannot start another export process.");
    SetErrorHandle(recordMessage);
    GDS_BeginLib(refused.c_str(), 1.0, 1.0);
    EXPECT_EQ(messages(), std::vector<std::string>{"Error: Cannot start another export process."});
    EXPECT_FALSE(fs::exists(refused));
    GDS_BeginStructure("STILL");
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_EQ(messages().size(), 1u);
    const auto recs = records(readFile(running));
    ASSERT_EQ(recs.size(), 4u + 3u + 1u);
    EXPECT_EQ(toHex(recs[3].data), toHex(Bytes(nanometreUnits.begin() + 4, nanometreUnits.end())));
    EXPECT_EQ(std::string(recs[5].data.begin(), recs[5].data.end()), std::string("STILL") + '\0');
    EXPECT_FALSE(fs::exists(refused));
}

TEST_F(Framing, OutOfOrderStructureCallsReportInOrder) {
    EXPECT_EQ(expectThrow([] { GDS_BeginStructure("A"); }), "Error: Process is already stoped.");
    EXPECT_EQ(expectThrow([] { GDS_EndStructure(); }), "Error: Structure is not opened.");

    const fs::path path = tempPath("order.gds");
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("A");
    EXPECT_EQ(expectThrow([] { GDS_BeginStructure("B"); }), "Error: Structure is already opened.");
    EXPECT_EQ(expectThrow([] { GDS_EndLib(); }), "Error: Structure is not closed.");
    GDS_EndStructure();
    GDS_EndLib();
    // Nothing of the refused calls reached the file.
    EXPECT_EQ(records(readFile(path)).size(), 4u + 3u + 1u);
}

TEST_F(Framing, EndStructureWithoutStructureStillWritesEndStrWithHandler) {
    const fs::path path = tempPath("endstr.gds");
    SetErrorHandle(recordMessage);
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_EQ(messages(), std::vector<std::string>{"Error: Structure is not opened."});
    const Bytes written = readFile(path);
    EXPECT_EQ(toHex(Bytes(written.end() - 8, written.end())), "00 04 07 00 00 04 04 00");
}

TEST_F(Framing, NestedBeginStructureWithHandlerWritesInsideTheOpenOne) {
    const fs::path path = tempPath("nested.gds");
    SetErrorHandle(recordMessage);
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("AB");
    GDS_BeginStructure("CD");
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_EQ(messages(), std::vector<std::string>{"Error: Structure is already opened."});
    const Bytes written = readFile(path);
    const Bytes tail = concat({bgnStr, hex("00 06 06 06 41 42"), bgnStr, hex("00 06 06 06 43 44"),
                               endStr, endLib});
    EXPECT_EQ(toHex(Bytes(written.end() - static_cast<std::ptrdiff_t>(tail.size()), written.end())),
              toHex(tail));
}

TEST_F(Framing, DuplicateNameThrowsAndLeavesTheStructureOpen) {
    const fs::path path = tempPath("duplicate.gds");
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("CELL");
    GDS_EndStructure();
    GDS_BeginStructure("cell");  // differs in case: another structure
    GDS_EndStructure();
    EXPECT_EQ(expectThrow([] { GDS_BeginStructure("CELL"); }),
              "Error: Structure with this name is already inserted.");
    // The flag is left set, but the file holds no structure: closing it
    // reports and writes no ENDSTR that would close nothing.
    SetErrorHandle(recordMessage);
    GDS_EndStructure();
    EXPECT_EQ(messages(), std::vector<std::string>{"Error: Structure is not opened."});
    GDS_EndLib();
    EXPECT_EQ(messages().size(), 1u);
    const auto recs = records(readFile(path));
    ASSERT_EQ(recs.size(), 4u + 3u + 3u + 1u);
    EXPECT_EQ(recs[10].type, 0x04);
}

TEST_F(Framing, DuplicateNameWithHandlerIsStillWritten) {
    const fs::path path = tempPath("duplicate-handler.gds");
    SetErrorHandle(recordMessage);
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("XY");
    GDS_EndStructure();
    GDS_BeginStructure("XY");
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_EQ(messages(),
              std::vector<std::string>{"Error: Structure with this name is already inserted."});
    EXPECT_EQ(records(readFile(path)).size(), 4u + 3u + 3u + 1u);
}

TEST_F(Framing, NamesAreFreeAgainInTheNextLibrary) {
    const fs::path first = tempPath("first.gds");
    const fs::path second = tempPath("second.gds");
    for (const fs::path& path : {first, second}) {
        GDS_BeginLib(path.c_str(), 0.001, 1e-9);
        GDS_BeginStructure("TOP");
        GDS_EndStructure();
        GDS_EndLib();
    }
    EXPECT_EQ(records(readFile(second)).size(), 4u + 3u + 1u);
}

TEST_F(Framing, EndLibWithOpenStructureAndHandlerLeavesTheNextLibraryClean) {
    const fs::path first = tempPath("unclosed.gds");
    const fs::path second = tempPath("after-unclosed.gds");
    SetErrorHandle(recordMessage);
    GDS_BeginLib(first.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("OPEN");
    GDS_EndLib();
    GDS_BeginLib(second.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("NEXT");
    EXPECT_EQ(messages(), (std::vector<std::string>{"Error: Structure is not closed."}));
    const Bytes written = readFile(first);
    EXPECT_EQ(toHex(Bytes(written.end() - 4, written.end())), "00 04 04 00");
}

TEST_F(Framing, UnopenablePathThrowsAndStaysIdle) {
    const fs::path missing = tempPath("no/such/folder/x.gds");
    EXPECT_EQ(expectThrow([&] { GDS_BeginLib(missing.c_str(), 0.001, 1e-9); }),
              "Error: Cannot open GDSII file.");
    // Still Idle: a new library can begin, and EndLib before it reports.
    EXPECT_EQ(expectThrow([] { GDS_EndLib(); }), "Error: Process is already stoped.");
    const fs::path good = tempPath("after-failed-open.gds");
    GDS_BeginLib(good.c_str(), 0.001, 1e-9);
    GDS_EndLib();
    EXPECT_EQ(records(readFile(good)).size(), 5u);
}

TEST_F(Framing, UnopenablePathWithHandlerRunsOnWritingNothing) {
    const fs::path missing = tempPath("no/such/folder/y.gds");
    SetErrorHandle(recordMessage);
    GDS_BeginLib(missing.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("LOST");
    GDS_Box(0, 0, 1, 1, 1, 0, 0, 0);
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_EQ(messages(), std::vector<std::string>{"Error: Cannot open GDSII file."});
    EXPECT_FALSE(fs::exists(missing));
    // The next library starts on a clean stream and is complete.
    const fs::path good = tempPath("after-lost.gds");
    GDS_BeginLib(good.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("LOST");  // the failed library's names are gone
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_EQ(messages().size(), 1u);
    EXPECT_EQ(records(readFile(good)).size(), 8u);
}

TEST_F(Framing, StrayEndLibWithHandlerDoesNotEmptyTheNextFile) {
    SetErrorHandle(recordMessage);
    GDS_EndLib();  // writes ENDLIB into the closed stream
    const fs::path good = tempPath("after-stray.gds");
    GDS_BeginLib(good.c_str(), 0.001, 1e-9);
    GDS_EndLib();
    EXPECT_EQ(messages(), std::vector<std::string>{"Error: Process is already stoped."});
    EXPECT_EQ(records(readFile(good)).size(), 5u);
}

TEST_F(Framing, NullFileNameIsReportedAsUnopenable) {
    EXPECT_EQ(expectThrow([] { GDS_BeginLib(nullptr, 0.001, 1e-9); }),
              "Error: Cannot open GDSII file.");
    SetErrorHandle(recordMessage);
    GDS_BeginLib(nullptr, 0.001, 1e-9);
    GDS_EndLib();
    EXPECT_EQ(messages(), std::vector<std::string>{"Error: Cannot open GDSII file."});
}

TEST_F(Framing, FullDiskIsReportedAtEndLibAfterFinishing) {
    ASSERT_TRUE(fs::exists("/dev/full"));
    GDS_BeginLib("/dev/full", 0.001, 1e-9);
    GDS_BeginStructure("TOP");
    GDS_EndStructure();
    EXPECT_EQ(expectThrow([] { GDS_EndLib(); }), "Error: Cannot write GDSII file.");
    // Back to Idle, with the names forgotten.
    const fs::path good = tempPath("after-full.gds");
    GDS_BeginLib(good.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("TOP");
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_EQ(records(readFile(good)).size(), 8u);

    SetErrorHandle(recordMessage);
    GDS_BeginLib("/dev/full", 0.001, 1e-9);
    GDS_EndLib();
    EXPECT_EQ(messages(), std::vector<std::string>{"Error: Cannot write GDSII file."});
}

TEST_F(Framing, NullOrOverlongStructureNameIsRefusedWhole) {
    const fs::path path = tempPath("names.gds");
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    EXPECT_EQ(expectThrow([] { GDS_BeginStructure(nullptr); }), "Error: Structure name is NULL.");
    const std::string longest(65530, 'n');
    const std::string tooLong(65531, 'n');
    EXPECT_EQ(expectThrow([&] { GDS_BeginStructure(tooLong.c_str()); }),
              "Error: Structure name is too long.");
    SetErrorHandle(recordMessage);
    GDS_BeginStructure(tooLong.c_str());
    GDS_BeginStructure(nullptr);
    // Refused calls leave no structure open.
    GDS_BeginStructure(longest.c_str());
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_EQ(messages(), (std::vector<std::string>{"Error: Structure name is too long.",
                                                    "Error: Structure name is NULL."}));
    const auto recs = records(readFile(path));
    ASSERT_EQ(recs.size(), 4u + 3u + 1u);
    EXPECT_EQ(recs[5].data.size(), 65530u);
}

TEST_F(Framing, SetErrorHandleReturnsItsArgumentAndNullRestoresThrowing) {
    EXPECT_EQ(SetErrorHandle(recordMessage), &recordMessage);
    GDS_EndLib();
    EXPECT_EQ(messages().size(), 1u);
    EXPECT_EQ(SetErrorHandle(nullptr), nullptr);
    EXPECT_EQ(expectThrow([] { GDS_EndLib(); }), "Error: Process is already stoped.");
}

TEST_F(Framing, ExceptionIsCopyableAndCaughtByCatchAll) {
    bool caught = false;
    try {
        GDS_EndStructure();
    } catch (...) {
        caught = true;
    }
    EXPECT_TRUE(caught);
    try {
        GDS_EndStructure();
    } catch (GDSIIException e) {
        const GDSIIException copy = e;
        EXPECT_EQ(copy.message, "Error: Structure is not opened.");
        EXPECT_STREQ(copy.what(), "Error: Structure is not opened.");
    }
}

TEST_F(Framing, FixedTimestampAndItsLimits) {
    const fs::path path = tempPath("stamp.gds");
    EXPECT_EQ(GDS_SetTimestamp(1900, 0, 0, 0, 0, 0), 1);
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_EndLib();
    EXPECT_EQ(toHex(records(readFile(path))[1].data), toHex(Bytes(24, 0)));

    for (auto fields : std::vector<std::array<int, 6>>{{2026, 13, 1, 0, 0, 0},
                                                        {2026, 1, 32, 0, 0, 0},
                                                        {2026, 1, 1, 24, 0, 0},
                                                        {2026, 1, 1, 0, 60, 0},
                                                        {2026, 1, 1, 0, 0, 60},
                                                        {1899, 1, 1, 0, 0, 0},
                                                        {1900 + 32768, 1, 1, 0, 0, 0},
                                                        {2026, -1, 1, 0, 0, 0}}) {
        EXPECT_EQ(expectThrow([&] {
                      GDS_SetTimestamp(fields[0], fields[1], fields[2], fields[3], fields[4],
                                       fields[5]);
                  }),
                  "Error: Timestamp is out of range.");
    }
    SetErrorHandle(recordMessage);
    EXPECT_EQ(GDS_SetTimestamp(2026, 13, 1, 0, 0, 0), 0);
    EXPECT_EQ(messages().size(), 1u);
    // The refused calls changed nothing: still the all-zero stamp.
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_EndLib();
    EXPECT_EQ(toHex(records(readFile(path))[1].data), toHex(Bytes(24, 0)));

    EXPECT_EQ(GDS_SetTimestamp(1900 + 32767, 12, 31, 23, 59, 59), 1);
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_EndLib();
    const Bytes stamp = records(readFile(path))[1].data;
    EXPECT_EQ(toHex(stamp), "7F FF 00 0C 00 1F 00 17 00 3B 00 3B 7F FF 00 0C 00 1F 00 17 00 3B 00 3B");
}

TEST_F(Framing, ClockTimestampIsTheLocalTimeNow) {
    EXPECT_EQ(GDS_SetTimestamp(0, 0, 0, 0, 0, 0), 1);
    const fs::path path = tempPath("clock.gds");
    const std::time_t before = std::time(nullptr);
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("NOW");
    GDS_EndStructure();
    GDS_EndLib();
    const std::time_t after = std::time(nullptr);
    const auto recs = records(readFile(path));
    auto field = [&](const Bytes& data, int i) { return (data[2 * i] << 8) | data[2 * i + 1]; };
    for (const Bytes& stamp : {recs[1].data, recs[4].data}) {
        ASSERT_EQ(stamp.size(), 24u);
        std::tm local{};
        local.tm_year = field(stamp, 0);
        local.tm_mon = field(stamp, 1) - 1;
        local.tm_mday = field(stamp, 2);
        local.tm_hour = field(stamp, 3);
        local.tm_min = field(stamp, 4);
        local.tm_sec = field(stamp, 5);
        local.tm_isdst = -1;
        const std::time_t stamped = std::mktime(&local);
        EXPECT_GE(stamped, before - 1);
        EXPECT_LE(stamped, after + 1);
        // Modification and access times are the same reading.
        EXPECT_EQ(toHex(Bytes(stamp.begin(), stamp.begin() + 12)),
                  toHex(Bytes(stamp.begin() + 12, stamp.end())));
    }
}

}  // namespace
