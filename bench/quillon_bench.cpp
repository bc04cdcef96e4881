// quillon-bench: writes thirteen GDSII workloads through the exported functions
// of libquillon and compares each with a raw baseline measured in the same
// run: the same bytes, already in memory, written with plain write() calls
// of 1 MiB to a file in the same directory.
//
// Every run of a workload, and every baseline run, happens in a child process
// of its own, so that its peak resident memory (wait4's ru_maxrss) is its
// own and not the largest of everything before it. The files are deleted
// after each run.
//
// The gzip lines write one workload with the same calls to a plain file and
// to a file named .gz (level 1) with compression pools of 1 and 2 threads
// and the default pool (QUILLON_DEFLATE_THREADS in the child), and compare
// each with the plain file of the same run, beside two baselines on the
// same uncompressed bytes: their raw write, and zlib's deflate alone (gzip
// wrapper, level 1, one thread) fed them from memory in 2 MiB pieces and
// writing its output with write().
//
// The include line copies a file of --include-mib MiB (boundaries, written
// by workload 2's writer) into a new library with quillon_include and
// compares it with `cat part.gds >> out.gds` run by the shell in the same
// run, each in turn first.
//
//   quillon-bench [--runs N] [--warmups N] [--scale F] [--big-gib G] [--dir DIR]
//                 [--workloads 1,2,...] [--gzip-workload N] [--include-mib M]
//                 [--tsv] [--verbose]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "quillon.h"

namespace {

struct Options {
    int runs = 5;
    int warmups = 1;        // untimed runs first: a file system's first use of
                            // fresh page-cache memory is much slower
    double scale = 1.0;     // multiplies the element counts of workloads 1 to 6, 8 to 11
    double bigGiB = 4.0;    // size of workload 7's file
    std::string dir = ".";  // where the files are written
    std::vector<int> workloads = {1, 8, 2, 3, 4, 5, 6, 9, 10, 11, 13, 14, 7};
    int gzipWorkload = 1;   // the workload of the gzip line, 0 for none
    double includeMiB = 512;  // size of the include line's part file, 0 for none
    bool tsv = false;       // tab-separated output for scripts
    bool verbose = false;   // every run's figures on stderr
};

// What a workload's child reports through its pipe.
struct ChildReport {
    double seconds = 0;
    std::uint64_t calls = 0;  // element calls
    long idleKiB = 0;         // resident memory with the library open, before any element
    long afterKiB = 0;        // ...and after the workload and a later one-box library
};

struct Run {
    double seconds = 0;
    double rawSeconds = 0;
    std::uint64_t bytes = 0;
    std::uint64_t calls = 0;
    long rssKiB = 0;
    long rawRssKiB = 0;
    long keptKiB = 0;  // resident memory after the workload, above an idle writer's
    double userSeconds = 0;  // CPU time of the whole child, setup included
    double systemSeconds = 0;
};

double now() {
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

[[noreturn]] void fail(const char* what) {
    std::perror(what);
    std::exit(2);
}

// ---------------------------------------------------------------------------
// Host-side geometry, computed before the clock starts.

constexpr int shapes = 64;         // distinct polygons and paths, used in turn
constexpr int elementsPerCell = 100000;

struct PointSets {
    PointSets(int count, int points) : points(points), xs(count * points), ys(count * points) {}
    const int* x(int i) const { return &xs[static_cast<std::size_t>(i % shapesOf()) * points]; }
    const int* y(int i) const { return &ys[static_cast<std::size_t>(i % shapesOf()) * points]; }
    int shapesOf() const { return static_cast<int>(xs.size()) / points; }
    int points;
    std::vector<int> xs, ys;
};

// Star-shaped polygons of n vertices, each a little different.
PointSets polygons(int n) {
    PointSets set(shapes, n);
    for (int s = 0; s < shapes; ++s) {
        for (int k = 0; k < n; ++k) {
            const double a = 2 * M_PI * k / n;
            const double r = (k % 2 ? 40000.0 : 25000.0) + 97.0 * s;
            set.xs[s * n + k] = 100000 * s + static_cast<int>(r * std::cos(a));
            set.ys[s * n + k] = -50000 * s + static_cast<int>(r * std::sin(a));
        }
    }
    return set;
}

// Zig-zag polylines of n points.
PointSets polylines(int n) {
    PointSets set(shapes, n);
    for (int s = 0; s < shapes; ++s) {
        for (int k = 0; k < n; ++k) {
            set.xs[s * n + k] = 1000 * k + 13 * s;
            set.ys[s * n + k] = (k % 2 ? 800 : -800) + 7000 * s;
        }
    }
    return set;
}

std::uint64_t scaled(const Options& o, double count) {
    return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround(count * o.scale)));
}

// Opens the next cell every elementsPerCell elements.
// The same through a handle, when writer is given.
struct Cells {
    QuillonWriter* writer = nullptr;
    void next(std::uint64_t i) {
        if (i % elementsPerCell != 0) return;
        if (i > 0) close();
        char name[32];
        std::snprintf(name, sizeof name, "CELL%06llu",
                      static_cast<unsigned long long>(i / elementsPerCell));
        if (writer != nullptr) quillon_begin_structure(writer, name);
        else GDS_BeginStructure(name);
    }
    void close() {
        if (writer != nullptr) quillon_end_structure(writer);
        else GDS_EndStructure();
    }
};

// ---------------------------------------------------------------------------
// The workloads. Each writes one whole library to file and returns the
// seconds from GDS_BeginLib to the return of GDS_EndLib.

