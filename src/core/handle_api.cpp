// The handle API: each QuillonWriter is a writer of its own, with its own
// file, state, callback and sink, so that writers share nothing mutable.
// Every function answers the call's status and never throws.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "exports.h"
#include "reader/library_scan.h"
#include "messages.h"

struct QuillonWriter {
    quillon::GDSIIWriter writer;
};

using quillon::GDSIIWriter;

namespace {

// Runs one call on the writer of handle; a NULL handle is an argument error.
template <class Operation>
int onWriter(QuillonWriter* handle, Operation&& operation) {
    if (handle == nullptr) return QUILLON_ERROR_ARGUMENT;
    GDSIIWriter& w = handle->writer;
    return quillon::runCall(w, [&] { operation(w); });
}

// Whether the caller's options struct, of options.size bytes, holds the
// field at offset of n bytes (an older caller's struct may be shorter).
bool holds(const QuillonOptions& options, std::size_t offset, std::size_t n) {
    return options.size >= offset + n;
}

}  // namespace

QUILLON_API(void) quillon_default_options(QuillonOptions* options) {
    if (options == nullptr) return;
    *options = QuillonOptions{};
    options->size = sizeof(QuillonOptions);
    options->strict = 1;
    options->compression = -1;
    options->compact = 1;
}

QUILLON_API(QuillonWriter*) quillon_open(const char* fileName, double dbUnitInUserUnits,
                                         double dbUnitInMeters, const QuillonOptions* options,
                                         int* status) {
    QuillonOptions chosen;
    quillon_default_options(&chosen);
    if (options != nullptr) {
        // Each field the caller's struct holds replaces its default.
        const auto take = [&](std::size_t offset, std::size_t n) {
            if (holds(*options, offset, n))
                std::memcpy(reinterpret_cast<char*>(&chosen) + offset,
                            reinterpret_cast<const char*>(options) + offset, n);
        };
        take(offsetof(QuillonOptions, libraryName), sizeof chosen.libraryName);
        take(offsetof(QuillonOptions, timestamp), sizeof chosen.timestamp);
        take(offsetof(QuillonOptions, onError), sizeof chosen.onError);
        take(offsetof(QuillonOptions, userData), sizeof chosen.userData);
        take(offsetof(QuillonOptions, strict), sizeof chosen.strict);
        take(offsetof(QuillonOptions, compression), sizeof chosen.compression);
        // A caller that predates compact records gets the full records it
        // always got.
        if (!holds(*options, offsetof(QuillonOptions, compact), sizeof chosen.compact))
            chosen.compact = 0;
        take(offsetof(QuillonOptions, compact), sizeof chosen.compact);
    }

    QuillonWriter* handle = new (std::nothrow) QuillonWriter;
    if (handle == nullptr) {
        if (status != nullptr) *status = QUILLON_ERROR_MEMORY;
        // No writer to report through: the callback hears of it directly.
        if (chosen.onError != nullptr)
            chosen.onError(chosen.userData, QUILLON_ERROR_MEMORY, quillon::messages::outOfMemory);
        return nullptr;
    }
    GDSIIWriter& w = handle->writer;
    w.setThrows(false);
    w.setCallback(chosen.onError, chosen.userData);
    w.setStrict(chosen.strict != 0);
    w.setCompact(chosen.compact != 0);
    w.setHandleRules(true);
    if (!w.setCompression(chosen.compression)) {
        delete handle;
        if (status != nullptr) *status = QUILLON_ERROR_ARGUMENT;
        return nullptr;
    }
    const int* t = chosen.timestamp;
    int result = quillon::runCall(w, [&] {
        // A missing name is the caller's argument, not a file that failed.
        if (fileName == nullptr)
            w.reportRefusal(quillon::messages::fileNameNull);
        else if (w.setLibraryName(chosen.libraryName) &&
            w.setTimestamp(t[0], t[1], t[2], t[3], t[4], t[5]))
            w.beginLib(fileName, dbUnitInUserUnits, dbUnitInMeters);
    });
    // A writer whose library did not start is no use to the caller.
    const bool started = w.state().exportRunning() && w.state().isOpen();
    if (result == QUILLON_OK && !started) result = QUILLON_ERROR_IO;
    if (status != nullptr) *status = result;
    if (!started) {
        delete handle;
        return nullptr;
    }
    return handle;
}

