// quillon-demo [OUT.gds]: writes a small showcase chip through every
// exported function of Quillon and prints a summary of the file it wrote.
//
// The chip, in micrometres on a nanometre grid: a 500 x 500 die with a seal
// ring, sixteen bond pads arrayed along the four sides (rotated arrays), a
// core of standard-cell rows (alternate rows reflected, one cell mirrored),
// power rings and routing paths of all three path types, a spiral inductor,
// a logo of circles, sectors and arcs, alignment marks in the corners and
// labels on the pads.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "record_reader.h"
#include "gds_summary.h"
#include "quillon.h"

namespace {

// Layers.
enum Layer {
    nwell = 1,
    active = 2,
    poly = 3,
    contact = 4,
    metal1 = 5,
    via1 = 6,
    metal2 = 7,
    padOpening = 8,
    outline = 10,
    logo = 20,
    logoSlice = 21,
    labels = 63,
};

// STRANS and PRESENTATION words.
constexpr int reflect = 0x8000;
constexpr int middleCentre = 0x0005;  // vertical middle, horizontal centre
constexpr int bottomLeft = 0x0008;

// Micrometres to database units (nanometres).
int um(double value) { return static_cast<int>(std::lround(value * 1000.0)); }

int errors = 0;

int QUILLON_CALL reportError(const char* message) {
    ++errors;
    std::cerr << "quillon-demo: " << message << '\n';
    return 0;
}

void box(double x1, double y1, double x2, double y2, int layer) {
    GDS_Box(um(x1), um(y1), um(x2), um(y2), layer, 0, 0, 0);
}

void polygon(const std::vector<double>& xy, int layer) {
    std::vector<int> xs, ys;
    for (std::size_t i = 0; i + 1 < xy.size(); i += 2) {
        xs.push_back(um(xy[i]));
        ys.push_back(um(xy[i + 1]));
    }
    GDS_Boundary(xs.data(), ys.data(), static_cast<int>(xs.size()), layer, 0, 0, 0);
}

void path(const std::vector<double>& xy, double width, int layer, int pathType) {
    std::vector<int> xs, ys;
    for (std::size_t i = 0; i + 1 < xy.size(); i += 2) {
        xs.push_back(um(xy[i]));
        ys.push_back(um(xy[i + 1]));
    }
    GDS_Path(xs.data(), ys.data(), static_cast<int>(xs.size()), um(width), layer, 0, pathType, 0,
             0);
}

void label(double x, double y, const char* text, int presentation, double mag, double angle) {
    GDS_Text(um(x), um(y), text, labels, 0, presentation, 0, 0, 0, mag, angle, 0, 0);
}

void sref(const char* name, double x, double y, int strans, double mag, double angle) {
    GDS_Sref(name, um(x), um(y), strans, mag, angle, 0, 0);
}

// An array of columns x rows instances from (x, y) with pitches along the
// two lattice vectors (colX, colY) and (rowX, rowY).
void aref(const char* name, int columns, int rows, double x, double y, double colX, double colY,
          double rowX, double rowY, int strans, double mag, double angle) {
    const int xs[3] = {um(x), um(x + columns * colX), um(x + rows * rowX)};
    const int ys[3] = {um(y), um(y + columns * colY), um(y + rows * rowY)};
    GDS_Aref(name, xs, ys, columns, rows, strans, mag, angle, 0, 0);
}

// Contact and via cuts, 1 x 1 and 2 x 2 um.
void writeCuts() {
    GDS_BeginStructure("CONTACT");
    GDS_Square(0, 0, um(1), contact, 0, 0, 0);
    GDS_EndStructure();

    GDS_BeginStructure("VIA1");
    GDS_BoxWH(um(-0.5), um(-0.5), um(3), um(3), metal1, 0, 0, 0);
    GDS_Square(0, 0, um(2), via1, 0, 0, 0);
    GDS_BoxWH(um(-0.5), um(-0.5), um(3), um(3), metal2, 0, 0, 0);
    GDS_EndStructure();
}

// An inverter, 10 um wide and 30 um tall, rails at the bottom (VSS) and top
// (VDD), input A on the left, output Y on the right.
void writeInverter() {
    GDS_BeginStructure("INV");
    box(-1, 15, 11, 31, nwell);
    box(1.5, 3, 8.5, 11, active);   // n diffusion
    box(1.5, 18, 8.5, 27, active);  // p diffusion
    path({5, 1.5, 5, 14.5, 2.5, 14.5, 2.5, 16, 5, 16, 5, 28.5}, 1, poly, 0);
    box(0, 0, 10, 2.5, metal1);   // VSS rail
    box(0, 27.5, 10, 30, metal1);  // VDD rail
    aref("CONTACT", 1, 3, 2.5, 4.5, 2, 0, 0, 2, 0, 1.0, 0.0);
    aref("CONTACT", 1, 3, 2.5, 19.5, 2, 0, 0, 2, 0, 1.0, 0.0);
    aref("CONTACT", 1, 4, 6.5, 4, 2, 0, 0, 2, 0, 1.0, 0.0);
    aref("CONTACT", 1, 4, 6.5, 19, 2, 0, 0, 2, 0, 1.0, 0.0);
    path({3, 2.5, 3, 10}, 2, metal1, 0);
    path({3, 20, 3, 27.5}, 2, metal1, 0);
    polygon({6, 3.5, 8, 3.5, 8, 13, 9, 13, 9, 17, 8, 17, 8, 27, 6, 27, 6, 17.5, 7, 17.5, 7, 12.5, 6,
             12.5},
            metal1);
    label(8.5, 15, "Y", middleCentre, 2.5, 0.0);
    label(2.5, 15.25, "A", middleCentre, 2.5, 0.0);
    const int nodeX[2] = {um(8.5), um(2.5)};
    const int nodeY[2] = {um(15), um(15.25)};
    GDS_Node(nodeX, nodeY, 2, metal1, 0, 0, 0);
    GDS_EndStructure();
}

// A two-input NAND gate, 15 um wide.
void writeNand() {
    GDS_BeginStructure("NAND2");
    box(-1, 15, 16, 31, nwell);
    box(1.5, 3, 13.5, 11, active);
    box(1.5, 18, 13.5, 27, active);
    path({5, 1.5, 5, 28.5}, 1, poly, 0);
    path({10, 1.5, 10, 28.5}, 1, poly, 0);
    box(0, 0, 15, 2.5, metal1);
    box(0, 27.5, 15, 30, metal1);
    aref("CONTACT", 1, 3, 2.5, 4.5, 2, 0, 0, 2, 0, 1.0, 0.0);
    aref("CONTACT", 3, 1, 2.5, 20, 5, 0, 0, 2, 0, 1.0, 0.0);
    aref("CONTACT", 1, 3, 11.5, 4.5, 2, 0, 0, 2, 0, 1.0, 0.0);
    path({3, 2.5, 3, 10}, 2, metal1, 0);
    path({3, 21, 3, 27.5}, 2, metal1, 0);
    path({13, 27.5, 13, 21}, 2, metal1, 0);
    path({8, 21, 8, 14, 12, 14, 12, 5}, 1.5, metal1, 1);
    label(8, 14, "Y", middleCentre, 2.5, 0.0);
    GDS_EndStructure();
}

// One row of standard cells, 180 um long: inverters in an array, NAND gates
// and a mirrored inverter at the end.
void writeRow() {
    GDS_BeginStructure("ROW");
    aref("INV", 4, 1, 0, 0, 10, 0, 0, 30, 0, 1.0, 0.0);
    for (int i = 0; i < 5; ++i) sref("NAND2", 40 + 15 * i, 0, 0, 1.0, 0.0);
    aref("INV", 6, 1, 115, 0, 10, 0, 0, 30, 0, 1.0, 0.0);
    // Mirrored about the y axis: reflect about x, then rotate by 180.
    sref("INV", 185, 0, reflect, 1.0, 180.0);
    GDS_EndStructure();
}

// A bond pad, 60 x 60 um, with a via field between its two metals.
void writePad() {
    GDS_BeginStructure("PAD");
    GDS_Square(0, 0, um(60), metal2, 0, 0, 0);
    GDS_Square(0, 0, um(60), metal1, 0, 0, 0);
    GDS_BoxWH(um(6), um(6), um(48), um(48), padOpening, 0, 0, 0);
    aref("VIA1", 6, 6, 3.5, 3.5, 10, 0, 0, 10, 0, 1.0, 0.0);
    GDS_EndStructure();
}

// An alignment mark: a cross and an L-shaped corner.
void writeMark() {
    GDS_BeginStructure("MARK");
    box(-1, -8, 1, 8, metal2);
    box(-8, -1, 8, 1, metal2);
    polygon({4, 4, 10, 4, 10, 5.5, 5.5, 5.5, 5.5, 10, 4, 10}, metal1);
    GDS_EndStructure();
}

// The logo: a disc with pie slices, concentric arcs and the name.
void writeLogo() {
    GDS_BeginStructure("LOGO");
    GDS_Circle(0, 0, um(26), 96, logo, 0, 0, 0);
    GDS_Sector(0, 0, um(22), 0.0, 132.0, 48, logoSlice, 0, 0, 0);
    GDS_Sector(0, 0, um(22), 130.0, 230.0, 40, logoSlice + 1, 0, 0, 0);
    GDS_Sector(0, 0, um(22), 225.0, 375.0, 56, logoSlice + 2, 0, 0, 0);
    GDS_Circle(0, 0, um(6), 32, logo, 0, 0, 0);
    GDS_Arc(0, 0, um(31), 10.0, 170.0, 64, um(2), metal2, 0, 1, 0, 0);
    GDS_Arc(0, 0, um(31), 190.0, 350.0, 64, um(2), metal2, 0, 1, 0, 0);
    GDS_Arc(0, 0, um(35), 200.0, 340.0, 48, um(1), metal1, 0, 0, 0, 0);
    label(0, -42, "QUILLON", middleCentre, 9.0, 0.0);
    GDS_EndStructure();
}

// A square spiral inductor would be plain; this one is round, drawn as one
// polyline of 320 points, which the library splits into PATH elements of at
// most 200 points.
void writeInductor() {
    GDS_BeginStructure("INDUCTOR");
    std::vector<int> xs, ys;
    const double pi = std::acos(-1.0);
    for (int i = 0; i < 320; ++i) {
        const double turn = i / 80.0;  // four turns
        const double radius = 38.0 - 7.0 * turn;
        xs.push_back(um(radius * std::cos(2 * pi * turn)));
        ys.push_back(um(radius * std::sin(2 * pi * turn)));
    }
    GDS_Path(xs.data(), ys.data(), static_cast<int>(xs.size()), um(3), metal2, 0, 0, 0, 0);
    path({38, 0, 48, 0}, 3, metal2, 2);
    path({10, 0, 10, -44, 48, -44}, 3, metal1, 2);
    sref("VIA1", 9, -1, 0, 1.0, 0.0);
    label(48, 2, "L1", bottomLeft, 8.0, 0.0);
    GDS_EndStructure();
}

void writeTop() {
    GDS_BeginStructure("CHIP");
    // Seal ring: one polygon with a cut line from the outer to the inner edge.
    polygon({0, 0, 500, 0, 500, 500, 0, 500, 0, 6, 6, 6, 6, 494, 494, 494, 494, 6, 0, 6}, outline);

    // Pads: four per side, each side an array rotated to face the core. The
    // lattice turns with the instances: columns run along the pad's own x.
    aref("PAD", 4, 1, 70, 15, 90, 0, 0, 90, 0, 1.0, 0.0);
    aref("PAD", 4, 1, 485, 70, 0, 90, -90, 0, 0, 1.0, 90.0);
    aref("PAD", 4, 1, 430, 485, -90, 0, 0, -90, 0, 1.0, 180.0);
    aref("PAD", 4, 1, 15, 430, 0, -90, 90, 0, 0, 1.0, 270.0);
    const char* const padNames[16] = {"VSS", "IN0", "IN1", "CLK", "VDD", "OUT0", "OUT1", "RF",
                                      "VSS", "IN2", "IN3", "RST", "VDD", "OUT2", "OUT3", "TEST"};
    for (int i = 0; i < 4; ++i) {
        label(100 + 90 * i, 45, padNames[i], middleCentre, 9.0, 0.0);
        label(455, 100 + 90 * i, padNames[4 + i], middleCentre, 9.0, 90.0);
        label(400 - 90 * i, 455, padNames[8 + i], middleCentre, 9.0, 0.0);
        label(45, 400 - 90 * i, padNames[12 + i], middleCentre, 9.0, 270.0);
    }

    // Power rings around the core: VDD outside on metal2, VSS inside on metal1.
    path({110, 100, 300, 100, 300, 380, 110, 380, 110, 100}, 6, metal2, 2);
    path({118, 108, 292, 108, 292, 372, 118, 372, 118, 108}, 4, metal1, 2);

    // Core: eight rows of 30 um, alternate rows reflected so that rails share.
    for (int row = 0; row < 8; ++row) {
        if (row % 2 == 0) {
            sref("ROW", 120, 120 + 30 * row, 0, 1.0, 0.0);
        } else {
            sref("ROW", 120, 150 + 30 * row, reflect, 1.0, 0.0);
        }
    }

    // Routing from the pads to the rings and the core, in all three path types.
    path({100, 75, 100, 97}, 8, metal2, 0);               // VSS: flush ends
    path({190, 75, 190, 90, 150, 90, 150, 110}, 4, metal1, 1);  // IN0: round ends
    path({280, 75, 280, 88, 240, 88, 240, 110}, 4, metal1, 1);
    path({370, 75, 370, 92, 330, 92, 330, 117}, 3, metal2, 2);  // CLK: extended ends
    path({425, 100, 303, 100}, 8, metal2, 0);               // VDD
    path({425, 190, 370, 190, 370, 150}, 4, metal1, 1);
    path({425, 280, 400, 280}, 4, metal1, 1);
    path({425, 370, 350, 370, 350, 330}, 3, metal2, 2);
    path({400, 425, 400, 400, 280, 400, 280, 383}, 8, metal2, 0);
    path({310, 425, 310, 410, 200, 410, 200, 383}, 4, metal1, 1);
    path({220, 425, 220, 415, 160, 415, 160, 383}, 4, metal1, 1);
    path({130, 425, 130, 390}, 3, metal2, 2);
    path({75, 400, 107, 400, 107, 383}, 8, metal2, 0);
    path({75, 310, 100, 310, 100, 300, 115, 300}, 4, metal1, 1);
    path({75, 220, 115, 220}, 4, metal1, 1);
    path({75, 130, 95, 130, 95, 104}, 3, metal2, 2);

    // Analog corner: the inductor and the logo, and a filler field rotated
    // by 45 degrees and magnified.
    sref("INDUCTOR", 350, 315, 0, 1.0, 0.0);
    sref("LOGO", 350, 185, 0, 1.0, 0.0);
    const double diagonal = 9.0;  // 12.7 um along the diagonal, on the grid
    aref("MARK", 5, 1, 412, 24, diagonal, diagonal, -diagonal, diagonal, 0, 0.6, 45.0);
    aref("MARK", 5, 1, 316, 250, 14, 0, 0, 14, reflect, 0.6, 0.0);

    // Alignment marks in the corners, each turned to face inwards; the last
    // one also reflected.
    sref("MARK", 20, 20, 0, 1.0, 0.0);
    sref("MARK", 480, 20, 0, 1.0, 90.0);
    sref("MARK", 480, 480, 0, 1.0, 180.0);
    sref("MARK", 20, 480, reflect, 1.0, 0.0);

    label(150, 84, "quillon demo 1.0", bottomLeft, 6.0, 0.0);
    GDS_EndStructure();
}

int printSummary(const char* fileName) {
    std::ifstream file(fileName, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    quillon::reader::Summary summary;
    const auto error = quillon::reader::readRecords(
        bytes.data(), bytes.size(), [&](const quillon::reader::Record& record) { summary.record(record); });
    std::cout << "quillon-demo: wrote " << fileName << '\n';
    summary.write(std::cout);
    if (error) {
        std::cerr << "quillon-demo: " << fileName << ": " << quillon::reader::describe(*error) << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::cerr << "usage: quillon-demo [OUT.gds]\n";
        return 2;
    }
    const char* fileName = argc == 2 ? argv[1] : "demo.gds";

    SetErrorHandle(reportError);
    // A fixed time stamp keeps the file the same from run to run.
    GDS_SetTimestamp(2024, 1, 1, 12, 0, 0);
    GDS_BeginLib(fileName, 0.001, 1e-9);
    writeCuts();
    writeInverter();
    writeNand();
    writeRow();
    writePad();
    writeMark();
    writeLogo();
    writeInductor();
    writeTop();
    GDS_EndLib();

    if (errors != 0) {
        std::cerr << "quillon-demo: " << errors << " errors reported\n";
        return 1;
    }
    return printSummary(fileName);
}