ChildReport boxes(const char* file, std::uint64_t n) {
    const double start = now();
    GDS_BeginLib(file, 0.001, 1e-9);
    Cells cells;
    for (std::uint64_t i = 0; i < n; ++i) {
        cells.next(i);
        const int x = static_cast<int>(i % 1000) * 2000;
        const int y = static_cast<int>(i / 1000 % 100000) * 2000;
        GDS_Box(x, y, x + 1500, y + 700 + static_cast<int>(i % 7), static_cast<int>(i % 64), 0,
                0, 0);
    }
    cells.close();
    GDS_EndLib();
    return {now() - start, n};
}

// The boxes of workload 1 through the handle API: one writer, default
// options (strict mode, LIBNAME the file name).
ChildReport handleBoxes(const char* file, std::uint64_t n) {
    const double start = now();
    QuillonWriter* writer = quillon_open(file, 0.001, 1e-9, nullptr, nullptr);
    Cells cells{writer};
    for (std::uint64_t i = 0; i < n; ++i) {
        cells.next(i);
        const int x = static_cast<int>(i % 1000) * 2000;
        const int y = static_cast<int>(i / 1000 % 100000) * 2000;
        quillon_box(writer, x, y, x + 1500, y + 700 + static_cast<int>(i % 7),
                    static_cast<int>(i % 64), 0, 0, 0);
    }
    cells.close();
    quillon_close(writer);
    return {now() - start, n};
}

// Rings of 10,000 vertices (an outer and an inner circle joined by a
// slit), each fractured into pieces of at most 199 vertices: time per
// vertex is ns_per_call / 10,000.
constexpr int polygonVertices = 10000;

ChildReport fracturedPolygons(const char* file, std::uint64_t n) {
    std::vector<int> xs(polygonVertices), ys(polygonVertices);
    const int half = polygonVertices / 2;
    for (int i = 0; i < half; ++i) {
        const double a = 0.01 + (6.283185307179586 - 0.02) * i / (half - 1);
        xs[static_cast<std::size_t>(i)] = static_cast<int>(std::lround(200000 * std::cos(a)));
        ys[static_cast<std::size_t>(i)] = static_cast<int>(std::lround(200000 * std::sin(a)));
        const std::size_t back = static_cast<std::size_t>(polygonVertices - 1 - i);
        xs[back] = static_cast<int>(std::lround(180000 * std::cos(a)));
        ys[back] = static_cast<int>(std::lround(180000 * std::sin(a)));
    }
    const double start = now();
    GDS_BeginLib(file, 0.001, 1e-9);
    Cells cells;
    for (std::uint64_t i = 0; i < n; ++i) {
        cells.next(i);
        GDS_Polygon(xs.data(), ys.data(), polygonVertices, static_cast<int>(i % 64), 0, 0, 0);
    }
    cells.close();
    GDS_EndLib();
    return {now() - start, n};
}

