/* SPDX-License-Identifier: MIT */
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
  function, which ends a C host on its first error. All checks of a call
  come before its first record, so a throw never leaves half an element in
  the file. Each function returns 0 or the negative status (QUILLON_ERROR_*)
  of its most severe error (see the status codes); GDS_Path returns its
  count. Strict mode (GDS_SetStrict)
  refuses a bad call whole instead of carrying on.

  Threads. The flat functions drive one writer per process: call them from
  one thread at a time, one file at a time. The handle API (quillon_*) gives
  every file a writer of its own, usable from any thread.

  Compressed files (gzip: a name ending in ".gz", or the compression option)
  are deflated in blocks of 1 MiB on a pool of worker threads that the
  writer starts when it opens the file and ends when it closes it
  (GDS_EndLib, quillon_close); no thread outlives the file. The pool has one
  thread per core (at most 8) unless the environment variable
  QUILLON_DEFLATE_THREADS, read at each open, holds a number from 1 to 64.
  Each block becomes one gzip member, written in order: gzip, zlib (gzread,
  or inflate member after member), KLayout, Python's gzip and Quillon's own
  reader read the members as one stream. The file's bytes depend only on the
  calls, never on the pool's size or the threads' timing. Memory: about
  2 MiB per block in flight, the pool's size plus two blocks (8 MiB for two
  threads, 20 MiB for eight). The levels 1 to 9 map onto two libraries, as
  measured on GDSII bytes: 1 and 2 are ISA-L igzip's levels 1 and 2 (4 to
  16 times zlib's level 1 per core, files 5 to 8 percent larger), 3 to 9
  are libdeflate's levels of the same number (files as small as zlib's
  level of the same number or smaller, about 3 to 6 times faster). The
  Windows DLLs compress with zlib at its own levels, on the calling thread.

  Windows. Quillon.dll exports every function below by its plain, undecorated
  name at a fixed ordinal, with the stdcall convention on 32-bit Windows (the
  callee removes its arguments). The ordinals are those of src/core/quillon.def
  and never change. It comes in two flavours per architecture:
  - self-contained (win32, win64): the GCC and C++ runtimes are inside the
    DLL, which imports only system DLLs. For C, VBA, Delphi, .NET, MSVC and
    every other host that installs an error handler. Install one: without
    it an error ends the process (std::terminate in the DLL), because the
    GDSIIException cannot reach a host with another C++ runtime. (A mingw-w64
    C++ host with its own static runtime does catch it on 64-bit Windows,
    but its count of exceptions in flight goes wrong; use the other flavour.)
    The handler must not throw.
  - shared-runtime (win32-shared-runtime, win64-shared-runtime): the DLL
    uses mingw-w64's libgcc_s and libstdc++ DLLs, shipped beside it. For C++
    hosts and plugins built with mingw-w64 and linked against those same
    DLLs (not -static): the exception is thrown and caught by one C++
    runtime, so a host catches GDSIIException and afterwards
    std::uncaught_exceptions() reads 0. A handler may also throw an
    exception of its own: it leaves through the library's frames to the
    host's catch, ending the call before its first record.
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
   state, also from inside the handler. Returns the pointer it was given, not
   the previous handler.

   After the handler returns, the call carries on: it writes the element as
   passed, also outside a structure, with an out-of-range count (a 250-vertex
   boundary with all its vertices) or a truncated 16-bit field, exactly as
   each function below documents. The exceptions: a call that finds the file
   holds no structure although one was begun (after a refused duplicate name)
   writes nothing, so that no element lands outside a structure unreported;
   and every other library function called from inside the handler is
   refused with QUILLON_ERROR_REENTRANT, writing nothing and reporting
   nothing. A host that wants bad calls refused checks its input or uses
   strict mode (GDS_SetStrict, or the handle API). */
QUILLON_API(ErrorHandler) SetErrorHandle(ErrorHandler handler);

/* ------------------------------------------------------------------------ */
/* Library and structure framing                                           */

/* Creates (or truncates) fileName and writes HEADER (version 3), BGNLIB with
   the current time, LIBNAME (fileName exactly as passed) and UNITS: the size
   of a database unit in user units, then in metres (0.001 and 1e-9 for a
   nanometre grid in micrometres). Reports "Error: Cannot start another export
   process." and does nothing else while a library is open; reports "Error:
   Invalid units." and does nothing else (no file is created) unless both
   units are finite and positive; reports "Error: Cannot open GDSII file."
   when the file cannot be created. Each library starts clean: no structure
   flag or name of an earlier library, or of calls made while idle, carries
   into it.

   A fileName ending in ".gz" (in any case) is written as a gzip stream
   (level 1; see Compressed files above) holding exactly the bytes an
   uncompressed file would; gzip, KLayout and Python's gzip.open read it.
   LIBNAME is still fileName as passed. Any byte or gzip member that cannot
   be written is reported as for an uncompressed file, at GDS_EndLib ("Error:
   Cannot write GDSII file."); a block the workers could not compress for
   lack of memory is reported there as "Error: Out of memory."
   (QUILLON_ERROR_MEMORY), the file then holding the blocks before it. Other
   names are written uncompressed. */
QUILLON_API(int) GDS_BeginLib(const char* fileName, double dbUnitInUserUnits,
                              double dbUnitInMeters);

/* Writes ENDLIB, flushes and closes the file and forgets the structure names
   of the library. Reports "Error: Process is already stoped." when no library
   is open, "Error: Structure is not closed." when a structure is, and, after
   finishing, "Error: Cannot write GDSII file." when any byte of the file
   could not be written (a full disk, for instance). In strict mode it also
   reports "Error: Reference to an undefined structure." once when an SREF
   or AREF written in strict mode named a structure the library never
   defined, and returns QUILLON_WARNING_UNDEFINED_STRUCTURE unless an error
   weighs more; the file is complete all the same. */
QUILLON_API(int) GDS_EndLib(void);

