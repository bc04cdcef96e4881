// interop-gen OUT.gds MANIFEST.json [NEGATIVE-TEXT-WIDTH.gds]: writes a library that holds every
// element kind and the limits of the interface (199-vertex boundaries,
// 200-point and longer paths, 512-character texts, zero and negative values,
// 16-bit fields passed with high bits set, deep SREF and AREF hierarchies),
// and a JSON manifest of every call and its arguments exactly as passed, so
// that the interop tests can compare what each reader sees with what the
// host asked for.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "quillon.h"

namespace {

// The manifest: a list of structures, each a list of calls.
class Manifest {
public:
    void beginStructure(const std::string& name) {
        structures.push_back("{\"name\":" + quote(name) + ",\"calls\":[");
        first = true;
    }
    void endStructure() { structures.back() += "]}"; }

    // Adds one call: fields is the JSON object body without braces.
    void call(const std::string& function, const std::string& fields) {
        structures.back() += (first ? "" : ",") + std::string("{\"call\":") + quote(function) +
                             (fields.empty() ? "" : "," + fields) + "}";
        first = false;
    }

    void write(std::ostream& out, double userUnit, double meterUnit) const {
        out << "{\"dbu_user\":" << number(userUnit) << ",\"dbu_meters\":" << number(meterUnit)
            << ",\"structures\":[\n";
        for (std::size_t i = 0; i < structures.size(); ++i) {
            out << structures[i] << (i + 1 < structures.size() ? ",\n" : "\n");
        }
        out << "]}\n";
    }

    static std::string quote(const std::string& text) {
        std::string out = "\"";
        char escape[8];
        for (unsigned char c : text) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += static_cast<char>(c);
            } else if (c < 0x20 || c >= 0x7F) {
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
        }
        return out + "\"";
    }

    static std::string number(double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", value);
        return text;
    }

private:
    std::vector<std::string> structures;
    bool first = true;
};

Manifest manifest;

std::string field(const char* name, int value) {
    return std::string("\"") + name + "\":" + std::to_string(value);
}

std::string field(const char* name, double value) {
    return std::string("\"") + name + "\":" + Manifest::number(value);
}

std::string field(const char* name, const std::string& text) {
    return std::string("\"") + name + "\":" + Manifest::quote(text);
}

std::string field(const char* name, const std::vector<int>& values) {
    std::string out = std::string("\"") + name + "\":[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        out += (i ? "," : "") + std::to_string(values[i]);
    }
    return out + "]";
}

template <typename... Fields>
std::string fields(const std::string& first, const Fields&... rest) {
    std::string out = first;
    ((out += "," + rest), ...);
    return out;
}

// Each wrapper records the call and then makes it.

void beginStructure(const std::string& name) {
    manifest.beginStructure(name);
    GDS_BeginStructure(name.c_str());
}

void endStructure() {
    manifest.endStructure();
    GDS_EndStructure();
}

void boundary(const std::vector<int>& xs, const std::vector<int>& ys, int count, int layer,
              int dataType, int elFlags = 0, int plex = 0) {
    manifest.call("GDS_Boundary",
                  fields(field("xs", xs), field("ys", ys), field("count", count),
                         field("layer", layer), field("dataType", dataType),
                         field("elFlags", elFlags), field("plex", plex)));
    GDS_Boundary(xs.data(), ys.data(), count, layer, dataType, elFlags, plex);
}

void path(const std::vector<int>& xs, const std::vector<int>& ys, int count, int width,
          int layer, int dataType, int pathType, int elFlags = 0, int plex = 0) {
    manifest.call("GDS_Path", fields(field("xs", xs), field("ys", ys), field("count", count),
                                     field("width", width), field("layer", layer),
                                     field("dataType", dataType), field("pathType", pathType),
                                     field("elFlags", elFlags), field("plex", plex)));
    GDS_Path(xs.data(), ys.data(), count, width, layer, dataType, pathType, elFlags, plex);
}

void box(const char* function, int a, int b, int c, int d, int layer, int boxType,
         int elFlags = 0, int plex = 0) {
    const std::string common = fields(field("layer", layer), field("boxType", boxType),
                                      field("elFlags", elFlags), field("plex", plex));
    const std::string name = function;
    if (name == "GDS_Box") {
        manifest.call(name, fields(field("x1", a), field("y1", b), field("x2", c),
                                   field("y2", d), common));
        GDS_Box(a, b, c, d, layer, boxType, elFlags, plex);
    } else {
        manifest.call(name, fields(field("x", a), field("y", b), field("width", c),
                                   field("height", d), common));
        GDS_BoxWH(a, b, c, d, layer, boxType, elFlags, plex);
    }
}

