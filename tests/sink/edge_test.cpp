// Every element kind meeting the end of the sink's buffer: each is written
// through the exported functions starting at every even offset of the last
// few hundred bytes before the buffer's end (records are all of even
// length, so no other offset occurs), and the file must equal the
// byte-by-byte encoding of the same calls. In the checked builds the sink
// also aborts when a writer stores past its reservation.
#include <cmath>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/byte_sink.h"
#include "core/exports.h"
#include "core/gdsii_writer.h"
#include "quillon.h"
#include "reference_stream.h"
#include "elements/polygon_fracture.h"

namespace {

using quillon::ByteSink;
using reference::Bytes;
using reference::Stream;

std::vector<std::string> received;

int QUILLON_CALL keepMessage(const char* message) {
    received.emplace_back(message);
    return 0;
}

std::filesystem::path edgePath(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("quillon-edge-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir / name;
}

// The whole file in one read (a byte-wise iterator is slow in the
// sanitizer build).
Bytes readBack(const std::filesystem::path& path) {
    Bytes bytes(std::filesystem::file_size(path));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::string difference(const Bytes& actual, const Bytes& expected) {
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
    return "first difference at byte " + std::to_string(i) + " of " +
           std::to_string(actual.size()) + " written, " + std::to_string(expected.size()) +
           " expected";
}

std::size_t roomLeft() { return ByteSink::capacity - quillon::theWriter->out.buffered(); }

// Points i * 7 - 3, -i * 11 (distinct, some negative).
reference::Points somePoints(int n) {
    reference::Points p;
    for (int i = 0; i < n; ++i) {
        p.xs.push_back(i * 7 - 3);
        p.ys.push_back(-i * 11 + 0x12345);
    }
    return p;
}

// One call of an exported function together with its expected encoding.
struct ElementCall {
    std::string kind;
    std::function<void(Stream&)> write;
};

std::vector<ElementCall> everyElementKind() {
    std::vector<ElementCall> calls;
    calls.push_back({"box", [](Stream& e) {
                         GDS_Box(-5, 6, 70000, -80000, 1, 2, 3, 4);
                         e.box(-5, 6, 70000, -80000, 1, 2, 3, 4);
                     }});
    calls.push_back({"box_wh", [](Stream& e) {
                         GDS_BoxWH(10, 20, 30, 40, 65541, 7, 0, -1);
                         e.box(10, 20, 40, 60, 65541, 7, 0, -1);
                     }});
    calls.push_back({"square", [](Stream& e) {
                         GDS_Square(-10, 20, 5, 3, 0, 1, 2);
                         e.box(-10, 20, -5, 25, 3, 0, 1, 2);
                     }});
    // 200 and 8190 vertices are reported and written all the same.
    for (const int n : {3, 4, 5, 100, 199, 200, 8190}) {
        calls.push_back({"boundary " + std::to_string(n), [n](Stream& e) {
                             const auto p = somePoints(n);
                             GDS_Boundary(p.xs.data(), p.ys.data(), n, 5, 6, 7, 8);
                             e.boundary(p.xs, p.ys, 5, 6, 7, 8);
                         }});
    }
    // Polygons: one BOUNDARY up to 199 vertices, pieces of at most 199
    // above (the pieces' shapes are the fracturing's, checked by KLayout
    // elsewhere; here, their encoding across the buffer end).
    for (const int n : {4, 199, 200, 1000, 8000}) {
        calls.push_back({"polygon " + std::to_string(n), [n](Stream& e) {
                             reference::Points p;
                             for (int i = 0; i < n; ++i) {  // a convex fan, no two collinear
                                 const double a = 6.283185307179586 * i / n;
                                 p.xs.push_back(static_cast<int>(std::lround(90000 * std::cos(a))));
                                 p.ys.push_back(static_cast<int>(std::lround(70000 * std::sin(a))));
                             }
                             GDS_Polygon(p.xs.data(), p.ys.data(), n, 5, 6, 7, 8);
                             quillon::FracturedPolygon pieces;
                             const std::size_t size = p.xs.size();
                             ASSERT_EQ(quillon::fracturePolygon(p.xs.data(), p.ys.data(), &size,
                                                                1, 199, pieces),
                                       quillon::FractureResult::pieces);
                             for (std::size_t i = 0; i < pieces.pieces(); ++i) {
                                 const auto from = static_cast<std::ptrdiff_t>(pieces.starts[i]);
                                 const auto to = static_cast<std::ptrdiff_t>(pieces.starts[i + 1]);
                                 e.boundary({pieces.xs.begin() + from, pieces.xs.begin() + to},
                                            {pieces.ys.begin() + from, pieces.ys.begin() + to},
                                            5, 6, 7, 8);
                             }
                             if (n <= 199) {
                                 ASSERT_EQ(pieces.pieces(), 1u);
                             }
                         }});
    }
    for (const int n : {2, 3, 199, 200, 201, 398, 399, 1000}) {
        calls.push_back({"path " + std::to_string(n), [n](Stream& e) {
                             // A gentle zigzag: its pieces split every 198 points.
                             auto p = somePoints(n);
                             for (int i = 0; i < n; ++i) {
                                 p.xs[static_cast<std::size_t>(i)] = 100 * i;
                                 p.ys[static_cast<std::size_t>(i)] = (i % 2) * 30;
                             }
                             GDS_Path(p.xs.data(), p.ys.data(), n, 50, 1, 2, 1, 0, 9);
                             e.path(p.xs, p.ys, 50, 1, 2, 1, 0, 9);
                         }});
    }
    for (const int n : {3, 64, 199}) {
        calls.push_back({"circle " + std::to_string(n), [n](Stream& e) {
                             GDS_Circle(1000, -2000, 5000, n, 1, 0, 0, 0);
                             const auto p = reference::circlePoints(1000, -2000, 5000, n);
                             e.boundary(p.xs, p.ys, 1, 0, 0, 0);
                         }});
        calls.push_back({"sector " + std::to_string(n), [n](Stream& e) {
                             GDS_Sector(0, 0, 100000, 30.0, 120.5, n, 2, 0, 0, 0);
                             const auto p = reference::sectorPoints(0, 0, 100000, 30.0, 120.5, n);
                             e.boundary(p.xs, p.ys, 2, 0, 0, 0);
                         }});
        calls.push_back({"arc " + std::to_string(n), [n](Stream& e) {
                             GDS_Arc(-3, 4, 77777, -45.0, 200.25, n, 10, 3, 0, 0, 0, 0);
                             const auto p = reference::arcPoints(-3, 4, 77777, -45.0, 200.25, n);
                             e.path(p.xs, p.ys, 10, 3, 0, 0, 0, 0);
                         }});
    }
    // Short, odd, even, the lengths around the short-copy paths, long and
    // the longest a name can be.
    for (const std::size_t length : {1, 2, 3, 4, 7, 8, 9, 16, 17, 32000, 65530}) {
        const std::string name(length, static_cast<char>('A' + length % 26));
        calls.push_back({"sref " + std::to_string(length), [name](Stream& e) {
                             GDS_Sref(name.c_str(), -1, 2, 0x8006, 2.5, 90.0, 1, 2);
                             e.sref(name, -1, 2, 0x8006, 2.5, 90.0, 1, 2);
                         }});
        calls.push_back({"aref " + std::to_string(length), [name](Stream& e) {
                             const std::vector<std::int32_t> xs = {0, 1000, 0},
                                                             ys = {0, 0, 2000};
                             GDS_Aref(name.c_str(), xs.data(), ys.data(), 10, 20, 0, 1.0, 0.0,
                                      0, 0);
                             e.aref(name, xs, ys, 10, 20, 0, 1.0, 0.0, 0, 0);
                         }});
    }
    // Over 512 characters is reported and written, up to the longest a
    // STRING record carries.
    for (const std::size_t length :
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 18, 100, 511, 512, 513, 600, 65530}) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char>(1 + i % 255));
        calls.push_back({"text " + std::to_string(length), [text](Stream& e) {
                             GDS_Text(7, -8, text.c_str(), 1, 255, 5, 2, -100, 0x8000, 1.5,
                                      -30.0, 0, 0x7FFFFFFF);
                             e.text(7, -8, text, 1, 255, 5, 2, -100, 0x8000, 1.5, -30.0, 0,
                                    0x7FFFFFFF);
                         }});
    }
    for (const int n : {1, 2, 50, 51, 8191}) {
        calls.push_back({"node " + std::to_string(n), [n](Stream& e) {
                             const auto p = somePoints(n);
                             GDS_Node(p.xs.data(), p.ys.data(), n, 4, 5, 0, 0);
                             e.node(p.xs, p.ys, 4, 5, 0, 0);
                         }});
    }
    return calls;
}