/* Opens a structure (cell) named name: writes BGNSTR with the current time
   and STRNAME. Names are case-sensitive and unique per library: a repeated
   name reports "Error: Structure with this name is already inserted.". An
   empty name is refused whole with "Error: Structure name is empty." (no
   reader accepts it), and so is an empty structName of GDS_Sref and
   GDS_Aref (and quillon_sref, quillon_aref): the element is not written,
   even when the handler returns. Structures do not nest. */
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
   written (a handle in compact mode leaves out the defaults: see Compact
   records). The name need not exist (yet) in the library; strict mode
   reports one still undefined at the end (GDS_EndLib). An empty name is
   refused ("Error: Structure name is empty.") and nothing is written, even
   when the handler returns (see GDS_BeginStructure). */
QUILLON_API(int) GDS_Sref(const char* structName, int x, int y, int strans,
                          double mag, double angle, int elFlags, int plex);

/* AREF: columns x rows instances of structName. xs and ys hold three points:
   the origin, the origin displaced by columns column pitches, and the origin
   displaced by rows row pitches. An empty structName is refused as
   GDS_Sref refuses it. */
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

/* Strict mode for the flat functions' writer (off by default; on is
   recommended for new hosts): a call whose checks fail writes nothing and
   changes nothing, also when the handler returns, and values that do not fit
   their GDSII field are refused instead of truncated (see "Strict mode"
   below the handle API). GDS_EndLib with a structure open then closes the
   structure, finishes the file and reports "Error: Structure is not
   closed.". Returns the previous setting (0 or 1). */
QUILLON_API(int) GDS_SetStrict(int on);

/* A property (PROPATTR attribute, PROPVALUE value) for the next element:
   queued, and written by the next element call after its data, before its
   ENDEL, in the order given; every piece of a split path carries them. The
   next element call consumes them whether or not it writes anything; a
   structure or library end drops unused ones with "Error: Properties have
   no element.". attribute must lie in 1 to 65535 ("Error: Property
   attribute must lie in 1 to 65535."), value must not be NULL ("Error:
   Property value is NULL.") and at most 65530 bytes long. There is no limit
   on the number of properties: the 128 bytes per element of the classic
   format are not enforced (KLayout and gdstk write and read more). */
QUILLON_API(int) GDS_Property(int attribute, const char* value);

/* A polygon of any number of vertices (count >= 3; a last vertex equal to
   the first is taken as the closing one). With at most the polygon limit's
   vertices (199 unless GDS_SetPolygonLimit says otherwise) it is one
   BOUNDARY of the points as given. A larger one is fractured into BOUNDARY
   pieces of at most the limit, each with the same layer, data type, flags
   and queued properties, whose union is the polygon's region:
     - the pieces are cut along horizontal and vertical lines at integer
       coordinates; where a cut crosses a slanted edge, the point is
       computed on the polygon's own edge, however many cuts came before,
       and rounded to the nearest grid point, so that every piece vertex
       lies within half a unit of the outline; neighbouring pieces share
       those points, so there is no gap and no overlap;
     - every piece is a simple ring: no repeated vertex, no zero-width
       bridge, no hole. A hole drawn as a keyhole (an outline running to
       the hole and back along one bridge) stays a hole, in either
       orientation: the pieces are cut through it;
     - the cuts leave pieces close to the limit: a long sawtooth of N
       vertices at limit 199 becomes about N / 187 pieces.
   Repeated and collinear vertices are dropped from the pieces; either
   orientation is accepted. A self-intersecting outline is cut as well;
   its pieces cover the region that even-odd fill gives it, and a piece
   that holds a crossing crosses itself too. Layer, data type and flags
   must lie in 0 to 65535, in either mode ("Error: Value does not fit its
   GDSII field."; layer and data type 0 to 32767 in strict mode); fewer
   than 3 vertices are refused ("Error: Not enougph
   points for BOUNDARY structure. "). Memory: about 120 bytes per vertex
   while the call runs, given back when it returns. Nothing is written,
   and the queued properties are dropped, when a polygon above the limit
   encloses nothing (an outline traced twice, or out and back along one
   line), when it cannot be cut smaller (more than the limit within a
   two-unit square), both "Error: Polygon cannot be fractured.", or when
   memory runs out ("Error: Out of memory."). */
QUILLON_API(int) GDS_Polygon(const int* xs, const int* ys, int count, int layer,
                             int dataType, int elFlags, int plex);

/* The most vertices of one BOUNDARY that GDS_Polygon writes, 8 to 4094;
   199, the classic format's limit, by default. 4094 vertices and the closing
   point make an XY record of 32764 bytes, the most below 0x8000: readers
   take record lengths as signed 16-bit numbers, and KLayout warns "Record
   length larger than 0x8000" on every longer BOUNDARY (no reader needs
   more). Other values are refused ("Error: Polygon limit must lie in 8 to
   4094.") and leave the limit as it was. */
QUILLON_API(int) GDS_SetPolygonLimit(int limit);

/* Copies every structure of the GDSII file fileName (plain or gzip, known by
   its first two bytes) into the library, BGNSTR to ENDSTR, record by record:
   properties, BOX, NODE and records this library never writes itself are
   copied too. Call it while a library is open and no structure is open
   ("Error: Process is already stoped.", "Error: Structure is not closed.").
   As quillon_include with no prefix and all structures; see there for the
   units, names and faults. */
QUILLON_API(int) GDS_Include(const char* fileName);

/* The format of the libraries that later GDS_BeginLib calls write:
   QUILLON_FORMAT_GDSII (the default: GDSII whatever the file name),
   QUILLON_FORMAT_OASIS, or QUILLON_FORMAT_AUTO (OASIS when the file name
   ends in ".oas", in any case, GDSII otherwise). Other values report
   "Error: Format must lie in 0 to 2." and change nothing. A library already
   open keeps its format. See "OASIS output" below the handle API. */
QUILLON_API(int) GDS_SetFormat(int format);

