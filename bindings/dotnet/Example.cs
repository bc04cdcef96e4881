// SPDX-License-Identifier: MIT
// Example.cs -- writes a small layout through every function of Quillon.cs:
// FILE through the flat functions, handle_FILE through a handle.
//
//   mcs -out:example.exe Example.cs Quillon.cs
//   mono example.exe chip.gds                  (time stamp of the clock)
//   mono example.exe chip.gds 2026 12 7 8 32 51 (a fixed time stamp)
//
// The library's error reports are printed as "report: MESSAGE"; two are
// provoked on purpose (a structure ended twice, a text without its string).

using System;
using System.Runtime.InteropServices;
using Quillon;

public static class Example
{
    private static int OnError(string message)
    {
        Console.WriteLine("report: " + message);
        return 0;
    }

    private static void OnHandleError(IntPtr userData, int status, string message)
    {
        Console.WriteLine("handle report " + userData + ": " + status + " " + message);
    }

    private static readonly string[] OptionFields =
        { "libraryName", "timestamp", "onError", "userData", "strict", "compression" };

    // The second file, through a handle: every element kind, properties, the
    // library name and time stamp of the options, one strict refusal.
    private static int WriteThroughHandle(string fileName, int[] stamp)
    {
        QuillonOptions options;
        Native.quillon_default_options(out options);
        string layout = "QuillonOptions: size " + options.size + " marshalled "
            + Marshal.SizeOf(typeof(QuillonOptions)) + ", offsets";
        foreach (string field in OptionFields)
            layout += " " + Marshal.OffsetOf(typeof(QuillonOptions), field);
        Console.WriteLine(layout);
        options.libraryName = "HANDLES";
        if (stamp != null) options.timestamp = stamp;
        options.onError = OnHandleError;
        options.userData = new IntPtr(7);
        int status;
        IntPtr w = Native.OpenWriter(fileName, 0.001, 1e-9, ref options, out status);
        Console.WriteLine("quillon_open: " + status);
        if (w == IntPtr.Zero) return 1;

        Native.quillon_begin_structure(w, "CELL");
        Native.quillon_property(w, 1, "net VDD");
        Native.quillon_property(w, 2, "from .NET");
        Native.quillon_boundary(w, new[] { 0, 4000, 2000 }, new[] { 0, 0, 3000 }, 3, 1, 0, 0, 0);
        Native.quillon_box(w, -100, -100, 4100, 3100, 2, 0, 0, 0);
        Native.quillon_box_wh(w, 5000, 0, 300, 200, 2, 1, 0, 0);
        Native.quillon_square(w, 6000, 0, 250, 2, 0, 0, 0);
        Native.quillon_circle(w, 2000, 1200, 600, 32, 3, 1, 0, 0);
        Native.quillon_end_structure(w);

        Native.quillon_begin_structure(w, "TOP");
        Native.quillon_path(w, new[] { 0, 10000, 10000 }, new[] { -1000, -1000, 8000 }, 3, 500,
            5, 0, 2, 0, 0);
        Native.quillon_arc(w, 5000, 5000, 3000, 0.0, 270.0, 48, 200, 6, 0, 1, 0, 0);
        Native.quillon_sector(w, -5000, 5000, 2000, 30.0, 300.0, 40, 7, 0, 0, 0);
        Native.quillon_property(w, 3, "reference");
        Native.quillon_sref(w, "CELL", 30000, 0, 0x8000, 1.5, 90.0, 0, 0);
        Native.quillon_aref(w, "CELL", new[] { 0, 40000, 0 }, new[] { 20000, 20000, 30000 }, 4,
            2, 0, 1.0, 0.0, 0, 0);
        Native.quillon_text(w, 0, -3000, "handle from .NET", 63, 0, 0x15, 0, 0, 0, 2.0, 0.0, 0,
            0);
        Native.quillon_node(w, new[] { 0, 100, 200 }, new[] { 0, 100, 0 }, 3, 9, 1, 0, 0);
        // Strict: layer 70000 does not fit 16 bits; refused, nothing written.
        status = Native.quillon_box(w, 0, 0, 10, 10, 70000, 0, 0, 0);
        Console.WriteLine("refused: " + status + " " + Native.quillon_last_error(w));
        Native.quillon_end_structure(w);
        Console.WriteLine("quillon_close: " + Native.CloseWriter(w));
        Console.WriteLine("wrote " + fileName);
        return 0;
    }

    public static int Main(string[] args)
    {
        if (args.Length != 1 && args.Length != 7)
        {
            Console.Error.WriteLine("usage: example.exe FILE [YEAR MONTH DAY HOUR MINUTE SECOND]");
            return 2;
        }
        Native.InstallErrorHandler(OnError);
        int[] t = null;
        if (args.Length == 7)
        {
            t = new int[6];
            for (int i = 0; i < 6; ++i) t[i] = int.Parse(args[i + 1]);
            if (Native.GDS_SetTimestamp(t[0], t[1], t[2], t[3], t[4], t[5]) != 1) return 1;
        }

        // Strict: a refused call writes nothing at all.
        Console.WriteLine("GDS_SetStrict: " + Native.GDS_SetStrict(1));
        Native.GDS_BeginLib(args[0], 0.001, 1e-9);

        Native.GDS_BeginStructure("CELL");
        Native.GDS_Boundary(new[] { 0, 4000, 2000 }, new[] { 0, 0, 3000 }, 3, 1, 0, 0, 0);
        Native.GDS_Box(-100, -100, 4100, 3100, 2, 0, 0, 0);
        Native.GDS_Circle(2000, 1200, 600, 32, 3, 1, 0, 0);
        Native.GDS_EndStructure();

        Native.GDS_EndStructure();  // reported: no structure is open

        Native.GDS_BeginStructure("TOP");
        int points = Native.GDS_Path(new[] { 0, 10000, 10000 }, new[] { -1000, -1000, 8000 }, 3,
            500, 5, 0, 2, 0, 0);
        Console.WriteLine("GDS_Path: " + points);
        Native.GDS_Arc(5000, 5000, 3000, 0.0, 270.0, 48, 200, 6, 0, 1, 0, 0);
        Native.GDS_Sector(-5000, 5000, 2000, 30.0, 300.0, 40, 7, 0, 0, 0);
        Native.GDS_BoxWH(20000, 0, 3000, 1500, 8, 2, 0, 0);
        Native.GDS_Square(20000, 3000, 1000, 8, 0, 0, 0);
        Native.GDS_Sref("CELL", 30000, 0, 0x8000, 1.5, 90.0, 0, 0);
        Native.GDS_Aref("CELL", new[] { 0, 40000, 0 }, new[] { 20000, 20000, 30000 }, 4, 2, 0,
            1.0, 0.0, 0, 0);
        Native.GDS_Text(0, -3000, "Quillon from .NET", 63, 0, 0x15, 0, 0, 0, 2.0, 0.0, 0, 0);
        Native.GDS_Node(new[] { 0, 100, 200 }, new[] { 0, 100, 0 }, 3, 9, 1, 0, 0);
        Native.GDS_Text(0, 0, null, 63, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);  // reported: no text
        Native.GDS_EndStructure();

        Native.GDS_EndLib();
        Console.WriteLine("wrote " + args[0]);
        return WriteThroughHandle("handle_" + args[0], t);
    }
}
