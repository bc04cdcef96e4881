// A trivially correct encoder of the GDSII stream the writer should produce,
// built byte by byte from the GDSII Stream format rules and the documented
// behaviour of each call, independent of the library's sink and encoders.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace reference {

using Bytes = std::vector<std::uint8_t>;

// GDSII 8-byte real by the textbook loop: scale into [1/16, 1) by powers of
// 16, then take the 56 fraction bits one by one, most significant first.
inline void appendReal8(Bytes& out, double value) {
    if (value == 0.0) {
        out.insert(out.end(), 8, 0);
        return;
    }
    int sign = 0;
    int exponent = 64;
    double v = value;
    if (v < 0) {
        sign = 1;
        v = -v;
    }
    while (v >= 1) {
        v /= 16;
        ++exponent;
    }
    while (v * 16 < 1) {
        v *= 16;
        --exponent;
    }
    std::uint64_t fraction = 0;
    double w = 1.0;
    for (int i = 1; i <= 56; ++i) {
        w /= 2;  // 2^-i, exactly
        fraction <<= 1;
        if (v >= w) {
            fraction |= 1;
            v -= w;
        }
    }
    out.push_back(static_cast<std::uint8_t>(sign * 128 + exponent));
    for (int shift = 48; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(fraction >> shift));
}

class Stream {
public:
    Bytes bytes;

    void u16(std::int32_t v) {
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        bytes.push_back(static_cast<std::uint8_t>(v));
    }
    void u32(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<std::uint8_t>(u >> shift));
    }

    // One record: length, type, data type, data.
    void record(std::uint8_t type, std::uint8_t dataType, const Bytes& data = {}) {
        header(type, dataType, data.size());
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    void header(std::uint8_t type, std::uint8_t dataType, std::size_t dataLength) {
        u16(static_cast<std::int32_t>(dataLength + 4));
        bytes.push_back(type);
        bytes.push_back(dataType);
    }
    void int2Record(std::uint8_t type, std::uint8_t dataType, std::int32_t v) {
        header(type, dataType, 2);
        u16(v);
    }
    void int4Record(std::uint8_t type, std::int32_t v) {
        header(type, 0x03, 4);
        u32(v);
    }
    void real8Record(std::uint8_t type, double v) {
        header(type, 0x05, 8);
        appendReal8(bytes, v);
    }
    void stringRecord(std::uint8_t type, const std::string& text) {
        header(type, 0x06, text.size() + text.size() % 2);
        bytes.insert(bytes.end(), text.begin(), text.end());
        if (text.size() % 2) bytes.push_back(0);
    }
    void xy(const std::vector<std::int32_t>& xs, const std::vector<std::int32_t>& ys,
            std::size_t first, std::size_t count, bool closed) {
        header(0x10, 0x03, 8 * (count + (closed ? 1 : 0)));
        for (std::size_t i = first; i < first + count; ++i) {
            u32(xs[i]);
            u32(ys[i]);
        }
        if (closed) {
            u32(xs[first]);
            u32(ys[first]);
        }
    }
    void prologue(std::uint8_t element, std::int32_t elFlags, std::int32_t plex) {
        record(element, 0x00);
        int2Record(0x26, 0x01, elFlags);
        int4Record(0x2F, plex);
    }
    void endel() { record(0x11, 0x00); }

    // The fixed time stamp 2026-12-07 08:32:51, twice.
    void stamp(std::uint8_t type) {
        header(type, 0x02, 24);
        for (int copy = 0; copy < 2; ++copy)
            for (int v : {126, 12, 7, 8, 32, 51}) u16(v);
    }

    // --- the calls -------------------------------------------------------
    void beginLib(const std::string& name, double user, double meters) {
        int2Record(0x00, 0x02, 3);
        stamp(0x01);
        stringRecord(0x02, name);
        header(0x03, 0x05, 16);
        appendReal8(bytes, user);
        appendReal8(bytes, meters);
    }
    void endLib() { record(0x04, 0x00); }
    void beginStructure(const std::string& name) {
        stamp(0x05);
        stringRecord(0x06, name);
    }
    void endStructure() { record(0x07, 0x00); }

    void box(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
             std::int32_t layer, std::int32_t boxType, std::int32_t elFlags, std::int32_t plex) {
        prologue(0x2D, elFlags, plex);
        int2Record(0x0D, 0x02, layer);
        int2Record(0x2E, 0x02, boxType);
        xy({x1, x2, x2, x1}, {y1, y1, y2, y2}, 0, 4, true);
        endel();
    }
    void boundary(const std::vector<std::int32_t>& xs, const std::vector<std::int32_t>& ys,
                  std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                  std::int32_t plex) {
        prologue(0x08, elFlags, plex);
        int2Record(0x0D, 0x02, layer);
        int2Record(0x0E, 0x02, dataType);
        xy(xs, ys, 0, xs.size(), true);
        endel();
    }
    // A polyline is cut into PATH elements of at most 200 points, each
    // starting at the second-to-last point of the one before. Long
    // polylines here have distinct points, joints that turn by at most 90
    // degrees and segments of at least half the width, and path types 0 or
    // 1: the pieces keep their type and split every 198 points.
    void path(const std::vector<std::int32_t>& xs, const std::vector<std::int32_t>& ys,
              std::int32_t width, std::int32_t layer, std::int32_t dataType,
              std::int32_t pathType, std::int32_t elFlags, std::int32_t plex) {
        const std::size_t n = xs.size();
        for (std::size_t first = 0;; first += 198) {
            const std::size_t points = std::min<std::size_t>(n - first, 200);
            prologue(0x09, elFlags, plex);
            int2Record(0x0D, 0x02, layer);
            int2Record(0x0E, 0x02, dataType);
            int2Record(0x21, 0x02, pathType);
            int4Record(0x0F, width);
            xy(xs, ys, first, points, false);
            endel();
            if (first + points >= n) break;
        }
    }
    void transform(const std::string& sname, std::int32_t strans, double mag, double angle) {
        stringRecord(0x12, sname);
        int2Record(0x1A, 0x01, strans);
        real8Record(0x1B, mag);
        real8Record(0x1C, angle);
    }
    void sref(const std::string& sname, std::int32_t x, std::int32_t y, std::int32_t strans,
              double mag, double angle, std::int32_t elFlags, std::int32_t plex) {
        prologue(0x0A, elFlags, plex);
        transform(sname, strans, mag, angle);
        xy({x}, {y}, 0, 1, false);
        endel();
    }
    void aref(const std::string& sname, const std::vector<std::int32_t>& xs,
              const std::vector<std::int32_t>& ys, std::int32_t columns, std::int32_t rows,
              std::int32_t strans, double mag, double angle, std::int32_t elFlags,
              std::int32_t plex) {
        prologue(0x0B, elFlags, plex);
        transform(sname, strans, mag, angle);
        header(0x13, 0x02, 4);
        u16(columns);
        u16(rows);
        xy(xs, ys, 0, 3, false);
        endel();
    }
    void text(std::int32_t x, std::int32_t y, const std::string& text, std::int32_t layer,
              std::int32_t textType, std::int32_t presentation, std::int32_t pathType,
              std::int32_t width, std::int32_t strans, double mag, double angle,
              std::int32_t elFlags, std::int32_t plex) {
        prologue(0x0C, elFlags, plex);
        int2Record(0x0D, 0x02, layer);
        int2Record(0x16, 0x02, textType);
        int2Record(0x17, 0x01, presentation);
        int2Record(0x21, 0x02, pathType);
        int4Record(0x0F, width);
        int2Record(0x1A, 0x01, strans);
        real8Record(0x1B, mag);
        real8Record(0x1C, angle);
        xy({x}, {y}, 0, 1, false);
        stringRecord(0x19, text);
        endel();
    }
    void node(const std::vector<std::int32_t>& xs, const std::vector<std::int32_t>& ys,
              std::int32_t layer, std::int32_t nodeType, std::int32_t elFlags,
              std::int32_t plex) {
        prologue(0x15, elFlags, plex);
        int2Record(0x0D, 0x02, layer);
        int2Record(0x2A, 0x02, nodeType);
        xy(xs, ys, 0, xs.size(), false);
        endel();
    }
};