/* ------------------------------------------------------------------------ */
/* Handle API: any number of writers at once                                */
/*
  Each QuillonWriter writes one file and holds all of its state, so any
  number may be open at once, from any number of threads, each writer used by
  one thread at a time. The functions mirror the flat ones, with the writer
  first, and return a status: QUILLON_OK (0), one of the negative codes
  below, or the positive warning QUILLON_WARNING_UNDEFINED_STRUCTURE (from
  quillon_close only). A handle never throws. The text of the last error (the flat API's
  exact message where there is one) is quillon_last_error(writer).

      QuillonOptions options;
      quillon_default_options(&options);       strict, local clock, no callback
      int status;
      QuillonWriter* a = quillon_open("a.gds", 0.001, 1e-9, &options, &status);
      QuillonWriter* b = quillon_open("b.gds", 0.001, 1e-9, &options, &status);
      quillon_begin_structure(a, "TOP");
      quillon_begin_structure(b, "TOP");
      quillon_box(a, 0, 0, 100, 100, 1, 0, 0, 0);
      quillon_end_structure(a);
      quillon_end_structure(b);
      quillon_close(a);
      quillon_close(b);

  Strict mode, the default for handles: every check of a call comes first,
  and a call that fails one writes nothing and changes nothing, even when the
  callback returns. It refuses every value that makes KLayout, gdspy or
  libGDSII refuse the file, warn about it or read something else (the sweep
  of tests/strict checks each rule with all three). On top of the flat API's
  checks it refuses ("Error: Value does not fit its GDSII field." unless
  said otherwise):
    - 16-bit numbers out of 0 to 32767: layer, datatype, box/node/text type,
      property attribute (gdspy and libGDSII read 32768 as -32768); bit
      words out of 0 to 65535: ELFLAGS, STRANS, PRESENTATION; path types
      other than 0, 1, 2 and 4; point counts whose slot holds more than 16
      bits (paths of a handle take any count);
    - COLROW counts outside 1 to 32767 ("Error: Columns and rows must lie in
      1 to 32767.");
    - corners (x + width, y + side) and curve points outside 32 bits ("Error:
      Coordinate does not fit 32 bits.");
    - NaN or infinite angles and magnifications ("Error: Value is not a
      finite number.");
    - a reference's magnification of 0 or less ("Error: Magnification must
      be greater than 0.": KLayout refuses the whole file) and any
      magnification without a REAL8 form (below 16^-65, written as 0, or
      from 16^63 on); a text's magnification is its size and may be 0 or
      negative, as every reader reads it;
    - angles outside -360 to 360 ("Error: Angle must lie in -360 to 360.")
      and text angles that are not a multiple of 90 ("Error: Text angle must
      be a multiple of 90.": KLayout turns texts by quarter turns only);
    - the STRANS flags of absolute magnification (0x0004) and absolute angle
      (0x0002), which KLayout and gdspy ignore;
    - negative path and text widths (gdspy cannot read a text's, and KLayout
      and gdspy drop a path width's sign), a text justification of 3 in
      PRESENTATION (bits 0x03 or 0x0C: gdspy fails), an empty text ("Error:
      Text is empty.": gdspy reads none);
    - units too small or large for REAL8 ("Error: Invalid units.").
  libGDSII keeps only the first 32 characters of a name or text; longer ones
  are taken all the same, since KLayout, gdspy and most layouts use them.
  With strict mode off (options.strict = 0), a handle behaves as the flat
  functions do with a handler installed: the call reports and carries on.

  Compact records (options.compact = 1, the default for handles): every
  element leaves out ELFLAGS and PLEX when they are 0, and references and
  texts leave out STRANS, MAG and ANGLE for the identity (no flag,
  magnification 1, angle 0), and MAG 1 and ANGLE 0 beside a STRANS. GDSII
  makes these records optional with these defaults, so every reader reads
  the same layout, and gdspy reads it without a warning. The flat functions
  write every record, in strict mode too.

  Undefined references: a handle remembers every structure an SREF or AREF
  names. quillon_close reports "Error: Reference to an undefined
  structure." once when one of them was never defined by
  quillon_begin_structure and returns QUILLON_WARNING_UNDEFINED_STRUCTURE
  (unless an error weighs more). The file is complete and kept. The
  callback receives the message; quillon_last_error(writer), called from
  inside the callback, names the first ten such structures, e.g. "Error:
  Reference to an undefined structure. Undefined: PAd, VIA2 and 3 more.".
*/

/* Status codes. When a call reports several errors it returns the most
   severe: I/O and memory errors (data may be lost) above state, argument,
   range and reentrancy errors, and those above the warning; the first of
   equal weight. */
#define QUILLON_OK 0
#define QUILLON_ERROR_STATE (-1)     /* call out of order (no structure open, ...) */
#define QUILLON_ERROR_ARGUMENT (-2)  /* a count, name, text or array is unusable */
#define QUILLON_ERROR_RANGE (-3)     /* a value does not fit its GDSII field */
#define QUILLON_ERROR_IO (-4)        /* the file cannot be opened or written */
#define QUILLON_ERROR_REENTRANT (-5) /* called from inside the error callback */
#define QUILLON_ERROR_MEMORY (-6)    /* out of memory */
/* A warning, not an error: the file is complete and kept. quillon_close (and
   GDS_EndLib in strict mode) answers it when an SREF or AREF names a
   structure that the library never defined. */
#define QUILLON_WARNING_UNDEFINED_STRUCTURE 1

typedef struct QuillonWriter QuillonWriter;

/* The handle API's error callback: userData as given in the options, the
   status of the error and its message (a constant text). */
typedef void (QUILLON_CALL *QuillonErrorCallback)(void* userData, int status,
                                                  const char* message);

/* Options of quillon_open. Fill with quillon_default_options first, so that
   fields added in later versions get their defaults (size records which
   fields the caller knows). A caller whose struct ends before compact
   (built against an older quillon.h) gets compact 0: the full records it
   always got. */