QUILLON_API(int) quillon_close(QuillonWriter* handle) {
    if (handle == nullptr) return QUILLON_OK;
    GDSIIWriter& w = handle->writer;
    if (w.inErrorHandler()) return w.refuseReentrantCall();
    // Closing refuses nothing the file needs: a structure still open is
    // closed first, whatever the writer's mode.
    w.setStrict(true);
    w.beginCall();
    w.endLib();
    const int result = w.status();
    delete handle;
    return result;
}

QUILLON_API(const char*) quillon_last_error(const QuillonWriter* handle) {
    return handle != nullptr ? handle->writer.lastError() : "";
}

QUILLON_API(int) quillon_property(QuillonWriter* handle, int attribute, const char* value) {
    return onWriter(handle, [&](GDSIIWriter& w) { w.addProperty(attribute, value); });
}

QUILLON_API(int) quillon_include(QuillonWriter* handle, const char* fileName,
                                 const QuillonIncludeOptions* options) {
    // The fields the caller's struct holds replace the zero defaults.
    QuillonIncludeOptions chosen{};
    if (options != nullptr)
        std::memcpy(&chosen, options, std::min<std::size_t>(options->size, sizeof chosen));
    chosen.size = sizeof chosen;
    return onWriter(handle, [&](GDSIIWriter& w) { w.include(fileName, chosen); });
}

QUILLON_API(int) quillon_begin_structure(QuillonWriter* handle, const char* name) {
    return onWriter(handle, [&](GDSIIWriter& w) { w.beginStructure(name); });
}

QUILLON_API(int) quillon_end_structure(QuillonWriter* handle) {
    return onWriter(handle, [&](GDSIIWriter& w) { w.endStructure(); });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) quillon_box(QuillonWriter* handle, int x1, int y1, int x2, int y2, int layer,
                             int boxType, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeBox(x1, y1, x2, y2, layer, boxType, elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) quillon_box_wh(QuillonWriter* handle, int x, int y, int width, int height,
                                int layer, int boxType, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeBoxWH(x, y, width, height, layer, boxType, elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) quillon_square(QuillonWriter* handle, int x, int y, int side, int layer,
                                int boxType, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeBoxWH(x, y, side, side, layer, boxType, elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) quillon_boundary(QuillonWriter* handle, const int* xs, const int* ys,
                                  int count, int layer, int dataType, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeBoundary(xs, ys, count, layer, dataType, elFlags, plex);
    });
}

QUILLON_API(int) quillon_polygon(QuillonWriter* handle, const int* xs, const int* ys,
                                 int count, int layer, int dataType, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writePolygon(xs, ys, count, layer, dataType, elFlags, plex);
    });
}

QUILLON_API(int) quillon_polygon_rings(QuillonWriter* handle, const int* xs, const int* ys,
                                       const int* ringCounts, int ringTotal, int layer,
                                       int dataType, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writePolygonRings(xs, ys, ringCounts, ringTotal, layer, dataType, elFlags, plex);
    });
}

QUILLON_API(int) quillon_set_polygon_limit(QuillonWriter* handle, int limit) {
    return onWriter(handle, [&](GDSIIWriter& w) { w.setPolygonLimit(limit); });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) quillon_path(QuillonWriter* handle, const int* xs, const int* ys, int count,
                              int width, int layer, int dataType, int pathType, int elFlags,
                              int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writePath(xs, ys, count, width, layer, dataType, pathType, elFlags, plex);
    });
}

QUILLON_API(int) quillon_circle(QuillonWriter* handle, int centerX, int centerY, int radius,
                                int count, int layer, int dataType, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeCircle(centerX, centerY, radius, count, layer, dataType, elFlags, plex);
    });
}

QUILLON_API(int) quillon_sector(QuillonWriter* handle, int centerX, int centerY, int radius,
                                double startAngle, double endAngle, int count, int layer,
                                int dataType, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeSector(centerX, centerY, radius, startAngle, endAngle, count, layer, dataType,
                      elFlags, plex);
    });
}