void square(int x, int y, int side, int layer, int boxType) {
    manifest.call("GDS_Square", fields(field("x", x), field("y", y), field("side", side),
                                       field("layer", layer), field("boxType", boxType),
                                       field("elFlags", 0), field("plex", 0)));
    GDS_Square(x, y, side, layer, boxType, 0, 0);
}

void circle(int cx, int cy, int radius, int count, int layer, int dataType) {
    manifest.call("GDS_Circle", fields(field("centerX", cx), field("centerY", cy),
                                       field("radius", radius), field("count", count),
                                       field("layer", layer), field("dataType", dataType)));
    GDS_Circle(cx, cy, radius, count, layer, dataType, 0, 0);
}

void sector(int cx, int cy, int radius, double start, double end, int count, int layer,
            int dataType) {
    manifest.call("GDS_Sector",
                  fields(field("centerX", cx), field("centerY", cy), field("radius", radius),
                         field("startAngle", start), field("endAngle", end),
                         field("count", count), field("layer", layer),
                         field("dataType", dataType)));
    GDS_Sector(cx, cy, radius, start, end, count, layer, dataType, 0, 0);
}

void arc(int cx, int cy, int radius, double start, double end, int count, int width, int layer,
         int dataType, int pathType) {
    manifest.call("GDS_Arc",
                  fields(field("centerX", cx), field("centerY", cy), field("radius", radius),
                         field("startAngle", start), field("endAngle", end),
                         field("count", count), field("width", width), field("layer", layer),
                         field("dataType", dataType), field("pathType", pathType)));
    GDS_Arc(cx, cy, radius, start, end, count, width, layer, dataType, pathType, 0, 0);
}

void text(int x, int y, const std::string& string, int layer, int textType, int presentation,
          int pathType, int width, int strans, double mag, double angle) {
    manifest.call("GDS_Text",
                  fields(field("x", x), field("y", y), field("text", string),
                         field("layer", layer), field("textType", textType),
                         field("presentation", presentation), field("pathType", pathType),
                         field("width", width), field("strans", strans), field("mag", mag),
                         field("angle", angle)));
    GDS_Text(x, y, string.c_str(), layer, textType, presentation, pathType, width, strans, mag,
             angle, 0, 0);
}

void node(const std::vector<int>& xs, const std::vector<int>& ys, int count, int layer,
          int nodeType) {
    manifest.call("GDS_Node", fields(field("xs", xs), field("ys", ys), field("count", count),
                                     field("layer", layer), field("nodeType", nodeType)));
    GDS_Node(xs.data(), ys.data(), count, layer, nodeType, 0, 0);
}

void sref(const std::string& name, int x, int y, int strans, double mag, double angle) {
    manifest.call("GDS_Sref", fields(field("structName", name), field("x", x), field("y", y),
                                     field("strans", strans), field("mag", mag),
                                     field("angle", angle)));
    GDS_Sref(name.c_str(), x, y, strans, mag, angle, 0, 0);
}

void aref(const std::string& name, const std::vector<int>& xs, const std::vector<int>& ys,
          int columns, int rows, int strans, double mag, double angle) {
    manifest.call("GDS_Aref",
                  fields(field("structName", name), field("xs", xs), field("ys", ys),
                         field("columns", columns), field("rows", rows),
                         field("strans", strans), field("mag", mag), field("angle", angle)));
    GDS_Aref(name.c_str(), xs.data(), ys.data(), columns, rows, strans, mag, angle, 0, 0);
}

constexpr int reflect = 0x8000;
constexpr int high = 0x10000;  // a bit above the 16 that a 16-bit field keeps