long residentKiB() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Sawtooths of 1,000,000 vertices (teeth 1,000 units tall on a straight
// back), each fractured at 199: time per vertex is ns_per_call / 10^6. The
// resident memory after the last one, once the file and a later one-box
// library are closed, shows what the writer keeps.
constexpr int sawtoothVertices = 1000000;

ChildReport sawtooths(const char* file, std::uint64_t n) {
    std::vector<int> xs{0, (sawtoothVertices / 2 - 1) * 40}, ys{0, 0};
    for (int i = sawtoothVertices / 2 - 1; i-- > 0;) {
        xs.insert(xs.end(), {i * 40 + 40, i * 40 + 20});
        ys.insert(ys.end(), {1010, 10});
    }
    const double start = now();
    GDS_BeginLib(file, 0.001, 1e-9);
    ChildReport report;
    report.idleKiB = residentKiB();
    Cells cells;
    for (std::uint64_t i = 0; i < n; ++i) {
        cells.next(i);
        GDS_Polygon(xs.data(), ys.data(), static_cast<int>(xs.size()), 1, 0, 0, 0);
    }
    cells.close();
    GDS_EndLib();
    report.seconds = now() - start;
    report.calls = n;
    std::vector<int>().swap(xs);
    std::vector<int>().swap(ys);
    const std::string again = std::string(file) + ".again";
    GDS_BeginLib(again.c_str(), 0.001, 1e-9);
    GDS_BeginStructure("BOX");
    GDS_Box(0, 0, 10, 10, 1, 0, 0, 0);
    GDS_EndStructure();
    GDS_EndLib();
    unlink(again.c_str());
    report.afterKiB = residentKiB();
    return report;
}

ChildReport boundaries(const char* file, std::uint64_t n) {
    const PointSets set = polygons(199);
    const double start = now();
    GDS_BeginLib(file, 0.001, 1e-9);
    Cells cells;
    for (std::uint64_t i = 0; i < n; ++i) {
        cells.next(i);
        const int s = static_cast<int>(i % shapes);
        GDS_Boundary(set.x(s), set.y(s), 199, static_cast<int>(i % 64), 0, 0, 0);
    }
    cells.close();
    GDS_EndLib();
    return {now() - start, n};
}

// The boundaries of workload 2 through the handle API (strict mode,
// compact records).
ChildReport handleBoundaries(const char* file, std::uint64_t n) {
    const PointSets set = polygons(199);
    const double start = now();
    QuillonWriter* writer = quillon_open(file, 0.001, 1e-9, nullptr, nullptr);
    Cells cells{writer};
    for (std::uint64_t i = 0; i < n; ++i) {
        cells.next(i);
        const int s = static_cast<int>(i % shapes);
        quillon_boundary(writer, set.x(s), set.y(s), 199, static_cast<int>(i % 64), 0, 0, 0);
    }
    cells.close();
    quillon_close(writer);
    return {now() - start, n};
}

ChildReport paths(const char* file, std::uint64_t n) {
    const PointSets set = polylines(20);
    const double start = now();
    GDS_BeginLib(file, 0.001, 1e-9);
    Cells cells;
    for (std::uint64_t i = 0; i < n; ++i) {
        cells.next(i);
        const int s = static_cast<int>(i % shapes);
        GDS_Path(set.x(s), set.y(s), 20, 100 + 2 * (s % 5), static_cast<int>(i % 64), 0,
                 static_cast<int>(i % 3), 0, 0);
    }
    cells.close();
    GDS_EndLib();
    return {now() - start, n};
}

ChildReport texts(const char* file, std::uint64_t n) {
    std::vector<std::string> labels;
    for (int s = 0; s < shapes; ++s) {
        char label[32];
        std::snprintf(label, sizeof label, "NET_%012d", 7919 * s);  // 16 characters
        labels.emplace_back(label);
    }
    const double mags[4] = {1.0, 2.5, 0.5, 10.0};
    const double angles[4] = {0.0, 90.0, 45.5, 270.0};
    const double start = now();
    GDS_BeginLib(file, 0.001, 1e-9);
    Cells cells;
    for (std::uint64_t i = 0; i < n; ++i) {
        cells.next(i);
        const int k = static_cast<int>(i % shapes);
        GDS_Text(static_cast<int>(i % 5000) * 300, static_cast<int>(i / 5000) * 300,
                 labels[k].c_str(), static_cast<int>(i % 64), k % 4, 5, 0, 0,
                 (k & 1) ? 0x8000 : 0, mags[k % 4], angles[(k / 4) % 4], 0, 0);
    }
    cells.close();
    GDS_EndLib();
    return {now() - start, n};
}

ChildReport references(const char* file, std::uint64_t n) {
    const double mags[4] = {1.0, 2.0, 0.25, 1.5};
    const double angles[4] = {0.0, 90.0, 180.0, 33.75};
    const double start = now();
    GDS_BeginLib(file, 0.001, 1e-9);
    GDS_BeginStructure("LEAF");
    GDS_Box(0, 0, 100, 100, 1, 0, 0, 0);
    GDS_EndStructure();
    Cells cells;
    for (std::uint64_t i = 0; i < n; ++i) {
        cells.next(i);
        const int x = static_cast<int>(i % 4000) * 500;
        const int y = static_cast<int>(i / 4000) * 500;
        const int k = static_cast<int>(i % 16);
        if (i % 2 == 0) {
            GDS_Sref("LEAF", x, y, (k & 2) ? 0x8000 : 0, mags[k % 4], angles[k / 4], 0, 0);
        } else {
            const int xs[3] = {x, x + 10 * 200, x};
            const int ys[3] = {y, y, y + 5 * 200};
            GDS_Aref("LEAF", xs, ys, 10, 5, (k & 2) ? 0x8000 : 0, mags[k % 4], angles[k / 4], 0,
                     0);
        }
    }
    cells.close();
    GDS_EndLib();
    return {now() - start, n};
}

// The time stamps are fixed, so that the file's bytes depend on the points
// alone; with QUILLON_BENCH_KEEP_CIRCLES=PATH the file is also kept (hard
// linked) under PATH, to compare the points of two builds.
ChildReport circles(const char* file, std::uint64_t n) {
    GDS_SetTimestamp(2000, 1, 1, 0, 0, 0);
    const double start = now();
    GDS_BeginLib(file, 0.001, 1e-9);
    Cells cells;
    for (std::uint64_t i = 0; i < n; ++i) {
        cells.next(i);
        GDS_Circle(static_cast<int>(i % 1000) * 3000, static_cast<int>(i / 1000) * 3000,
                   1000 + static_cast<int>(i % 17), 64, static_cast<int>(i % 64), 0, 0, 0);
    }
    cells.close();
    GDS_EndLib();
    const double seconds = now() - start;
    if (const char* keep = std::getenv("QUILLON_BENCH_KEEP_CIRCLES")) {
        unlink(keep);
        if (link(file, keep) != 0) fail("link");
    }
    return {seconds, n};
}

// Plates of side x side square holes (40 units wide, at a pitch of 100)
// through quillon_polygon_rings, fractured at 199. Finding each ring's
// parent is a sweep over the rings (n log n, where testing every pair of
// rings made it quadratic), so a plate of 4 times the holes should take
// under 6 times as long (workloads 12 and 13; the holes line).
ChildReport plate(const char* file, std::uint64_t n, int side) {
    const int width = side * 100;
    std::vector<int> xs{0, width, width, 0}, ys{0, 0, width, width}, counts{4};
    for (int i = 0; i < side; ++i) {
        for (int j = 0; j < side; ++j) {
            xs.insert(xs.end(), {i * 100 + 30, i * 100 + 70, i * 100 + 70, i * 100 + 30});
            ys.insert(ys.end(), {j * 100 + 30, j * 100 + 30, j * 100 + 70, j * 100 + 70});
            counts.push_back(4);
        }
    }
    const double start = now();
    QuillonWriter* writer = quillon_open(file, 0.001, 1e-9, nullptr, nullptr);
    Cells cells{writer};
    for (std::uint64_t i = 0; i < n; ++i) {
        cells.next(i);
        if (quillon_polygon_rings(writer, xs.data(), ys.data(), counts.data(),
                                  static_cast<int>(counts.size()), 1, 0, 0, 0) != QUILLON_OK)
            fail("quillon_polygon_rings");
    }
    cells.close();
    quillon_close(writer);
    return {now() - start, n};
}
ChildReport plate10k(const char* file, std::uint64_t n) { return plate(file, n, 100); }
ChildReport plate40k(const char* file, std::uint64_t n) { return plate(file, n, 200); }

// Full ellipses by tolerance through the handle API: radii 5000 to 5016 by
// 3000 to 3016, chords within 1 unit of the curve, 158 points each (no
// fracturing); ns per point is ns_per_call / 158.

ChildReport ellipses(const char* file, std::uint64_t n) {
    QuillonOptions options;
    quillon_default_options(&options);
    const int stamp[6] = {2000, 1, 1, 0, 0, 0};
    std::memcpy(options.timestamp, stamp, sizeof stamp);
    const double start = now();
    QuillonWriter* writer = quillon_open(file, 0.001, 1e-9, &options, nullptr);
    Cells cells{writer};
    for (std::uint64_t i = 0; i < n; ++i) {
        cells.next(i);
        const int r = static_cast<int>(i % 17);
        if (quillon_ellipse(writer, static_cast<int>(i % 1000) * 12000,
                            static_cast<int>(i / 1000) * 12000, 5000 + r, 3000 + r, 0, 0, 0.0,
                            360.0, 1.0, static_cast<int>(i % 64), 0, 0, 0) != QUILLON_OK)
            fail("quillon_ellipse");
    }
    cells.close();
    quillon_close(writer);
    return {now() - start, n};
}

// Bytes of one 199-vertex boundary: BOUNDARY, ELFLAGS, PLEX, LAYER,
// DATATYPE, XY of 200 points, ENDEL.
constexpr std::uint64_t boundaryBytes = 4 + 6 + 8 + 6 + 6 + (4 + 8 * 200) + 4;

// The most peak resident memory of a workload, unless it says otherwise.
constexpr long rssLimitKiB = 16 * 1024;

struct Workload {
    int number;
    const char* name;
    double count;  // element calls at scale 1 (workload 7: from --big-gib)
    ChildReport (*write)(const char*, std::uint64_t);
    double target;  // least ratio to the raw baseline, 0 for none
    long peakLimitKiB = rssLimitKiB;  // the most peak resident memory
};

const Workload workloads[] = {
    {1, "boxes", 5e6, boxes, 0.6},
    {2, "boundaries 199 vertices", 5e5, boundaries, 0.7},
    {3, "paths 20 points", 1e6, paths, 0.7},
    {4, "texts 16 chars + transforms", 2e6, texts, 0.7},
    {5, "SREFs and AREFs", 2e6, references, 0.7},
    {6, "circles 64 points", 2e5, circles, 0},
    {7, "boundaries, --big-gib file", 0, boundaries, 0},
    {8, "boxes, handle API", 5e6, handleBoxes, 0.6},
    {9, "polygons 10k vertices, cut", 500, fracturedPolygons, 0},
    // One polygon is held while it is cut: about 120 bytes per vertex.
    {10, "sawtooth 1M vertices, cut", 3, sawtooths, 0, 256 * 1024},
    {11, "ellipses by tolerance, 158 points", 2e5, ellipses, 0},
    {12, "boundaries, handle API", 5e5, handleBoundaries, 0},
    {13, "plate of 10k holes, cut", 4, plate10k, 0, 64 * 1024},
    {14, "plate of 40k holes, cut", 4, plate40k, 0, 256 * 1024},
};

// What the writer may keep after a polygon of any size, above an idle one.
constexpr long keptLimitKiB = 4 * 1024;

// ---------------------------------------------------------------------------
// Child processes.

// Runs body in a child; returns what it wrote into the pipe and its peak
// resident memory.
struct ChildUsage {
    long rssKiB = 0;
    double userSeconds = 0;
    double systemSeconds = 0;
};

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

template <typename Body>
ChildReport inChild(Body body, ChildUsage* childUsage) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) fail("pipe");
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) fail("fork");
    if (pid == 0) {
        close(pipeEnds[0]);
        const ChildReport report = body();
        if (write(pipeEnds[1], &report, sizeof report) != sizeof report) _exit(3);
        _exit(0);
    }
    close(pipeEnds[1]);
    ChildReport report;
    const ssize_t got = read(pipeEnds[0], &report, sizeof report);
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) fail("wait4");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || got != sizeof report) {
        std::fprintf(stderr, "quillon-bench: a child process failed (status %d)\n", status);
        std::exit(2);
    }
    childUsage->rssKiB = usage.ru_maxrss;
    childUsage->userSeconds = seconds(usage.ru_utime);
    childUsage->systemSeconds = seconds(usage.ru_stime);
    return report;
}

