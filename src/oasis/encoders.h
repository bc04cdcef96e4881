// The OASIS value encodings, each appending its bytes to a byte vector:
// unsigned and signed integers (7-bit groups, least significant first, the
// sign of a signed one in its lowest bit), reals, strings, the 2-, 3- and
// g-deltas, point lists in the smallest form that holds them, and
// repetitions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon::oasis {

using Bytes = std::vector<std::uint8_t>;

inline void putUnsigned(Bytes& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(value));
}

// The magnitude shifted left by one, the sign in bit 0.
inline void putSigned(Bytes& out, std::int64_t value) {
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    putUnsigned(out, (magnitude << 1) | (value < 0 ? 1u : 0u));
}

// A real: type 0 or 1 (a whole number and its sign) when value is one,
// type 2 or 3 (the reciprocal of a whole number) when 1 / value is,
// otherwise type 7 (IEEE double, least significant byte first).
void putReal(Bytes& out, double value);

// An a-, b- or n-string: its length, then its bytes.
void putString(Bytes& out, const char* text, std::size_t length);

// One step of a point list or repetition.
struct Delta {
    std::int64_t x;
    std::int64_t y;
    bool operator==(const Delta& other) const { return x == other.x && y == other.y; }
    bool operator!=(const Delta& other) const { return !(*this == other); }
};

// 2-delta (d horizontal or vertical): magnitude << 2 | direction (east 0,
// north 1, west 2, south 3).
void put2Delta(Bytes& out, Delta d);
// 3-delta (d horizontal, vertical or diagonal): magnitude << 3 | direction
// (the four of the 2-delta, then north-east 4, north-west 5, south-west 6,
// south-east 7).
void put3Delta(Bytes& out, Delta d);
// g-delta: an octangular d as magnitude << 4 | direction << 1; any other as
// |x| << 2 | sign(x) << 1 | 1 followed by y as a signed integer.
void putGDelta(Bytes& out, Delta d);

// A point list of the points (xs[i], ys[i]) relative to the first: the
// type, the count and the deltas between consecutive points. A polygon's
// list leaves out its closing edge; in the alternating forms (types 0 and
// 1, horizontal or vertical first) it also leaves out the last vertex,
// which those forms imply. Takes the first of 1-delta (types 0, 1), 2-delta
// (2), 3-delta (3) and g-delta (4) that holds every edge.
void putPointList(Bytes& out, const std::int32_t* xs, const std::int32_t* ys, std::size_t n,
                  bool polygon);

// A repetition of count >= 2 positions, described by its kind.
struct Repetition {
    enum Kind {
        none,       // a single element
        grid,       // columns along step (east) and rows along rowStep (north): type 1
        lattice,    // the same along any two vectors: type 8
        line,       // count positions along step: type 2 (east), 3 (north) or 9
        arbitrary,  // the displacements from each position to the next: 4, 6, 10 or 11
    };
    Kind kind = none;
    std::uint64_t columns = 1;
    std::uint64_t rows = 1;
    Delta step{0, 0};
    Delta rowStep{0, 0};
    const Delta* displacements = nullptr;  // arbitrary: count - 1 of them
    std::uint64_t count = 1;
};
void putRepetition(Bytes& out, const Repetition& repetition);

}  // namespace quillon::oasis
