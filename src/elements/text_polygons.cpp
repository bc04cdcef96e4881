// Text drawn as polygons, so that it prints on a mask: TEXT elements are
// annotation that no mask shows. The font is the library's own: each
// printable ASCII character (32 to 126) is a 5 x 9 pixel grid (7 rows from
// the cap line down to the baseline and 2 rows of descender), drawn in a
// cell 6 pixels wide, on lines 11 pixels apart. Any other character but
// '\n' (which starts a new line) is drawn as the outline of a box, the
// glyph unknownGlyph below.
//
// Each glyph is cut into rectangles: every horizontal run of pixels in a
// row, stacked with the identical runs of the rows below it. The
// rectangles of one glyph never overlap, but one may touch the side of
// another partway along it; each rectangle therefore also carries, as extra
// vertices, every corner of its glyph's other rectangles that lies on its
// sides. After rotation and rounding two touching rectangles then share
// the very same vertices along their common edge, so they still meet
// without overlapping.
//
// A pixel is height / 7 database units; the points are rotated by angle
// with the library's own sine and cosine and rounded to the nearest grid
// point (halves away from zero), so the bytes are the same everywhere.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"
#include "elements/sine_cosine.h"

namespace quillon {

namespace {

constexpr int glyphRows = 9;
constexpr int glyphColumns = 5;
constexpr int capRows = 7;    // the rows above the baseline
constexpr int cellWidth = 6;  // pixels from one character to the next
constexpr int linePitch = 11; // pixels from one baseline to the next

// The rows of each glyph, top first; bit 4 is the leftmost pixel.
constexpr unsigned char glyphs[95][glyphRows] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // space
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04, 0x00, 0x00},  // !
    {0x0a, 0x0a, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // "
    {0x0a, 0x0a, 0x1f, 0x0a, 0x1f, 0x0a, 0x0a, 0x00, 0x00},  // #
    {0x04, 0x0f, 0x14, 0x0e, 0x05, 0x1e, 0x04, 0x00, 0x00},  // $
    {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03, 0x00, 0x00},  // %
    {0x0c, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0d, 0x00, 0x00},  // &
    {0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // '
    {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02, 0x00, 0x00},  // (
    {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08, 0x00, 0x00},  // )
    {0x00, 0x04, 0x15, 0x0e, 0x15, 0x04, 0x00, 0x00, 0x00},  // *
    {0x00, 0x04, 0x04, 0x1f, 0x04, 0x04, 0x00, 0x00, 0x00},  // +
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x04, 0x08, 0x00},  // ,
    {0x00, 0x00, 0x00, 0x1f, 0x00, 0x00, 0x00, 0x00, 0x00},  // -
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x0c, 0x00, 0x00},  // .
    {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00, 0x00, 0x00},  // /
    {0x0e, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0e, 0x00, 0x00},  // 0
    {0x04, 0x0c, 0x04, 0x04, 0x04, 0x04, 0x0e, 0x00, 0x00},  // 1
    {0x0e, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1f, 0x00, 0x00},  // 2
    {0x1f, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0e, 0x00, 0x00},  // 3
    {0x02, 0x06, 0x0a, 0x12, 0x1f, 0x02, 0x02, 0x00, 0x00},  // 4
    {0x1f, 0x10, 0x1e, 0x01, 0x01, 0x11, 0x0e, 0x00, 0x00},  // 5
    {0x06, 0x08, 0x10, 0x1e, 0x11, 0x11, 0x0e, 0x00, 0x00},  // 6
    {0x1f, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08, 0x00, 0x00},  // 7
    {0x0e, 0x11, 0x11, 0x0e, 0x11, 0x11, 0x0e, 0x00, 0x00},  // 8
    {0x0e, 0x11, 0x11, 0x0f, 0x01, 0x02, 0x0c, 0x00, 0x00},  // 9
    {0x00, 0x0c, 0x0c, 0x00, 0x0c, 0x0c, 0x00, 0x00, 0x00},  // :
    {0x00, 0x0c, 0x0c, 0x00, 0x0c, 0x04, 0x08, 0x00, 0x00},  // ;
    {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02, 0x00, 0x00},  // <
    {0x00, 0x00, 0x1f, 0x00, 0x1f, 0x00, 0x00, 0x00, 0x00},  // =
    {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08, 0x00, 0x00},  // >
    {0x0e, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04, 0x00, 0x00},  // ?
    {0x0e, 0x11, 0x01, 0x0d, 0x15, 0x15, 0x0e, 0x00, 0x00},  // @
    {0x0e, 0x11, 0x11, 0x1f, 0x11, 0x11, 0x11, 0x00, 0x00},  // A
    {0x1e, 0x11, 0x11, 0x1e, 0x11, 0x11, 0x1e, 0x00, 0x00},  // B
    {0x0e, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0e, 0x00, 0x00},  // C
    {0x1c, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1c, 0x00, 0x00},  // D
    {0x1f, 0x10, 0x10, 0x1e, 0x10, 0x10, 0x1f, 0x00, 0x00},  // E
    {0x1f, 0x10, 0x10, 0x1e, 0x10, 0x10, 0x10, 0x00, 0x00},  // F
    {0x0e, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0f, 0x00, 0x00},  // G
    {0x11, 0x11, 0x11, 0x1f, 0x11, 0x11, 0x11, 0x00, 0x00},  // H
    {0x0e, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0e, 0x00, 0x00},  // I
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0c, 0x00, 0x00},  // J
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11, 0x00, 0x00},  // K
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1f, 0x00, 0x00},  // L
    {0x11, 0x1b, 0x15, 0x15, 0x11, 0x11, 0x11, 0x00, 0x00},  // M
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x00, 0x00},  // N
    {0x0e, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0e, 0x00, 0x00},  // O
    {0x1e, 0x11, 0x11, 0x1e, 0x10, 0x10, 0x10, 0x00, 0x00},  // P
    {0x0e, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0d, 0x00, 0x00},  // Q
    {0x1e, 0x11, 0x11, 0x1e, 0x14, 0x12, 0x11, 0x00, 0x00},  // R
    {0x0f, 0x10, 0x10, 0x0e, 0x01, 0x01, 0x1e, 0x00, 0x00},  // S
    {0x1f, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x00},  // T
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0e, 0x00, 0x00},  // U
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0a, 0x04, 0x00, 0x00},  // V
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0a, 0x00, 0x00},  // W
    {0x11, 0x11, 0x0a, 0x04, 0x0a, 0x11, 0x11, 0x00, 0x00},  // X
    {0x11, 0x11, 0x0a, 0x04, 0x04, 0x04, 0x04, 0x00, 0x00},  // Y
    {0x1f, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1f, 0x00, 0x00},  // Z
    {0x0e, 0x08, 0x08, 0x08, 0x08, 0x08, 0x0e, 0x00, 0x00},  // [
    {0x00, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00, 0x00, 0x00},  // backslash
    {0x0e, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0e, 0x00, 0x00},  // ]
    {0x04, 0x0a, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // ^
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1f, 0x00},  // _
    {0x08, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // `
    {0x00, 0x00, 0x0e, 0x01, 0x0f, 0x11, 0x0f, 0x00, 0x00},  // a
    {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1e, 0x00, 0x00},  // b
    {0x00, 0x00, 0x0e, 0x10, 0x10, 0x11, 0x0e, 0x00, 0x00},  // c
    {0x01, 0x01, 0x0d, 0x13, 0x11, 0x11, 0x0f, 0x00, 0x00},  // d
    {0x00, 0x00, 0x0e, 0x11, 0x1f, 0x10, 0x0e, 0x00, 0x00},  // e
    {0x06, 0x09, 0x08, 0x1c, 0x08, 0x08, 0x08, 0x00, 0x00},  // f
    {0x00, 0x00, 0x0f, 0x11, 0x11, 0x0f, 0x01, 0x11, 0x0e},  // g
    {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11, 0x00, 0x00},  // h
    {0x04, 0x00, 0x0c, 0x04, 0x04, 0x04, 0x0e, 0x00, 0x00},  // i
    {0x02, 0x00, 0x06, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0c},  // j
    {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12, 0x00, 0x00},  // k
    {0x0c, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0e, 0x00, 0x00},  // l
    {0x00, 0x00, 0x1a, 0x15, 0x15, 0x11, 0x11, 0x00, 0x00},  // m
    {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11, 0x00, 0x00},  // n
    {0x00, 0x00, 0x0e, 0x11, 0x11, 0x11, 0x0e, 0x00, 0x00},  // o
    {0x00, 0x00, 0x1e, 0x11, 0x11, 0x1e, 0x10, 0x10, 0x10},  // p
    {0x00, 0x00, 0x0d, 0x13, 0x11, 0x0f, 0x01, 0x01, 0x01},  // q
    {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10, 0x00, 0x00},  // r
    {0x00, 0x00, 0x0e, 0x10, 0x0e, 0x01, 0x1e, 0x00, 0x00},  // s
    {0x08, 0x08, 0x1c, 0x08, 0x08, 0x09, 0x06, 0x00, 0x00},  // t
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0d, 0x00, 0x00},  // u
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x0a, 0x04, 0x00, 0x00},  // v
    {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0a, 0x00, 0x00},  // w
    {0x00, 0x00, 0x11, 0x0a, 0x04, 0x0a, 0x11, 0x00, 0x00},  // x
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x0f, 0x01, 0x11, 0x0e},  // y
    {0x00, 0x00, 0x1f, 0x02, 0x04, 0x08, 0x1f, 0x00, 0x00},  // z
    {0x02, 0x04, 0x04, 0x08, 0x04, 0x04, 0x02, 0x00, 0x00},  // {
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x00},  // |
    {0x08, 0x04, 0x04, 0x02, 0x04, 0x04, 0x08, 0x00, 0x00},  // }
    {0x00, 0x00, 0x08, 0x15, 0x02, 0x00, 0x00, 0x00, 0x00},  // ~
};

