// A 128-bit digest of a structure's records, by which an include with the
// skip-identical clash policy tells a structure it brings from one already
// in the library. Two independent 64-bit multiply-rotate hashes over the
// bytes, eight at a time: an accidental match of different records is
// about as likely as 2^-128 (the digest guards against chance, not
// against a file made to collide).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace quillon::include {

class StructureDigest {
public:
    explicit StructureDigest(std::uint64_t seed = 0)
        : a(0x9E3779B97F4A7C15ull ^ seed), b(0xC2B2AE3D27D4EB4Full + seed) {}

    void add(const std::uint8_t* bytes, std::size_t n) {
        while (n >= 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes, 8);
            mix(word);
            bytes += 8;
            n -= 8;
        }
        std::uint64_t tail = n;  // the count keeps "ab" + "c" apart from "a" + "bc"
        for (std::size_t i = 0; i < n; ++i) tail = (tail << 8) | bytes[i];
        mix(tail);
    }
    void add(const std::string& text) {
        add(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }

    bool operator==(const StructureDigest& other) const { return a == other.a && b == other.b; }

private:
    static std::uint64_t rotate(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
    void mix(std::uint64_t word) {
        a = rotate((a ^ word) * 0xFF51AFD7ED558CCDull, 29);
        b = rotate((b + word) * 0xC4CEB9FE1A85EC53ull, 31) ^ a;
    }

    std::uint64_t a, b;
};

}  // namespace quillon::include