typedef struct QuillonOptions {
    unsigned size;                /* sizeof(QuillonOptions) */
    const char* libraryName;      /* LIBNAME; NULL: the file name as passed */
    int timestamp[6];             /* year, month, day, hour, minute, second for
                                     BGNLIB and BGNSTR; all 0: the local clock */
    QuillonErrorCallback onError; /* NULL: status codes only */
    void* userData;               /* handed to onError */
    int strict;                   /* 1 (default) or 0 */
    int compression;              /* -1 (default): gzip when fileName ends in
                                     ".gz" (level 1); 0: never; 1 to 9:
                                     always, at that level (see Compressed
                                     files at the top) */
    int compact;                  /* 1 (default): compact records, see below;
                                     0: every record, as the flat functions */
    int format;                   /* QUILLON_FORMAT_AUTO (default): OASIS
                                     when fileName ends in ".oas", in any
                                     case; _GDSII; _OASIS. See OASIS output */
} QuillonOptions;

/* The formats of QuillonOptions.format and GDS_SetFormat. */
#define QUILLON_FORMAT_AUTO 0
#define QUILLON_FORMAT_GDSII 1
#define QUILLON_FORMAT_OASIS 2

/* OASIS output. Every element function writes the same layout in OASIS
   (SEMI P39) as in GDSII, as KLayout reads both:
     - boxes become RECTANGLE records (the square form when width equals
       height), the box type as the datatype;
     - boundaries, polygons, curves and text polygons become POLYGON
       records of all their vertices: OASIS has no vertex limit, so nothing
       is fractured, except polygons with holes, which take the
       fracturer's cuts as in GDSII (without the polygon limit);
     - paths become one PATH record each, however long: flush ends for path
       type 0, half-width extensions for type 2, the explicit extensions for
       type 4. OASIS has no round ends: a path of type 1 is written as
       KLayout writes it, a flush PATH with a CIRCLE of half the width at
       each end, which covers the round path's region (the round caps are
       then true circles, not KLayout's polygonal ones). A PATH holds half
       its width as a whole number: an odd width reports "Error: Odd path
       width has no OASIS form." and, unless refused, is written one unit
       narrower;
     - SREF and AREF become PLACEMENT records with magnification, angle and
       mirror (STRANS 0x8000); an AREF's lattice is a repetition (the grid
       form for east and north steps, the general two-vector form
       otherwise);
     - TEXT keeps its string (by TEXTSTRING reference), layer, text type and
       position; OASIS has no presentation, path type, width, angle or
       magnification for texts, and they are dropped;
     - properties become S_GDS_PROPERTY records (attribute and value), which
       KLayout shows as the same attribute number and value;
     - the database unit in metres goes to START (grid steps per micron);
       the library name, the user unit, the time stamps, ELFLAGS and PLEX
       have no OASIS form and are dropped;
     - NODE has no OASIS form: it reports "Error: NODE has no OASIS form.",
       refused in strict mode and skipped otherwise;
     - quillon_include and GDS_Include take a GDSII file into an OASIS
       library as well: its chosen structures' elements are written as
       the element calls of this API would write them (a BOUNDARY as
       POLYGON, a BOX as RECTANGLE, and so on), so that what has no OASIS
       form is reported as above. The check, the names, the units and the
       faults are those of a GDSII library, except that a file that
       changes between the check and the copy loses the output (an OASIS
       file cannot be cut back), as for a gzip output.
   The file is compact: fields equal to the record before are left out,
   positions are relative, point lists take the smallest delta form, names
   go by reference number (the name tables come after the last cell, and
   END holds their offsets and the file's CRC32; property strings beyond the
   16,384th distinct one go in their records, and the writer keeps every
   distinct text string, its one memory that grows with the layout), and
   shapes that
   differ only in position (same kind, layer, datatype, size or point list,
   no properties; placements of one cell and transformation) are written
   once with a repetition, found in a window of 4096 shapes of up to 1024
   such classes. Texts are written as they come. CBLOCK compression (raw deflate, in blocks of 1 MiB) is on:
   compression -1 (the default) deflates at level 2, 1 to 9 at that level,
   0 writes no CBLOCK. The CBLOCKs are deflated as gzip files are (see
   Compressed files at the top): the Windows DLLs' deflated bytes differ
   from Linux's, and the same calls without CBLOCKs give the same bytes on
   every platform. An OASIS file is never a gzip stream. Memory stays
   bounded whatever the file's size. */


/* Fills options with the defaults: strict, LIBNAME the file name, the local
   clock, no callback, gzip by the file name's suffix. */
QUILLON_API(void) quillon_default_options(QuillonOptions* options);

/* Creates (or truncates) fileName and writes the library header, as
   GDS_BeginLib does. options may be NULL (the defaults). Returns the new
   writer, or NULL with *status (when status is not NULL) set to the reason;
   the callback, if any, has then received the message of every refusal:
   a NULL fileName ("Error: File name is NULL.", QUILLON_ERROR_ARGUMENT), a
   compression outside -1 to 9 ("Error: Compression must lie in -1 to 9.",
   QUILLON_ERROR_ARGUMENT), units that are not finite and positive ("Error:
   Invalid units."), a bad time stamp or library name, a file that cannot
   be created, or memory. */
QUILLON_API(QuillonWriter*) quillon_open(const char* fileName, double dbUnitInUserUnits,
                                         double dbUnitInMeters,
                                         const QuillonOptions* options, int* status);

/* Finishes the file and frees the writer, whatever its state: a structure
   still open is closed (reported as "Error: Structure is not closed."), then
   ENDLIB is written and the file closed. Returns QUILLON_OK, or the most
   severe status reported: QUILLON_ERROR_IO when any byte could not be
   written (also with a structure left open or a property left queued,
   which are reported as well), QUILLON_ERROR_MEMORY when a block of a
   compressed file could not be compressed for lack of memory, QUILLON_ERROR_STATE for a structure left
   open or a property left queued, QUILLON_WARNING_UNDEFINED_STRUCTURE
   (see Undefined references above). NULL is accepted and returns
   QUILLON_OK. */