QUILLON_API(int) quillon_arc(QuillonWriter* handle, int centerX, int centerY, int radius,
                             double startAngle, double endAngle, int count, int width,
                             int layer, int dataType, int pathType, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeArc(centerX, centerY, radius, startAngle, endAngle, count, width, layer,
                   dataType, pathType, elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) quillon_sref(QuillonWriter* handle, const char* structName, int x, int y,
                              int strans, double mag, double angle, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeSref(structName, x, y, strans, mag, angle, elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) quillon_aref(QuillonWriter* handle, const char* structName, const int* xs,
                              const int* ys, int columns, int rows, int strans, double mag,
                              double angle, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeAref(structName, xs, ys, columns, rows, strans, mag, angle, elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) quillon_text(QuillonWriter* handle, int x, int y, const char* text, int layer,
                              int textType, int presentation, int pathType, int width,
                              int strans, double mag, double angle, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeText(x, y, text, layer, textType, presentation, pathType, width, strans, mag,
                    angle, elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) quillon_node(QuillonWriter* handle, const int* xs, const int* ys, int count,
                              int layer, int nodeType, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeNode(xs, ys, count, layer, nodeType, elFlags, plex);
    });
}

QUILLON_API(int) quillon_ellipse(QuillonWriter* handle, int centerX, int centerY, int radiusX,
                                 int radiusY, int innerRadiusX, int innerRadiusY,
                                 double startAngle, double endAngle, double tolerance,
                                 int layer, int dataType, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeEllipse(centerX, centerY, radiusX, radiusY, innerRadiusX, innerRadiusY,
                       startAngle, endAngle, tolerance, layer, dataType, elFlags, plex);
    });
}

QUILLON_API(int) quillon_path_ex(QuillonWriter* handle, const int* xs, const int* ys, int count,
                                 int width, int pathType, int beginExtension, int endExtension,
                                 int bendRadius, double tolerance, int layer, int dataType,
                                 int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writePathEx(xs, ys, count, width, pathType, beginExtension, endExtension, bendRadius,
                      tolerance, layer, dataType, elFlags, plex);
    });
}

QUILLON_API(int) quillon_text_polygons(QuillonWriter* handle, const char* text, int x, int y,
                                       int height, int anchor, double angle, int layer,
                                       int dataType) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeTextPolygons(text, x, y, height, anchor, angle, layer, dataType);
    });
}

QUILLON_API(int) quillon_arc_path(QuillonWriter* handle, int centerX, int centerY, int radius,
                                  double startAngle, double endAngle, double tolerance,
                                  int width, int pathType, int beginExtension, int endExtension,
                                  int layer, int dataType, int elFlags, int plex) {
    return onWriter(handle, [&](GDSIIWriter& w) {
        w.writeArcPath(centerX, centerY, radius, startAngle, endAngle, tolerance, width,
                       pathType, beginExtension, endExtension, layer, dataType, elFlags, plex);
    });
}

QUILLON_API(int) quillon_scan(const char* fileName, const QuillonScanCallbacks* callbacks) {
    QuillonScanCallbacks chosen{};
    if (callbacks != nullptr)
        std::memcpy(&chosen, callbacks, std::min<std::size_t>(callbacks->size, sizeof chosen));
    const auto refuse = [&](int status, long long offset, const std::string& detail) {
        if (chosen.onFault != nullptr) chosen.onFault(chosen.userData, offset, detail.c_str());
        return status;
    };
    if (fileName == nullptr) return refuse(QUILLON_ERROR_ARGUMENT, -1, "file name is NULL");
    try {
        quillon::reader::FileSource source;
        if (!source.open(fileName))
            return refuse(QUILLON_ERROR_IO, -1, std::string("cannot open ") + fileName);
        quillon::reader::LibraryScan scan;
        if (const auto error = quillon::reader::scanLibrary(source, scan)) {
            return refuse(QUILLON_ERROR_ARGUMENT, static_cast<long long>(error->offset),
                          error->inSource ? error->message : quillon::reader::describe(*error));
        }
        if (chosen.onUnits != nullptr)
            chosen.onUnits(chosen.userData, scan.dbUnitInUserUnits, scan.dbUnitInMeters);
        if (chosen.onStructure == nullptr) return QUILLON_OK;
        std::vector<const char*> references;
        for (std::size_t i = 0; i < scan.structures.size(); ++i) {
            const quillon::reader::StructureInfo& structure = scan.structures[i];
            references.clear();
            for (const std::string& target : structure.references) references.push_back(target.c_str());
            references.push_back(nullptr);
            chosen.onStructure(chosen.userData, structure.name.c_str(), scan.top[i],
                               static_cast<int>(structure.references.size()), references.data());
        }
        return QUILLON_OK;
    } catch (const std::bad_alloc&) {
        return refuse(QUILLON_ERROR_MEMORY, -1, "out of memory");
    }
}
