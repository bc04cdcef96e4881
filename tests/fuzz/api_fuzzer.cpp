// libFuzzer target for the exported functions: each input decodes into a
// sequence of calls of all of them with adversarial arguments (extreme
// integers, odd counts with arrays that really hold that many points, NULL
// pointers, long and odd strings, NaN and infinite doubles, calls out of
// order, the handler on and off, a full disk, an unopenable path). The
// library must stay inside its memory (the sanitizers watch), and the file
// it wrote must be well formed: strictly so for a library during which
// nothing was reported; after reports, the records must still tile the file
// and every element must be whole.
//
// New calls are added as one row of the calls table below.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "quillon.h"

namespace {

// --- reading the input ---------------------------------------------------

// About the bytes the calls of one input may write (points count 8, string
// bytes 1, every call 100): enough to cross the buffer's end many times,
// little enough to keep inputs fast.
constexpr std::size_t workBudget = 8 * 1024 * 1024;
std::size_t work = 0;

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
    bool empty() const { return at >= size; }
    std::size_t position() const { return at; }
    void seek(std::size_t to) { at = to; }
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return v;
    }
    // An int: mostly small, often an edge of some range.
    int integer() {
        static const int edges[] = {0,      1,     -1,     2,      3,          199,
                                    200,    201,   255,    256,    512,        513,
                                    8190,   8191,  8192,   32767,  32768,      65535,
                                    65536,  65541, -32768, -65536, 2147483647, -2147483647 - 1,
                                    100000, 50,    51,     -5};
        const std::uint8_t kind = byte();
        if (kind < 96) return static_cast<int>(byte()) - 64;
        if (kind < 192) return edges[byte() % (sizeof(edges) / sizeof(edges[0]))];
        return static_cast<int>(u32());
    }
    // A point count from -5 to 100,000, usually a small one.
    int count() {
        const std::uint8_t kind = byte();
        if (kind < 160) return static_cast<int>(byte() % 64) - 5;
        if (kind < 224) {
            static const int edges[] = {199, 200, 201, 399, 400, 8190, 8191, 8192, 65536 + 4,
                                        32767, 32768, 40000, 70000, 100000};
            return edges[byte() % (sizeof(edges) / sizeof(edges[0]))];
        }
        return static_cast<int>(u32() % 100006) - 5;
    }
    double real() {
        static const double edges[] = {0.0, -0.0, 1.0, -1.0, 90.0, 360.0, 0.001, 1e-9,
                                       std::numeric_limits<double>::quiet_NaN(),
                                       std::numeric_limits<double>::infinity(),
                                       -std::numeric_limits<double>::infinity(),
                                       std::numeric_limits<double>::max(),
                                       std::numeric_limits<double>::denorm_min(), 1e300, -1e300,
                                       1e18};
        const std::uint8_t kind = byte();
        if (kind < 128) return static_cast<double>(static_cast<int>(byte()) - 128) * 0.5;
        if (kind < 200) return edges[byte() % (sizeof(edges) / sizeof(edges[0]))];
        std::uint64_t bits = (std::uint64_t{u32()} << 32) | u32();
        double value;
        std::memcpy(&value, &bits, 8);
        return value;
    }
    // A string or NULL: short names, odd bytes, or long runs up to past
    // what a record can hold.
    const char* text(std::string& storage) {
        const std::uint8_t kind = byte();
        if (kind < 8) return nullptr;
        std::size_t length;
        if (kind < 160) length = byte() % 20;
        else if (kind < 230) {
            static const std::size_t edges[] = {511, 512, 513, 600, 65529, 65530, 65531, 65532,
                                                32000, 70000};
            length = edges[byte() % (sizeof(edges) / sizeof(edges[0]))];
        } else length = u32() % 70001;
        const std::uint8_t fill = byte();
        work += length;
        storage.assign(length, 'A');
        for (std::size_t i = 0; i < length; ++i)
            storage[i] = static_cast<char>(fill < 128 ? 'A' + (i + fill) % 26 : 1 + (i * fill) % 255);
        // A few bytes of the input itself, odd ones included (no NUL).
        for (std::size_t i = 0; i < length && i < 8 && !empty(); ++i) {
            const char c = static_cast<char>(byte());
            if (c != 0) storage[i] = c;
        }
        return storage.c_str();
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

// Point arrays that hold exactly the points their count says (none for a
// negative count), so that reading one more is a heap overflow. Either may
// be NULL.
struct PointArrays {
    std::vector<int> xs, ys;
    bool nullXs = false, nullYs = false;
    void make(Input& in, int count) {
        const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
        work += 8 * n;
        const int scale = in.integer();
        xs.resize(n);
        ys.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            xs[i] = static_cast<int>(static_cast<unsigned>(scale) * static_cast<unsigned>(i));
            ys[i] = static_cast<int>(static_cast<unsigned>(i) * 2654435761u);
        }
        const std::uint8_t nulls = in.byte();
        nullXs = nulls == 1 || nulls == 3;
        nullYs = nulls == 2 || nulls == 3;
    }
    const int* x() const { return nullXs ? nullptr : xs.data(); }
    const int* y() const { return nullYs ? nullptr : ys.data(); }
};