QUILLON_API(int) quillon_close(QuillonWriter* writer);

/* The message of the last error the writer reported, or "" if none. */
QUILLON_API(const char*) quillon_last_error(const QuillonWriter* writer);

/* A property for the next element, as GDS_Property. */
QUILLON_API(int) quillon_property(QuillonWriter* writer, int attribute, const char* value);

/* A polygon of any vertex count and the writer's polygon limit, as
   GDS_Polygon and GDS_SetPolygonLimit. */
QUILLON_API(int) quillon_polygon(QuillonWriter* writer, const int* xs, const int* ys,
                                 int count, int layer, int dataType, int elFlags, int plex);
QUILLON_API(int) quillon_set_polygon_limit(QuillonWriter* writer, int limit);

/* A polygon with holes: ringTotal rings, ring r being the ringCounts[r]
   (>= 3) points of xs/ys that follow ring r - 1's, filled even-odd: the
   outline, its holes, islands in the holes and so on, each ring in either
   orientation. Rings may touch one another at points or along edges (a
   hole may touch its outline at every vertex, holes may share edges), and
   two rings that coincide cancel each other, as even-odd fill has it. With
   two rings or more, no ring may cross another or itself: such a polygon
   is refused, nothing written, "Error: Polygon rings cross." (one ring
   alone is GDS_Polygon's polygon, filled even-odd however it crosses
   itself; the flat API, the handle API and Python agree). The region is
   written as quillon_polygon writes a large polygon: BOUNDARY pieces of at
   most the polygon limit, without holes or keyholes, each vertex within
   half a unit of a ring, with no gap and no overlap; one ring within the
   limit is one BOUNDARY as given. A hole less than one unit across both
   ways is filled. Rings that enclose nothing together (a hole equal to its
   outline) report "Error: Polygon cannot be fractured.". Finding which
   ring lies in which takes time n log n in the vertices. Other errors as
   quillon_polygon. */
QUILLON_API(int) quillon_polygon_rings(QuillonWriter* writer, const int* xs, const int* ys,
                                       const int* ringCounts, int ringTotal, int layer,
                                       int dataType, int elFlags, int plex);

/* The elements and framing, as the flat functions of the same name.
   quillon_path takes its count whole (not as 16 bits): a path of any
   number of points is split into PATH elements of at most 200 points as
   GDS_Path splits one. */
QUILLON_API(int) quillon_begin_structure(QuillonWriter* writer, const char* name);
QUILLON_API(int) quillon_end_structure(QuillonWriter* writer);
QUILLON_API(int) quillon_box(QuillonWriter* writer, int x1, int y1, int x2, int y2,
                             int layer, int boxType, int elFlags, int plex);
QUILLON_API(int) quillon_box_wh(QuillonWriter* writer, int x, int y, int width, int height,
                                int layer, int boxType, int elFlags, int plex);
QUILLON_API(int) quillon_square(QuillonWriter* writer, int x, int y, int side, int layer,
                                int boxType, int elFlags, int plex);
QUILLON_API(int) quillon_boundary(QuillonWriter* writer, const int* xs, const int* ys,
                                  int count, int layer, int dataType, int elFlags, int plex);
QUILLON_API(int) quillon_path(QuillonWriter* writer, const int* xs, const int* ys, int count,
                              int width, int layer, int dataType, int pathType, int elFlags,
                              int plex);
QUILLON_API(int) quillon_circle(QuillonWriter* writer, int centerX, int centerY, int radius,
                                int count, int layer, int dataType, int elFlags, int plex);
QUILLON_API(int) quillon_sector(QuillonWriter* writer, int centerX, int centerY, int radius,
                                double startAngle, double endAngle, int count, int layer,
                                int dataType, int elFlags, int plex);
QUILLON_API(int) quillon_arc(QuillonWriter* writer, int centerX, int centerY, int radius,
                             double startAngle, double endAngle, int count, int width,
                             int layer, int dataType, int pathType, int elFlags, int plex);
QUILLON_API(int) quillon_sref(QuillonWriter* writer, const char* structName, int x, int y,
                              int strans, double mag, double angle, int elFlags, int plex);
QUILLON_API(int) quillon_aref(QuillonWriter* writer, const char* structName, const int* xs,
                              const int* ys, int columns, int rows, int strans, double mag,
                              double angle, int elFlags, int plex);
QUILLON_API(int) quillon_text(QuillonWriter* writer, int x, int y, const char* text,
                              int layer, int textType, int presentation, int pathType,
                              int width, int strans, double mag, double angle, int elFlags,
                              int plex);
QUILLON_API(int) quillon_node(QuillonWriter* writer, const int* xs, const int* ys, int count,
                              int layer, int nodeType, int elFlags, int plex);

/* ------------------------------------------------------------------------ */
/* Including other GDSII files                                              */

/* Called once for each structure an include brings in, with its name in the
   library (prefix included) and top = 1 when no other structure of the same
   include references it: after the whole include has been taken, never for
   a refused one. It runs under the writer's re-entrancy guard: a call into
   the same writer from it returns QUILLON_ERROR_REENTRANT and does nothing.
   */
typedef void (QUILLON_CALL *QuillonIncludedCallback)(void* userData, const char* name,
                                                     int top);
/* Called when an include is refused, just before the error is reported:
   offset is the byte offset of the fault in the file's GDSII bytes (in the
   inflated stream of a gzip file), or -1 when the fault has no place (a
   file that cannot be opened, a name clash); detail says what is wrong and
   names the structure of a clash ("error at byte offset 1200: element
   without ENDEL before its ENDSTR record", "structure \"PAD\" is already in
   the library"). detail lives until the callback returns. Like onStructure
   it runs under the re-entrancy guard (quillon_close from it, for one,
   returns QUILLON_ERROR_REENTRANT and closes nothing). */