void writeBoundaries() {
    beginStructure("BOUNDARIES");
    // 199 vertices, the most a boundary takes: a convex polygon, no three
    // vertices on a line.
    std::vector<int> xs, ys;
    const double pi = std::acos(-1.0);
    for (int i = 0; i < 199; ++i) {
        xs.push_back(static_cast<int>(std::lround(1000000 * std::cos(2 * pi * i / 199))));
        ys.push_back(static_cast<int>(std::lround(1000000 * std::sin(2 * pi * i / 199))));
    }
    boundary(xs, ys, 199, 2, 0);
    boundary({0, 100, 0}, {0, 0, 100}, 3, 0, 0);  // zero layer and datatype
    boundary({-2000000000, 2000000000, 0}, {-2000000000, -2000000000, 2000000000}, 3, 1, 1);
    boundary({0, 300, 300, 100, 100, 0}, {0, 0, 100, 100, 300, 300}, 6, 255, 255);
    boundary({0, 50, 50, 0}, {0, 0, 80, 80}, 4, 3, 0);  // a rectangle
    // 16-bit fields with high bits set: count 3, layer 5, datatype 7.
    boundary({10, 20, 10}, {10, 10, 30}, high + 3, high + 5, high + 7, 3, 123456);
    boundary({0, -40, -40}, {0, 0, -60}, 3, 4, 0, 0, -7);  // negative coordinates and plex
    endStructure();
}

void writeBoxes() {
    beginStructure("BOXES");
    box("GDS_Box", 0, 0, 1000, 500, 6, 1);
    box("GDS_Box", 1000, 500, 0, 0, 6, 1);  // corners in reverse order
    box("GDS_BoxWH", -500, -500, 200, 300, 6, 0);
    box("GDS_BoxWH", 5, 5, -5, 10, 6, 0);  // negative width
    square(100, 100, 50, high + 7, high + 2);
    box("GDS_Box", 0, 0, 0, 1000, 6, 3);  // zero width
    box("GDS_Box", -2000000000, -2000000000, 2000000000, 2000000000, 6, 4, 1, 99);
    endStructure();
}

std::vector<int> zigzag(int count, int step, int height, bool ys) {
    std::vector<int> values;
    for (int i = 0; i < count; ++i) values.push_back(ys ? (i % 2) * height : i * step);
    return values;
}

void writePaths() {
    beginStructure("PATHS");
    path({0, 1000}, {0, 0}, 2, 10, 7, 0, 0);
    path(zigzag(200, 100, 50, false), zigzag(200, 100, 50, true), 200, 20, 7, 1, 1);
    path(zigzag(201, 100, 70, false), zigzag(201, 100, 70, true), 201, 30, 7, 2, 2);
    path(zigzag(450, 50, 90, false), zigzag(450, 50, 90, true), 450, 40, 7, 3, 0);
    path({0, 0, 500}, {0, 500, 500}, 3, -10, 8, 0, 0);  // negative width
    path({0, 700}, {-300, -300}, 2, 0, 8, 1, 2);        // zero width
    path({-100, -200}, {-100, -900}, high + 2, 12, high + 8, high + 2, high + 1, 2, 5);
    arc(0, 0, 5000, 0.0, 270.0, 199, 100, 9, 0, 1);
    endStructure();
}

void writeCurves() {
    beginStructure("CURVES");
    circle(0, 0, 10000, 199, 13, 0);
    circle(-3000, 4000, 250, 3, 13, 1);
    sector(0, 0, 8000, 30.0, 120.0, 40, 14, 0);
    sector(100, 200, 1000, 90.0, 0.0, 5, 14, 1);
    arc(0, 0, -1000, 0.0, 90.0, 3, 50, 15, 0, 2);
    endStructure();
}

void writeTexts() {
    beginStructure("TEXTS");
    std::string longest;
    for (int i = 0; i < 512; ++i) longest += static_cast<char>('A' + i % 26);
    text(0, 0, longest, 10, 0, 0, 0, 0, 0, 1.0, 0.0);
    text(-5000, -7000, "a", 11, 255, 0x16, 1, 20, 0, 2.5, 90.0);
    text(300, 400, "mirrored 45", 11, 1, 0x2A, 2, 5, reflect, 0.5, 45.0);
    text(1, 2, "upside down", 12, 2, 0x05, 0, 0, 0, 1.0, 180.0);
    text(3, 4, "minus ninety", 12, 3, 0x09, 0, 0, reflect, 4.0, -90.0);
    text(5, 6, "even", 12, high + 5, 0, 0, 0, 0, 0.001, 270.0);  // text type 5
    text(7, 8, "", 12, 6, 0, 0, 0, 0, 1.0, 0.0);                // empty text
    text(9, 10, "zero mag", high + 12, 7, 0, 0, 0, 0, 0.0, 0.0);
    endStructure();
}

void writeNodes() {
    beginStructure("NODES");
    node({5}, {-5}, 1, 20, 0);
    std::vector<int> xs, ys;
    for (int i = 0; i < 50; ++i) {
        xs.push_back(i * 10);
        ys.push_back(-i * 20);
    }
    node(xs, ys, 50, 20, high + 4);
    endStructure();
}

