// The quillon-dump program itself: exit status and error line on the
// corrupt inputs of crashers/, and a clean listing of a good file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "hex.h"

namespace {

namespace fs = std::filesystem;

struct DumpRun {
    int status = -1;  // exit status, or -1 when the program died from a signal
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

DumpRun runDump(const std::string& arguments) {
    const fs::path dir = fs::temp_directory_path();
    const fs::path out = dir / ("quillon-dump-test-" + std::to_string(::getpid()) + ".out");
    const fs::path err = dir / ("quillon-dump-test-" + std::to_string(::getpid()) + ".err");
    const std::string command = std::string("'") + QUILLON_DUMP + "' " + arguments + " >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    DumpRun run;
    if (raw != -1 && WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
    run.out = slurp(out);
    run.err = slurp(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

std::vector<fs::path> crashers() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(CRASHERS_DIR)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(DumpProgram, RejectsEveryCrasherWithOneErrorLineNamingTheOffset) {
    const auto files = crashers();
    ASSERT_GE(files.size(), 15u);
    const std::regex errorLine("quillon-dump: .*: error at byte offset [0-9]+: [^\n]+\n");
    for (const auto& file : files) {
        for (const char* mode : {"", "--summary "}) {
            const DumpRun run = runDump(mode + ("'" + file.string() + "'"));
            EXPECT_EQ(run.status, 1) << mode << file;
            EXPECT_TRUE(std::regex_match(run.err, errorLine)) << file << ": " << run.err;
        }
    }
}

TEST(DumpProgram, NamesTheOffsetOfTheFaultAndListsTheRecordsBeforeIt) {
    const DumpRun run = runDump(std::string("'") + CRASHERS_DIR + "/truncated-in-xy.gds'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("error at byte offset 50: XY record of length 36 runs past the end "
                           "of the file (8 bytes left)"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("        44      6      LAYER INT2 1\n"), std::string::npos)
        << run.out;
}

TEST(DumpProgram, ListsAGoodFileAndExitsZero) {
    const fs::path file = fs::temp_directory_path() /
                          ("quillon-dump-test-good-" + std::to_string(::getpid()) + ".gds");
    {
        const auto bytes = headerRecord + hex("00 06 0D 02 00 07") + endlibRecord;
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    const DumpRun listing = runDump("'" + file.string() + "'");
    EXPECT_EQ(listing.status, 0);
    EXPECT_EQ(listing.err, "");
    EXPECT_EQ(listing.out,
              "         0      6  HEADER INT2 3\n"
              "         6      6  LAYER INT2 7\n"
              "        12      4  ENDLIB NODATA\n");
    const DumpRun summary = runDump("--summary '" + file.string() + "'");
    EXPECT_EQ(summary.status, 0);
    EXPECT_NE(summary.out.find("records: 3\n"), std::string::npos) << summary.out;
    fs::remove(file);
}

TEST(DumpProgram, ExitsTwoForUsageErrorsAndUnreadableFiles) {
    EXPECT_EQ(runDump("").status, 2);
    EXPECT_EQ(runDump("--bogus x.gds").status, 2);
    const DumpRun missing = runDump("/nonexistent/none.gds");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "quillon-dump: /nonexistent/none.gds: cannot open file\n");
}

}  // namespace
