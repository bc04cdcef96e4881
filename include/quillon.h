/* quillon.h -- interface of the Quillon GDSII Stream writer

  Quillon writes one GDSII Stream file (format version 3) at a time, record by
  record, as the calls arrive: it keeps no model of the layout, so memory use
  does not grow with the file. A host drives it through the flat functions
  below, in this order:

      SetErrorHandle(handler);                        optional, at any time
      GDS_BeginLib("chip.gds", 0.001, 1e-9);          once per file
        GDS_BeginStructure("TOP");                    any number of cells...
          GDS_Box(0, 0, 1000, 500, 1, 0, 0, 0);       ...holding any elements
        GDS_EndStructure();
      GDS_EndLib();                                   writes ENDLIB, closes

  Units. Coordinates, widths and radii are 32-bit integers in database units
  and are written unchanged. Angles are doubles in degrees, counter-clockwise.

  16-bit fields. Layer, datatype, text type, box type, node type, path type,
  presentation, STRANS, ELFLAGS, column and row counts, and point counts each
  arrive in a 32-bit int but only the low 16 bits are used (65541 is written
  as 5). Point counts are read as signed 16-bit numbers, so a count whose low
  half is 40000 is negative. PLEX, coordinates and widths use all 32 bits.

  Point lists are two parallel arrays, xs then ys: point i is (xs[i], ys[i]).
  The library reads them during the call only.

  Errors. Every check reports its message (the exact texts are listed at the
  end of this file; hosts match on them). With a handler installed, the
  handler receives the message and the call then carries on as documented;
  without one, a C++ GDSIIException carrying the message is thrown out of the
  function. All checks of a call come before its first record, so a throw
  never leaves half an element in the file.

  Threads. The library starts no thread and takes no lock: call it from one
  thread at a time. One file is written at a time per process.

  Windows. Quillon.dll exports every function below by its plain, undecorated
  name at a fixed ordinal, with the stdcall convention on 32-bit Windows (the
  callee removes its arguments). The ordinals are those of src/core/quillon.def
  and never change.
*/

#ifndef QUILLON_H
#define QUILLON_H

/* QUILLON_CALL: the calling convention of every exported function and of the
   error handler. QUILLON_EXPORT: marks the functions exported from the
   library (defined QUILLON_BUILD while building the library itself). */
#if defined(_WIN32)
#  if defined(_M_IX86) || defined(__i386__)
#    define QUILLON_CALL __stdcall
#  else
#    define QUILLON_CALL
#  endif
#  if defined(QUILLON_BUILD) || defined(QUILLON_STATIC)
     /* The DLL's exports are those of quillon.def alone, by plain name and
        fixed ordinal: a dllexport here would add the decorated names. */
#    define QUILLON_EXPORT
#  else
#    define QUILLON_EXPORT __declspec(dllimport)
#  endif
#  define QUILLON_CLASS_EXPORT
#else
#  define QUILLON_CALL
#  define QUILLON_EXPORT __attribute__((visibility("default")))
#  define QUILLON_CLASS_EXPORT __attribute__((visibility("default")))
#endif

/* QUILLON_API(type): an exported function returning type. */
#define QUILLON_API(type) QUILLON_EXPORT type QUILLON_CALL