// --- the state of one input ----------------------------------------------

std::string outputPath;
std::vector<std::string> reports;  // of the current library

struct Library {
    bool ours = false;   // written to outputPath
    bool ended = false;  // closed by a GDS_EndLib that reported nothing
    std::size_t reports = 0;
};
std::vector<Library> libraries;

bool tracing = false;  // QUILLON_FUZZ_TRACE: every call and report

// GDS_EndLib with a structure open leaves it open by design: the next
// library may then close a structure it never opened, without a report of
// its own. Such a library is checked as one with reports.
bool structureLeftOpen = false;

void noteReport(const char* message) {
    if (tracing) std::fprintf(stderr, "  report: %s\n", message);
    if (std::strcmp(message, "Error: Structure is not closed.") == 0) structureLeftOpen = true;
    reports.emplace_back(message);
    if (!libraries.empty() && !libraries.back().ended) ++libraries.back().reports;
}

int QUILLON_CALL keepGoing(const char* message) {
    noteReport(message);
    return 1;
}

int QUILLON_CALL ignore(const char*) { return 0; }

const char* const exportRunningMessage = "Error: Cannot start another export process.";

// Runs one call, catching GDSIIException when no handler is installed.
template <typename Call>
void run(Call call) {
    try {
        call();
    } catch (const GDSIIException& e) {
        noteReport(e.what());
    }
}

// --- the calls -----------------------------------------------------------

struct CallKind {
    const char* name;
    void (*make)(Input&);
};

struct Args {
    int a[12];
    double d[4];
    std::string s;
    PointArrays p;
    void read(Input& in) {
        for (int& v : a) v = in.integer();
        for (double& v : d) v = in.real();
    }
};

Args args;

void beginLib(Input& in) {
    const std::uint8_t where = in.byte();
    std::string name;
    const char* path = outputPath.c_str();
    if (where < 8) path = nullptr;
    else if (where < 16) path = "/dev/full";
    else if (where < 24) path = "/nonexistent-quillon-dir/x.gds";
    else if (where < 28) {
        name.assign(70000, 'n');
        path = name.c_str();
    }
    const double user = in.real(), meters = in.real();
    const std::size_t before = reports.size();
    const bool wasOurs = path == outputPath.c_str();
    libraries.push_back({wasOurs, false, structureLeftOpen ? 1u : 0u});
    run([&] { GDS_BeginLib(path, user, meters); });
    // Refused because a library is running: no new library began.
    for (std::size_t i = before; i < reports.size(); ++i) {
        if (reports[i] == exportRunningMessage) {
            const std::size_t counted = libraries.back().reports;
            libraries.pop_back();
            if (!libraries.empty() && !libraries.back().ended)
                libraries.back().reports += counted;
            break;
        }
    }
}

