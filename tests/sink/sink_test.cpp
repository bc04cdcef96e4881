// The buffered byte sink: whatever the buffer does, the file must hold the
// same bytes, in the same order, as a byte-by-byte encoding of the same
// calls; bytes written while the stream is failed or closed never reach a
// file; a failed write is reported at GDS_EndLib; and nothing of one file is
// carried into the next.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/byte_sink.h"
#include "core/encoders.h"
#include "core/gdsii_writer.h"
#include "core/records.h"
#include "reference_stream.h"

namespace {

using quillon::ByteSink;
using quillon::GDSIIWriter;
using reference::Bytes;

const char* const cannotOpen = "Error: Cannot open GDSII file.";
const char* const cannotWrite = "Error: Cannot write GDSII file.";

std::vector<std::string>& messages() {
    static std::vector<std::string> received;
    return received;
}

int QUILLON_CALL recordMessage(const char* message) {
    messages().emplace_back(message);
    return 0;
}

std::filesystem::path tempPath(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("quillon-sink-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir / name;
}

Bytes readFile(const std::filesystem::path& path) {
    if (!std::filesystem::exists(path)) return {};
    Bytes bytes(std::filesystem::file_size(path));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// Where two byte strings first differ, for a readable failure.
std::string firstDifference(const Bytes& actual, const Bytes& expected) {
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
    if (i == actual.size() && i == expected.size()) return "identical";
    return "first difference at byte " + std::to_string(i) + " of " +
           std::to_string(actual.size()) + " written, " + std::to_string(expected.size()) +
           " expected";
}

std::unique_ptr<GDSIIWriter> newWriter() {
    auto writer = std::make_unique<GDSIIWriter>();
    writer->setTimestamp(2026, 12, 7, 8, 32, 51);
    return writer;
}

// ---------------------------------------------------------------------------
// A random library of every element kind, made by the same calls on the
// writer and on the reference encoder.

class RandomLibrary {
public:
    RandomLibrary(GDSIIWriter& writer, reference::Stream& expected, unsigned seed)
        : w(writer), e(expected), random(seed) {}

    void writeStructureBody(int elements) {
        for (int i = 0; i < elements; ++i) writeElement();
    }

    std::int32_t any() { return static_cast<std::int32_t>(random()); }
    std::int32_t small(int low, int high) {
        return std::uniform_int_distribution<std::int32_t>(low, high)(random);
    }
    double anyDouble() {
        switch (small(0, 5)) {
            case 0: return 0.0;
            case 1: return 1.0;
            case 2: return -small(1, 360) * 0.5;
            case 3: return std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random),
                                      small(-200, 200));
            default: return std::uniform_real_distribution<double>(-1000, 1000)(random);
        }
    }
    std::string name() {
        std::string s;
        const int n = small(1, 40);
        for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(small('A', 'Z')));
        return s;
    }
    std::string text() {
        // Mostly labels; sometimes longer than 512 characters, which is
        // reported and still written, up to the longest a record carries.
        const int kind = small(0, 20);
        const int n = kind == 0 ? small(513, 65530) : kind == 1 ? 0 : small(1, 64);
        std::string s;
        for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(small(1, 255)));
        return s;
    }
    reference::Points points(int n) {
        reference::Points p;
        for (int i = 0; i < n; ++i) {
            p.xs.push_back(any());
            p.ys.push_back(any());
        }
        return p;
    }

    void writeElement() {
        const std::int32_t layer = any(), type = any(), elFlags = any(), plex = any();
        switch (small(0, 9)) {
            case 0: {
                const std::int32_t x1 = any(), y1 = any(), x2 = any(), y2 = any();
                w.writeBox(x1, y1, x2, y2, layer, type, elFlags, plex);
                e.box(x1, y1, x2, y2, layer, type, elFlags, plex);
                break;
            }
            case 1: {
                // 3 to 199 vertices, now and then more (reported, still
                // written) up to the most an XY record holds.
                const int n = small(0, 30) == 0 ? small(200, 8190) : small(3, 199);
                const auto p = points(n);
                w.writeBoundary(p.xs.data(), p.ys.data(), n, layer, type, elFlags, plex);
                e.boundary(p.xs, p.ys, layer, type, elFlags, plex);
                break;
            }
            case 2: {
                // Long ones as a gentle zigzag of round or flush type, whose
                // pieces the reference knows how to cut.
                const bool longPath = small(0, 10) == 0;
                const int n = longPath ? small(201, 2000) : small(2, 200);
                auto p = points(n);
                if (longPath)
                    for (int i = 0; i < n; ++i) {
                        p.xs[static_cast<std::size_t>(i)] = 100 * i;
                        p.ys[static_cast<std::size_t>(i)] = (i % 2) * 30;
                    }
                const std::int32_t width = longPath ? small(1, 200) : any();
                const std::int32_t pathType = longPath ? small(0, 1) : any();
                w.writePath(p.xs.data(), p.ys.data(), n, width, layer, type, pathType, elFlags,
                            plex);
                e.path(p.xs, p.ys, width, layer, type, pathType, elFlags, plex);
                break;
            }
            case 3: {
                const std::string s = name();
                const std::int32_t x = any(), y = any(), strans = any();
                const double mag = anyDouble(), angle = anyDouble();
                w.writeSref(s.c_str(), x, y, strans, mag, angle, elFlags, plex);
                e.sref(s, x, y, strans, mag, angle, elFlags, plex);
                break;
            }
            case 4: {
                const std::string s = name();
                const auto p = points(3);
                const std::int32_t columns = any(), rows = any(), strans = any();
                const double mag = anyDouble(), angle = anyDouble();
                w.writeAref(s.c_str(), p.xs.data(), p.ys.data(), columns, rows, strans, mag,
                            angle, elFlags, plex);
                e.aref(s, p.xs, p.ys, columns, rows, strans, mag, angle, elFlags, plex);
                break;
            }
            case 5: {
                const std::string s = text();
                const std::int32_t x = any(), y = any(), presentation = any(),
                                   pathType = any(), width = any(), strans = any();
                const std::int32_t textType = small(0, 10) == 0 ? any() : small(0, 255);
                const double mag = anyDouble(), angle = anyDouble();
                w.writeText(x, y, s.c_str(), layer, textType, presentation, pathType, width,
                            strans, mag, angle, elFlags, plex);
                e.text(x, y, s, layer, textType, presentation, pathType, width, strans, mag,
                       angle, elFlags, plex);
                break;
            }
            case 6: {
                const int n = small(0, 20) == 0 ? small(51, 8191) : small(1, 50);
                const auto p = points(n);
                w.writeNode(p.xs.data(), p.ys.data(), n, layer, type, elFlags, plex);
                e.node(p.xs, p.ys, layer, type, elFlags, plex);
                break;
            }
            case 7: {
                const std::int32_t cx = small(-1000000, 1000000), cy = small(-1000000, 1000000),
                                   r = small(1, 1000000), n = small(3, 199);
                w.writeCircle(cx, cy, r, n, layer, type, elFlags, plex);
                const auto p = reference::circlePoints(cx, cy, r, n);
                e.boundary(p.xs, p.ys, layer, type, elFlags, plex);
                break;
            }
            case 8: {
                const std::int32_t cx = small(-1000000, 1000000), cy = small(-1000000, 1000000),
                                   r = small(1, 1000000), n = small(3, 199);
                const double start = small(-720, 720) * 0.25, end = small(-720, 720) * 0.25;
                w.writeSector(cx, cy, r, start, end, n, layer, type, elFlags, plex);
                const auto p = reference::sectorPoints(cx, cy, r, start, end, n);
                e.boundary(p.xs, p.ys, layer, type, elFlags, plex);
                break;
            }
            default: {
                const std::int32_t cx = small(-1000000, 1000000), cy = small(-1000000, 1000000),
                                   r = small(1, 1000000), n = small(3, 199), width = any(),
                                   pathType = any();
                const double start = small(-720, 720) * 0.25, end = small(-720, 720) * 0.25;
                w.writeArc(cx, cy, r, start, end, n, width, layer, type, pathType, elFlags,
                           plex);
                const auto p = reference::arcPoints(cx, cy, r, start, end, n);
                e.path(p.xs, p.ys, width, layer, type, pathType, elFlags, plex);
                break;
            }
        }
    }

