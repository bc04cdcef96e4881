// libFuzzer target for the exported functions: each input decodes into a
// sequence of calls of all of them, the flat ones and the handle API's on up
// to three writers at once, with adversarial arguments (extreme integers,
// odd counts with arrays that really hold that many points, simple and
// self-intersecting outlines, NULL pointers, long and odd strings, NaN and
// infinite doubles, calls out of order, handlers and callbacks on and off,
// options structs of older callers, strict mode on and off, gzip, a full
// disk, unopenable paths). The library must stay inside its memory (the
// sanitizers watch), answer each handle call as documented, and every file
// it wrote must be well formed: strictly so when nothing was reported, or
// when every report came from strict mode (which refuses a bad call whole);
// otherwise the records must still tile the file and every element must be
// whole.
//
// An input is a sequence of calls: one byte picks the row of the calls
// table (seeds write the row's index; rows are only ever appended, so that
// old seeds keep their meaning), the row's arguments follow. A byte of 240
// or more repeats the previous call with the same arguments.
// tests/fuzz/make_api_seeds.py writes the seeds in this encoding.
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <set>
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
        const std::size_t n = resize(count);
        const int scale = in.integer();
        for (std::size_t i = 0; i < n; ++i) {
            xs[i] = static_cast<int>(static_cast<unsigned>(scale) * static_cast<unsigned>(i));
            ys[i] = static_cast<int>(static_cast<unsigned>(i) * 2654435761u);
        }
        nulls(in);
    }
    // The outline of a polygon: the points of make, which mostly cross
    // themselves, or a simple one of count vertices, a circle, a star, a
    // comb, a sawtooth, a thin slanted band (one long edge, the other side
    // a zigzag 2 to 3 units off it) or a keyholed square (a hole joined to
    // the outline by a zero-width bridge) of either orientation, sometimes
    // with the first point repeated at the end. Answers the count made: at most
    // 3,000 for points that cross themselves, whose pieces may hold 150
    // times as many vertices (at limit 8, 10,000 take seconds under the
    // sanitizers).
    int outline(Input& in, int count, bool& crossing) {
        const std::uint8_t kind = in.byte();
        crossing = kind < 64;
        if (crossing) {
            count = std::min(count, 3000);
            make(in, count);
            return count;
        }
        const std::size_t n = resize(count);
        static const int sizes[] = {4, 1000, 1 << 20, 1 << 29};
        const std::uint8_t sized = in.byte();
        std::int64_t size = sized < 192 ? sizes[sized % 4] : std::llabs(in.integer()) + 1;
        std::int64_t cx = in.integer(), cy = in.integer();
        const bool reverse = kind & 1, closed = kind & 2;
        const int shape = kind >= 240 ? 3 : kind >= 224 ? 4 : kind >= 208 ? 5 : (kind >> 2) % 3;
        const bool round = shape != 2;  // within -size to size both ways
        if (shape == 4) size = std::max<std::int64_t>(size, 64);
        const std::size_t teeth = n >= 6 ? (n - 2) / 4 : 0;
        // Within 32 bits, where it cannot wrap round: x from -size or 0 to
        // size or 2 teeth size, y from -size to size or 4 size.
        const auto width = [&] {
            return round ? 2 * size + 8 : static_cast<std::int64_t>(2 * teeth) * size;
        };
        while (size > 1 && (width() > 0xFFFFFFF0 || 5 * size > 0xFFFFFFF0)) size /= 2;
        const std::int64_t lowX = round ? -size - 4 : 0, lowY = round ? -size - 4 : -size;
        const std::int64_t highX = lowX + width(), highY = round ? size + 4 : 4 * size;
        const double slant = 0.01 + 1.55 * in.byte() / 255.0;
        const double along = std::cos(slant) * static_cast<double>(size);
        const double across = std::sin(slant) * static_cast<double>(size);
        const std::int64_t unit = std::max<std::int64_t>(size / 50, 1);
        static const int keyhole[10][2] = {{-50, -50}, {50, -50}, {50, 50}, {-50, 50}, {-50, 10},
                                           {10, 10},   {10, -10}, {-10, -10}, {-10, 10}, {-50, 10}};
        cx = std::min(std::max(cx, INT32_MIN - lowX), INT32_MAX - highX);
        cy = std::min(std::max(cy, INT32_MIN - lowY), INT32_MAX - highY);
        const double turn = 6.283185307179586 / static_cast<double>(n == 0 ? 1 : n);
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t i = reverse ? n - 1 - k : k;
            std::int64_t x, y;
            if (shape == 3) {
                // From (-along, -across) to (along, across), then back in a
                // zigzag on its left.
                const double length = static_cast<double>(size);
                const double t = n < 3 ? 0 : i < 2 ? static_cast<double>(i) * 2 - 1
                                       : 1 - 2 * (static_cast<double>(n - 1 - i) + 0.5) /
                                                 static_cast<double>(n - 1);
                const double offset = i < 2 ? 0 : i % 2 ? 2.0 : 3.0;
                x = std::llround(t * along - offset * across / length);
                y = std::llround(t * across + offset * along / length);
            } else if (shape == 5) {
                // A sawtooth: a straight back from (-size, -size) to
                // (size, -size), then tips and valleys back along it.
                const std::int64_t k = static_cast<std::int64_t>(i) - 2;
                const std::int64_t last = std::max<std::int64_t>(static_cast<std::int64_t>(n) - 1, 1);
                x = i == 0 ? -size : i == 1 ? size : size - 2 * size * (k + 1) / last;
                y = i < 2 ? -size : k % 2 ? -size + 1 : size;
            } else if (shape == 4) {
                // The square's bottom edge takes the vertices beyond ten.
                const std::size_t extra = n > 10 ? n - 10 : 0;
                const std::size_t j = i < extra ? 0 : i - extra;
                x = i < extra ? (-50 + static_cast<std::int64_t>(100 * i / (extra + 1))) * unit
                              : keyhole[j][0] * unit;
                y = (i < extra ? -50 : keyhole[j][1]) * unit;
            } else if (shape < 2) {
                // A circle, or a star whose points alternate between two radii.
                const double r = static_cast<double>(shape == 1 && i % 2 ? size / 3 + 1 : size);
                x = std::llround(r * std::cos(turn * static_cast<double>(i)));
                y = std::llround(r * std::sin(turn * static_cast<double>(i)));
            } else if (i < 4 * teeth) {
                // A comb: teeth of width size and height 4 size along y = 0...
                const std::int64_t tooth = static_cast<std::int64_t>(i / 4), corner = i % 4;
                x = (2 * tooth + (corner >= 2)) * size;
                y = (corner == 1 || corner == 2) ? 4 * size : 0;
            } else {
                // ...closed by its back at y = -size, any further vertices on it.
                const std::int64_t end = static_cast<std::int64_t>(2 * teeth) * size;
                const std::size_t rest = n - 4 * teeth;  // at least 2 when teeth > 0
                const std::size_t j = i - 4 * teeth;
                x = teeth == 0 ? static_cast<std::int64_t>(j) * size
                               : end - end * static_cast<std::int64_t>(j) /
                                           static_cast<std::int64_t>(rest - 1);
                y = -size;
            }
            xs[k] = static_cast<int>(cx + x);
            ys[k] = static_cast<int>(cy + y);
        }
        if (closed && n >= 2) {
            xs[n - 1] = xs[0];
            ys[n - 1] = ys[0];
        }
        nulls(in);
        return count;
    }
    const int* x() const { return nullXs ? nullptr : xs.data(); }
    const int* y() const { return nullYs ? nullptr : ys.data(); }