void endLib(Input&) {
    const std::size_t before = reports.size();
    run([] { GDS_EndLib(); });
    if (reports.size() == before && !libraries.empty()) libraries.back().ended = true;
}

void beginStructure(Input& in) {
    // Names repeat often, so that duplicates happen.
    const std::uint8_t kind = in.byte();
    std::string name = "S" + std::to_string(kind % 8);
    const char* p = name.c_str();
    if (kind >= 64) p = in.text(args.s);
    run([&] { GDS_BeginStructure(p); });
}

void endStructure(Input&) { run([] { GDS_EndStructure(); }); }

void boundary(Input& in) {
    args.read(in);
    const int n = in.count();
    args.p.make(in, n);
    run([&] { GDS_Boundary(args.p.x(), args.p.y(), n, args.a[0], args.a[1], args.a[2], args.a[3]); });
}

void path(Input& in) {
    args.read(in);
    const int n = in.count();
    args.p.make(in, n);
    run([&] {
        GDS_Path(args.p.x(), args.p.y(), n, args.a[0], args.a[1], args.a[2], args.a[3], args.a[4],
                 args.a[5]);
    });
}

void node(Input& in) {
    args.read(in);
    const int n = in.count();
    args.p.make(in, n);
    run([&] { GDS_Node(args.p.x(), args.p.y(), n, args.a[0], args.a[1], args.a[2], args.a[3]); });
}