private:
    GDSIIWriter& w;
    reference::Stream& e;
    std::mt19937 random;
};

// Writes a random library of structures holding elements through writer to
// path and returns the bytes the reference encoder made of the same calls.
Bytes writeRandomLibrary(GDSIIWriter& writer, const std::string& path, unsigned seed,
                         int structures, int elementsPerStructure) {
    reference::Stream expected;
    RandomLibrary library(writer, expected, seed);
    writer.beginLib(path.c_str(), 0.001, 1e-9);
    expected.beginLib(path, 0.001, 1e-9);
    for (int s = 0; s < structures; ++s) {
        const std::string name = "CELL" + std::to_string(s);
        writer.beginStructure(name.c_str());
        expected.beginStructure(name);
        library.writeStructureBody(elementsPerStructure);
        writer.endStructure();
        expected.endStructure();
    }
    writer.endLib();
    expected.endLib();
    return expected.bytes;
}

class SinkFile : public ::testing::Test {
protected:
    void SetUp() override {
        messages().clear();
        writer = newWriter();
    }
    std::unique_ptr<GDSIIWriter> writer;
};

// ---------------------------------------------------------------------------

TEST_F(SinkFile, RandomLibrariesOfEveryElementKindMatchTheByteByByteEncoding) {
    // Out-of-range counts and long texts are reported and written anyway.
    writer->setErrorHandler(recordMessage);
    for (const unsigned seed : {1u, 2u, 3u}) {
        const std::string path = tempPath("random" + std::to_string(seed) + ".gds").string();
        const Bytes expected = writeRandomLibrary(*writer, path, seed, 20, 500);
        // Several times the buffer, so that the hand-overs fall at many
        // places inside records.
        EXPECT_GT(expected.size(), 3 * ByteSink::capacity);
        const Bytes actual = readFile(path);
        EXPECT_TRUE(actual == expected) << "seed " << seed << ": "
                                        << firstDifference(actual, expected);
        std::filesystem::remove(path);
    }
    for (const std::string& m : messages()) EXPECT_NE(m, cannotWrite);
}