private:
    std::size_t resize(int count) {
        const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
        work += 8 * n;
        xs.resize(n);
        ys.resize(n);
        return n;
    }
    void nulls(Input& in) {
        const std::uint8_t nulls = in.byte();
        nullXs = nulls == 1 || nulls == 3;
        nullYs = nulls == 2 || nulls == 3;
    }
};

// --- checks of the library's answers ---------------------------------------

// A documented behaviour of a call the library did not keep to.
void expect(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "api_fuzzer: wrong answer: %s\n", what);
    std::abort();
}

bool tracing = false;  // QUILLON_FUZZ_TRACE: every call and report

const char* const exportRunningMessage = "Error: Cannot start another export process.";
const char* const invalidUnitsMessage = "Error: Invalid units.";

bool isIoMessage(const char* message) {
    return std::strcmp(message, "Error: Cannot open GDSII file.") == 0 ||
           std::strcmp(message, "Error: Cannot write GDSII file.") == 0;
}

// --- the state of the flat functions' writer ---------------------------------

std::string basePath;              // per process; every output file's name starts with it
std::vector<std::string> reports;  // of the flat functions, this input

struct Library {
    std::string path;      // the file it writes, when one of ours ("": none)
    bool ended = false;    // closed by a GDS_EndLib that reported nothing
    std::size_t reports = 0;
    bool spoiled = false;  // a report after which the file may be malformed
    int mostLimit = 199;   // the highest polygon limit in effect during it
};
std::vector<Library> libraries;

bool flatStrict = false;  // GDS_SetStrict
int flatLimit = 199;      // GDS_SetPolygonLimit
bool reentering = false;  // the handler calls the library (and must be refused)

// GDS_EndLib with a structure open leaves it open by design, unless strict:
// the next library may then close a structure it never opened, without a
// report of its own. Such a library is checked as one with reports.
bool structureLeftOpen = false;

Library* runningLibrary() {
    return libraries.empty() || libraries.back().ended ? nullptr : &libraries.back();
}

void noteReport(const char* message) {
    if (tracing) std::fprintf(stderr, "  report: %s\n", message);
    // Strict mode refuses a bad call whole, so that the file stays well
    // formed after the report; only a file that could not be written may not.
    const bool spoils = !flatStrict || isIoMessage(message);
    if (spoils && std::strcmp(message, "Error: Structure is not closed.") == 0)
        structureLeftOpen = true;
    reports.emplace_back(message);
    if (Library* library = runningLibrary()) {
        ++library->reports;
        library->spoiled = library->spoiled || spoils;
    }
}

int QUILLON_CALL keepGoing(const char* message) {
    noteReport(message);
    if (reentering) {
        // Every library function but SetErrorHandle is refused from here.
        expect(GDS_EndStructure() == QUILLON_ERROR_REENTRANT,
               "GDS_EndStructure from inside the handler was not refused");
        expect(GDS_BeginLib(basePath.c_str(), 0.001, 1e-9) == QUILLON_ERROR_REENTRANT,
               "GDS_BeginLib from inside the handler was not refused");
        expect(SetErrorHandle(keepGoing) == keepGoing,
               "SetErrorHandle from inside the handler did not answer its argument");
    }
    return 1;
}

int QUILLON_CALL ignore(const char*) { return 0; }

// Runs one flat call, catching GDSIIException when no handler is installed.
template <typename Call>
void run(Call call) {
    try {
        call();
    } catch (const GDSIIException& e) {
        noteReport(e.what());
    }
}

// --- the handle API's writers ------------------------------------------------

struct Writer {
    QuillonWriter* handle = nullptr;
    std::string path;       // the file it writes, when one of ours
    bool gzip = false;      // the file is to be a gzip stream
    bool fullDisk = false;  // writes to /dev/full
    bool strict = true;     // the writer's mode
    bool callback = false;  // onError is installed
    bool reenter = false;   // ...and calls the writer (and must be refused)
    void* userData = nullptr;
    std::string libraryName;  // LIBNAME as it must be written
    bool fixedTime = false;
    int time[6] = {};
    std::size_t reports = 0;  // calls that answered an error
    bool spoiled = false;     // one of them not strict: the file may be malformed
    bool ioError = false;     // a byte could not be written
    int mostLimit = 199;
    // Of the call running now: the callbacks it made.
    std::size_t callbacks = 0;
    int worstStatus = 0;  // the most severe status the callback heard
    const char* lastMessage = nullptr;
    bool ioReported = false;
};
constexpr std::size_t writerCount = 3;
Writer writers[writerCount];
Writer* current = nullptr;  // the writer of the handle call running now

void QUILLON_CALL recordError(void* userData, int status, const char* message) {
    expect(current != nullptr, "a callback outside any call of its writer");
    Writer& w = *current;
    expect(w.callback, "a callback that options.size leaves out was called");
    expect(userData == w.userData, "a callback with the wrong userData");
    expect(message != nullptr && *message != '\0', "a callback without a message");
    expect((status < 0 && status != QUILLON_ERROR_REENTRANT) ||
               status == QUILLON_WARNING_UNDEFINED_STRUCTURE,
           "a callback with a wrong status");
    if (tracing) std::fprintf(stderr, "  callback %d: %s\n", status, message);
    // Data loss (I/O, memory) weighs most, then errors, then the warning.
    const auto weight = [](int s) {
        return s == QUILLON_ERROR_IO || s == QUILLON_ERROR_MEMORY ? 3 : s < 0 ? 2 : s > 0 ? 1 : 0;
    };
    if (w.callbacks++ == 0 || weight(status) > weight(w.worstStatus)) w.worstStatus = status;
    w.lastMessage = message;
    if (status == QUILLON_ERROR_IO) w.ioReported = w.ioError = true;
    if (w.handle == nullptr) return;  // quillon_open still running
    const char* last = quillon_last_error(w.handle);
    // The undefined-structure warning's text goes on with the names.
    const std::size_t n = status > 0 ? std::strlen(message) : std::strlen(message) + 1;
    expect(last != nullptr && std::strncmp(last, message, n) == 0,
           "quillon_last_error inside the callback is not the message reported");
    if (w.reenter) {
        expect(quillon_end_structure(w.handle) == QUILLON_ERROR_REENTRANT,
               "quillon_end_structure from inside the callback was not refused");
        expect(quillon_close(w.handle) == QUILLON_ERROR_REENTRANT,
               "quillon_close from inside the callback was not refused");
        // The refusal is the writer's last error now.
        w.lastMessage = quillon_last_error(w.handle);
        expect(w.lastMessage != nullptr, "quillon_last_error answered NULL");
    }
}