// A box outline, for characters outside the font.
constexpr unsigned char unknownGlyph[glyphRows] = {0x1f, 0x11, 0x11, 0x11, 0x11,
                                                   0x11, 0x1f, 0x00, 0x00};

// The polygons of one glyph, in pixel units with the origin at the left end
// of the baseline (y up): vertex lists, counter-clockwise.
struct GlyphOutline {
    std::vector<signed char> xs;
    std::vector<signed char> ys;
    std::vector<unsigned short> starts;  // one per polygon, and the end
};

GlyphOutline outlineOf(const unsigned char* rows) {
    struct Rectangle {
        int x0, x1, top, bottom;  // columns [x0, x1), rows [top, bottom)
    };
    std::vector<Rectangle> done;
    std::vector<Rectangle> open;
    for (int r = 0; r <= glyphRows; ++r) {
        std::vector<Rectangle> runs;
        if (r < glyphRows) {
            for (int c = 0; c < glyphColumns;) {
                if (!(rows[r] & (0x10u >> c))) {
                    ++c;
                    continue;
                }
                int e = c;
                while (e < glyphColumns && (rows[r] & (0x10u >> e))) ++e;
                runs.push_back({c, e, r, r + 1});
                c = e;
            }
        }
        std::vector<Rectangle> next;
        for (Rectangle run : runs) {
            for (auto it = open.begin(); it != open.end(); ++it) {
                if (it->x0 == run.x0 && it->x1 == run.x1) {
                    run.top = it->top;
                    open.erase(it);
                    break;
                }
            }
            next.push_back(run);
        }
        for (const Rectangle& closed : open) done.push_back(closed);
        open = next;
    }
    // Corners in pixel coordinates: x = column, y = capRows - row.
    std::vector<std::pair<int, int>> corners;
    for (const Rectangle& q : done) {
        corners.push_back({q.x0, capRows - q.bottom});
        corners.push_back({q.x1, capRows - q.bottom});
        corners.push_back({q.x1, capRows - q.top});
        corners.push_back({q.x0, capRows - q.top});
    }
    GlyphOutline outline;
    for (const Rectangle& q : done) {
        outline.starts.push_back(static_cast<unsigned short>(outline.xs.size()));
        const int left = q.x0, right = q.x1, low = capRows - q.bottom, high = capRows - q.top;
        const int cx[4] = {left, right, right, left};
        const int cy[4] = {low, low, high, high};
        for (int k = 0; k < 4; ++k) {
            const int ax = cx[k], ay = cy[k], bx = cx[(k + 1) % 4], by = cy[(k + 1) % 4];
            outline.xs.push_back(static_cast<signed char>(ax));
            outline.ys.push_back(static_cast<signed char>(ay));
            // Other corners strictly inside this side, in order along it.
            std::vector<int> along;
            for (const auto& p : corners) {
                if (ax == bx && p.first == ax && p.second > std::min(ay, by) &&
                    p.second < std::max(ay, by))
                    along.push_back(p.second);
                if (ay == by && p.second == ay && p.first > std::min(ax, bx) &&
                    p.first < std::max(ax, bx))
                    along.push_back(p.first);
            }
            std::sort(along.begin(), along.end());
            along.erase(std::unique(along.begin(), along.end()), along.end());
            const bool forward = ax == bx ? by > ay : bx > ax;
            if (!forward) std::reverse(along.begin(), along.end());
            for (int v : along) {
                outline.xs.push_back(static_cast<signed char>(ax == bx ? ax : v));
                outline.ys.push_back(static_cast<signed char>(ax == bx ? v : ay));
            }
        }
    }
    outline.starts.push_back(static_cast<unsigned short>(outline.xs.size()));
    return outline;
}