typedef void (QUILLON_CALL *QuillonIncludeFaultCallback)(void* userData, long long offset,
                                                         const char* detail);

/* Options of quillon_include. Zero the struct and set size: every field left
   zero is its default, and size tells which fields the caller knows, as for
   QuillonOptions. */
typedef struct QuillonIncludeOptions {
    unsigned size;                       /* sizeof(QuillonIncludeOptions) */
    const char* prefix;                  /* NULL or "": names as in the file */
    const char* const* structures;       /* NULL: every structure; else a
                                            NULL-terminated list of names */
    QuillonIncludedCallback onStructure; /* NULL: none */
    QuillonIncludeFaultCallback onFault; /* NULL: none */
    void* userData;                      /* handed to both callbacks */
    int onClash;                         /* QUILLON_CLASH_ERROR (0), ..._SKIP_IDENTICAL
                                            or ..._RENAME: see Names */
} QuillonIncludeOptions;

/* What an include does with a structure whose name (prefix included) the
   library has already. */
#define QUILLON_CLASH_ERROR 0          /* refuses the include */
#define QUILLON_CLASH_SKIP_IDENTICAL 1 /* reuses an identical one, else refuses */
#define QUILLON_CLASH_RENAME 2         /* writes it as NAME_1, NAME_2, ... */

/* Copies structures of the GDSII file fileName into the writer's library,
   record by record, as GDS_Include does. options may be NULL (all
   structures, names unchanged).

   structures: only the listed structures (named as in the file) and every
   structure they reference, directly or through others, that the file
   defines. A name the file does not define refuses the include ("Error:
   Included file has no structure of this name.").

   prefix: every included structure is renamed prefix + name, and so is
   every SNAME (SREF, AREF) that names a structure of the file; an SNAME
   naming no structure of the file stays as it is. A name only has to fit
   its record (65530 bytes), as for GDS_BeginStructure.

   Units. The two database units in metres are compared by value: both
   UNITS REAL8s are decoded exactly and their ratio, file over library,
   must lie within 8 ulps (units in the last place of a double, relative
   8 x 2^-52, about 1.8e-15) of a whole number k from 1 to 2147483647. Why
   8: a unit has passed through at most two roundings on its way into a
   file (the decimal its author gave, as a double; the double, as a REAL8),
   each within half an ulp, and the ratio's own computation adds 1.5 ulps
   at most; 8 holds all of that with room to spare, while units that mean
   different things differ by far more (1e-9 against 1.000001e-9 is 1e-6).
   So a gdspy file of unit 1e-6 and precision 1e-6 goes into a 1 nm library
   (k = 1000), 1 nm into 10 pm (k = 100), and a unit one ulp off the
   library's is the library's (k = 1). With k = 1 every record is copied as
   it is. With k >= 2 (a 1 nm library into a 0.25 nm one: k = 4), XY (also
   an AREF's lattice points), WIDTH, BGNEXTN and ENDEXTN are multiplied by
   k, exactly. Any other ratio, and any scaled value that no longer fits 32
   bits, refuses the include ("Error: Included library has other units.");
   the fault callback's detail gives both units and the ratio to 17
   significant digits. The file's user unit is not looked at.

   Names. Each included name joins the library's names, as if
   GDS_BeginStructure had written it, once the include has been taken: a
   later structure of that name is a duplicate ("Error: Structure with this
   name is already inserted."), and so is an included name the library has
   already, or one the file defines twice; that refuses the whole include,
   and the fault callback names the structure. A refused include leaves no
   name behind. onClash chooses otherwise for a name the library has
   already: QUILLON_CLASH_SKIP_IDENTICAL reuses the library's structure
   when an earlier include with this policy brought in one of that name
   whose records, STRNAME to ENDSTR as written (names and scale included),
   are the same bytes (compared by a 128-bit digest): the structure is not
   written again, references to it name the one there, and onStructure
   reports it all the same; any other clash still refuses. Structures
   written by GDS_BeginStructure are never reused. QUILLON_CLASH_RENAME
   writes the clashing structure as NAME_k, for the least k >= 1 that
   neither the library nor this include has, and rewrites the file's
   references to it. Either policy makes the include take two passes.
   Any other onClash value refuses the include ("Error: Value does not fit
   its GDSII field."). A name the file defines twice always refuses.

   What is read. A valid file is HEADER, BGNLIB, library records, UNITS,
   then structures of BGNSTR STRNAME elements ENDSTR, each element with its
   XY, names and layer and ending in ENDEL, then ENDLIB. Property pairs
   (PROPATTR, PROPVALUE) may follow UNITS (the library's properties, as
   KLayout writes them with gds2_write_file_properties) and STRNAME (the
   structure's, gds2_write_cell_properties): the structure's are copied
   with it, the library's are left out, since the library being written has
   its own header. An AREF whose XY holds fewer than its 3 points (KLayout
   and gdspy refuse it) and an XY of an odd number of coordinates (gdspy
   cannot read it, KLayout drops the last) make the file invalid; a
   BOUNDARY left open or of fewer than 4 points, and an SREF or TEXT with
   more than one point, are copied as they stand (KLayout and gdspy read
   them; KLayout warns).
   Structures that reference each other in a cycle (A references B, B
   references A, or A itself) are refused, the cycle named in the fault
   callback's detail: no reader can order them.

   The source. The file is opened once and never again by name: a second
   pass rewinds the same open file. It is refused before anything is read
   or kept when it is the file being written, by whatever path (the same
   name, a symbolic or a hard link: "Error: Included file is the output
   file."), and, when the include needs two passes, when it cannot be
   rewound (a pipe, a FIFO, a terminal: "Error: Included file cannot be
   read twice."). One pass is enough, and a pipe may be included, when
   every structure comes in under its own name, unscaled, into a plain
   output file (not gzip, not on Windows).

   Faults. The include is all or nothing, in every mode: nothing of the file
   stays in the output, no name is registered and onStructure is called for
   none unless all of it has been copied. The file is checked whole first:
   framing and record lengths, the order of records, the gzip stream and
   its check values, the units and names above. In one pass the bytes the
   check has passed are written to the output file as it goes, and a fault
   cuts the file back to the length it had before the call: at the speed of
   cat. Otherwise the file is rewound once the check is done and only then
   copied, renaming and scaling. A fault of either pass, a failed or short
   read included, is reported by this call: a malformed file "Error:
   Included file is not valid GDSII.", a file that cannot be opened "Error:
   Cannot open GDSII file.", a NULL fileName "Error: File name is NULL.";
   the fault callback gets the byte offset and the reason. A plain output
   file is cut back on every fault. A file that changes between the passes
   is refused too; into a gzip output, whose bytes cannot be taken back,
   that loses the output ("Error: Cannot write GDSII file."). Memory stays
   the same whatever the size of the file: a fixed buffer, and one name per
   structure with the names it references. */