std::uint64_t fileSize(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) fail(path.c_str());
    return static_cast<std::uint64_t>(st.st_size);
}

// At most this many bytes of a workload's output are kept for the raw
// baseline, which writes a larger file by cycling through them: holding a
// whole 4 GiB file would make the baseline fault in gigabytes of fresh
// memory that Quillon never needs, and measure that instead of the writes.
constexpr std::uint64_t window = std::uint64_t{1} << 26;  // 64 MiB

// Copies the first window bytes of source to target (untimed).
void saveWindow(const std::string& source, const std::string& target) {
    std::vector<char> bytes(static_cast<std::size_t>(window));
    const int in = open(source.c_str(), O_RDONLY);
    if (in < 0) fail(source.c_str());
    std::size_t held = 0;
    for (ssize_t n; held < bytes.size() && (n = read(in, bytes.data() + held, bytes.size() - held)) > 0;)
        held += static_cast<std::size_t>(n);
    close(in);
    const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || write(out, bytes.data(), held) != static_cast<ssize_t>(held) || close(out) != 0)
        fail(target.c_str());
}

// The raw baseline: loads the saved bytes into memory, then times creating
// target, writing total bytes to it in 1 MiB write() calls (cycling through
// the saved bytes), and closing it.
ChildReport rawWrite(const std::string& saved, const std::string& target, std::uint64_t total) {
    constexpr std::size_t chunk = 1 << 20;
    const std::size_t held = static_cast<std::size_t>(std::min(total, window));
    std::vector<char> bytes(held);
    const int in = open(saved.c_str(), O_RDONLY);
    if (in < 0) fail(saved.c_str());
    for (std::size_t got = 0; got < held;) {
        const ssize_t n = read(in, bytes.data() + got, held - got);
        if (n <= 0) fail("read");
        got += static_cast<std::size_t>(n);
    }
    close(in);

    const double start = now();
    const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) fail(target.c_str());
    std::size_t at = 0;
    for (std::uint64_t left = total; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>({left, chunk, held - at}));
        const ssize_t written = write(out, bytes.data() + at, n);
        if (written <= 0) fail("write");
        left -= static_cast<std::uint64_t>(written);
        at = (at + static_cast<std::size_t>(written)) % held;
    }
    if (close(out) != 0) fail("close");
    return {now() - start, 0};
}