#ifdef __cplusplus
extern "C" {
#endif

/* The error callback. It receives one of the library's constant message
   texts (valid for the life of the process); its return value is ignored. */
typedef int (QUILLON_CALL *ErrorHandler)(const char* message);

/* Installs handler for every later error report, replacing any earlier one;
   NULL removes it, so that later errors throw GDSIIException. Allowed in any
   state. Returns the pointer it was given, not the previous handler. */
QUILLON_API(ErrorHandler) SetErrorHandle(ErrorHandler handler);

/* ------------------------------------------------------------------------ */
/* Library and structure framing                                           */

/* Creates (or truncates) fileName and writes HEADER (version 3), BGNLIB with
   the current time, LIBNAME (fileName exactly as passed) and UNITS: the size
   of a database unit in user units, then in metres (0.001 and 1e-9 for a
   nanometre grid in micrometres). Reports "Error: Cannot start another export
   process." and does nothing else while a library is open; reports "Error:
   Cannot open GDSII file." when the file cannot be created. */
QUILLON_API(int) GDS_BeginLib(const char* fileName, double dbUnitInUserUnits,
                              double dbUnitInMeters);

/* Writes ENDLIB, flushes and closes the file and forgets the structure names
   of the library. Reports "Error: Process is already stoped." when no library
   is open, "Error: Structure is not closed." when a structure is, and, after
   finishing, "Error: Cannot write GDSII file." when any byte of the file
   could not be written (a full disk, for instance). */
QUILLON_API(int) GDS_EndLib(void);

/* Opens a structure (cell) named name: writes BGNSTR with the current time
   and STRNAME. Names are case-sensitive and unique per library: a repeated
   name reports "Error: Structure with this name is already inserted.".
   Structures do not nest. */
QUILLON_API(int) GDS_BeginStructure(const char* name);

/* Writes ENDSTR and closes the open structure; reports "Error: Structure is
   not opened." when there is none. */
QUILLON_API(int) GDS_EndStructure(void);

/* ------------------------------------------------------------------------ */
/* Elements. Each writes one element into the open structure, starting with
   its ELFLAGS (elFlags) and PLEX (plex) records and ending with ENDEL, and
   reports "Error: Structure is not opened." when no structure is open.      */

/* PATH: a polyline of count points (at least 2) drawn with width and
   pathType (0 flush, 1 round, 2 half-width extension). A polyline of at
   most 200 points is one PATH element. A longer one loses its repeated
   consecutive points and is written as PATH elements of at most 200 points
   that overlap by one segment: each piece starts at the second-to-last
   point of the one before, so every joint keeps its mitred join inside one
   piece. Ends made by the split add nothing: types 2 and 4 are written as
   type 4 with BGNEXTN/ENDEXTN, the polyline's own extension (half the width
   for type 2, 0 for type 4) at its two ends and 0 at split ends; type 0
   stays flush; type 1 stays round and is split where the overlapping
   segment's joints turn by at most 90 degrees and the segments beyond are
   at least half the width long, so the caps lie inside the neighbouring
   piece. Returns count as read (the signed low 16 bits). */
QUILLON_API(int) GDS_Path(const int* xs, const int* ys, int count, int width,
                          int layer, int dataType, int pathType, int elFlags,
                          int plex);

/* An arc as a PATH of count points (3 to 199) on the circle around
   (centerX, centerY), from startAngle in count steps of
   (endAngle - startAngle) / count: the last point lies one step short of
   endAngle. Coordinates are truncated toward zero. */
QUILLON_API(int) GDS_Arc(int centerX, int centerY, int radius,
                         double startAngle, double endAngle, int count,
                         int width, int layer, int dataType, int pathType,
                         int elFlags, int plex);

/* BOUNDARY: a filled polygon of count vertices (3 to 199), each given once;
   the closing point is appended by the library. */
QUILLON_API(int) GDS_Boundary(const int* xs, const int* ys, int count,
                              int layer, int dataType, int elFlags, int plex);

/* A circle as a BOUNDARY of count points (3 to 199), counter-clockwise from
   (centerX + radius, centerY). Coordinates are truncated toward zero. */
QUILLON_API(int) GDS_Circle(int centerX, int centerY, int radius, int count,
                            int layer, int dataType, int elFlags, int plex);

/* A pie slice as a BOUNDARY of count points (3 to 199): the centre, then
   count - 1 points from startAngle in steps of (endAngle - startAngle) /
   count, so the slice covers (count - 2) / count of the sweep. */
QUILLON_API(int) GDS_Sector(int centerX, int centerY, int radius,
                            double startAngle, double endAngle, int count,
                            int layer, int dataType, int elFlags, int plex);

/* BOX with corners (x1, y1) and (x2, y2), written in the order passed
   (never sorted) as a closed five-point XY record. */
QUILLON_API(int) GDS_Box(int x1, int y1, int x2, int y2, int layer,
                         int boxType, int elFlags, int plex);

/* BOX from corner (x, y) to (x + width, y + height). */
QUILLON_API(int) GDS_BoxWH(int x, int y, int width, int height, int layer,
                           int boxType, int elFlags, int plex);

/* BOX from corner (x, y) to (x + side, y + side). */
QUILLON_API(int) GDS_Square(int x, int y, int side, int layer, int boxType,
                            int elFlags, int plex);

/* SREF: one instance of structure structName at (x, y), with STRANS flags
   strans (0x8000 reflects about the x axis before rotation), magnification
   mag and rotation angle in degrees. STRANS, MAG and ANGLE are always
   written. The name need not exist (yet) in the library. */
QUILLON_API(int) GDS_Sref(const char* structName, int x, int y, int strans,
                          double mag, double angle, int elFlags, int plex);

/* AREF: columns x rows instances of structName. xs and ys hold three points:
   the origin, the origin displaced by columns column pitches, and the origin
   displaced by rows row pitches. */
QUILLON_API(int) GDS_Aref(const char* structName, const int* xs,
                          const int* ys, int columns, int rows, int strans,
                          double mag, double angle, int elFlags, int plex);

/* TEXT: the label text (at most 512 characters) at (x, y). textType must lie
   in 0 to 255. presentation holds font (bits 0x30), vertical (0x0C) and
   horizontal (0x03) justification. Reports "errStringIsNULL",
   "errStringSizeIsOver" and "errTextTypeLimit". */
QUILLON_API(int) GDS_Text(int x, int y, const char* text, int layer,
                          int textType, int presentation, int pathType,
                          int width, int strans, double mag, double angle,
                          int elFlags, int plex);

/* NODE: an electrical net node of count points (1 to 50), not closed. */
QUILLON_API(int) GDS_Node(const int* xs, const int* ys, int count, int layer,
                          int nodeType, int elFlags, int plex);

/* ------------------------------------------------------------------------ */
/* Extension                                                                */

/* Fixes the time stamp of every later BGNLIB and BGNSTR, for reproducible
   files: year (1900 to 34667), month (0 to 12), day (0 to 31), hour (0 to
   23), minute and second (0 to 59). GDS_SetTimestamp(0, 0, 0, 0, 0, 0)
   returns to the local clock. Out-of-range fields report "Error: Timestamp is
   out of range." and change nothing. Survives GDS_EndLib. Returns 1 when the
   stamp was taken, 0 when it was refused. */
QUILLON_API(int) GDS_SetTimestamp(int year, int month, int day, int hour,
                                  int minute, int second);

#ifdef __cplusplus
}  /* extern "C" */