QUILLON_API(int) quillon_include(QuillonWriter* writer, const char* fileName,
                                 const QuillonIncludeOptions* options);

/* Called once by quillon_scan with the file's UNITS: the database unit in
   user units (0.001 for a micrometre user unit and a 1 nm database unit)
   and in metres (1e-9), as GDS_BeginLib takes them. */
typedef void (QUILLON_CALL *QuillonScanUnitsCallback)(void* userData, double dbUnitInUserUnits,
                                                      double dbUnitInMeters);
/* Called by quillon_scan once for each structure, in file order: its name,
   top = 1 when no other structure of the file references it (one that
   references only itself is a top one), and the distinct names its SREFs
   and AREFs reference, sorted by byte value: referenceCount names at
   references[0] to references[referenceCount - 1], then a NULL. A name may
   be one the file does not define. The strings live until the callback
   returns. */
typedef void (QUILLON_CALL *QuillonScanStructureCallback)(void* userData, const char* name,
                                                          int top, int referenceCount,
                                                          const char* const* references);

/* Callbacks of quillon_scan. Zero the struct and set size, as for
   QuillonIncludeOptions; a NULL callback is not called. */
typedef struct QuillonScanCallbacks {
    unsigned size;                             /* sizeof(QuillonScanCallbacks) */
    QuillonScanUnitsCallback onUnits;
    QuillonScanStructureCallback onStructure;
    QuillonIncludeFaultCallback onFault;       /* as for quillon_include */
    void* userData;                            /* handed to every callback */
} QuillonScanCallbacks;

/* A look inside the GDSII file fileName (plain or gzip) before including
   it: its units, its structures, which of them are top ones and what each
   references. No writer is needed, and nothing is written. The file is
   read whole and checked as quillon_include checks it (framing, order of
   records, gzip stream), and a structure name it defines twice is a fault
   too; only once all of it has passed are onUnits and then onStructure
   called, so a faulty file gives no other callback than onFault. Memory
   grows with the number of structures and references, never with the
   geometry.
   Returns QUILLON_OK; QUILLON_ERROR_ARGUMENT for a NULL fileName (onFault
   gets "file name is NULL") or a file that is not valid GDSII;
   QUILLON_ERROR_IO when it cannot be opened; QUILLON_ERROR_MEMORY when
   memory runs out ("out of memory"). onFault gets the offset and
   reason as for quillon_include ("error at byte offset 1200: element
   without ENDEL before its ENDSTR record", "cannot open pdk.gds", offset
   -1). callbacks may be NULL: the call then only checks the file. */
QUILLON_API(int) quillon_scan(const char* fileName, const QuillonScanCallbacks* callbacks);

/* ------------------------------------------------------------------------ */
/* Shapes by tolerance, bent paths and text that prints (handle API only).
   Their values are always checked, as in strict mode; a refused call writes
   nothing. Every computed point is rounded to the nearest grid point
   (halves away from zero) with the library's own sine and cosine, so the
   bytes are the same on every platform.                                    */

/* An ellipse, an elliptic ring or a sector of either, as BOUNDARY elements:
   outer radii radiusX, radiusY around (centerX, centerY); innerRadiusX =
   innerRadiusY = 0 for a filled shape, or both positive and below the
   outer radii for a ring. The angles (degrees, counter-clockwise) are those
   of the parametric form (centerX + rx cos t, centerY + ry sin t), which for
   a circle are the polar angles; the shape runs from startAngle to endAngle
   exactly, both ends included (endAngle < startAngle runs clockwise), and a
   sweep of 360 degrees or more is the whole ellipse or ring. The points
   come from tolerance (> 0, database units): the chords lie within it of
   the curve (each point then moves by at most half a unit in x and y when
   rounded), with at least one chord per quarter turn. A ring's tolerance
   is at most a quarter of its width (the lesser of the two radius
   differences), so that its outer chords never reach its inner ones; a
   larger one is taken as that. Angles are reduced to one turn before they
   become radians, so a start of 1e17 degrees is as exact as one of 280.
   Outlines:
     - filled, full: the points of the ellipse;
     - filled sector: the centre, then the arc from startAngle to endAngle
       (an end point that rounds onto the start point is dropped, as in a
       ring sector's arcs, so that no outline doubles back on itself);
     - ring sector: the outer arc, then the inner arc back;
     - full ring: the outer ellipse with the inner one as a hole.
   Any number of points: above the polygon limit the outline is fractured
   as quillon_polygon does, with the queued properties on every piece.
   Refused: radii not positive, inner radii not both 0 nor inside the outer
   ones, a tolerance not positive, equal angles, or more than 2^24 points
   ("Error: Radius, angle or tolerance out of range."); NaN or infinite
   angles or tolerance ("Error: Value is not a finite number."); points
   outside 32 bits ("Error: Coordinate does not fit 32 bits."); layer, data
   type or flags out of 0 to 65535 ("Error: Value does not fit its GDSII
   field."). */
