// SPDX-License-Identifier: MIT
// Quillon.cs -- the flat and the handle functions of quillon.h for .NET and
// Mono hosts.
//
// One declaration per flat function of libquillon.so / Quillon.dll (the
// GDS_* functions and SetErrorHandle), argument for argument as quillon.h
// declares them (quillon.h is the manual: contracts
// and error texts stand there). Add this file to a project and call
// Quillon.Native.GDS_BeginLib and so on.
//
// Loading: DllImport("quillon") finds Quillon.dll on Windows and
// libquillon.so on Linux (Mono and .NET add the prefix and suffix), on the
// loader's path or beside the program. 32-bit Windows programs need the
// win32 DLL, 64-bit ones the win64 DLL.
//
// Conventions: every function is stdcall (the convention of the 32-bit
// DLL; on 64-bit systems there is only one), strings are passed as ANSI
// char* (8-bit, NUL-terminated), point lists as int[] read during the call
// only, and every function returns int unless noted.
//
// Errors: install a handler with Native.InstallErrorHandler. Without one the
// library throws a C++ exception, which a .NET host cannot catch: the
// process ends. The handler must stay alive as long as the library may call
// it; InstallErrorHandler keeps it in a static field.

using System;
using System.Runtime.InteropServices;

namespace Quillon
{
    // The error callback: receives one of the library's constant message
    // texts; its return value is ignored.
    [UnmanagedFunctionPointer(CallingConvention.StdCall, CharSet = CharSet.Ansi)]
    public delegate int ErrorHandler([MarshalAs(UnmanagedType.LPStr)] string message);

    // The handle API's error callback: the options' userData, the status of
    // the error and its message (a constant text).
    [UnmanagedFunctionPointer(CallingConvention.StdCall, CharSet = CharSet.Ansi)]
    public delegate void QuillonErrorCallback(IntPtr userData, int status,
        [MarshalAs(UnmanagedType.LPStr)] string message);

