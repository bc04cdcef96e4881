// SPDX-License-Identifier: MIT
// Quillon.cs -- the flat functions of quillon.h for .NET and Mono hosts.
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
    }
}