void beginCall(Writer& w) {
    current = &w;
    w.callbacks = 0;
    w.worstStatus = 0;
    w.lastMessage = nullptr;
    w.ioReported = false;
}

// Takes the status of a handle call: counts it, and checks it against the
// callbacks it made and the writer's last error. open: the writer is still
// open (false for quillon_close, which finishes the file as a strict writer
// does whatever the writer's mode).
void endCall(Writer& w, int status, bool open) {
    current = nullptr;
    expect((status <= 0 && status >= QUILLON_ERROR_MEMORY && status != QUILLON_ERROR_REENTRANT) ||
               (!open && status == QUILLON_WARNING_UNDEFINED_STRUCTURE),
           "a status that is no QUILLON_* code");
    if (tracing && status != 0) std::fprintf(stderr, "  status %d\n", status);
    if (status != QUILLON_OK && status != QUILLON_WARNING_UNDEFINED_STRUCTURE) {
        ++w.reports;
        if (open && !w.strict) w.spoiled = true;
        if (status == QUILLON_ERROR_IO) w.ioError = true;
    }
    if (w.callback) {
        expect((status != QUILLON_OK) == (w.callbacks > 0),
               "a call whose status and callbacks disagree");
        expect(w.callbacks == 0 || status == w.worstStatus,
               "a status other than that of the call's most severe report");
    }
    if (!open) return;
    const char* last = quillon_last_error(w.handle);
    expect(last != nullptr, "quillon_last_error answered NULL");
    expect(status == QUILLON_OK || *last != '\0', "quillon_last_error empty after an error");
    expect(w.lastMessage == nullptr || std::strcmp(last, w.lastMessage) == 0,
           "quillon_last_error is not the last message reported");
}

// A writer that is open, chosen by a byte; NULL when none is.
Writer* pickWriter(Input& in) {
    Writer* open[writerCount];
    std::size_t n = 0;
    for (Writer& w : writers)
        if (w.handle != nullptr) open[n++] = &w;
    const std::uint8_t which = in.byte();
    return n == 0 ? nullptr : open[which % n];
}

// Runs a call on the flat functions (w NULL) or on writer w.
template <class Flat, class Handle>
void dispatch(Writer* w, Flat flat, Handle handle) {
    if (w == nullptr) {
        run(flat);
        return;
    }
    if (tracing) std::fprintf(stderr, "  on writer %d\n", static_cast<int>(w - writers));
    beginCall(*w);
    const int status = handle(w->handle);
    endCall(*w, status, true);
}

// The same call as GDS_flat(...) or quillon_handle(writer, ...).
#define CALL(w, flat, handle, ...)                                                 \
    dispatch(                                                                      \
        w, [&] { flat(__VA_ARGS__); },                                            \
        [&](QuillonWriter* writerHandle) { return handle(writerHandle, __VA_ARGS__); })

// The writer a row calls: none (the flat functions) for the flat row, an
// open one for the handle row. False when the handle row has none.
template <bool onHandle>
bool target(Input& in, Writer*& w) {
    w = onHandle ? pickWriter(in) : nullptr;
    return !onHandle || w != nullptr;
}

void noteLimit(Writer* w, int limit) {
    if (limit < 8 || limit > 4094) return;  // refused, the limit unchanged
    if (w != nullptr) {
        w->mostLimit = std::max(w->mostLimit, limit);
        return;
    }
    flatLimit = limit;
    if (Library* library = runningLibrary())
        library->mostLimit = std::max(library->mostLimit, limit);
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
    const std::string ours = basePath + (where >= 224 ? ".gds.gz" : ".gds");
    const char* path = ours.c_str();
    if (where < 8) path = nullptr;
    else if (where < 16) path = "/dev/full";
    else if (where < 24) path = "/nonexistent-quillon-dir/x.gds";
    else if (where < 28) {
        name.assign(70000, 'n');
        path = name.c_str();
    }
    const double user = in.real(), meters = in.real();
    const std::size_t before = reports.size();
    Library library;
    if (path == ours.c_str()) library.path = ours;
    library.reports = structureLeftOpen ? 1 : 0;
    library.spoiled = structureLeftOpen;
    library.mostLimit = flatLimit;
    libraries.push_back(library);
    run([&] { GDS_BeginLib(path, user, meters); });
    // Refused because a library is running, or for its units: no new
    // library began (and no file was touched).
    for (std::size_t i = before; i < reports.size(); ++i) {
        if (reports[i] == exportRunningMessage || reports[i] == invalidUnitsMessage) {
            const Library refused = libraries.back();
            libraries.pop_back();
            if (Library* running = runningLibrary()) {
                running->reports += refused.reports;
                running->spoiled = running->spoiled || refused.spoiled;
            }
            break;
        }
    }
}

void endLib(Input&) {
    const std::size_t before = reports.size();
    run([] { GDS_EndLib(); });
    if (reports.size() == before && !libraries.empty()) libraries.back().ended = true;
}

template <bool onHandle>
void beginStructure(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    // Names repeat often, so that duplicates happen.
    const std::uint8_t kind = in.byte();
    std::string name = "S" + std::to_string(kind % 8);
    const char* p = name.c_str();
    if (kind >= 64) p = in.text(args.s);
    CALL(w, GDS_BeginStructure, quillon_begin_structure, p);
}

template <bool onHandle>
void endStructure(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    dispatch(w, [] { GDS_EndStructure(); }, [](QuillonWriter* h) { return quillon_end_structure(h); });
}

template <bool onHandle>
void boundary(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    args.read(in);
    const int n = in.count();
    args.p.make(in, n);
    const int* a = args.a;
    CALL(w, GDS_Boundary, quillon_boundary, args.p.x(), args.p.y(), n, a[0], a[1], a[2], a[3]);
}

template <bool onHandle>
void path(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    args.read(in);
    const int n = in.count();
    args.p.make(in, n);
    const int* a = args.a;
    CALL(w, GDS_Path, quillon_path, args.p.x(), args.p.y(), n, a[0], a[1], a[2], a[3], a[4], a[5]);
}

template <bool onHandle>
void node(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    args.read(in);
    const int n = in.count();
    args.p.make(in, n);
    const int* a = args.a;
    CALL(w, GDS_Node, quillon_node, args.p.x(), args.p.y(), n, a[0], a[1], a[2], a[3]);
}