// Whether the points from first on enclose no area: twice the signed area,
// taken about the first point, modulo 2^64 (unsigned arithmetic wraps).
// That is exact here: a glyph piece spans at most 5 by 9 pixels of at most
// 2^31 / 7 units, so twice its area stays below 2^64.
bool withoutArea(const CurvePointList& points, std::size_t first) {
    std::uint64_t sum = 0;
    const auto at = [](std::int32_t v, std::int32_t origin) {
        return static_cast<std::uint64_t>(std::int64_t{v} - origin);
    };
    const std::int32_t x0 = points.xs[first], y0 = points.ys[first];
    for (std::size_t i = first + 1; i + 1 < points.size(); ++i) {
        sum += at(points.xs[i], x0) * at(points.ys[i + 1], y0) -
               at(points.xs[i + 1], x0) * at(points.ys[i], y0);
    }
    return sum == 0;
}

// The outlines of the whole font and of the unknown character (index 95),
// made once.
const std::vector<GlyphOutline>& font() {
    static const std::vector<GlyphOutline> outlines = [] {
        std::vector<GlyphOutline> all;
        for (const auto& rows : glyphs) all.push_back(outlineOf(rows));
        all.push_back(outlineOf(unknownGlyph));
        return all;
    }();
    return outlines;
}

}  // namespace