#include <string>

/* Thrown out of the exported functions when no error handler is installed.
   It is copyable, carries one of the message texts below in message, and
   has no base class: catch it by this type (or with catch (...)). A C++ host
   of Quillon.dll must be built with the same compiler family as the DLL. */
class QUILLON_CLASS_EXPORT GDSIIException {
public:
    explicit GDSIIException(const char* text) : message(text) {}
    const char* what() const noexcept { return message.c_str(); }

    std::string message;
};
#endif

/* The messages, exactly as reported (the point-count messages end in a blank):

   "Error: Cannot open GDSII file."
   "Error: Cannot write GDSII file."
   "Error: Cannot start another export process."
   "Error: Process is already stoped."
   "Error: Structure is not closed."
   "Error: Structure is already opened."
   "Error: Structure with this name is already inserted."
   "Error: Structure is not opened."
   "Error: Structure name is NULL."
   "Error: Structure name is too long."
   "Error: Point array is NULL."
   "Error: Timestamp is out of range."
   "Error: Not enougph points for BOUNDARY structure. "
   "Error: Too many points for BOUNDARY structure. "
   "Error: Not enougph points for PATH structure. "
   "Error: Not enougph points for NODE record. "
   "Error: Too many points for NODE record. "
   "errStringIsNULL"
   "errStringSizeIsOver"
   "errTextTypeLimit"
*/

#endif /* QUILLON_H */