QUILLON_API(int) quillon_ellipse(QuillonWriter* writer, int centerX, int centerY, int radiusX,
                                 int radiusY, int innerRadiusX, int innerRadiusY,
                                 double startAngle, double endAngle, double tolerance,
                                 int layer, int dataType, int elFlags, int plex);

/* A path of any number of points (count >= 2), written as quillon_path
   splits a long one, with explicit extensions and bends:
     - pathType 0, 1, 2 or 4. With 4, beginExtension and endExtension are
       the BGNEXTN and ENDEXTN at the polyline's own two ends (split ends
       get 0); with any other type both must be 0.
     - bendRadius > 0 replaces every corner by the circular arc of that
       radius tangent to both segments, its points by tolerance (> 0, as
       quillon_ellipse); 0 keeps the corners as given (tolerance unused).
       The arc of a corner turning by theta starts and ends bendRadius *
       tan(theta / 2) from it, so each segment must be at least as long as
       the two setbacks of its corners together (a reversal has no arc: its
       segments are always too short, whatever their direction).
       Where one is not, the call reports "Error: Path segments too short
       for the bend radius." and, in strict mode (the default), writes
       nothing; otherwise the corners of each such segment stay sharp. Keep
       bendRadius at least width / 2, or the inner side of a bend folds.
   Refused as well: unknown path types or extensions with a type other than
   4 ("Error: Value does not fit its GDSII field."), a negative bend radius
   or unusable tolerance ("Error: Radius, angle or tolerance out of
   range."). Repeated consecutive points are dropped; queued properties go
   on every piece. */
QUILLON_API(int) quillon_path_ex(QuillonWriter* writer, const int* xs, const int* ys, int count,
                                 int width, int pathType, int beginExtension, int endExtension,
                                 int bendRadius, double tolerance, int layer, int dataType,
                                 int elFlags, int plex);

/* A circular arc as a path (any length, split as quillon_path_ex), from
   startAngle to endAngle exactly (degrees; a sweep of 360 or more is one
   full turn), its points by tolerance as quillon_ellipse, with width,
   pathType and extensions as quillon_path_ex. A full turn with flush ends
   (pathType 0) runs on over its first chord, so that the seam is a mitred
   joint like the others rather than two flush ends leaving a notch. */
QUILLON_API(int) quillon_arc_path(QuillonWriter* writer, int centerX, int centerY, int radius,
                                  double startAngle, double endAngle, double tolerance,
                                  int width, int pathType, int beginExtension, int endExtension,
                                  int layer, int dataType, int elFlags, int plex);

/* Text as BOUNDARY polygons, which print on a mask (a TEXT element does
   not), in the library's own font: printable ASCII (32 to 126) on a 5 x 9
   pixel grid (7 rows from the cap line to the baseline, 2 below for
   descenders), characters 6 pixels apart, lines 11 pixels apart ('\n'
   starts a new one). Any other byte is drawn as a box outline, the size of
   a capital. height (>= 7) is the capital height in database units, so a
   pixel is height / 7. anchor places (x, y) as TEXT's presentation does:
   vertical 0 (the cap line of the first line), 4 (middle of the block) or 8
   (the baseline of the last line) plus horizontal 0 (left), 1 (centre) or
   2 (right), each line justified on its own. The text is then rotated by
   angle (degrees, counter-clockwise) about (x, y). Each glyph is made of
   rectangles of pixels that never overlap (where one touches the side of
   another, it carries the other's corner as a vertex, so they still meet
   exactly after rotation). A polygon that rounding to the grid leaves
   without area (small heights at an angle) is not written. No ELFLAGS or
   PLEX; queued properties go on every polygon. Refused: NULL text
   ("errStringIsNULL"), a height below 7, another anchor, or layer or data
   type out of 0 to 65535 ("Error: Value does not fit its GDSII field."), a
   NaN or infinite angle, points outside 32 bits. */
QUILLON_API(int) quillon_text_polygons(QuillonWriter* writer, const char* text, int x, int y,
                                       int height, int anchor, double angle, int layer,
                                       int dataType);

#ifdef __cplusplus
}  /* extern "C" */

#include <string>

/* Thrown out of the exported functions when no error handler is installed.
   It is copyable, carries one of the message texts below in message, and
   has no base class: catch it by this type (or with catch (...)). On
   Windows only a C++ host sharing the DLL's runtime can catch it: the
   shared-runtime flavour with mingw-w64 (see Windows above). */
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
   "Error: Structure name is empty."
   "Error: Invalid units."
   "Error: Library name is too long."
   "Error: Value does not fit its GDSII field."
   "Error: Columns and rows must lie in 1 to 32767."
   "Error: Coordinate does not fit 32 bits."
   "Error: Value is not a finite number."
   "Error: Property attribute must lie in 1 to 65535."
   "Error: Property value is NULL."
   "Error: Property value is too long."
   "Error: Properties have no element."
   "Error: Polygon limit must lie in 8 to 4094."
   "Error: Polygon cannot be fractured."
   "Error: Polygon rings cross."
   "Error: Out of memory."
   "Error: Magnification must be greater than 0."
   "Error: Angle must lie in -360 to 360."
   "Error: Text angle must be a multiple of 90."
   "Error: Text is empty."
   "Error: Reference to an undefined structure."  (a warning; see above)
   "Error: File name is NULL."
   "Error: Compression must lie in -1 to 9."
   "Error: Included file is not valid GDSII."
   "Error: Included library has other units."
   "Error: Included file has no structure of this name."
   "Error: Included file is the output file."
   "Error: Included file cannot be read twice."
   "Error: Called from inside the error handler."  (status only, never reported)
   "Error: Radius, angle or tolerance out of range."
   "Error: Path segments too short for the bend radius."
   "Error: Format must lie in 0 to 2."
   "Error: NODE has no OASIS form."
   "Error: Odd path width has no OASIS form."
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