TEST_F(SinkFile, WritesAfterAFailedOpenReachNoFileAndTheNextFileIsComplete) {
    writer->setErrorHandler(recordMessage);
    const auto missing = tempPath("no-such-dir") / "lost.gds";
    reference::Stream ignored;
    RandomLibrary library(*writer, ignored, 7);
    writer->beginLib(missing.string().c_str(), 0.001, 1e-9);
    writer->beginStructure("TOP");
    // More than the buffer holds, so that hand-overs to the failed stream
    // happen during the export too.
    for (int i = 0; i < 10000; ++i) library.writeElement();
    writer->endStructure();
    writer->endLib();
    // The open was reported; a failed open makes the export's writes
    // expected to be lost, so GDS_EndLib adds no write failure to it (the
    // other messages are the random elements' own reports).
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(messages().front(), cannotOpen);
    for (std::size_t i = 1; i < messages().size(); ++i) {
        EXPECT_NE(messages()[i], cannotOpen);
        EXPECT_NE(messages()[i], cannotWrite);
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_FALSE(std::filesystem::exists(missing.parent_path()));

    messages().clear();
    const std::string path = tempPath("after-failed-open.gds").string();
    const Bytes expected = writeRandomLibrary(*writer, path, 8, 3, 500);
    const Bytes actual = readFile(path);
    EXPECT_TRUE(actual == expected) << firstDifference(actual, expected);
    for (const std::string& m : messages()) EXPECT_NE(m, cannotWrite);
}

TEST_F(SinkFile, ElementsWrittenWhileNoFileIsOpenNeverLeadTheNextFile) {
    writer->setErrorHandler(recordMessage);
    // No library open: each call reports and carries on writing to the
    // closed stream.
    const std::int32_t xs[3] = {0, 10, 0}, ys[3] = {0, 0, 10};
    writer->writeBox(1, 2, 3, 4, 5, 6, 7, 8);
    writer->writeBoundary(xs, ys, 3, 1, 0, 0, 0);
    writer->writeText(0, 0, "stray", 1, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
    EXPECT_EQ(messages().size(), 3u);

    const std::string path = tempPath("after-stray.gds").string();
    reference::Stream expected;
    writer->beginLib(path.c_str(), 0.001, 1e-9);
    expected.beginLib(path, 0.001, 1e-9);
    writer->beginStructure("A");
    expected.beginStructure("A");
    writer->writeBox(-1, -2, 3, 4, 2, 0, 0, 0);
    expected.box(-1, -2, 3, 4, 2, 0, 0, 0);
    writer->endStructure();
    expected.endStructure();
    writer->endLib();
    expected.endLib();
    const Bytes actual = readFile(path);
    EXPECT_TRUE(actual == expected.bytes) << firstDifference(actual, expected.bytes);
}

TEST_F(SinkFile, AFullDiskIsReportedAtEndLibAfterFinishingAndTheNextFileIsComplete) {
    if (!std::filesystem::exists("/dev/full")) FAIL() << "/dev/full is missing";
    writer->setErrorHandler(recordMessage);
    // Small enough to stay in the buffer until GDS_EndLib, and large enough
    // to be handed over during the export.
    for (const int elements : {3, 10000}) {
        messages().clear();
        reference::Stream ignored;
        RandomLibrary library(*writer, ignored, 11);
        writer->beginLib("/dev/full", 0.001, 1e-9);
        writer->beginStructure("TOP");
        for (int i = 0; i < elements; ++i) library.writeElement();
        writer->endStructure();
        const std::size_t before = messages().size();
        writer->endLib();
        ASSERT_EQ(messages().size(), before + 1) << elements << " elements";
        EXPECT_EQ(messages().back(), cannotWrite);
        EXPECT_FALSE(writer->state().exportRunning());

        const std::string path = tempPath("after-full.gds").string();
        messages().clear();
        const Bytes expected = writeRandomLibrary(*writer, path, 12, 2, 300);
        const Bytes actual = readFile(path);
        EXPECT_TRUE(actual == expected) << firstDifference(actual, expected);
        for (const std::string& m : messages()) EXPECT_NE(m, cannotWrite);
    }
}

TEST_F(SinkFile, AFullDiskWithoutAHandlerThrowsFromEndLibWithTheExportFinished) {
    if (!std::filesystem::exists("/dev/full")) FAIL() << "/dev/full is missing";
    writer->beginLib("/dev/full", 0.001, 1e-9);
    writer->beginStructure("TOP");
    writer->writeBox(0, 0, 1, 1, 1, 0, 0, 0);
    writer->endStructure();
    try {
        writer->endLib();
        FAIL() << "GDS_EndLib on /dev/full threw nothing";
    } catch (const GDSIIException& e) {
        EXPECT_STREQ(e.what(), cannotWrite);
    }
    EXPECT_FALSE(writer->state().exportRunning());
    EXPECT_FALSE(writer->state().isOpen());

    const std::string path = tempPath("after-full-throw.gds").string();
    const Bytes expected = writeRandomLibrary(*writer, path, 13, 1, 50);
    EXPECT_TRUE(readFile(path) == expected);
}

TEST_F(SinkFile, AnUnfinishedExportSavedAtUnloadHoldsEveryByteWritten) {
    const std::string path = tempPath("unfinished.gds").string();
    reference::Stream expected;
    RandomLibrary library(*writer, expected, 21);
    writer->setErrorHandler(recordMessage);
    writer->beginLib(path.c_str(), 0.001, 1e-9);
    expected.beginLib(path, 0.001, 1e-9);
    writer->beginStructure("OPEN");
    expected.beginStructure("OPEN");
    for (int i = 0; i < 3000; ++i) library.writeElement();
    writer->closeOnUnload();
    const Bytes actual = readFile(path);
    EXPECT_TRUE(actual == expected.bytes) << firstDifference(actual, expected.bytes);
    EXPECT_FALSE(writer->state().isOpen());
}

// ---------------------------------------------------------------------------
// The sink on its own, over a string stream.

TEST(ByteSinkAlone, ChainedFieldsAndWholeRecordsArriveInOrderAcrossHandOvers) {
    std::ostringstream stream;
    ByteSink sink(stream);
    Bytes expected;
    std::mt19937 random(5);
    std::vector<std::uint8_t> source(300000);
    for (auto& b : source) b = static_cast<std::uint8_t>(random());
    while (expected.size() < 5 * ByteSink::capacity) {
        const std::uint8_t* from = source.data() + random() % 1000;
        switch (random() % 7) {
            case 0: sink.write2(from); expected.insert(expected.end(), from, from + 2); break;
            case 1: sink.write4(from); expected.insert(expected.end(), from, from + 4); break;
            case 2: sink.write8(from); expected.insert(expected.end(), from, from + 8); break;
            case 3: sink.write24(from); expected.insert(expected.end(), from, from + 24); break;
            case 4: {
                // A whole record through reserve and commit.
                const std::size_t n =
                    random() % std::min<std::size_t>(70000, ByteSink::capacity);
                std::uint8_t* p = sink.reserve(n);
                std::copy(from, from + n, p);
                sink.commit(p + n);
                expected.insert(expected.end(), from, from + n);
                break;
            }
            case 5: {
                const std::string text(random() % 9, static_cast<char>('a' + random() % 26));
                sink.writeString(text.c_str());
                expected.insert(expected.end(), text.begin(), text.end());
                if (text.size() % 2) expected.push_back(0);
                break;
            }
            default: {
                const std::int32_t value = static_cast<std::int32_t>(random());
                quillon::writeInt4(quillon::writeInt2(sink, value), value);
                const auto two = quillon::toBigEndian16(value);
                const auto four = quillon::toBigEndian32(value);
                expected.insert(expected.end(), two.begin(), two.end());
                expected.insert(expected.end(), four.begin(), four.end());
            }
        }
    }
    // A string longer than the whole buffer goes straight through.
    const std::string huge(ByteSink::capacity + 3, 'q');
    sink.writeString(huge.c_str());
    expected.insert(expected.end(), huge.begin(), huge.end());
    expected.push_back(0);
    sink.drain();
    EXPECT_EQ(sink.buffered(), 0u);
    const std::string written = stream.str();
    const Bytes actual(written.begin(), written.end());
    EXPECT_TRUE(actual == expected) << firstDifference(actual, expected);
}

TEST(ByteSinkAlone, RecordsMeetingTheEndOfTheBufferAtEveryOffsetArriveWhole) {
    // Each record writer starts with 0 to 24 bytes of room left, so that it
    // fits exactly, misses by one byte, or has room to spare.
    const std::int32_t xs[3] = {1, 2, 3}, ys[3] = {-1, -2, -3};
    const std::vector<std::function<void(ByteSink&)>> writers = {
        [](ByteSink& s) { quillon::writeEmptyRecord(s, quillon::Record::ENDEL); },
        [](ByteSink& s) { quillon::writeInt2Record(s, quillon::Record::LAYER, 0x1234); },
        [](ByteSink& s) { quillon::writeInt4Record(s, quillon::Record::PLEX, 0x01020304); },
        [](ByteSink& s) { quillon::writeReal8Record(s, quillon::Record::ANGLE, 90.0); },
        [](ByteSink& s) { quillon::writeStringRecord(s, quillon::Record::SNAME, "ABCDEFGHIJK"); },
        [](ByteSink& s) { quillon::writeStringRecord(s, quillon::Record::SNAME, "ABC"); },
        [](ByteSink& s) {
            quillon::writeStringRecord(s, quillon::Record::STRING, "seventeen chars!!", 17);
        },
        [](ByteSink& s) { quillon::writeStringRecord(s, quillon::Record::STRING, "", 0); },
        [&](ByteSink& s) { quillon::writeXYRecord(s, xs, ys, 0, 2, true); },
        [](ByteSink& s) { quillon::beginElement(s, quillon::Record::SREF, 1, 2, false); },
    };
    for (std::size_t w = 0; w < writers.size(); ++w) {
        // The record's bytes on their own.
        std::ostringstream alone;
        ByteSink aloneSink(alone);
        writers[w](aloneSink);
        aloneSink.drain();
        const std::string record = alone.str();
        for (std::size_t room = 0; room <= 24; ++room) {
            std::ostringstream stream;
            ByteSink sink(stream);
            const std::size_t fill = ByteSink::capacity - room;
            std::uint8_t* p = sink.reserve(fill);
            std::fill(p, p + fill, std::uint8_t{0xAB});
            sink.commit(p + fill);
            writers[w](sink);
            sink.drain();
            const std::string written = stream.str();
            ASSERT_EQ(written.size(), fill + record.size()) << "writer " << w << " room " << room;
            EXPECT_EQ(written.substr(fill), record) << "writer " << w << " room " << room;
            EXPECT_EQ(written.find_first_not_of('\xAB'), fill) << "writer " << w;
        }
    }
}

TEST(ByteSinkAlone, BytesHandedToAFailedStreamAreDroppedAndDiscardForgetsTheBuffer) {
    std::ostringstream stream;
    ByteSink sink(stream);
    const std::uint8_t bytes[24] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    sink.write4(bytes);
    sink.drain();
    EXPECT_EQ(stream.str(), std::string("\x01\x02\x03\x04"));

    // Bytes written and then discarded never arrive.
    sink.write24(bytes);
    EXPECT_EQ(sink.buffered(), 24u);
    sink.discard();
    sink.drain();
    EXPECT_EQ(stream.str().size(), 4u);

    // While the stream is failed, whatever is handed over is dropped, also
    // a block larger than the buffer.
    stream.setstate(std::ios::badbit);
    sink.write8(bytes);
    const std::string huge(ByteSink::capacity * 2, 'x');
    sink.writeString(huge.c_str());
    sink.drain();
    stream.clear();
    EXPECT_EQ(stream.str().size(), 4u);
}

TEST(ByteSinkAlone, WholeRecordWritersEncodeLengthHeaderAndBigEndianData) {
    std::ostringstream stream;
    ByteSink sink(stream);
    const std::int32_t xs[2] = {1000, -2}, ys[2] = {-1, 0x12345678};
    quillon::writeInt2Record(sink, quillon::Record::LAYER, 70000);
    quillon::writeInt4Record(sink, quillon::Record::WIDTH, -2);
    quillon::writeReal8Record(sink, quillon::Record::MAG, -2.5);
    quillon::writeStringRecord(sink, quillon::Record::STRING, "abc");
    quillon::writeStringRecord(sink, quillon::Record::SNAME, "LONGER_THAN_EIGHT");
    quillon::writeStringRecord(sink, quillon::Record::STRNAME, "");
    quillon::writeStringRecord(sink, quillon::Record::STRING, "abcde", 5);
    quillon::writeXYRecord(sink, xs, ys, 0, 2, true);
    quillon::beginElement(sink, quillon::Record::BOX, -1, 1000, false);
    quillon::endElement(sink);
    sink.drain();
    const std::string s = stream.str();
    const Bytes actual(s.begin(), s.end());
    const Bytes expected = {
        0x00, 0x06, 0x0D, 0x02, 0x11, 0x70,                                      // LAYER
        0x00, 0x08, 0x0F, 0x03, 0xFF, 0xFF, 0xFF, 0xFE,                          // WIDTH
        0x00, 0x0C, 0x1B, 0x05, 0xC1, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // MAG
        0x00, 0x08, 0x19, 0x06, 'a', 'b', 'c', 0x00,                             // STRING
        0x00, 0x16, 0x12, 0x06, 'L', 'O', 'N', 'G', 'E', 'R', '_', 'T', 'H', 'A', 'N', '_',
        'E', 'I', 'G', 'H', 'T', 0x00,                                           // SNAME
        0x00, 0x04, 0x06, 0x06,                                                  // STRNAME
        0x00, 0x0A, 0x19, 0x06, 'a', 'b', 'c', 'd', 'e', 0x00,                   // STRING
        0x00, 0x1C, 0x10, 0x03,                                                  // XY
        0x00, 0x00, 0x03, 0xE8, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFE, 0x12, 0x34, 0x56, 0x78,
        0x00, 0x00, 0x03, 0xE8, 0xFF, 0xFF, 0xFF, 0xFF,
        0x00, 0x04, 0x2D, 0x00,                                                  // BOX
        0x00, 0x06, 0x26, 0x01, 0xFF, 0xFF,                                      // ELFLAGS
        0x00, 0x08, 0x2F, 0x03, 0x00, 0x00, 0x03, 0xE8,                          // PLEX
        0x00, 0x04, 0x11, 0x00,                                                  // ENDEL
    };
    EXPECT_TRUE(actual == expected) << firstDifference(actual, expected);
}

// ---------------------------------------------------------------------------
// toReal8 works on the bits of the double; it must give exactly what the
// textbook conversion gives.

TEST(Real8, EqualsTheDigitByDigitConversionForDoublesOfEveryRepresentableMagnitude) {
    std::mt19937_64 random(99);
    int checked = 0;
    for (int i = 0; i < 200000; ++i) {
        // Any bit pattern whose exponent lies within the REAL8 range.
        std::uint64_t bits = random();
        const int exponent = 1022 - 259 + static_cast<int>(random() % (252 + 259 + 1));
        bits = (bits & 0x800FFFFFFFFFFFFFu) | (static_cast<std::uint64_t>(exponent) << 52);
        double value;
        std::memcpy(&value, &bits, 8);
        Bytes expected;
        reference::appendReal8(expected, value);
        const auto actual = quillon::toReal8(value);
        ASSERT_TRUE(Bytes(actual.begin(), actual.end()) == expected) << value;
        ++checked;
    }
    EXPECT_EQ(checked, 200000);
    // The edges of the range, each side.
    for (const double value : {std::ldexp(1.0, -260), std::ldexp(0.75, -259),
                               std::nextafter(std::ldexp(1.0, 252), 0.0), -std::ldexp(1.0, -260),
                               1.0, 0.0625, 16.0, 0.1, 1e-9, -90.0}) {
        Bytes expected;
        reference::appendReal8(expected, value);
        const auto actual = quillon::toReal8(value);
        EXPECT_TRUE(Bytes(actual.begin(), actual.end()) == expected) << value;
    }
}

TEST(Real8, ClampsValuesWithNoReal8Form) {
    const auto bytes = [](double v) {
        const auto b = quillon::toReal8(v);
        return Bytes(b.begin(), b.end());
    };
    const Bytes zero(8, 0);
    const Bytes largest = {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes largestNegative = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(bytes(-0.0), zero);
    EXPECT_EQ(bytes(std::ldexp(1.0, 252)), largest);
    EXPECT_EQ(bytes(HUGE_VAL), largest);
    EXPECT_EQ(bytes(-HUGE_VAL), largestNegative);
    EXPECT_EQ(bytes(-1e300), largestNegative);
    EXPECT_EQ(bytes(std::nan("")), zero);
    EXPECT_EQ(bytes(std::ldexp(0.99, -260)), zero);
    EXPECT_EQ(bytes(5e-324), zero);  // the smallest subnormal
}

}  // namespace
