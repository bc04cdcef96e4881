// The flat API with a file name ending in .gz: the file is a gzip stream
// holding exactly the bytes the same calls write to an uncompressed file,
// also when it crosses the writer's 2 MiB buffer several times; open and
// write failures are reported as for any file; other names stay plain.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host.h"
#include "inflate.h"

namespace {

namespace fs = std::filesystem;
using host::Bytes;
using host::messages;
using host::readFile;
using host::recordMessage;
using host::tempPath;

class GzipApi : public ::testing::Test {
protected:
    void SetUp() override { host::resetWriter(); }
    void TearDown() override { host::resetWriter(); }
};

// A library of every kind of element, `repeats` times over in structure
// TOP, and a second structure referring to it.
void writeLibrary(const fs::path& path, int repeats) {
    const int xs[] = {0, 1000, 1000, 0};
    const int ys[] = {0, 0, 500, 500};
    const int arefXs[] = {0, 3000, 0};
    const int arefYs[] = {0, 0, 2000};
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("TOP");
    for (int i = 0; i < repeats; ++i) {
        const int dx[] = {i, i + 700, i + 700, i};
        GDS_Boundary(dx, ys, 4, 1, 0, 0, 0);
        GDS_Path(xs, ys, 4, 20, 2, 0, 1, 0, 0);
        GDS_Box(i, 0, i + 50, 60, 3, 0, 0, 0);
        GDS_Circle(i, i, 400, 64, 4, 0, 0, 0);
        GDS_Text(i, -i, "LABEL", 5, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
        GDS_Node(xs, ys, 3, 6, 0, 0, 0);
    }
    GDS_EndStructure();
    GDS_BeginStructure("ARRAY");
    GDS_Sref("TOP", 10, 20, 0x8000, 2.0, 90.0, 0, 0);
    GDS_Aref("TOP", arefXs, arefYs, 3, 2, 0, 1.0, 0.0, 0, 0);
    GDS_EndStructure();
    GDS_EndLib();
}

TEST_F(GzipApi, AGzFileHoldsExactlyTheBytesOfThePlainFile) {
    // About 970 bytes per repeat: the largest crosses the 2 MiB buffer 4 times.
    for (int repeats : {0, 1, 100, 9000}) {
        // A plain name as long as the .gz names: the files differ only in
        // the name that LIBNAME (after HEADER and BGNLIB, at byte 38) holds.
        const fs::path plain = tempPath("lib.gds.g0");
        writeLibrary(plain, repeats);
        const Bytes expected = readFile(plain);
        ASSERT_EQ(Bytes(expected.begin(), expected.begin() + 4), host::hex("00 06 00 02"));
        if (repeats == 9000) {
            EXPECT_GT(expected.size(), 4 * 2048u * 1024u);
        }
        for (const char* name : {"lib.gds.gz", "LIB.GDS.GZ"}) {
            const fs::path gz = tempPath(name);
            writeLibrary(gz, repeats);
            const Bytes compressed = readFile(gz);
            ASSERT_GE(compressed.size(), 18u);
            EXPECT_EQ(Bytes(compressed.begin(), compressed.begin() + 3), host::hex("1F 8B 08"));
            const Bytes inflated = gztest::inflateGzip(compressed);
            const std::string gzName = gz.string();
            Bytes want = expected;
            std::copy(gzName.begin(), gzName.end(), want.begin() + 38);
            ASSERT_EQ(inflated.size(), want.size()) << name << " " << repeats;
            const auto differ = std::mismatch(inflated.begin(), inflated.end(), want.begin());
            EXPECT_TRUE(differ.first == inflated.end())
                << name << " " << repeats << ": first difference at byte "
                << (differ.first - inflated.begin());
            ASSERT_EQ(host::records(inflated)[2].type, 0x02);  // LIBNAME
            if (repeats >= 100) {
                EXPECT_LT(compressed.size() * 3, expected.size()) << name;
            }
        }
    }
}

TEST_F(GzipApi, NamesNotEndingInGzStayUncompressed) {
    for (const char* name : {"a.gds", "a.gz.gds", "a.gds.gzip", "agz", "a.tgz"}) {
        const fs::path path = tempPath(name);
        writeLibrary(path, 3);
        const Bytes bytes = readFile(path);
        EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), host::hex("00 06 00 02")) << name;
        EXPECT_EQ(host::records(bytes).back().type, 0x04) << name;  // ENDLIB
    }
}

TEST_F(GzipApi, OpenAndWriteFailuresAreReportedAsForAPlainFile) {
    // A .gz name in a folder that does not exist.
    const fs::path missing = tempPath("no-such-folder") / "x.gds.gz";
    SetErrorHandle(recordMessage);
    GDS_BeginLib(missing.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("TOP");
    GDS_EndStructure();
    GDS_EndLib();
    EXPECT_EQ(messages(), std::vector<std::string>{"Error: Cannot open GDSII file."});
    EXPECT_FALSE(fs::exists(missing));

    // A .gz name that leads to /dev/full: the file opens and takes nothing;
    // reported once, at GDS_EndLib, after finishing; thrown without handler.
    ASSERT_TRUE(fs::exists("/dev/full"));
    const fs::path full = tempPath("full.gds.gz");
    fs::remove(full);
    fs::create_symlink("/dev/full", full);
    for (int repeats : {0, 9000}) {
        messages().clear();
        writeLibrary(full, repeats);
        EXPECT_EQ(messages(), std::vector<std::string>{"Error: Cannot write GDSII file."})
            << repeats;
    }
    SetErrorHandle(nullptr);
    GDS_BeginLib(full.c_str(), 0.001, 1e-9);
    try {
        GDS_EndLib();
        ADD_FAILURE() << "GDS_EndLib on a full .gz file threw nothing";
    } catch (const GDSIIException& e) {
        EXPECT_EQ(e.message, "Error: Cannot write GDSII file.");
    }
    // The next export starts clean.
    const fs::path good = tempPath("after-full.gds.gz");
    writeLibrary(good, 1);
    EXPECT_EQ(host::records(gztest::inflateGzip(readFile(good))).back().type, 0x04);
    fs::remove(full);
}

}  // namespace