void box(Input& in) {
    args.read(in);
    const std::uint8_t kind = in.byte() % 3;
    const int* a = args.a;
    run([&] {
        if (kind == 0) GDS_Box(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
        else if (kind == 1) GDS_BoxWH(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
        else GDS_Square(a[0], a[1], a[2], a[4], a[5], a[6], a[7]);
    });
}

void curve(Input& in) {
    args.read(in);
    const int n = in.count();
    work += 8 * static_cast<std::size_t>(static_cast<std::uint16_t>(n));
    const std::uint8_t kind = in.byte() % 3;
    const int* a = args.a;
    const double* d = args.d;
    run([&] {
        if (kind == 0) GDS_Circle(a[0], a[1], a[2], n, a[3], a[4], a[5], a[6]);
        else if (kind == 1) GDS_Sector(a[0], a[1], a[2], d[0], d[1], n, a[3], a[4], a[5], a[6]);
        else GDS_Arc(a[0], a[1], a[2], d[0], d[1], n, a[7], a[3], a[4], a[8], a[5], a[6]);
    });
}

void sref(Input& in) {
    args.read(in);
    const char* name = in.text(args.s);
    const int* a = args.a;
    run([&] { GDS_Sref(name, a[0], a[1], a[2], args.d[0], args.d[1], a[3], a[4]); });
}

void aref(Input& in) {
    args.read(in);
    const char* name = in.text(args.s);
    args.p.make(in, 3);
    const int* a = args.a;
    run([&] {
        GDS_Aref(name, args.p.x(), args.p.y(), a[0], a[1], a[2], args.d[0], args.d[1], a[3], a[4]);
    });
}

void text(Input& in) {
    args.read(in);
    const char* s = in.text(args.s);
    const int* a = args.a;
    run([&] {
        GDS_Text(a[0], a[1], s, a[2], a[3], a[4], a[5], a[6], a[7], args.d[0], args.d[1], a[8],
                 a[9]);
    });
}

void handler(Input& in) {
    const std::uint8_t on = in.byte() & 1;
    run([&] { SetErrorHandle(on ? keepGoing : nullptr); });
}

void timestamp(Input& in) {
    int v[6];
    const std::uint8_t kind = in.byte();
    static const int fixed[6] = {2026, 12, 7, 8, 32, 51};
    for (int i = 0; i < 6; ++i) v[i] = kind < 128 ? fixed[i] : kind < 192 ? 0 : in.integer();
    run([&] { GDS_SetTimestamp(v[0], v[1], v[2], v[3], v[4], v[5]); });
}

const CallKind calls[] = {
    {"GDS_BeginLib", beginLib},       {"GDS_EndLib", endLib},
    {"GDS_BeginStructure", beginStructure}, {"GDS_EndStructure", endStructure},
    {"GDS_Boundary", boundary},       {"GDS_Path", path},
    {"GDS_Node", node},               {"GDS_Box/BoxWH/Square", box},
    {"GDS_Circle/Sector/Arc", curve}, {"GDS_Sref", sref},
    {"GDS_Aref", aref},               {"GDS_Text", text},
    {"SetErrorHandle", handler},      {"GDS_SetTimestamp", timestamp},
};
constexpr std::size_t callCount = sizeof(calls) / sizeof(calls[0]);

// --- the file's shape ----------------------------------------------------

void require(bool condition, const char* what, std::size_t offset) {
    if (condition) return;
    std::fprintf(stderr, "api_fuzzer: malformed file: %s (at byte %zu)\n", what, offset);
    std::abort();
}

struct Rec {
    std::size_t offset;
    std::uint8_t type, dataType;
    std::size_t dataLength;
    const std::uint8_t* data;
};

// Record type, data type pairs.
enum : std::uint8_t {
    HEADER = 0x00, BGNLIB = 0x01, LIBNAME = 0x02, UNITS = 0x03, ENDLIB = 0x04, BGNSTR = 0x05,
    STRNAME = 0x06, ENDSTR = 0x07, BOUNDARY = 0x08, PATH = 0x09, SREF = 0x0A, AREF = 0x0B,
    TEXT = 0x0C, LAYER = 0x0D, DATATYPE = 0x0E, WIDTH = 0x0F, XY = 0x10, ENDEL = 0x11,
    SNAME = 0x12, COLROW = 0x13, NODE = 0x15, TEXTTYPE = 0x16, PRESENTATION = 0x17,
    STRING = 0x19, STRANS = 0x1A, MAG = 0x1B, ANGLE = 0x1C, PATHTYPE = 0x21, ELFLAGS = 0x26,
    NODETYPE = 0x2A, BOX = 0x2D, BOXTYPE = 0x2E, PLEX = 0x2F,
};

struct Shape {
    std::uint8_t element;
    std::vector<std::uint8_t> records;  // after ELFLAGS, PLEX; before ENDEL
    int minPoints, maxPoints;           // in XY, when no report happened
};

const Shape shapes[] = {
    {BOUNDARY, {LAYER, DATATYPE, XY}, 4, 200},
    {PATH, {LAYER, DATATYPE, PATHTYPE, WIDTH, XY}, 2, 200},
    {SREF, {SNAME, STRANS, MAG, ANGLE, XY}, 1, 1},
    {AREF, {SNAME, STRANS, MAG, ANGLE, COLROW, XY}, 3, 3},
    {TEXT, {LAYER, TEXTTYPE, PRESENTATION, PATHTYPE, WIDTH, STRANS, MAG, ANGLE, XY, STRING}, 1, 1},
    {NODE, {LAYER, NODETYPE, XY}, 1, 50},
    {BOX, {LAYER, BOXTYPE, XY}, 5, 5},
};

// The data length each record always has (-1: any).
long fixedLength(std::uint8_t type) {
    switch (type) {
        case HEADER: case LAYER: case DATATYPE: case TEXTTYPE: case PRESENTATION: case STRANS:
        case PATHTYPE: case ELFLAGS: case NODETYPE: case BOXTYPE: return 2;
        case WIDTH: case PLEX: case COLROW: return 4;
        case MAG: case ANGLE: return 8;
        case UNITS: return 16;
        case BGNLIB: case BGNSTR: return 24;
        case ENDLIB: case ENDSTR: case BOUNDARY: case PATH: case SREF: case AREF: case TEXT:
        case NODE: case BOX: case ENDEL: return 0;
        default: return -1;
    }
}

void checkFile(const std::vector<std::uint8_t>& file, bool strict) {
    // The records tile the file exactly.
    std::vector<Rec> recs;
    std::size_t at = 0;
    while (at < file.size()) {
        require(file.size() - at >= 4, "a partial record header at the end", at);
        const std::size_t length = (std::size_t{file[at]} << 8) | file[at + 1];
        require(length >= 4 && length % 2 == 0, "a record length below 4 or odd", at);
        require(at + length <= file.size(), "a record running past the end", at);
        recs.push_back({at, file[at + 2], file[at + 3], length - 4, file.data() + at + 4});
        const long fixed = fixedLength(file[at + 2]);
        require(fixed < 0 || static_cast<std::size_t>(fixed) == length - 4,
                "a record of the wrong length for its type", at);
        at += length;
    }
    // Every element is whole, in its records' order; in a strict file the
    // points are within the kind's counts too.
    bool inStructure = false;
    for (std::size_t i = 0; i < recs.size(); ++i) {
        const Rec& r = recs[i];
        const Shape* shape = nullptr;
        for (const Shape& s : shapes)
            if (s.element == r.type) shape = &s;
        if (shape == nullptr) {
            require(r.type == HEADER || r.type == BGNLIB || r.type == LIBNAME || r.type == UNITS ||
                        r.type == ENDLIB || r.type == BGNSTR || r.type == STRNAME ||
                        r.type == ENDSTR,
                    "a record outside any element that belongs in one", r.offset);
            if (strict) {
                if (r.type == BGNSTR) {
                    require(!inStructure, "a structure inside a structure", r.offset);
                    require(i + 1 < recs.size() && recs[i + 1].type == STRNAME,
                            "BGNSTR without STRNAME", r.offset);
                    inStructure = true;
                }
                if (r.type == ENDSTR) {
                    require(inStructure, "ENDSTR outside a structure", r.offset);
                    inStructure = false;
                }
                if (r.type == STRNAME)
                    require(i > 0 && recs[i - 1].type == BGNSTR, "STRNAME after no BGNSTR", r.offset);
            }
            continue;
        }
        if (strict) require(inStructure, "an element outside a structure", r.offset);
        std::size_t j = i + 1;
        require(j + 1 < recs.size() && recs[j].type == ELFLAGS && recs[j + 1].type == PLEX,
                "an element without ELFLAGS and PLEX", r.offset);
        j += 2;
        for (const std::uint8_t expected : shape->records) {
            require(j < recs.size() && recs[j].type == expected, "an element cut short or out of order",
                    r.offset);
            if (expected == XY) {
                require(recs[j].dataLength % 8 == 0, "XY not of whole points", recs[j].offset);
                const std::size_t points = recs[j].dataLength / 8;
                if (strict) {
                    require(points >= static_cast<std::size_t>(shape->minPoints) &&
                                points <= static_cast<std::size_t>(shape->maxPoints),
                            "XY with a point count wrong for its element", recs[j].offset);
                    if (r.type == BOUNDARY || r.type == BOX)
                        require(std::memcmp(recs[j].data, recs[j].data + 8 * (points - 1), 8) == 0,
                                "a polygon not closed", recs[j].offset);
                }
            }
            if (strict && expected == STRING)
                require(recs[j].dataLength <= 512, "a STRING over 512 characters", recs[j].offset);
            ++j;
        }
        require(j < recs.size() && recs[j].type == ENDEL, "an element without its ENDEL", r.offset);
        i = j;
    }
    if (!strict) return;
    require(recs.size() >= 5 && recs[0].type == HEADER && recs[1].type == BGNLIB &&
                recs[2].type == LIBNAME && recs[3].type == UNITS,
            "a library not opened by HEADER BGNLIB LIBNAME UNITS", 0);
    require(recs.back().type == ENDLIB && !inStructure, "a library not closed by ENDLIB",
            recs.back().offset);
    for (std::size_t i = 4; i + 1 < recs.size(); ++i)
        require(recs[i].type != HEADER && recs[i].type != BGNLIB && recs[i].type != LIBNAME &&
                    recs[i].type != UNITS && recs[i].type != ENDLIB,
                "a library record in the middle", recs[i].offset);
}

std::vector<std::uint8_t> readOutput() {
    std::ifstream in(outputPath, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

// How many files were checked each way, printed at exit when
// QUILLON_FUZZ_STATS is set.
std::size_t strictFiles = 0, relaxedFiles = 0;

void printStats() {
    std::fprintf(stderr, "api_fuzzer: %zu files checked strictly, %zu after reports\n",
                 strictFiles, relaxedFiles);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::getenv("QUILLON_FUZZ_STATS") != nullptr) std::atexit(printStats);
    tracing = std::getenv("QUILLON_FUZZ_TRACE") != nullptr;
    const char* dir = std::getenv("TMPDIR");
    outputPath = std::string(dir != nullptr ? dir : "/tmp") + "/quillon-api-fuzz-" +
                 std::to_string(getpid()) + ".gds";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Back to Idle with no structure open, whatever the last input left.
    SetErrorHandle(ignore);
    GDS_EndStructure();
    GDS_EndLib();
    std::remove(outputPath.c_str());
    reports.clear();
    libraries.clear();
    structureLeftOpen = false;
    SetErrorHandle(nullptr);
    GDS_SetTimestamp(0, 0, 0, 0, 0, 0);

    Input in(data, size);
    std::size_t last = callCount, lastArguments = 0;
    std::size_t callsMade = 0;
    constexpr std::size_t mostCalls = 5000;
    work = 0;
    while (!in.empty() && callsMade < mostCalls && work < workBudget) {
        const std::uint8_t op = in.byte();
        if (op >= 240 && last < callCount) {
            // The previous call again, with the same arguments, up to 255
            // times: long streams that cross the buffer's end often.
            const std::uint8_t times = in.byte();
            const std::size_t resume = in.position();
            for (unsigned t = 0; t < times && callsMade < mostCalls && work < workBudget;
                 ++t, ++callsMade) {
                work += 100;
                in.seek(lastArguments);
                calls[last].make(in);
            }
            in.seek(resume);
            continue;
        }
        last = op % callCount;
        if (tracing) std::fprintf(stderr, "%s\n", calls[last].name);
        work += 100;
        lastArguments = in.position();
        calls[last].make(in);
        ++callsMade;
    }

    // Close whatever is open. What this reports belongs to the library
    // still running, unless none was ("Process is already stoped").
    SetErrorHandle(keepGoing);
    const std::size_t before = reports.size();
    const std::size_t counted = libraries.empty() ? 0 : libraries.back().reports;
    GDS_EndLib();
    bool idle = reports.size() == before;
    for (std::size_t i = before; i < reports.size(); ++i) {
        if (reports[i] == "Error: Process is already stoped.") {
            if (!libraries.empty()) libraries.back().reports = counted;
            idle = true;
        }
    }
    if (!idle) {
        // Whatever the state machine made of that, bring it back to Idle.
        GDS_EndStructure();
        GDS_EndLib();
    }
    SetErrorHandle(nullptr);

    // The file holds the last library written to it.
    for (std::size_t i = libraries.size(); i-- > 0;) {
        if (!libraries[i].ours) continue;
        const bool strict = libraries[i].reports == 0;
        checkFile(readOutput(), strict);
        ++(strict ? strictFiles : relaxedFiles);
        break;
    }
    std::remove(outputPath.c_str());
    return 0;
}