// A TEXT of size bytes in all (100 + its padded string, 100 to 65634).
void writeFiller(Stream& e, std::size_t size) {
    const std::string text(size - 100, 'f');
    GDS_Text(0, 0, text.c_str(), 63, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
    e.text(0, 0, text, 63, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
}

// Writes filler elements until exactly room bytes are left in the buffer.
void leaveRoom(Stream& e, std::size_t room) {
    constexpr std::size_t smallest = 100, largest = 60000;
    while (roomLeft() != room) {
        const std::size_t left = roomLeft();
        if (left < room + smallest) {
            // Too close to the end: one filler that does not fit starts a
            // new buffer (and crosses the end itself).
            writeFiller(e, left + smallest);
            continue;
        }
        const std::size_t need = left - room;
        writeFiller(e, need <= largest ? need : need - largest < smallest ? need / 4 * 2 : largest);
    }
}

TEST(BufferEdge, EveryElementKindStartingAtEveryOffsetBeforeTheEndMatchesTheEncoding) {
    // Every even offset of the last 300 bytes where the test build has a
    // small buffer (so each case costs little); every 20th with the full
    // 2 MiB buffer.
    const std::size_t step = ByteSink::capacity <= 256 * 1024 ? 2 : 40;
    SetErrorHandle(keepMessage);
    GDS_SetTimestamp(2026, 12, 7, 8, 32, 51);
    for (const ElementCall& call : everyElementKind()) {
        const std::string path = edgePath("edge.gds").string();
        received.clear();
        Stream expected;
        GDS_BeginLib(path.c_str(), 0.001, 1e-9);
        expected.beginLib(path, 0.001, 1e-9);
        GDS_BeginStructure("EDGE");
        expected.beginStructure("EDGE");
        // Up to 300 bytes, or the element's own size: with more room left
        // it fits whole, as the first offsets already showed.
        std::size_t last = 300;
        for (std::size_t room = 0; room <= last; room += step) {
            leaveRoom(expected, room);
            const std::size_t before = expected.bytes.size();
            call.write(expected);
            if (room == 0) last = std::min(last, expected.bytes.size() - before);
        }
        GDS_EndStructure();
        expected.endStructure();
        GDS_EndLib();
        expected.endLib();
        const Bytes actual = readBack(path);
        ASSERT_TRUE(actual == expected.bytes) << call.kind << ": "
                                              << difference(actual, expected.bytes);
        for (const std::string& m : received) ASSERT_NE(m, "Error: Cannot write GDSII file.");
        std::filesystem::remove(path);
    }
    SetErrorHandle(nullptr);
}

TEST(BufferEdge, AHostWritingTwoHundredThousandLabelsGetsEveryOneOfThem) {
    // One label per net and nothing else: the label sizes vary with the
    // number of digits, so the buffer's end falls at every place in them.
    const std::string path = edgePath("labels.gds").string();
    Stream expected;
    GDS_SetTimestamp(2026, 12, 7, 8, 32, 51);
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    expected.beginLib(path, 0.001, 1e-9);
    GDS_BeginStructure("NETS");
    expected.beginStructure("NETS");
    for (int i = 0; i < 200000; ++i) {
        const std::string label = "net" + std::to_string(i);
        GDS_Text(i, 0, label.c_str(), 1, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
        expected.text(i, 0, label, 1, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
    }
    GDS_EndStructure();
    expected.endStructure();
    GDS_EndLib();
    expected.endLib();
    const Bytes actual = readBack(path);
    EXPECT_GT(actual.size(), 5 * ByteSink::capacity);
    EXPECT_TRUE(actual == expected.bytes) << difference(actual, expected.bytes);
    std::filesystem::remove(path);
}

}  // namespace