// The compressor's own speed: loads the saved bytes into memory, then times
// creating target and deflating total bytes (cycling through the saved
// bytes, as rawWrite does) in 2 MiB pieces into a gzip stream at level 1,
// each 256 KiB of output written with write(), and closing it. Reports the
// compressed size as calls.
ChildReport deflateWrite(const std::string& saved, const std::string& target,
                         std::uint64_t total) {
    constexpr std::size_t piece = 2048 * 1024;
    constexpr std::size_t outSize = 256 * 1024;
    const std::size_t held = static_cast<std::size_t>(std::min(total, window));
    std::vector<unsigned char> bytes(held);
    const int in = open(saved.c_str(), O_RDONLY);
    if (in < 0) fail(saved.c_str());
    for (std::size_t got = 0; got < held;) {
        const ssize_t n = read(in, bytes.data() + got, held - got);
        if (n <= 0) fail("read");
        got += static_cast<std::size_t>(n);
    }
    close(in);
    std::vector<unsigned char> out(outSize);
    std::uint64_t compressed = 0;

    const double start = now();
    const int file = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0) fail(target.c_str());
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) fail("deflateInit2");
    const auto drain = [&] {
        const std::size_t n = outSize - z.avail_out;
        if (n > 0 && write(file, out.data(), n) != static_cast<ssize_t>(n)) fail("write");
        compressed += n;
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(outSize);
    };
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(outSize);
    std::size_t at = 0;
    for (std::uint64_t left = total;;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>({left, piece, held - at}));
        left -= n;
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = bytes.data() + at;
        z.avail_in = static_cast<uInt>(n);
        at = (at + n) % held;
        int result;
        do {
            result = deflate(&z, flush);
            if (result == Z_STREAM_ERROR) fail("deflate");
            if (z.avail_out == 0) drain();
        } while (z.avail_in > 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        if (flush == Z_FINISH) break;
    }
    drain();
    deflateEnd(&z);
    if (close(file) != 0) fail("close");
    return {now() - start, compressed};
}

// The include: a new library holding every structure of part.
ChildReport includeFile(const std::string& part, const std::string& target) {
    const double start = now();
    int status = 0;
    QuillonWriter* w = quillon_open(target.c_str(), 0.001, 1e-9, nullptr, &status);
    if (w == nullptr || quillon_include(w, part.c_str(), nullptr) != 0 || quillon_close(w) != 0) {
        std::fprintf(stderr, "quillon-bench: the include failed\n");
        _exit(3);
    }
    return {now() - start, 0};
}

