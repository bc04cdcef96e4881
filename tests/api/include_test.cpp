// quillon_include and GDS_Include on libraries written here as hex from the
// format rules: units scaled exactly or refused, prefixes, the closure of
// structures=, name clashes, and damaged files refused with nothing written.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include <zlib.h>

#include "host.h"
#include "library_check.h"

using namespace host;

namespace {

const std::string zeros24 = "0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000";

std::string name(const std::string& text, const char* header) {
    std::string hexName;
    char b[4];
    for (char c : text) {
        std::snprintf(b, sizeof b, "%02X", static_cast<unsigned char>(c));
        hexName += b;
    }
    if (text.size() % 2) hexName += "00";
    std::snprintf(b, sizeof b, "%02X", static_cast<unsigned>(4 + (text.size() + 1) / 2 * 2));
    return std::string("00") + b + header + hexName + " ";
}

// Structures A (a PATH with extensions, an AREF of B, an SREF of EXT, which
// the file does not define), B (a BOUNDARY with a property, a BOX) and C (a
// NODE), every length multiplied by k, names after prefix.
std::string structures(std::int32_t k, const std::string& p, bool withC = true,
                       std::int32_t far = 1000) {
    const auto s = [&](const std::string& n) { return "001C 0502 " + zeros24 + name(p + n, "0606"); };
    std::string a = s("A") + "0004 0900 0006 0D02 0001 0006 0E02 0000 0006 2102 0004" +
                    "0008 0F03 " + int4s({10 * k}) + "0008 3003 " + int4s({-5 * k}) +
                    "0008 3103 " + int4s({7 * k}) + "0014 1003 " + int4s({0, 0, far * k, 0}) +
                    "0004 1100 0004 0B00 " + name(p + "B", "1206") + "0006 1A01 8000" +
                    "000C 1B05 4120 0000 0000 0000 000C 1C05 425A 0000 0000 0000" +
                    "0008 1302 0002 0003 001C 1003 " +
                    int4s({0, 0, 200 * k, 0, 0, 300 * k}) + "0004 1100 0004 0A00 " +
                    name("EXT", "1206") + "000C 1003 " + int4s({-3 * k, 4 * k}) +
                    "0004 1100 0004 0700 ";
    std::string b = s("B") + "0004 0800 0006 0D02 0002 0006 0E02 0000 002C 1003 " +
                    int4s({0, 0, 5 * k, 0, 5 * k, 5 * k, 0, 5 * k, 0, 0}) +
                    "0006 2B02 0007 " + name("v", "2C06") + "0004 1100 0004 2D00 0006 0D02 0003" +
                    "0006 2E02 0001 002C 1003 " + int4s({0, 0, k, 0, k, k, 0, k, 0, 0}) +
                    "0004 1100 0004 0700 ";
    std::string c = s("C") + "0004 1500 0006 0D02 0004 0006 2A02 0000 000C 1003 " +
                    int4s({k, k}) + "0004 1100 0004 0700 ";
    return a + b + (withC ? c : "");
}

// A library in 1 nm (0.001 user units; meters: the REAL8 of its unit)
// holding body.
Bytes library(const std::string& body, const std::string& meters = "3944 B82F A09B 5A54") {
    return hex("0006 0002 0003 001C 0102 " + zeros24 + "0006 0206 5300" +
               "0014 0305 3E41 8937 4BC6 A7F0 " + meters + body + "0004 0400");
}

std::filesystem::path save(const std::string& file, const Bytes& bytes) {
    const auto path = tempPath(file);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

struct Outcome {
    int status = 0;
    std::string message;
    Bytes included;  // what the include added between the header and ENDLIB
};

// Opens a library in meters, includes source, closes; then the bytes it added.
Outcome include(const std::filesystem::path& source, double meters,
                const QuillonIncludeOptions* options = nullptr,
                const std::function<void(QuillonWriter*)>& after = {}) {
    QuillonOptions o;
    quillon_default_options(&o);
    const int stamp[6] = {2026, 12, 7, 8, 32, 51};
    std::copy(stamp, stamp + 6, o.timestamp);
    const auto out = tempPath("out.gds");
    QuillonWriter* w = quillon_open(out.c_str(), 0.001, meters, &o, nullptr);
    quillon_close(w);
    const Bytes empty = readFile(out);
    w = quillon_open(out.c_str(), 0.001, meters, &o, nullptr);
    Outcome result;
    result.status = quillon_include(w, source.c_str(), options);
    result.message = quillon_last_error(w);
    if (after) after(w);
    const int closed = quillon_close(w);
    const Bytes full = readFile(out);
    EXPECT_TRUE(std::equal(empty.begin(), empty.end() - 4, full.begin()));
    result.included.assign(full.begin() + static_cast<std::ptrdiff_t>(empty.size()) - 4,
                           full.end() - 4);
    // Structure A refers to EXT, which no file defines: the library's end
    // says so whenever A came in.
    EXPECT_EQ(closed, result.included.empty() ? QUILLON_OK : QUILLON_WARNING_UNDEFINED_STRUCTURE);
    return result;
}

const char* const otherUnits = "Error: Included library has other units.";

void QUILLON_CALL keepDetail(void* detail, long long, const char* text) {
    *static_cast<std::string*>(detail) = text;
}

TEST(Include, CopiesAGzipFileAsTheFileItHolds) {
    const Bytes plain = library(structures(1, ""));
    const auto path = tempPath("source.gds.gz");
    gzFile gz = gzopen(path.c_str(), "wb");
    gzwrite(gz, plain.data(), static_cast<unsigned>(plain.size()));
    gzclose(gz);
    const Outcome got = include(path, 1e-9);
    EXPECT_EQ(got.status, QUILLON_OK) << got.message;
    EXPECT_EQ(toHex(got.included), toHex(hex(structures(1, ""))));
}

TEST(Include, ScalesByWholeMultiplesOfTheUnitAndRefusesTheRest) {
    const std::string nm = "3944 B82F A09B 5A54";  // the double 1e-9
    const struct {
        double meters;
        std::int32_t k;
        std::int32_t far;
        std::string fileMeters;
    } cases[] = {
        {1e-9, 1, 1000, nm}, {0.5e-9, 2, 1000, nm}, {0.25e-9, 4, 1000, nm}, {1e-10, 10, 1000, nm},
        {0.3e-9, 0, 1000, nm}, {2e-9, 0, 1000, nm},
        {0.25e-9, 0, 600000000, nm},  // 2.4e9 does not fit 32 bits
        {1e-9, 1, 600000000, nm},
        {1e-9, 1, 1000, "3944 B82F A09B 5A53"},     // one ulp off: the decimal 1e-9
        {1e-9, 1000, 1000, "3C10 C6F7 A0B5 ED8D"},  // 1 um (gdspy's precision 1e-6)
        {1e-11, 100, 1000, nm},                     // 10 pm from 1 nm
        {1e-9, 0, 1000, "3944 B82F A09E 0000"},     // 1.0000002e-9
    };
    for (const auto& c : cases) {
        const auto source = save("units.gds", library(structures(1, "", true, c.far), c.fileMeters));
        std::string detail;
        QuillonIncludeOptions options{sizeof options, nullptr, nullptr, nullptr, keepDetail, &detail, 0};
        const Outcome got = include(source, c.meters, &options);
        if (c.k == 0) {
            EXPECT_EQ(got.status, QUILLON_ERROR_ARGUMENT) << c.meters;
            EXPECT_EQ(got.message, otherUnits) << c.meters;
            EXPECT_TRUE(got.included.empty()) << c.meters;
            if (c.meters == 0.3e-9) {
                EXPECT_NE(detail.find("1.0000000000000001e-09 m against the library's "
                                      "3.0000000000000000e-10 m: the ratio 3.33333333333333"),
                          std::string::npos) << detail;
            }
        } else {
            EXPECT_EQ(got.status, QUILLON_OK) << c.meters << got.message;
            EXPECT_EQ(toHex(got.included), toHex(hex(structures(c.k, "", true, c.far)))) << c.meters;
        }
    }
}

void QUILLON_CALL collect(void* names, const char* name, int top) {
    static_cast<std::vector<std::string>*>(names)->push_back(name + std::string(top ? "*" : ""));
}

TEST(Include, PrefixesTheClosureOfTheChosenStructuresAndRefusesClashes) {
    const auto source = save("names.gds", library(structures(1, "")));
    std::vector<std::string> names;
    const char* const onlyA[] = {"A", nullptr};
    QuillonIncludeOptions options{sizeof options, "lib1_", onlyA, collect, nullptr, &names, 0};
    int again = 0, begin = 0, missing = 0;
    const Outcome got = include(source, 1e-9, &options, [&](QuillonWriter* w) {
        again = quillon_include(w, source.c_str(), &options);
        begin = quillon_begin_structure(w, "lib1_B");
        const char* const none[] = {"NONE", nullptr};
        QuillonIncludeOptions other{sizeof other, "x_", none, nullptr, nullptr, nullptr, 0};
        missing = quillon_include(w, source.c_str(), &other);
    });
    EXPECT_EQ(got.status, QUILLON_OK) << got.message;
    // EXT names no structure of the file: it keeps its name.
    EXPECT_EQ(toHex(got.included), toHex(hex(structures(1, "lib1_", false))));
    EXPECT_EQ(names, (std::vector<std::string>{"lib1_A*", "lib1_B"}));
    EXPECT_EQ(again, QUILLON_ERROR_ARGUMENT);
    EXPECT_EQ(begin, QUILLON_ERROR_ARGUMENT);
    EXPECT_EQ(missing, QUILLON_ERROR_ARGUMENT);
    // Twice in one file is a clash too.
    const auto twice = save("twice.gds", library(structures(1, "") + structures(1, "")));
    EXPECT_EQ(include(twice, 1e-9).message, "Error: Structure with this name is already inserted.");
}

// Whether bytes form a library the reader and the checker accept whole.
bool wellFormed(const Bytes& bytes) {
    quillon::reader::RecordReader reader(bytes.data(), bytes.size());
    quillon::reader::LibraryChecker checker;
    quillon::reader::Record record;
    while (reader.next(record))
        if (checker.check(record)) return false;
    return !reader.error() && checker.complete();
}

TEST(Include, RefusesEveryDamagedCopyWithNothingWrittenInEitherMode) {
    const Bytes good = library(structures(1, ""));
    std::mt19937 random(22);
    std::vector<Bytes> damaged;
    for (std::size_t n = 0; n < good.size(); n += 5) damaged.emplace_back(good.begin(), good.begin() + n);
    const std::size_t truncations = damaged.size();
    for (int i = 0; i < 150; ++i) {
        Bytes copy = good;
        copy[random() % copy.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        damaged.push_back(copy);
    }
    damaged.insert(damaged.begin(), hex("1F8B 0800 0000 0000 00FF 0110"));  // truncated gzip
    const auto flat = tempPath("flat.gds");
    resetWriter();
    GDS_BeginLib(flat.c_str(), 0.001, 1e-9);
    GDS_EndLib();
    const std::size_t emptySize = readFile(flat).size();
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        const auto path = save("damaged.gds", damaged[i]);
        // Handle API, strict.
        const Outcome got = include(path, 1e-9);
        // Flat API with a handler, not strict.
        resetWriter();
        SetErrorHandle(recordMessage);
        GDS_BeginLib(flat.c_str(), 0.001, 1e-9);
        const int flatStatus = GDS_Include(path.c_str());
        GDS_EndLib();
        const Bytes flatBytes = readFile(flat);
        // Every cut is refused; a flip may hit data that still reads.
        if (i <= truncations) {
            EXPECT_NE(got.status, QUILLON_OK) << i;
        }
        if (got.status != QUILLON_OK) {
            EXPECT_TRUE(got.included.empty()) << i;
            EXPECT_NE(flatStatus, QUILLON_OK) << i;
            EXPECT_EQ(messages().at(0), got.message) << i;
            EXPECT_EQ(flatBytes.size(), emptySize) << i;
        } else {
            // A flip the format cannot tell from real data: what came in is
            // still well formed.
            EXPECT_EQ(flatStatus, QUILLON_OK) << i;
            EXPECT_TRUE(wellFormed(library(std::string(toHex(got.included))))) << i;
        }
        EXPECT_TRUE(wellFormed(flatBytes)) << i;
        resetWriter();
    }
}

TEST(Include, CopiesCellPropertiesAndLeavesOutTheLibrarys) {
    // KLayout's gds2_write_file_properties and gds2_write_cell_properties.
    const std::string cell = "001C 0502 " + zeros24 + name("P", "0606") + "0006 2B02 0005 " +
                             name("cell", "2C06") + "0004 0700 ";
    const std::string file = "0006 2B02 0007 " + name("lib", "2C06") + cell + structures(1, "");
    const Outcome got = include(save("props.gds", library(file)), 1e-9);
    EXPECT_EQ(got.status, QUILLON_OK) << got.message;
    EXPECT_EQ(toHex(got.included), toHex(hex(cell + structures(1, ""))));
}

TEST(Include, RefusesWhatKLayoutRefusesNamingWhere) {
    const auto s = [](const std::string& n, const std::string& body) {
        return "001C 0502 " + zeros24 + name(n, "0606") + body + "0004 0700 ";
    };
    const auto sref = [](const std::string& n) {
        return "0004 0A00 " + name(n, "1206") + "000C 1003 " + int4s({0, 0}) + "0004 1100 ";
    };
    const std::string aref2 = "0004 0B00 " + name("L", "1206") + "0008 1302 0002 0002 0014 1003 " +
                              int4s({0, 0, 20, 0}) + "0004 1100 ";
    const struct {
        std::string body;
        std::string detail;
    } cases[] = {
        {s("L", "") + s("T", aref2), "byte offset 150: AREF with 2 points in its XY record, not 3"},
        {s("A", sref("B")) + s("B", sref("A")), "\"A\" -> \"B\" -> \"A\" reference each other"},
        {s("B", sref("A")) + s("A", sref("A")), "\"A\" -> \"A\" reference each other"},
        {s("A", sref("B") + "0006 2B02 0001 " + name("x", "2C06")) + s("B", ""),
         "byte offset 120: PROPATTR record after the structures or elements began"},
        {s("A", name("x", "2C06")), "byte offset 94: PROPVALUE record without its PROPATTR"},
    };
    for (const auto& c : cases) {
        std::string detail;
        QuillonIncludeOptions options{sizeof options, nullptr, nullptr, nullptr, keepDetail, &detail, 0};
        const Outcome got = include(save("refused.gds", library(c.body)), 1e-9, &options);
        EXPECT_EQ(got.message, "Error: Included file is not valid GDSII.") << c.detail;
        EXPECT_NE(detail.find(c.detail), std::string::npos) << detail;
        EXPECT_TRUE(got.included.empty()) << c.detail;
    }
}

struct Reentry {
    QuillonWriter* writer = nullptr;
    int status = 0;
};

TEST(Include, CallbacksCannotReenterTheWriter) {
    const auto source = save("reentry.gds", library(structures(1, "")));
    QuillonWriter* w = quillon_open(tempPath("reentry-out.gds").c_str(), 0.001, 1e-9, nullptr, nullptr);
    Reentry fromStructure{w}, fromFault{w};
    QuillonIncludeOptions options{sizeof options, nullptr, nullptr,
                                  [](void* r, const char*, int) {
                                      auto* reentry = static_cast<Reentry*>(r);
                                      reentry->status = quillon_begin_structure(reentry->writer, "X");
                                  },
                                  nullptr, &fromStructure, 0};
    QuillonIncludeOptions faulty{sizeof faulty, nullptr, nullptr, nullptr,
                                 [](void* r, long long, const char*) {
                                     auto* reentry = static_cast<Reentry*>(r);
                                     reentry->status = quillon_close(reentry->writer);
                                 },
                                 &fromFault, 0};
    EXPECT_EQ(quillon_include(w, source.c_str(), &options), QUILLON_OK);
    EXPECT_EQ(fromStructure.status, QUILLON_ERROR_REENTRANT);
    EXPECT_EQ(quillon_include(w, "/nonexistent/file.gds", &faulty), QUILLON_ERROR_IO);
    EXPECT_EQ(fromFault.status, QUILLON_ERROR_REENTRANT);
    EXPECT_EQ(quillon_include(w, nullptr, nullptr), QUILLON_ERROR_ARGUMENT);
    EXPECT_STREQ(quillon_last_error(w), "Error: File name is NULL.");
    // No structure X was opened from inside: the library closes as it stands.
    EXPECT_EQ(quillon_close(w), QUILLON_WARNING_UNDEFINED_STRUCTURE);
}

}  // namespace

namespace {

std::string cell(const std::string& n, const std::string& body) {
    return "001C 0502 " + zeros24 + name(n, "0606") + body + "0004 0700 ";
}
std::string box(std::int32_t side) {
    return "0004 0800 0006 0D02 0001 0006 0E02 0000 002C 1003 " +
           int4s({0, 0, side, 0, side, side, 0, side, 0, 0}) + "0004 1100 ";
}
std::string placing(const std::string& n) {
    return "0004 0A00 " + name(n, "1206") + "000C 1003 " + int4s({0, 0}) + "0004 1100 ";
}

TEST(Include, ClashPoliciesReuseWhatIsIdenticalRenameOrRefuse) {
    // The first file's V is met again the same, or with another box.
    const std::string first = cell("V", box(5)) + cell("T1", placing("V"));
    const struct {
        int policy;
        std::string second;
        int status;
        std::vector<std::string> names;  // reported by onStructure, * for top
        std::string written;             // what the second include adds
    } cases[] = {
        {QUILLON_CLASH_SKIP_IDENTICAL, cell("V", box(5)) + cell("T2", placing("V")), QUILLON_OK,
         {"V", "T2*"}, cell("T2", placing("V"))},
        {QUILLON_CLASH_SKIP_IDENTICAL, cell("V", box(6)) + cell("T3", placing("V")),
         QUILLON_ERROR_ARGUMENT, {}, ""},
        {QUILLON_CLASH_RENAME, cell("V", box(6)) + cell("T3", placing("V")), QUILLON_OK,
         {"V_1", "T3*"}, cell("V_1", box(6)) + cell("T3", placing("V_1"))},
        {QUILLON_CLASH_ERROR, cell("V", box(5)) + cell("T2", placing("V")), QUILLON_ERROR_ARGUMENT,
         {}, ""},
        {7, cell("W", box(5)), QUILLON_ERROR_RANGE, {}, ""},
    };
    for (const auto& c : cases) {
        const auto out = tempPath("clash.gds");
        QuillonOptions o;
        quillon_default_options(&o);
        const auto one = save("first.gds", library(first)), two = save("second.gds", library(c.second));
        QuillonWriter* w = quillon_open(out.c_str(), 0.001, 1e-9, &o, nullptr);
        std::vector<std::string> names;
        QuillonIncludeOptions options{sizeof options, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      QUILLON_CLASH_SKIP_IDENTICAL};
        ASSERT_EQ(quillon_include(w, one.c_str(), &options), QUILLON_OK);
        options.onStructure = collect;
        options.userData = &names;
        options.onClash = c.policy;
        EXPECT_EQ(quillon_include(w, two.c_str(), &options), c.status) << c.second;
        EXPECT_EQ(quillon_close(w), QUILLON_OK);
        EXPECT_EQ(names, c.names) << c.second;
        const Bytes full = readFile(out);
        const Bytes tail(full.end() - 4 - static_cast<std::ptrdiff_t>(hex(first + c.written).size()),
                         full.end() - 4);
        EXPECT_EQ(toHex(tail), toHex(hex(first + c.written))) << c.second;
    }
}

}  // namespace