    // QuillonOptions of quillon.h, field for field: on 32-bit 52 bytes, on
    // 64-bit 72 (the pointers take 8 bytes there and align to 8). Fill it
    // with Native.quillon_default_options first.
    [StructLayout(LayoutKind.Sequential, CharSet = CharSet.Ansi)]
    public struct QuillonOptions
    {
        public uint size;                      // sizeof(QuillonOptions)
        [MarshalAs(UnmanagedType.LPStr)]
        public string libraryName;             // LIBNAME; null: the file name
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 6)]
        public int[] timestamp;                // year ... second; all 0: the clock
        public QuillonErrorCallback onError;   // null: status codes only
        public IntPtr userData;                // handed to onError
        public int strict;                     // 1 (default) or 0
        public int compression;                // -1 (default), 0, or 1 to 9
        public int compact;                    // 1 (default): compact records; 0: all
    }

    // Status codes of the handle functions.
    public static class Status
    {
        public const int Ok = 0;
        public const int ErrorState = -1;
        public const int ErrorArgument = -2;
        public const int ErrorRange = -3;
        public const int ErrorIo = -4;
        public const int ErrorReentrant = -5;
        public const int ErrorMemory = -6;
        public const int WarningUndefinedStructure = 1;  // the file is complete
    }

    public static class Native
    {
        public const string Library = "quillon";
        private const CallingConvention Call = CallingConvention.StdCall;

        // The handler the library holds, kept reachable so that the garbage
        // collector never frees the thunk the library calls (it is only
        // written, never read: hence the warning switched off).
#pragma warning disable 0414
        private static ErrorHandler installedHandler;
#pragma warning restore 0414

        // Installs handler (null removes it) and keeps it alive.
        public static void InstallErrorHandler(ErrorHandler handler)
        {
            installedHandler = handler;
            SetErrorHandle(handler);
        }

        // Returns the pointer it was given. Prefer InstallErrorHandler: a
        // delegate passed here directly must be kept alive by the caller.
        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern IntPtr SetErrorHandle(ErrorHandler handler);

        // Library and structure framing

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_BeginLib([MarshalAs(UnmanagedType.LPStr)] string fileName,
            double dbUnitInUserUnits, double dbUnitInMeters);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_EndLib();

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_BeginStructure([MarshalAs(UnmanagedType.LPStr)] string name);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_EndStructure();

        // Elements

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Path(int[] xs, int[] ys, int count, int width, int layer,
            int dataType, int pathType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Arc(int centerX, int centerY, int radius, double startAngle,
            double endAngle, int count, int width, int layer, int dataType, int pathType,
            int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Boundary(int[] xs, int[] ys, int count, int layer,
            int dataType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Circle(int centerX, int centerY, int radius, int count,
            int layer, int dataType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Sector(int centerX, int centerY, int radius,
            double startAngle, double endAngle, int count, int layer, int dataType, int elFlags,
            int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Box(int x1, int y1, int x2, int y2, int layer, int boxType,
            int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_BoxWH(int x, int y, int width, int height, int layer,
            int boxType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Square(int x, int y, int side, int layer, int boxType,
            int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Sref([MarshalAs(UnmanagedType.LPStr)] string structName,
            int x, int y, int strans, double mag, double angle, int elFlags, int plex);

        // xs and ys hold three points: the origin, the origin displaced by
        // columns column pitches, and the origin displaced by rows row pitches.
        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Aref([MarshalAs(UnmanagedType.LPStr)] string structName,
            int[] xs, int[] ys, int columns, int rows, int strans, double mag, double angle,
            int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Text(int x, int y, [MarshalAs(UnmanagedType.LPStr)] string text,
            int layer, int textType, int presentation, int pathType, int width, int strans,
            double mag, double angle, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Node(int[] xs, int[] ys, int count, int layer, int nodeType,
            int elFlags, int plex);

        // Extension

        // Fixes the time stamp of later BGNLIB and BGNSTR records; all zeros
        // return to the clock. Returns 1 when taken, 0 when refused.
        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_SetTimestamp(int year, int month, int day, int hour,
            int minute, int second);

        // Strict mode (1) or not (0, the default): with it, a call whose
        // checks fail writes nothing, and values too large for their GDSII
        // field are refused instead of truncated. Returns the previous setting.
        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_SetStrict(int on);

        // A property (PROPATTR attribute, PROPVALUE value) for the next
        // element, written before its ENDEL.
        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Property(int attribute, string value);

        // A polygon of any vertex count: one BOUNDARY up to the polygon
        // limit (199 by default, GDS_SetPolygonLimit: 8 to 4094), otherwise
        // BOUNDARY pieces of at most the limit whose union is the polygon.
        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Polygon(int[] xs, int[] ys, int count, int layer,
            int dataType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_SetPolygonLimit(int limit);

        // Copies every structure of another GDSII file (plain or gzip) into
        // the open library, while no structure is open; all or nothing.
        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int GDS_Include(string fileName);

        // Handle API: any number of writers at once, each an IntPtr
        // (QuillonWriter*). A writer keeps the onError callback of its
        // options until quillon_close: OpenWriter and CloseWriter keep the
        // delegate alive for that long.

        private static readonly System.Collections.Generic.Dictionary<IntPtr,
            QuillonErrorCallback> openCallbacks =
            new System.Collections.Generic.Dictionary<IntPtr, QuillonErrorCallback>();

        // quillon_open that keeps options.onError alive until CloseWriter.
        public static IntPtr OpenWriter(string fileName, double dbUnitInUserUnits,
            double dbUnitInMeters, ref QuillonOptions options, out int status)
        {
            IntPtr writer = quillon_open(fileName, dbUnitInUserUnits, dbUnitInMeters,
                ref options, out status);
            if (writer != IntPtr.Zero && options.onError != null)
                lock (openCallbacks) openCallbacks[writer] = options.onError;
            return writer;
        }

        // quillon_close, then releases the writer's callback.
        public static int CloseWriter(IntPtr writer)
        {
            int status = quillon_close(writer);
            lock (openCallbacks) openCallbacks.Remove(writer);
            return status;
        }

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern void quillon_default_options(out QuillonOptions options);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern IntPtr quillon_open([MarshalAs(UnmanagedType.LPStr)] string fileName,
            double dbUnitInUserUnits, double dbUnitInMeters, ref QuillonOptions options,
            out int status);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_close(IntPtr writer);

        // The message of the writer's last error, "" if none.
        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi,
            EntryPoint = "quillon_last_error")]
        private static extern IntPtr quillon_last_error_pointer(IntPtr writer);

        public static string quillon_last_error(IntPtr writer)
        {
            return Marshal.PtrToStringAnsi(quillon_last_error_pointer(writer));
        }

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_property(IntPtr writer, int attribute,
            [MarshalAs(UnmanagedType.LPStr)] string value);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_begin_structure(IntPtr writer,
            [MarshalAs(UnmanagedType.LPStr)] string name);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_end_structure(IntPtr writer);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_box(IntPtr writer, int x1, int y1, int x2, int y2,
            int layer, int boxType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_box_wh(IntPtr writer, int x, int y, int width,
            int height, int layer, int boxType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_square(IntPtr writer, int x, int y, int side,
            int layer, int boxType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_boundary(IntPtr writer, int[] xs, int[] ys, int count,
            int layer, int dataType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_polygon(IntPtr writer, int[] xs, int[] ys, int count,
            int layer, int dataType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_polygon_rings(IntPtr writer, int[] xs, int[] ys,
            int[] ringCounts, int ringTotal, int layer, int dataType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_set_polygon_limit(IntPtr writer, int limit);

        // options: a QuillonIncludeOptions built by the caller, or
        // IntPtr.Zero for every structure under its own name.
        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_include(IntPtr writer, string fileName, IntPtr options);

        // callbacks: a QuillonScanCallbacks built by the caller, or
        // IntPtr.Zero to check the file only.
        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_scan(string fileName, IntPtr callbacks);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_path(IntPtr writer, int[] xs, int[] ys, int count,
            int width, int layer, int dataType, int pathType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_circle(IntPtr writer, int centerX, int centerY,
            int radius, int count, int layer, int dataType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_sector(IntPtr writer, int centerX, int centerY,
            int radius, double startAngle, double endAngle, int count, int layer, int dataType,
            int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_arc(IntPtr writer, int centerX, int centerY, int radius,
            double startAngle, double endAngle, int count, int width, int layer, int dataType,
            int pathType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_sref(IntPtr writer,
            [MarshalAs(UnmanagedType.LPStr)] string structName, int x, int y, int strans,
            double mag, double angle, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_aref(IntPtr writer,
            [MarshalAs(UnmanagedType.LPStr)] string structName, int[] xs, int[] ys, int columns,
            int rows, int strans, double mag, double angle, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_text(IntPtr writer, int x, int y,
            [MarshalAs(UnmanagedType.LPStr)] string text, int layer, int textType,
            int presentation, int pathType, int width, int strans, double mag, double angle,
            int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_node(IntPtr writer, int[] xs, int[] ys, int count,
            int layer, int nodeType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_ellipse(IntPtr writer, int centerX, int centerY,
            int radiusX, int radiusY, int innerRadiusX, int innerRadiusY, double startAngle,
            double endAngle, double tolerance, int layer, int dataType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_path_ex(IntPtr writer, int[] xs, int[] ys, int count,
            int width, int pathType, int beginExtension, int endExtension, int bendRadius,
            double tolerance, int layer, int dataType, int elFlags, int plex);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_text_polygons(IntPtr writer,
            [MarshalAs(UnmanagedType.LPStr)] string text, int x, int y, int height, int anchor,
            double angle, int layer, int dataType);

        [DllImport(Library, CallingConvention = Call, CharSet = CharSet.Ansi)]
        public static extern int quillon_arc_path(IntPtr writer, int centerX, int centerY,
            int radius, double startAngle, double endAngle, double tolerance, int width,
            int pathType, int beginExtension, int endExtension, int layer, int dataType,
            int elFlags, int plex);
    }
}