// The baseline of the include: the shell appending part to target with cat.
ChildReport catFile(const std::string& part, const std::string& target) {
    const std::string command = "cat '" + part + "' >> '" + target + "'";
    const double start = now();
    if (std::system(command.c_str()) != 0) _exit(3);
    return {now() - start, 0};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--runs" && hasValue) {
            o.runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--warmups" && hasValue) {
            o.warmups = std::max(0, std::atoi(argv[++i]));
        } else if (arg == "--scale" && hasValue) {
            o.scale = std::atof(argv[++i]);
        } else if (arg == "--big-gib" && hasValue) {
            o.bigGiB = std::atof(argv[++i]);
        } else if (arg == "--dir" && hasValue) {
            o.dir = argv[++i];
        } else if (arg == "--workloads" && hasValue) {
            o.workloads.clear();
            for (const char* p = argv[++i]; *p;) {
                char* end = nullptr;
                const long w = std::strtol(p, &end, 10);
                if (end == p || w < 1 || w > static_cast<long>(sizeof workloads / sizeof workloads[0])) {
                    std::fprintf(stderr, "quillon-bench: bad workload list\n");
                    std::exit(2);
                }
                o.workloads.push_back(static_cast<int>(w));
                p = *end == ',' ? end + 1 : end;
            }
        } else if (arg == "--include-mib" && hasValue) {
            o.includeMiB = std::atof(argv[++i]);
        } else if (arg == "--gzip-workload" && hasValue) {
            o.gzipWorkload = std::atoi(argv[++i]);
            if (o.gzipWorkload < 0 || o.gzipWorkload == 7 || (o.gzipWorkload > 8 && o.gzipWorkload != 12)) {
                std::fprintf(stderr, "quillon-bench: the gzip workload is 1 to 6, 8 or 12, or 0\n");
                std::exit(2);
            }
        } else if (arg == "--tsv") {
            o.tsv = true;
        } else if (arg == "--verbose") {
            o.verbose = true;
        } else {
            std::fprintf(stderr,
                         "usage: quillon-bench [--runs N] [--warmups N] [--scale F] [--big-gib G] [--dir DIR]"
                         " [--workloads 1,2,...] [--gzip-workload N] [--tsv] [--verbose]\n"
                         "  defaults: 5 runs after 1 warm-up, scale 1 (workloads 1-6 at full size), 4 GiB for"
                         " workload 7 (0 skips it), the current directory, gzip line on workload 1"
                         " (0 skips it)\n");
            std::exit(2);
        }
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    const std::string quillonFile = o.dir + "/quillon-bench.gds";
    const std::string rawFile = o.dir + "/quillon-bench-raw.bin";
    const std::string windowFile = o.dir + "/quillon-bench-window.bin";

    if (o.tsv) {
        std::printf("workload\tname\tbytes\telements\tseconds\tMB/s\tns_per_call\tpeak_rss_kib"
                    "\traw_MB/s\tratio\ttarget\tuser_s\tsys_s\n");
    } else {
        double load[3] = {0, 0, 0};
        getloadavg(load, 3);
        std::printf("quillon-bench: %d run(s) per workload after %d warm-up(s), scale %g, medians"
                    " shown; MB = 10^6 bytes; load average %.2f %.2f %.2f\n\n",
                    o.runs, o.warmups, o.scale, load[0], load[1], load[2]);
        std::printf("%-2s %-28s %12s %9s %7s %7s %7s %9s %8s %6s %6s %6s %s\n", "#", "workload",
                    "bytes", "elements", "seconds", "MB/s", "ns/call", "peak RSS", "raw MB/s",
                    "ratio", "user s", "sys s", "target");
    }

    bool allMet = true;
    std::vector<double> secondsPerCall(sizeof workloads / sizeof workloads[0] + 1, 0);
    for (const int number : o.workloads) {
        const Workload& w = workloads[number - 1];
        std::uint64_t calls = scaled(o, w.count);
        if (number == 7) {
            if (o.bigGiB <= 0) continue;
            const double bytes = o.bigGiB * 1024.0 * 1024.0 * 1024.0;
            calls = static_cast<std::uint64_t>(std::ceil(bytes / boundaryBytes));
        }
        // Each repetition runs Quillon and the baseline one after the other,
        // in turn Quillon first and the baseline first, so that neither
        // always inherits the state the other left in the page cache.
        std::uint64_t expectedBytes = 0;
        const auto quillonRun = [&](Run& run) {
            ChildUsage usage;
            const ChildReport q =
                inChild([&] { return w.write(quillonFile.c_str(), calls); }, &usage);
            run.rssKiB = usage.rssKiB;
            run.userSeconds = usage.userSeconds;
            run.systemSeconds = usage.systemSeconds;
            run.seconds = q.seconds;
            run.calls = q.calls;
            run.keptKiB = q.afterKiB - q.idleKiB;
            run.bytes = fileSize(quillonFile);
            if (expectedBytes == 0) {
                expectedBytes = run.bytes;
                saveWindow(quillonFile, windowFile);
            } else if (run.bytes != expectedBytes) {
                std::fprintf(stderr, "quillon-bench: workload %d wrote %llu bytes, then %llu\n",
                             number, static_cast<unsigned long long>(expectedBytes),
                             static_cast<unsigned long long>(run.bytes));
                std::exit(2);
            }
            unlink(quillonFile.c_str());
        };
        const auto rawRun = [&](Run& run) {
            ChildUsage usage;
            const ChildReport raw =
                inChild([&] { return rawWrite(windowFile, rawFile, expectedBytes); }, &usage);
            run.rawRssKiB = usage.rssKiB;
            run.rawSeconds = raw.seconds;
            unlink(rawFile.c_str());
        };
        std::vector<Run> runs;
        for (int r = -o.warmups; r < o.runs; ++r) {
            Run run;
            if (r < 0 || r % 2 == 0) {
                quillonRun(run);
                rawRun(run);
            } else {
                rawRun(run);
                quillonRun(run);
            }
            if (o.verbose)
                std::fprintf(stderr, "workload %d %s %d: %.4f s (user %.3f, sys %.3f), raw %.4f s\n",
                             number, r < 0 ? "warm-up" : "run", r < 0 ? r + o.warmups + 1 : r + 1,
                             run.seconds, run.userSeconds, run.systemSeconds, run.rawSeconds);
            if (r >= 0) runs.push_back(run);
        }
        unlink(windowFile.c_str());

        std::vector<double> seconds, rawSeconds, ratios, user, system;
        long rss = 0, kept = 0;
        for (const Run& run : runs) {
            seconds.push_back(run.seconds);
            rawSeconds.push_back(run.rawSeconds);
            ratios.push_back(run.rawSeconds / run.seconds);  // same bytes: MB/s over MB/s
            user.push_back(run.userSeconds);
            system.push_back(run.systemSeconds);
            rss = std::max(rss, run.rssKiB);
            kept = std::max(kept, run.keptKiB);
        }
        const std::uint64_t bytes = runs.front().bytes;
        const double s = median(seconds);
        const double rawS = median(rawSeconds);
        const double ratio = median(ratios);
        const double mbps = static_cast<double>(bytes) / s / 1e6;
        const double rawMbps = static_cast<double>(bytes) / rawS / 1e6;
        const double nsPerCall = s * 1e9 / static_cast<double>(calls);
        secondsPerCall[static_cast<std::size_t>(number)] = s / static_cast<double>(calls);
        const bool speedMet = w.target == 0 || ratio >= w.target;
        const bool memoryMet = rss < w.peakLimitKiB && kept < keptLimitKiB;
        allMet = allMet && speedMet && memoryMet;
        char target[64];
        if (w.target > 0)
            std::snprintf(target, sizeof target, ">=%.1f %s, RSS %s", w.target,
                          speedMet ? "met" : "MISSED", memoryMet ? "met" : "MISSED");
        else if (w.write == sawtooths)
            std::snprintf(target, sizeof target, "RSS %s, %.1f MiB kept after",
                          memoryMet ? "met" : "MISSED", static_cast<double>(kept) / 1024.0);
        else
            std::snprintf(target, sizeof target, "RSS %s", memoryMet ? "met" : "MISSED");

        if (o.tsv) {
            std::printf("%d\t%s\t%llu\t%llu\t%.4f\t%.1f\t%.1f\t%ld\t%.1f\t%.3f\t%.1f\t%.4f\t%.4f\n",
                        number, w.name, static_cast<unsigned long long>(bytes),
                        static_cast<unsigned long long>(calls), s, mbps, nsPerCall, rss, rawMbps,
                        ratio, w.target, median(user), median(system));
        } else {
            std::printf("%-2d %-28s %12llu %9llu %7.3f %7.1f %7.1f %5.1f MiB %8.1f %6.3f %6.3f %6.3f"
                        " %s\n",
                        number, w.name, static_cast<unsigned long long>(bytes),
                        static_cast<unsigned long long>(calls), s, mbps, nsPerCall,
                        static_cast<double>(rss) / 1024.0, rawMbps, ratio, median(user),
                        median(system), target);
        }
        std::fflush(stdout);
    }
    if (secondsPerCall[13] > 0 && secondsPerCall[14] > 0) {
        const double growth = secondsPerCall[14] / secondsPerCall[13];
        allMet = allMet && growth < 6;
        std::printf("%sholes line: a plate of 40,000 holes takes %.2fx the time of one of 10,000"
                    " (<6, n log n: %s)\n",
                    o.tsv ? "# " : "\n", growth, growth < 6 ? "met" : "MISSED");
    }
    if (o.gzipWorkload > 0) {
        // The gzip lines: the same calls writing the plain file and a .gz
        // file with pools of 1 and 2 threads and the default pool, zlib's
        // deflate alone on the same bytes, and the raw write of them, in
        // turn in each repetition.
        const Workload& w = workloads[o.gzipWorkload - 1];
        const std::uint64_t calls = scaled(o, w.count);
        const std::string gzFile = o.dir + "/quillon-bench.gds.gz";
        const std::string deflateFile = o.dir + "/quillon-bench-deflate.gz";
        ChildUsage usage;
        inChild([&] { return w.write(quillonFile.c_str(), calls); }, &usage);
        const std::uint64_t bytes = fileSize(quillonFile);
        saveWindow(quillonFile, windowFile);
        unlink(quillonFile.c_str());

        struct Line {
            Line(const char* name, const char* threads, int kind)
                : name(name), threads(threads), kind(kind) {}
            const char* name;
            const char* threads;  // QUILLON_DEFLATE_THREADS, "" for the default
            int kind;             // 0 plain file, 1 .gz file, 2 deflate alone, 3 raw write
            std::vector<double> seconds, user;
            std::uint64_t outBytes = 0;
            long rss = 0;
        };
        Line lines[] = {{"plain file", "", 0},          {".gz, pool of 1", "1", 1},
                        {".gz, pool of 2", "2", 1},     {".gz, default pool", "", 1},
                        {"zlib deflate alone", "", 2}, {"raw write", "", 3}};
        constexpr int lineCount = sizeof lines / sizeof lines[0];
        const auto runLine = [&](Line& line, bool timed) {
            ChildUsage u;
            const std::string& file = line.kind == 0   ? quillonFile
                                      : line.kind == 1 ? gzFile
                                      : line.kind == 2 ? deflateFile
                                                       : rawFile;
            const ChildReport report = inChild(
                [&] {
                    if (*line.threads) setenv("QUILLON_DEFLATE_THREADS", line.threads, 1);
                    else unsetenv("QUILLON_DEFLATE_THREADS");
                    if (line.kind == 2) return deflateWrite(windowFile, file, bytes);
                    if (line.kind == 3) return rawWrite(windowFile, file, bytes);
                    return w.write(file.c_str(), calls);
                },
                &u);
            line.outBytes = fileSize(file);
            unlink(file.c_str());
            if (!timed) return;
            line.seconds.push_back(report.seconds);
            line.user.push_back(u.userSeconds);
            line.rss = std::max(line.rss, u.rssKiB);
        };
        for (int r = -o.warmups; r < o.runs; ++r) {
            // Each line goes first in turn.
            const int first = ((r % lineCount) + lineCount) % lineCount;
            for (int k = 0; k < lineCount; ++k) runLine(lines[(first + k) % lineCount], r >= 0);
        }
        unlink(windowFile.c_str());
        const double plainSeconds = median(lines[0].seconds);
        if (o.tsv)
            std::printf("gzip\tname\tline\tbytes\tout_bytes\tcompression\tMB/s\tto_plain"
                        "\tpeak_rss_kib\tuser_s\n");
        else
            std::printf("\ngzip lines: workload %d (%s), the same calls to a plain and a .gz name"
                        " (level 1); MB/s of GDSII in; to plain = plain seconds / line seconds\n"
                        "   %-20s %12s %11s %11s %8s %8s %9s %6s\n",
                        o.gzipWorkload, w.name, "line", "bytes in", "bytes out", "compression",
                        "MB/s", "to plain", "peak RSS", "user s");
        for (const Line& line : lines) {
            const double s = median(line.seconds);
            const double compression =
                static_cast<double>(bytes) / static_cast<double>(line.outBytes);
            const double mbps = static_cast<double>(bytes) / 1e6 / s;
            if (o.tsv)
                std::printf("%d\t%s\t%s\t%llu\t%llu\t%.3f\t%.1f\t%.3f\t%ld\t%.4f\n",
                            o.gzipWorkload, w.name, line.name,
                            static_cast<unsigned long long>(bytes),
                            static_cast<unsigned long long>(line.outBytes), compression, mbps,
                            plainSeconds / s, line.rss, median(line.user));
            else
                std::printf("   %-20s %12llu %11llu %10.2fx %8.1f %8.3f %5.1f MiB %6.3f\n",
                            line.name, static_cast<unsigned long long>(bytes),
                            static_cast<unsigned long long>(line.outBytes), compression, mbps,
                            plainSeconds / s, static_cast<double>(line.rss) / 1024.0,
                            median(line.user));
        }
        std::fflush(stdout);
    }

    if (o.includeMiB > 0) {
        // The include line: the part file is written once (untimed), then
        // the include and cat take turns going first.
        const std::string part = o.dir + "/quillon-bench-part.gds";
        const std::string target = o.dir + "/quillon-bench-include.gds";
        const std::uint64_t boundariesCount = static_cast<std::uint64_t>(
            std::ceil(o.includeMiB * 1024.0 * 1024.0 / boundaryBytes));
        ChildUsage usage;
        inChild([&] { return boundaries(part.c_str(), boundariesCount); }, &usage);
        const std::uint64_t bytes = fileSize(part);
        std::vector<double> includeS, catS, ratios;
        long rss = 0;
        for (int r = -o.warmups; r < o.runs; ++r) {
            double q = 0, c = 0;
            const auto includeRun = [&] {
                ChildUsage u;
                q = inChild([&] { return includeFile(part, target); }, &u).seconds;
                unlink(target.c_str());
                if (r >= 0) rss = std::max(rss, u.rssKiB);
            };
            const auto catRun = [&] {
                ChildUsage u;
                c = inChild([&] { return catFile(part, target); }, &u).seconds;
                unlink(target.c_str());
            };
            if (r % 2 == 0) { includeRun(); catRun(); } else { catRun(); includeRun(); }
            if (o.verbose)
                std::fprintf(stderr, "include %s %d: include %.4f s, cat %.4f s\n",
                             r < 0 ? "warm-up" : "run", r < 0 ? r + o.warmups + 1 : r + 1, q, c);
            if (r < 0) continue;
            includeS.push_back(q);
            catS.push_back(c);
            ratios.push_back(c / q);
        }
        unlink(part.c_str());
        const double mb = static_cast<double>(bytes) / 1e6;
        const double ratio = median(ratios);
        const bool met = ratio >= 0.8 && rss < rssLimitKiB;
        allMet = allMet && met;
        if (o.tsv) {
            std::printf("include\tbytes\tMB/s\tcat_MB/s\tratio\tpeak_rss_kib\n");
            std::printf("include\t%llu\t%.1f\t%.1f\t%.3f\t%ld\n",
                        static_cast<unsigned long long>(bytes), mb / median(includeS),
                        mb / median(catS), ratio, rss);
        } else {
            std::printf("\ninclude line: quillon_include of a %llu-byte file into a new library,"
                        " against `cat part >> out`\n",
                        static_cast<unsigned long long>(bytes));
            std::printf("   %8s %8s %6s %9s %s\n", "MB/s", "cat MB/s", "ratio", "peak RSS",
                        "target");
            std::printf("   %8.1f %8.1f %6.3f %5.1f MiB >=0.8 %s, RSS %s\n",
                        mb / median(includeS), mb / median(catS), ratio,
                        static_cast<double>(rss) / 1024.0, ratio >= 0.8 ? "met" : "MISSED",
                        rss < rssLimitKiB ? "met" : "MISSED");
        }
        std::fflush(stdout);
    }

    double load[3] = {0, 0, 0};
    if (!o.tsv && getloadavg(load, 3) == 3)
        std::printf("\nload average at the end: %.2f %.2f %.2f", load[0], load[1], load[2]);
    if (!o.tsv)
        std::printf("\nratio: median over the runs of raw seconds / Quillon seconds for the same"
                    " bytes.\nuser s, sys s: CPU time of the Quillon child (setup included).\n"
                    "all targets %s\n",
                    allMet ? "met" : "NOT met");
    return 0;
}
