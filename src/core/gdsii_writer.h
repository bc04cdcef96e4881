// The one writer object of the process. Every exported function forwards its
// arguments unchanged to one operation here. Each operation first makes its
// checks, reporting each failure through file.reportError (which either
// returns, when the host installed a handler, or throws), and then writes
// its records field by field through out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "byte_sink.h"
#include "gdsii_file.h"
#include "messages.h"
#include "platform.h"

namespace quillon {

using Timestamp = std::array<std::uint8_t, 24>;

class GDSIIWriter {
public:
    GDSIIWriter();
    virtual ~GDSIIWriter();
    GDSIIWriter(const GDSIIWriter&) = delete;
    GDSIIWriter& operator=(const GDSIIWriter&) = delete;

    ErrorHandler setErrorHandler(ErrorHandler handler);

    // Library and structure framing.
    void beginLib(const char* fileName, double dbUnitInUserUnits, double dbUnitInMeters);
    void endLib();
    void beginStructure(const char* name);
    void endStructure();

    // Elements.
    void writeBox(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                  std::int32_t layer, std::int32_t boxType, std::int32_t elFlags,
                  std::int32_t plex);
    void writeBoundary(const std::int32_t* xs, const std::int32_t* ys, std::int32_t count,
                       std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                       std::int32_t plex);
    std::int32_t writePath(const std::int32_t* xs, const std::int32_t* ys, std::int32_t count,
                           std::int32_t width, std::int32_t layer, std::int32_t dataType,
                           std::int32_t pathType, std::int32_t elFlags, std::int32_t plex);
    void writeCircle(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                     std::int32_t count, std::int32_t layer, std::int32_t dataType,
                     std::int32_t elFlags, std::int32_t plex);
    void writeSector(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                     double startAngle, double endAngle, std::int32_t count,
                     std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                     std::int32_t plex);
    void writeArc(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                  double startAngle, double endAngle, std::int32_t count, std::int32_t width,
                  std::int32_t layer, std::int32_t dataType, std::int32_t pathType,
                  std::int32_t elFlags, std::int32_t plex);
    void writeSref(const char* structName, std::int32_t x, std::int32_t y, std::int32_t strans,
                   double mag, double angle, std::int32_t elFlags, std::int32_t plex);
    void writeAref(const char* structName, const std::int32_t* xs, const std::int32_t* ys,
                   std::int32_t columns, std::int32_t rows, std::int32_t strans, double mag,
                   double angle, std::int32_t elFlags, std::int32_t plex);
    void writeText(std::int32_t x, std::int32_t y, const char* text, std::int32_t layer,
                   std::int32_t textType, std::int32_t presentation, std::int32_t pathType,
                   std::int32_t width, std::int32_t strans, double mag, double angle,
                   std::int32_t elFlags, std::int32_t plex);
    void writeNode(const std::int32_t* xs, const std::int32_t* ys, std::int32_t count,
                   std::int32_t layer, std::int32_t nodeType, std::int32_t elFlags,
                   std::int32_t plex);

    // Time stamps: the fixed time set here, or the local clock.
    bool setTimestamp(int year, int month, int day, int hour, int minute, int second);
    Timestamp makeTimestamp() const;

    // Flushes and closes a file that the host never finished, so that what
    // it wrote is kept when the library is unloaded.
    void closeOnUnload();

    GDSIIFile file;
    ByteSink out;

private:
    // Reports "Error: Structure is not opened." unless a structure is open.
    void checkStructureOpen() const {
        if (!file.structureOpen) file.reportError(messages::structureNotOpened);
    }
    // Reports "Error: Point array is NULL." and answers false when either
    // array is missing.
    bool checkPointArrays(const std::int32_t* xs, const std::int32_t* ys) const;
    // Reports and answers false for a NULL or over-long structure name;
    // otherwise sets length to the name's length.
    bool checkStructureName(const char* name, std::size_t& length) const;

    bool clockFixed = false;
    ClockReading fixedTime{};
};

// A point count as the 16-bit record fields read it: the low 16 bits of the
// argument, signed.
inline std::int32_t pointCount(std::int32_t count) { return static_cast<std::int16_t>(count); }

}  // namespace quillon