template <bool onHandle>
void box(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    args.read(in);
    const std::uint8_t kind = in.byte() % 3;
    const int* a = args.a;
    if (kind == 0) CALL(w, GDS_Box, quillon_box, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
    else if (kind == 1)
        CALL(w, GDS_BoxWH, quillon_box_wh, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
    else CALL(w, GDS_Square, quillon_square, a[0], a[1], a[2], a[4], a[5], a[6], a[7]);
}

template <bool onHandle>
void curve(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    args.read(in);
    const int n = in.count();
    work += 8 * static_cast<std::size_t>(static_cast<std::uint16_t>(n));
    const std::uint8_t kind = in.byte() % 3;
    const int* a = args.a;
    const double* d = args.d;
    if (kind == 0) CALL(w, GDS_Circle, quillon_circle, a[0], a[1], a[2], n, a[3], a[4], a[5], a[6]);
    else if (kind == 1)
        CALL(w, GDS_Sector, quillon_sector, a[0], a[1], a[2], d[0], d[1], n, a[3], a[4], a[5], a[6]);
    else
        CALL(w, GDS_Arc, quillon_arc, a[0], a[1], a[2], d[0], d[1], n, a[7], a[3], a[4], a[8], a[5],
             a[6]);
}

template <bool onHandle>
void sref(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    args.read(in);
    const char* name = in.text(args.s);
    const int* a = args.a;
    CALL(w, GDS_Sref, quillon_sref, name, a[0], a[1], a[2], args.d[0], args.d[1], a[3], a[4]);
}

template <bool onHandle>
void aref(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    args.read(in);
    const char* name = in.text(args.s);
    args.p.make(in, 3);
    const int* a = args.a;
    CALL(w, GDS_Aref, quillon_aref, name, args.p.x(), args.p.y(), a[0], a[1], a[2], args.d[0],
         args.d[1], a[3], a[4]);
}

template <bool onHandle>
void text(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    args.read(in);
    const char* s = in.text(args.s);
    const int* a = args.a;
    CALL(w, GDS_Text, quillon_text, a[0], a[1], s, a[2], a[3], a[4], a[5], a[6], a[7], args.d[0],
         args.d[1], a[8], a[9]);
}

void handler(Input& in) {
    const std::uint8_t on = in.byte();
    reentering = (on & 2) != 0;
    run([&] { SetErrorHandle(on & 1 ? keepGoing : nullptr); });
}

void timestamp(Input& in) {
    int v[6];
    const std::uint8_t kind = in.byte();
    static const int fixed[6] = {2026, 12, 7, 8, 32, 51};
    for (int i = 0; i < 6; ++i) v[i] = kind < 128 ? fixed[i] : kind < 192 ? 0 : in.integer();
    run([&] { GDS_SetTimestamp(v[0], v[1], v[2], v[3], v[4], v[5]); });
}

void setStrict(Input& in) {
    const std::uint8_t kind = in.byte();
    const int on = kind & 1 ? (kind & 2 ? -1 : 1) : 0;
    expect(GDS_SetStrict(on) == (flatStrict ? 1 : 0), "GDS_SetStrict answered a wrong setting");
    flatStrict = on != 0;
}

template <bool onHandle>
void property(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    const int attribute = in.integer();
    const char* value = in.text(args.s);
    CALL(w, GDS_Property, quillon_property, attribute, value);
}

// The arguments of a polygon call and its outline; answers the vertices.
int polygonArguments(Input& in) {
    args.read(in);
    bool crossing;
    const int n = args.p.outline(in, in.count(), crossing);
    // The pieces hold more vertices than the outline: up to 10 times as
    // many for a spiky one, 150 times for one that crosses itself.
    work += (crossing ? 150 : 10) * 8 * static_cast<std::size_t>(std::max(n, 0));
    return n;
}

template <bool onHandle>
void polygon(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    const int n = polygonArguments(in);
    const int* a = args.a;
    CALL(w, GDS_Polygon, quillon_polygon, args.p.x(), args.p.y(), n, a[0], a[1], a[2], a[3]);
}

// The outline's vertices as several rings of sizes the input picks (the
// last takes the rest; sizes below 3 are refused): holes, islands, or
// rings that cross.
void polygonRings(Input& in) {
    Writer* w;
    if (!target<true>(in, w)) return;
    const int n = polygonArguments(in);
    std::vector<int> counts;
    for (int left = std::max(n, 0); left > 0 && counts.size() < 8;) {
        const int size = counts.size() == 7 ? left : std::min(left, 1 + in.byte() * 16);
        counts.push_back(size);
        left -= size;
    }
    const int* a = args.a;
    const int* ringCounts = in.byte() == 0 ? nullptr : counts.data();
    const int rings = static_cast<int>(counts.size());
    dispatch(w, [] {}, [&](QuillonWriter* writerHandle) {
        return quillon_polygon_rings(writerHandle, args.p.x(), args.p.y(), ringCounts, rings,
                                     a[0], a[1], a[2], a[3]);
    });
}

// A tolerance that keeps a curve of radius r to at most about maxChords
// chords a half turn (NaN, infinite, zero and negative ones pass, to be
// refused): the fuzzer looks for faults, not for the 2^24-point limit.
double boundedTolerance(double tolerance, double r, double maxChords) {
    const double least = std::fabs(r) * (3.2 / maxChords) * (3.2 / maxChords) / 8;
    return tolerance > 0 && tolerance < least ? least : tolerance;
}

// Ellipses, rings and their sectors by tolerance.
void ellipse(Input& in) {
    Writer* w;
    if (!target<true>(in, w)) return;
    args.read(in);
    const int* a = args.a;
    const double* d = args.d;
    const double r = std::max(std::fabs(static_cast<double>(a[2])), std::fabs(double(a[3])));
    const double tolerance = boundedTolerance(d[2], r, 4000);
    // Both rings' chords, fractured.
    const double chords = tolerance > 0 && std::isfinite(tolerance) && r > 0
                              ? 6.3 / std::sqrt(8 * tolerance / r) + 8
                              : 8;
    work += 2 * 10 * 8 * static_cast<std::size_t>(std::min(chords, 8000.0));
    dispatch(w, [] {}, [&](QuillonWriter* writerHandle) {
        return quillon_ellipse(writerHandle, a[0], a[1], a[2], a[3], a[4], a[5], d[0], d[1],
                               tolerance, a[6], a[7], a[8], a[9]);
    });
}

// Paths with extensions and bends, and arc paths by tolerance.
void pathEx(Input& in) {
    Writer* w;
    if (!target<true>(in, w)) return;
    args.read(in);
    const int* a = args.a;
    const double* d = args.d;
    if (in.byte() & 1) {
        const double tolerance = boundedTolerance(d[2], a[2], 4000);
        work += 8 * 8000;
        dispatch(w, [] {}, [&](QuillonWriter* writerHandle) {
            return quillon_arc_path(writerHandle, a[0], a[1], a[2], d[0], d[1], tolerance, a[3],
                                    a[4], a[5], a[6], a[7], a[8], a[9], a[10]);
        });
        return;
    }
    const int n = in.count();
    args.p.make(in, n);
    const double tolerance = boundedTolerance(d[2], a[4], 64);
    work += 8 * 70 * static_cast<std::size_t>(std::max(n, 0));  // every corner an arc
    dispatch(w, [] {}, [&](QuillonWriter* writerHandle) {
        return quillon_path_ex(writerHandle, args.p.x(), args.p.y(), n, a[0], a[1], a[2], a[3],
                               a[4], tolerance, a[5], a[6], a[7], a[8]);
    });
}

// Text as polygons: about 5 rectangles of 6 to 8 vertices a character.
void textPolygons(Input& in) {
    Writer* w;
    if (!target<true>(in, w)) return;
    args.read(in);
    const char* s = in.text(args.s);
    const int* a = args.a;
    work += 400 * (s != nullptr ? std::strlen(s) : 0);
    dispatch(w, [] {}, [&](QuillonWriter* writerHandle) {
        return quillon_text_polygons(writerHandle, s, a[0], a[1], a[2], a[3], args.d[0], a[4],
                                     a[5]);
    });
}

template <bool onHandle>
void polygonLimit(Input& in) {
    Writer* w;
    if (!target<onHandle>(in, w)) return;
    static const int limits[] = {7, 8, 199, 4094, 4095, 9, 200};
    const std::uint8_t kind = in.byte();
    const int limit = kind < 224 ? limits[kind % 7] : in.integer();
    CALL(w, GDS_SetPolygonLimit, quillon_set_polygon_limit, limit);
    noteLimit(w, limit);
}

// --- handle API: opening and closing --------------------------------------

std::string writerPath(std::size_t index, const char* suffix) {
    return basePath + "-w" + std::to_string(index) + suffix;
}

bool endsInGz(const std::string& name) {
    const std::size_t n = name.size();
    return n >= 3 && name[n - 3] == '.' && (name[n - 2] | 0x20) == 'g' &&
           (name[n - 1] | 0x20) == 'z';
}

void checkWriterFile(const Writer& w);

void closeWriter(Writer& w) {
    if (w.handle == nullptr) return;
    if (tracing) std::fprintf(stderr, "quillon_close (writer %d)\n", static_cast<int>(&w - writers));
    beginCall(w);
    const int status = quillon_close(w.handle);
    w.handle = nullptr;
    endCall(w, status, false);
    // The last byte of a full disk's file is refused by the close at the latest.
    if (w.fullDisk) {
        expect(status != QUILLON_OK, "a file of /dev/full closed without an error");
        expect(!w.callback || w.ioReported, "a file of /dev/full closed without an I/O error");
    }
    if (!w.path.empty()) checkWriterFile(w);
}

// quillon_default_options fills every field, whatever the struct held.
void defaultOptions(QuillonOptions& options) {
    std::memset(&options, 0xA5, sizeof options);
    quillon_default_options(&options);
    expect(options.size == sizeof(QuillonOptions) && options.libraryName == nullptr &&
               options.onError == nullptr && options.userData == nullptr &&
               options.strict == 1 && options.compression == -1 && options.compact == 1,
           "quillon_default_options filled a field wrong");
    for (const int t : options.timestamp) expect(t == 0, "quillon_default_options: a time stamp");
}

void openWriter(Input& in) {
    const std::size_t index = in.byte() % writerCount;
    Writer& w = writers[index];
    closeWriter(w);  // a writer's slot is taken over: its file is finished first
    w = Writer{};

    // Where: one of this writer's own files (plain, gzip by the name in
    // either case), a full disk, a directory that does not exist, NULL, or
    // a name too long for LIBNAME.
    const std::uint8_t where = in.byte();
    std::string name;
    if (where < 112) name = writerPath(index, ".gds");
    else if (where < 176) name = writerPath(index, ".gds.gz");
    else if (where < 192) name = writerPath(index, ".GDS.GZ");
    else if (where < 208) name = "/dev/full";
    else if (where < 224) name = "/nonexistent-quillon-dir/x.gds";
    else if (where >= 248) name.assign(70000, 'n');
    const bool ours = where < 192, nullName = where >= 224 && where < 248;
    const char* fileName = nullName ? nullptr : name.c_str();
    w.fullDisk = where >= 192 && where < 208;

    double user = 0.001, meters = 1e-9;
    if (in.byte() >= 224) {
        user = in.real();
        meters = in.real();
    }

    // Options: none, or the defaults with any field changed, as a caller
    // of this or an older version (a smaller size) or a newer one passes
    // them.
    struct {
        QuillonOptions options;
        unsigned char newer[16];
    } given;
    std::memset(given.newer, 0x5A, sizeof given.newer);
    QuillonOptions& o = given.options;
    defaultOptions(o);
    const bool noOptions = in.byte() < 16;
    std::string libraryName;
    if (!noOptions) {
        const std::uint8_t compression = in.byte();
        if (compression >= 128) o.compression = compression % 13 - 2;  // -2 to 10
        const std::uint8_t strict = in.byte();
        o.strict = strict < 96 ? 0 : strict < 250 ? 1 : strict;
        const std::uint8_t callback = in.byte();
        if (callback & 1) {
            o.onError = recordError;
            o.userData = &w;
        }
        w.reenter = (callback & 2) != 0;
        if (in.byte() >= 160) o.libraryName = in.text(libraryName);
        const std::uint8_t stampKind = in.byte();
        static const int stamps[][6] = {
            {2026, 12, 7, 8, 32, 51},   {1900, 0, 0, 0, 0, 0},  {34667, 12, 31, 23, 59, 59},
            {1899, 12, 31, 23, 59, 59}, {34668, 1, 1, 0, 0, 0}, {2026, 13, 1, 0, 0, 0},
            {2026, 1, 32, 0, 0, 0},     {2026, 1, 1, 24, 0, 0}, {2026, 1, 1, 0, 60, 0},
            {2026, 1, 1, 0, 0, 60},     {2026, -1, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 1}};
        for (int i = 0; i < 6; ++i)
            o.timestamp[i] = stampKind < 128   ? 0
                             : stampKind < 224 ? stamps[stampKind % (sizeof stamps / sizeof stamps[0])][i]
                                               : in.integer();
        const std::uint8_t size = in.byte();
        static const unsigned sizes[] = {
            0, offsetof(QuillonOptions, libraryName), offsetof(QuillonOptions, timestamp),
            offsetof(QuillonOptions, onError), offsetof(QuillonOptions, userData),
            offsetof(QuillonOptions, strict), offsetof(QuillonOptions, compression),
            offsetof(QuillonOptions, compact), sizeof(QuillonOptions) + sizeof given.newer};
        if (size >= 224) o.size = sizes[size % (sizeof sizes / sizeof sizes[0])];
    }
    int status = 1;
    int* statusOut = in.byte() < 240 ? &status : nullptr;

    // What the writer takes: a field past options.size keeps its default.
    QuillonOptions taken;
    defaultOptions(taken);
    if (!noOptions) {
#define TAKE(field)                                                           \
    if (o.size >= offsetof(QuillonOptions, field) + sizeof o.field)           \
    std::memcpy(&taken.field, &o.field, sizeof o.field)
        TAKE(libraryName);
        TAKE(timestamp);
        TAKE(onError);
        TAKE(userData);
        TAKE(strict);
        TAKE(compression);
#undef TAKE
    }
    w.strict = taken.strict != 0;
    w.callback = taken.onError != nullptr;
    w.userData = taken.userData;
    const int* t = taken.timestamp;
    const bool clock = t[0] == 0 && t[1] == 0 && t[2] == 0 && t[3] == 0 && t[4] == 0 && t[5] == 0;
    const bool timeValid = clock || (t[0] >= 1900 && t[0] <= 34667 && t[1] >= 0 && t[1] <= 12 &&
                                     t[2] >= 0 && t[2] <= 31 && t[3] >= 0 && t[3] <= 23 &&
                                     t[4] >= 0 && t[4] <= 59 && t[5] >= 0 && t[5] <= 59);
    w.fixedTime = !clock;
    std::memcpy(w.time, t, sizeof w.time);
    const bool compressionValid = taken.compression >= -1 && taken.compression <= 9;
    w.gzip = taken.compression > 0 || (taken.compression == -1 && endsInGz(name));
    const char* library = taken.libraryName != nullptr ? taken.libraryName : fileName;
    const std::size_t libraryLength = library != nullptr ? std::strlen(library) : 0;
    const bool libraryFits =
        taken.libraryName == nullptr || libraryLength + (libraryLength & 1) <= 65530;
    if (library != nullptr) w.libraryName.assign(library, libraryLength);
    // Strict mode also refuses units that REAL8 cannot hold (below 16^-65,
    // from 16^63 on).
    const auto real8 = [](double v) { return v >= 0x1p-260 && v < 0x1p252; };
    const bool unitsValid = std::isfinite(user) && user > 0 && std::isfinite(meters) &&
                            meters > 0 && (taken.strict == 0 || (real8(user) && real8(meters)));
    const bool opens =
        (ours || w.fullDisk) && unitsValid && compressionValid && libraryFits && timeValid;

    if (tracing)
        std::fprintf(stderr,
                     "quillon_open (writer %zu) %s, units %g %g, %s, compression %d, strict %d, "
                     "callback %d%s, size %u, libraryName %s, time %d-%d-%d\n",
                     index, nullName ? "NULL" : name.size() > 100 ? "(long name)" : name.c_str(),
                     user, meters, noOptions ? "no options" : "options", taken.compression,
                     taken.strict, w.callback ? 1 : 0, w.reenter ? " reentering" : "", o.size,
                     taken.libraryName == nullptr ? "NULL"
                     : libraryLength > 20         ? "(long)"
                                                  : taken.libraryName,
                     t[0], t[1], t[2]);
    work += 1000;
    if (ours) std::remove(name.c_str());
    beginCall(w);
    QuillonWriter* handle = quillon_open(fileName, user, meters, noOptions ? nullptr : &o, statusOut);
    current = nullptr;
    expect((handle != nullptr) == opens, opens ? "quillon_open refused a writer it must give"
                                               : "quillon_open gave a writer it must refuse");
    if (statusOut != nullptr)
        expect(handle != nullptr ? status == QUILLON_OK
                                 : status < 0 && status >= QUILLON_ERROR_MEMORY,
               "quillon_open answered a wrong status");
    if (handle == nullptr) {
        // Every reason went to the callback too.
        if (w.callback) expect(w.callbacks > 0, "quillon_open failed without a callback");
        if (ours) std::remove(name.c_str());
        w = Writer{};
        return;
    }
    expect(w.callbacks == 0, "quillon_open succeeded with a callback");
    w.handle = handle;
    if (ours) w.path = name;
}

void closeRow(Input& in) {
    const std::uint8_t which = in.byte();
    if (which < 16) {
        expect(quillon_close(nullptr) == QUILLON_OK, "quillon_close(NULL) did not answer QUILLON_OK");
        return;
    }
    closeWriter(writers[which % writerCount]);
}

void lastErrorAndDefaults(Input&) {
    QuillonOptions options;
    defaultOptions(options);
    for (const Writer& w : writers)
        if (w.handle != nullptr)
            expect(quillon_last_error(w.handle) != nullptr, "quillon_last_error answered NULL");
}

const CallKind calls[] = {
    {"GDS_BeginLib", beginLib},
    {"GDS_EndLib", endLib},
    {"GDS_BeginStructure", beginStructure<false>},
    {"GDS_EndStructure", endStructure<false>},
    {"GDS_Boundary", boundary<false>},
    {"GDS_Path", path<false>},
    {"GDS_Node", node<false>},
    {"GDS_Box/BoxWH/Square", box<false>},
    {"GDS_Circle/Sector/Arc", curve<false>},
    {"GDS_Sref", sref<false>},
    {"GDS_Aref", aref<false>},
    {"GDS_Text", text<false>},
    {"SetErrorHandle", handler},
    {"GDS_SetTimestamp", timestamp},
    {"GDS_SetStrict", setStrict},
    {"GDS_Property", property<false>},
    {"GDS_Polygon", polygon<false>},
    {"GDS_SetPolygonLimit", polygonLimit<false>},
    {"quillon_open", openWriter},
    {"quillon_close", closeRow},
    {"quillon_last_error/default_options", lastErrorAndDefaults},
    {"quillon_begin_structure", beginStructure<true>},
    {"quillon_end_structure", endStructure<true>},
    {"quillon_boundary", boundary<true>},
    {"quillon_path", path<true>},
    {"quillon_node", node<true>},
    {"quillon_box/box_wh/square", box<true>},
    {"quillon_circle/sector/arc", curve<true>},
    {"quillon_sref", sref<true>},
    {"quillon_aref", aref<true>},
    {"quillon_text", text<true>},
    {"quillon_property", property<true>},
    {"quillon_polygon", polygon<true>},
    {"quillon_set_polygon_limit", polygonLimit<true>},
    {"quillon_polygon_rings", polygonRings},
    {"quillon_ellipse", ellipse},
    {"quillon_path_ex/arc_path", pathEx},
    {"quillon_text_polygons", textPolygons},
};
constexpr std::size_t callCount = sizeof(calls) / sizeof(calls[0]);
static_assert(callCount <= 240, "bytes of 240 and more repeat the previous call");

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

// Record types.
enum : std::uint8_t {
    HEADER = 0x00, BGNLIB = 0x01, LIBNAME = 0x02, UNITS = 0x03, ENDLIB = 0x04, BGNSTR = 0x05,
    STRNAME = 0x06, ENDSTR = 0x07, BOUNDARY = 0x08, PATH = 0x09, SREF = 0x0A, AREF = 0x0B,
    TEXT = 0x0C, LAYER = 0x0D, DATATYPE = 0x0E, WIDTH = 0x0F, XY = 0x10, ENDEL = 0x11,
    SNAME = 0x12, COLROW = 0x13, NODE = 0x15, TEXTTYPE = 0x16, PRESENTATION = 0x17,
    STRING = 0x19, STRANS = 0x1A, MAG = 0x1B, ANGLE = 0x1C, PATHTYPE = 0x21, ELFLAGS = 0x26,
    NODETYPE = 0x2A, PROPATTR = 0x2B, PROPVALUE = 0x2C, BOX = 0x2D, BOXTYPE = 0x2E, PLEX = 0x2F,
    BGNEXTN = 0x30, ENDEXTN = 0x31,
};

// Data types.
enum : std::uint8_t { NONE = 0, BITS = 1, INT2 = 2, INT4 = 3, REAL8 = 5, ASCII = 6 };

// Every record the library writes: its data type and the data length it
// always has (-1: any).
struct RecordKind {
    std::uint8_t type, dataType;
    int length;
};
const RecordKind recordKinds[] = {
    {HEADER, INT2, 2},    {BGNLIB, INT2, 24},    {LIBNAME, ASCII, -1},    {UNITS, REAL8, 16},
    {ENDLIB, NONE, 0},    {BGNSTR, INT2, 24},    {STRNAME, ASCII, -1},    {ENDSTR, NONE, 0},
    {BOUNDARY, NONE, 0},  {PATH, NONE, 0},       {SREF, NONE, 0},         {AREF, NONE, 0},
    {TEXT, NONE, 0},      {LAYER, INT2, 2},      {DATATYPE, INT2, 2},     {WIDTH, INT4, 4},
    {XY, INT4, -1},       {ENDEL, NONE, 0},      {SNAME, ASCII, -1},      {COLROW, INT2, 4},
    {NODE, NONE, 0},      {TEXTTYPE, INT2, 2},   {PRESENTATION, BITS, 2}, {STRING, ASCII, -1},
    {STRANS, BITS, 2},    {MAG, REAL8, 8},       {ANGLE, REAL8, 8},       {PATHTYPE, INT2, 2},
    {ELFLAGS, BITS, 2},   {NODETYPE, INT2, 2},   {PROPATTR, INT2, 2},     {PROPVALUE, ASCII, -1},
    {BOX, NONE, 0},       {BOXTYPE, INT2, 2},    {PLEX, INT4, 4},         {BGNEXTN, INT4, 4},
    {ENDEXTN, INT4, 4},
};

struct Shape {
    std::uint8_t element;
    std::vector<std::uint8_t> records;  // after ELFLAGS, PLEX; before properties, ENDEL
    int minPoints, maxPoints;           // in XY, in a strict file
};

// BOUNDARY's most points follow the polygon limit too (see Expect); a PATH
// has BGNEXTN and ENDEXTN after WIDTH when it is a piece of a split one.
const Shape shapes[] = {
    {BOUNDARY, {LAYER, DATATYPE, XY}, 4, 200},
    {PATH, {LAYER, DATATYPE, PATHTYPE, WIDTH, XY}, 2, 200},
    {SREF, {SNAME, STRANS, MAG, ANGLE, XY}, 1, 1},
    {AREF, {SNAME, STRANS, MAG, ANGLE, COLROW, XY}, 3, 3},
    {TEXT, {LAYER, TEXTTYPE, PRESENTATION, PATHTYPE, WIDTH, STRANS, MAG, ANGLE, XY, STRING}, 1, 1},
    {NODE, {LAYER, NODETYPE, XY}, 1, 50},
    {BOX, {LAYER, BOXTYPE, XY}, 5, 5},
};

// What a file must be.
struct Expect {
    bool strict = false;  // nothing that may spoil it was reported
    bool framed = false;  // HEADER BGNLIB LIBNAME UNITS first, ENDLIB last
    int mostLimit = 199;  // the highest polygon limit during the library
    const std::string* libraryName = nullptr;  // LIBNAME, when known
    const std::uint8_t* stamp = nullptr;       // BGNLIB's and BGNSTR's data, when fixed
};

const RecordKind* kindOf(std::uint8_t type) {
    static const RecordKind* const* table = [] {
        static const RecordKind* byType[256] = {};
        for (const RecordKind& k : recordKinds) byType[k.type] = &k;
        return byType;
    }();
    return table[type];
}

unsigned int2(const Rec& r) { return (unsigned{r.data[0]} << 8) | r.data[1]; }

// An ASCII record holds its text and at most one NUL, the padding at the end.
void checkAscii(const Rec& r) {
    const std::size_t text =
        r.dataLength > 0 && r.data[r.dataLength - 1] == 0 ? r.dataLength - 1 : r.dataLength;
    require(std::memchr(r.data, 0, text) == nullptr, "an ASCII record with a NUL inside", r.offset);
}

void checkFile(const std::vector<std::uint8_t>& file, const Expect& expect) {
    const bool strict = expect.strict;
    // The records tile the file exactly, each of a type, data type and
    // length the library writes.
    std::vector<Rec> recs;
    std::size_t at = 0;
    while (at < file.size()) {
        require(file.size() - at >= 4, "a partial record header at the end", at);
        const std::size_t length = (std::size_t{file[at]} << 8) | file[at + 1];
        require(length >= 4 && length % 2 == 0, "a record length below 4 or odd", at);
        require(at + length <= file.size(), "a record running past the end", at);
        const Rec r{at, file[at + 2], file[at + 3], length - 4, file.data() + at + 4};
        const RecordKind* kind = kindOf(r.type);
        require(kind != nullptr, "a record of a type the library never writes", at);
        require(r.dataType == kind->dataType, "a record of the wrong data type", at);
        require(kind->length < 0 || static_cast<std::size_t>(kind->length) == r.dataLength,
                "a record of the wrong length for its type", at);
        if (r.dataType == ASCII) checkAscii(r);
        if (expect.stamp != nullptr && (r.type == BGNLIB || r.type == BGNSTR))
            require(std::memcmp(r.data, expect.stamp, 24) == 0, "a time stamp not the one set", at);
        if (expect.libraryName != nullptr && r.type == LIBNAME) {
            const std::string& name = *expect.libraryName;
            require(r.dataLength == name.size() + (name.size() & 1) &&
                        std::memcmp(r.data, name.data(), name.size()) == 0,
                    "a LIBNAME other than the library's name", at);
        }
        recs.push_back(r);
        at += length;
    }
    // Every element is whole, in its records' order, its properties last;
    // in a strict file the points are within the kind's counts too.
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
        // Compact records leave out ELFLAGS and PLEX at 0, STRANS MAG and
        // ANGLE for the identity, and MAG 1 and ANGLE 0 beside a STRANS.
        if (j < recs.size() && recs[j].type == ELFLAGS) ++j;
        if (j < recs.size() && recs[j].type == PLEX) ++j;
        bool strans = false;
        for (const std::uint8_t expected : shape->records) {
            const bool optional = expected == STRANS || expected == MAG || expected == ANGLE;
            if (optional && (j >= recs.size() || recs[j].type != expected)) continue;
            if (expected == STRANS) strans = true;
            if (expected == MAG || expected == ANGLE)
                require(strans, "MAG or ANGLE without STRANS", recs[j].offset);
            if (expected == XY && r.type == PATH && j < recs.size() && recs[j].type == BGNEXTN) {
                require(j + 1 < recs.size() && recs[j + 1].type == ENDEXTN,
                        "BGNEXTN without ENDEXTN", recs[j].offset);
                if (strict)
                    require(int2(recs[j - 2]) == 4, "extensions on a path not of type 4",
                            recs[j].offset);
                j += 2;
            }
            require(j < recs.size() && recs[j].type == expected, "an element cut short or out of order",
                    r.offset);
            if (expected == XY) {
                require(recs[j].dataLength % 8 == 0, "XY not of whole points", recs[j].offset);
                const std::size_t points = recs[j].dataLength / 8;
                if (strict) {
                    // GDS_Boundary's 199 vertices, or a polygon piece's
                    // limit, each with the closing point.
                    const int most = r.type == BOUNDARY
                                         ? std::max(shape->maxPoints, expect.mostLimit + 1)
                                         : shape->maxPoints;
                    require(points >= static_cast<std::size_t>(shape->minPoints) &&
                                points <= static_cast<std::size_t>(most),
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
        // Any number of properties: PROPATTR, an attribute of 1 to 65535,
        // then its PROPVALUE.
        while (j < recs.size() && recs[j].type == PROPATTR) {
            require(int2(recs[j]) != 0, "a PROPATTR of attribute 0", recs[j].offset);
            require(j + 1 < recs.size() && recs[j + 1].type == PROPVALUE,
                    "a PROPATTR without its PROPVALUE", recs[j].offset);
            j += 2;
        }
        require(j < recs.size() && recs[j].type == ENDEL, "an element without its ENDEL", r.offset);
        i = j;
    }
    if (!expect.framed) return;
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

// The bytes of a file, inflated when it must be a gzip stream, which must
// then be whole: read to its trailer, its CRC and length right.
std::vector<std::uint8_t> readFile(const std::string& path, bool gzip) {
    if (!gzip) {
        std::vector<std::uint8_t> bytes;
        if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
            std::uint8_t buffer[1 << 16];
            std::size_t got;
            while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
                bytes.insert(bytes.end(), buffer, buffer + got);
            std::fclose(in);
        }
        return bytes;
    }
    gzFile in = gzopen(path.c_str(), "rb");
    require(in != nullptr, "a gzip file that cannot be opened", 0);
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[1 << 16];
    int got;
    while ((got = gzread(in, buffer, sizeof buffer)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    int error = Z_OK;
    gzerror(in, &error);
    require(got == 0 && error == Z_OK, "a gzip stream cut short or corrupt", bytes.size());
    require(gzdirect(in) == 0, "a file to be gzip that is not", 0);
    gzclose(in);
    return bytes;
}

// Per API (flat, handle): files checked strictly with no report, strictly
// after refused calls, relaxed after reports, and how many were gzip;
// printed at exit when QUILLON_FUZZ_STATS is set.
std::size_t checks[2][4] = {};

void count(const Expect& want, std::size_t reportCount, bool handle, bool gzip) {
    ++checks[handle][!want.strict ? 2 : reportCount == 0 ? 0 : 1];
    checks[handle][3] += gzip;
}

void printStats() {
    for (int handle = 0; handle < 2; ++handle) {
        const std::size_t* c = checks[handle];
        std::fprintf(stderr,
                     "api_fuzzer: %s: %zu files checked strictly (%zu of them after refused "
                     "calls), %zu after reports; %zu of them gzip\n",
                     handle ? "handle writers" : "flat functions", c[0] + c[1], c[1], c[2], c[3]);
    }
}

void checkWriterFile(const Writer& w) {
    Expect want;
    want.strict = !w.spoiled && !w.ioError;
    // Opened by quillon_open, ended by quillon_close, whatever came between.
    want.framed = !w.ioError;
    want.mostLimit = w.mostLimit;
    want.libraryName = &w.libraryName;
    std::uint8_t stamp[24];
    if (w.fixedTime) {
        for (int copy = 0; copy < 2; ++copy)
            for (int i = 0; i < 6; ++i) {
                const int v = i == 0 ? w.time[0] - 1900 : w.time[i];
                stamp[12 * copy + 2 * i] = static_cast<std::uint8_t>(v >> 8);
                stamp[12 * copy + 2 * i + 1] = static_cast<std::uint8_t>(v);
            }
        want.stamp = stamp;
    }
    if (tracing)
        std::fprintf(stderr, "  check %s: %s%s\n", w.path.c_str(),
                     want.strict ? "strict" : "relaxed", w.gzip ? ", gzip" : "");
    checkFile(readFile(w.path, w.gzip), want);
    count(want, w.reports, true, w.gzip);
    std::remove(w.path.c_str());
}

void removeOutputs() {
    std::remove((basePath + ".gds").c_str());
    std::remove((basePath + ".gds.gz").c_str());
    for (std::size_t i = 0; i < writerCount; ++i)
        for (const char* suffix : {".gds", ".gds.gz", ".GDS.GZ"})
            std::remove(writerPath(i, suffix).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::getenv("QUILLON_FUZZ_STATS") != nullptr) std::atexit(printStats);
    tracing = std::getenv("QUILLON_FUZZ_TRACE") != nullptr;
    const char* dir = std::getenv("TMPDIR");
    basePath = std::string(dir != nullptr ? dir : "/tmp") + "/quillon-api-fuzz-" +
               std::to_string(getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Back to Idle with no structure open, no property queued, the default
    // mode and polygon limit, whatever the last input left.
    SetErrorHandle(ignore);
    GDS_SetStrict(0);
    GDS_EndStructure();
    GDS_EndLib();
    GDS_SetStrict(1);
    GDS_Box(0, 0, 1, 1, 0, 0, 0, 0);  // takes the queued properties, writes nothing
    GDS_SetStrict(0);
    GDS_SetPolygonLimit(199);
    removeOutputs();
    reports.clear();
    libraries.clear();
    structureLeftOpen = false;
    flatStrict = false;
    flatLimit = 199;
    reentering = false;
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

    // Every writer is closed, and its file checked.
    for (Writer& w : writers) closeWriter(w);

    // Close whatever is open. What this reports belongs to the library
    // still running, unless none was ("Process is already stoped").
    reentering = false;
    SetErrorHandle(keepGoing);
    const std::size_t before = reports.size();
    const Library counted = libraries.empty() ? Library{} : libraries.back();
    GDS_EndLib();
    bool idle = reports.size() == before;
    for (std::size_t i = before; i < reports.size(); ++i) {
        if (reports[i] == "Error: Process is already stoped.") {
            if (!libraries.empty()) libraries.back() = counted;
            idle = true;
        }
    }
    if (!idle) {
        // Whatever the state machine made of that, bring it back to Idle.
        GDS_EndStructure();
        GDS_EndLib();
    }
    SetErrorHandle(nullptr);

    // Each file holds the last library written to it.
    std::set<std::string> checked;
    for (std::size_t i = libraries.size(); i-- > 0;) {
        const Library& library = libraries[i];
        if (library.path.empty() || !checked.insert(library.path).second) continue;
        Expect want;
        want.strict = want.framed = !library.spoiled;
        want.mostLimit = library.mostLimit;
        want.libraryName = &library.path;
        const bool gzip = endsInGz(library.path);
        if (tracing)
            std::fprintf(stderr, "check %s: %s\n", library.path.c_str(),
                         want.strict ? "strict" : "relaxed");
        checkFile(readFile(library.path, gzip), want);
        count(want, library.reports, false, gzip);
    }
    removeOutputs();
    return 0;
}