void GDSIIWriter::writeTextPolygons(const char* text, std::int32_t x, std::int32_t y,
                                    std::int32_t height, std::int32_t anchor, double angle,
                                    std::int32_t layer, std::int32_t dataType) {
    ElementCall call(*this);
    if (!checkStructureOpen()) return;
    if (text == nullptr) {
        report(messages::textNull);
        return;
    }
    // New to this library: always checked, as in strict mode. The anchor
    // is a TEXT presentation's justification: vertical (0 top, 4 middle, 8
    // bottom) plus horizontal (0 left, 1 centre, 2 right).
    if (layer < 0 || layer > 0xFFFF || dataType < 0 || dataType > 0xFFFF || height < capRows ||
        anchor < 0 || anchor > 10 || (anchor & 3) == 3) {
        report(messages::valueOutOfRange);
        return;
    }
    if (!std::isfinite(angle)) {
        report(messages::notFinite);
        return;
    }

    // The rotation: exact at multiples of 90 degrees.
    double turn = std::fmod(angle, 360.0);
    if (turn < 0) turn += 360.0;
    double cosine;
    double sine;
    if (turn == 0.0 || turn == 90.0 || turn == 180.0 || turn == 270.0) {
        const int quarter = static_cast<int>(turn / 90.0);
        cosine = quarter == 0 ? 1.0 : quarter == 2 ? -1.0 : 0.0;
        sine = quarter == 1 ? 1.0 : quarter == 3 ? -1.0 : 0.0;
    } else {
        const SineCosine sc = sineCosine(turn * 0.017453292519943295);
        cosine = sc.cosine;
        sine = sc.sine;
    }
    const double pixel = static_cast<double>(height) / capRows;

    // The lines and their widths in pixels.
    const std::size_t length = std::strlen(text);
    std::vector<std::size_t> lineStarts{0};
    for (std::size_t i = 0; i < length; ++i)
        if (text[i] == '\n') lineStarts.push_back(i + 1);
    const int lines = static_cast<int>(lineStarts.size());
    const double blockBottom = -static_cast<double>(linePitch) * (lines - 1);
    const int vertical = anchor >> 2;
    const double shiftY = vertical == 0 ? -capRows
                          : vertical == 1 ? -(capRows + blockBottom) / 2
                                          : -blockBottom;

    const std::vector<GlyphOutline>& outlines = font();
    CurvePointList& points = curvePoints;
    points.clear();
    std::vector<std::size_t> starts;
    try {
        for (int l = 0; l < lines; ++l) {
            const std::size_t from = lineStarts[static_cast<std::size_t>(l)];
            std::size_t to = from;
            while (to < length && text[to] != '\n') ++to;
            const double width = to > from ? cellWidth * static_cast<double>(to - from) - 1 : 0;
            const int horizontal = anchor & 3;
            const double shiftX = horizontal == 0 ? 0.0 : horizontal == 1 ? -width / 2 : -width;
            const double baseline = shiftY - static_cast<double>(linePitch) * l;
            for (std::size_t i = from; i < to; ++i) {
                const auto code = static_cast<unsigned char>(text[i]);
                const GlyphOutline& g =
                    outlines[code >= 32 && code <= 126 ? code - 32u : outlines.size() - 1];
                const double left = shiftX + cellWidth * static_cast<double>(i - from);
                for (std::size_t p = 0; p + 1 < g.starts.size(); ++p) {
                    starts.push_back(points.size());
                    for (std::size_t v = g.starts[p]; v < g.starts[p + 1]; ++v) {
                        const double lx = (left + g.xs[v]) * pixel;
                        const double ly = (baseline + g.ys[v]) * pixel;
                        // Vertices are appended as they are (a rounded
                        // vertex may repeat its neighbour at small sizes;
                        // readers drop it).
                        const double wx = std::round(x + (cosine * lx - sine * ly));
                        const double wy = std::round(y + (sine * lx + cosine * ly));
                        if (!(wx >= -2147483648.0 && wx <= 2147483647.0 &&
                              wy >= -2147483648.0 && wy <= 2147483647.0)) {
                            report(messages::coordinateOutOfRange);
                            return;
                        }
                        points.xs.push_back(static_cast<std::int32_t>(wx));
                        points.ys.push_back(static_cast<std::int32_t>(wy));
                    }
                    // Rounding may flatten a rectangle of small pixels turned
                    // at an angle: a piece left without area is not written.
                    if (withoutArea(points, starts.back())) {
                        points.xs.resize(starts.back());
                        points.ys.resize(starts.back());
                        starts.pop_back();
                    }
                }
            }
        }
    } catch (const std::bad_alloc&) {
        report(messages::outOfMemory);
        return;
    }
    starts.push_back(points.size());
    for (std::size_t p = 0; p + 1 < starts.size(); ++p)
        writeBoundaryPiece(points.xs.data() + starts[p], points.ys.data() + starts[p],
                           starts[p + 1] - starts[p], layer, dataType, 0, 0);
}

}  // namespace quillon