// The documented curve points: n points on the circle around (cx, cy),
// starting at angle theta and advancing by step each time (by repeated
// addition), each coordinate truncated toward zero.
struct Points {
    std::vector<std::int32_t> xs, ys;
};

inline void appendArc(Points& p, std::int32_t cx, std::int32_t cy, std::int32_t radius,
                      int count, double theta, double step) {
    for (int i = 0; i < count; ++i) {
        p.xs.push_back(static_cast<std::int32_t>(std::trunc(cx + radius * std::cos(theta))));
        p.ys.push_back(static_cast<std::int32_t>(std::trunc(cy + radius * std::sin(theta))));
        theta += step;
    }
}

inline Points circlePoints(std::int32_t cx, std::int32_t cy, std::int32_t radius, int n) {
    Points p;
    appendArc(p, cx, cy, radius, n, 0.0, 6.283185307179586 / n);
    return p;
}

// The centre, then n - 1 points from start in steps of the sweep over n.
inline Points sectorPoints(std::int32_t cx, std::int32_t cy, std::int32_t radius, double start,
                           double end, int n) {
    Points p;
    p.xs.push_back(cx);
    p.ys.push_back(cy);
    const double step = (((end - start) * 3.141592653589793) / n) * 0.005555555555555556;
    appendArc(p, cx, cy, radius, n - 1, start * 0.017453292519943295, step);
    return p;
}

inline Points arcPoints(std::int32_t cx, std::int32_t cy, std::int32_t radius, double start,
                        double end, int n) {
    Points p;
    const double theta0 = start * 0.017453292519943295;
    appendArc(p, cx, cy, radius, n, theta0, (end * 0.017453292519943295 - theta0) / n);
    return p;
}

}  // namespace reference