void writeReferences() {
    beginStructure("LEAF");
    boundary({0, 100, 0}, {0, 0, 100}, 3, 1, 0);
    endStructure();

    beginStructure("REFS");
    sref("LEAF", 0, 0, 0, 1.0, 0.0);
    sref("LEAF", 1000, -2000, 0, 2.0, 90.0);
    sref("LEAF", -300, 400, reflect, 0.5, 270.0);
    sref("LEAF", 7, 9, 0, 1.25, 30.0);
    sref("LEAF", 0, 0, reflect, 1.0, 0.0);
    sref("LATE", 55, 66, 0, 1.0, 180.0);  // defined after this structure
    // 3 x 2 at pitches (300, 0) and (0, 200).
    aref("LEAF", {0, 900, 0}, {0, 0, 400}, 3, 2, 0, 1.0, 0.0);
    // 4 x 5 turned by 90 degrees: the lattice turns with the instances.
    aref("LEAF", {100, 100, -650}, {100, 1100, 100}, 4, 5, 0, 1.0, 90.0);
    // Reflected and turned by 180 degrees, magnified 3 times.
    aref("LEAF", {0, -800, 0}, {0, 0, 300}, 4, 3, reflect, 3.0, 180.0);
    aref("LEAF", {-50, 250, -50}, {-60, -60, 340}, 1, 1, 0, 1.0, 0.0);
    // Negative pitches; counts passed with high bits set (3 columns, 2 rows).
    aref("LEAF", {0, -900, 0}, {0, 0, -400}, high + 3, high + 2, 0, 1.0, 0.0);
    // A zero row pitch: both rows of instances in the same place.
    aref("LEAF", {0, 600, 0}, {2000, 2000, 2000}, 3, 2, 0, 1.0, 0.0);
    // A lattice that does not turn with the instances: columns along x
    // although the instances are turned by 90 degrees.
    aref("LEAF", {3000, 3900, 3000}, {0, 0, 400}, 3, 2, 0, 1.0, 90.0);
    endStructure();

    beginStructure("LATE");
    boundary({0, 10, 0}, {0, 0, 10}, 3, 1, 2);
    endStructure();
}

// A chain of SREFs 40 deep, every level turned or reflected, and a chain of
// 2 x 2 AREFs 6 deep (4096 instances of the leaf).
void writeDeepHierarchies() {
    beginStructure("DS0");
    boundary({0, 100, 100, 0}, {0, 0, 50, 50}, 4, 30, 0);
    endStructure();
    for (int level = 1; level <= 40; ++level) {
        beginStructure("DS" + std::to_string(level));
        const int strans = level % 3 == 0 ? reflect : 0;
        sref("DS" + std::to_string(level - 1), 10 * level, -5 * level, strans, 1.0,
             90.0 * (level % 4));
        endStructure();
    }
    beginStructure("DA0");
    boundary({0, 100, 100, 0}, {0, 0, 100, 100}, 4, 31, 0);
    endStructure();
    for (int level = 1; level <= 6; ++level) {
        beginStructure("DA" + std::to_string(level));
        const int pitch = 200 << (level - 1);
        aref("DA" + std::to_string(level - 1), {0, 2 * pitch, 0}, {0, 0, 2 * pitch}, 2, 2, 0,
             1.0, 0.0);
        endStructure();
    }
}

}  // namespace

// A library whose only element is a TEXT with a negative WIDTH, which some
// readers cannot take.
void writeNegativeTextWidth(const char* fileName) {
    GDS_BeginLib(fileName, 0.001, 1e-9);
    GDS_BeginStructure("TEXT_WIDTH");
    GDS_Text(0, 0, "negative width", 1, 0, 0, 0, -5, 0, 1.0, 0.0, 0, 0);
    GDS_EndStructure();
    GDS_EndLib();
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: interop-gen OUT.gds MANIFEST.json [NEGATIVE-TEXT-WIDTH.gds]\n";
        return 2;
    }
    GDS_SetTimestamp(2024, 2, 29, 23, 59, 58);
    GDS_BeginLib(argv[1], 0.001, 1e-9);
    writeBoundaries();
    writeBoxes();
    writePaths();
    writeCurves();
    writeTexts();
    writeNodes();
    writeReferences();
    writeDeepHierarchies();
    GDS_EndLib();

    if (argc == 4) writeNegativeTextWidth(argv[3]);

    std::ofstream out(argv[2]);
    manifest.write(out, 0.001, 1e-9);
    return out ? 0 : 1;
}
