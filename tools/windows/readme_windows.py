"""Writes README-windows.txt, the notes for Windows hosts that the release
zip carries, with the declarations of every flat function (GDS_* and
SetErrorHandle) for C, VBA (32-bit and 64-bit Office), Delphi and .NET,
derived from the prototypes of quillon.h:

    readme_windows.py --header include/quillon.h --def src/core/quillon.def
                      --version 1.0.0 --output README-windows.txt

The table of the flat exports (ordinal, name, argument bytes on 32-bit
Windows) also stands in README.md, between the markers EXPORTS_BEGIN and
EXPORTS_END; --check-readme README.md exits 1 when that table differs from
the one quillon.def and quillon.h give, --update-readme README.md writes it
there, and --markdown prints it.

Every flat function of quillon.def must have a prototype in quillon.h whose
parameter types are among those the flat interface uses (int, double,
const char*, const int*, ErrorHandler); anything else stops the script, so
the notes never fall behind the exports.
"""

import argparse
import re
import sys

# C type: (VBA 32-bit, VBA 64-bit, Delphi, C#), for a parameter.
PARAMETER_TYPES = {
    "int": ("ByVal {n} As Long", "ByVal {n} As Long", "{n}: Integer", "int {n}"),
    "double": ("ByVal {n} As Double", "ByVal {n} As Double", "{n}: Double", "double {n}"),
    "const char*": ("ByVal {n} As String", "ByVal {n} As String", "{n}: PAnsiChar",
                    "string {n}"),
    "const int*": ("ByRef {n} As Long", "ByRef {n} As Long", "{n}: PInteger", "int[] {n}"),
    "const double*": ("ByRef {n} As Double", "ByRef {n} As Double", "{n}: PDouble",
                      "double[] {n}"),
    "int*": ("ByRef {n} As Long", "ByRef {n} As Long", "var {n}: Integer", "ref int {n}"),
    "ErrorHandler": ("ByVal {n} As Long", "ByVal {n} As LongPtr",
                     "{n}: TQuillonErrorHandler", "ErrorHandler {n}"),
}
# C type: (VBA 32-bit, VBA 64-bit, Delphi, C#), for a return value.
RETURN_TYPES = {
    "int": ("Long", "Long", "Integer", "int"),
    "ErrorHandler": ("Long", "LongPtr", "TQuillonErrorHandler", "IntPtr"),
}


def prototypes(header_text):
    """{name: (return type, [(parameter type, parameter name)])} of quillon.h."""
    found = {}
    pattern = re.compile(r"QUILLON_API\(([^)]*)\)\s+(\w+)\s*\(([^)]*)\)\s*;", re.S)
    for return_type, name, parameters in pattern.findall(header_text):
        parameters = " ".join(parameters.split())
        parsed = []
        if parameters not in ("", "void"):
            for parameter in parameters.split(","):
                entry = re.match(r"^\s*(.*?)\s*(\w+)\s*$", parameter)
                parsed.append((re.sub(r"\s*\*", "*", entry.group(1)), entry.group(2)))
        found[name] = (return_type.strip(), parsed)
    return found


def declared_function(declared, name):
    """(name, return type, parameters) of name, whose types the notes know."""
    if name not in declared:
        sys.exit("quillon.h declares no %s" % name)
    return_type, parameters = declared[name]
    for c_type, parameter in parameters:
        if c_type not in PARAMETER_TYPES:
            sys.exit("%s: parameter %s %s has a type the notes do not know; add it to "
                     "PARAMETER_TYPES in %s" % (name, c_type, parameter, __file__))
    if return_type not in RETURN_TYPES:
        sys.exit("%s returns %s, a type the notes do not know; add it to RETURN_TYPES "
                 "in %s" % (name, return_type, __file__))
    return name, return_type, parameters


def flat_exports(def_text):
    """[(name, ordinal)] of the flat functions that quillon.def exports."""
    return [(m.group(1), int(m.group(2)))
            for m in re.finditer(r"^\s+([A-Za-z_]\w*)\s+@(\d+)", def_text, re.M)
            if m.group(1).startswith("GDS_") or m.group(1) == "SetErrorHandle"]


def handle_exports(def_text):
    """[(name, ordinal)] of the handle functions that quillon.def exports."""
    return [(m.group(1), int(m.group(2)))
            for m in re.finditer(r"^\s+(quillon_\w+)\s+@(\d+)", def_text, re.M)]


def argument_bytes(name, parameters):
    """What a 32-bit stdcall function removes from the stack: 8 bytes per
    double, 4 per int or pointer."""
    total = 0
    for c_type, parameter in parameters:
        if c_type == "double":
            total += 8
        elif c_type in ("int", "unsigned") or c_type.endswith("*") or c_type == "ErrorHandler":
            total += 4
        else:
            sys.exit("%s: parameter %s %s has no known size" % (name, c_type, parameter))
    return total


def markdown_table(declared, exports):
    """The README's table of exports: ordinal, name and argument bytes, two
    exports per row."""
    cells = ["| %d | `%s` | %d |" % (ordinal, name, argument_bytes(name, declared[name][1]))
             for name, ordinal in sorted(exports, key=lambda e: e[1])]
    half = (len(cells) + 1) // 2
    rows = ["| ordinal | function | bytes | ordinal | function | bytes |",
            "|---:|---|---:|---:|---|---:|"]
    for i in range(half):
        right = cells[half + i][1:] if half + i < len(cells) else " | | |"
        rows.append(cells[i] + right)
    return "\n".join(rows)


def text_table(declared, exports):
    """The same for README-windows.txt, one export per line."""
    return "\n".join("    %3d  %-26s %3d" % (ordinal, name, argument_bytes(name, declared[name][1]))
                     for name, ordinal in sorted(exports, key=lambda e: e[1]))


def c_prototype(name, return_type, parameters):
    arguments = ", ".join("%s %s" % (t, n) for t, n in parameters) or "void"
    return "%s __stdcall %s(%s);" % (return_type, name, arguments)


def vba(name, return_type, parameters, wide):
    column = 1 if wide else 0
    arguments = ", ".join(PARAMETER_TYPES[t][column].format(n=n) for t, n in parameters)
    return 'Private Declare %sFunction %s Lib "Quillon.dll" (%s) As %s' % (
        "PtrSafe " if wide else "", name, arguments, RETURN_TYPES[return_type][column])


def delphi(name, return_type, parameters):
    arguments = "; ".join(PARAMETER_TYPES[t][2].format(n=n) for t, n in parameters)
    return "function %s%s: %s; stdcall; external 'Quillon.dll';" % (
        name, "(%s)" % arguments if arguments else "", RETURN_TYPES[return_type][2])


def dotnet(name, return_type, parameters):
    arguments = ", ".join(PARAMETER_TYPES[t][3].format(n=n) for t, n in parameters)
    return "        [DllImport(\"Quillon.dll\", CallingConvention = CallingConvention.StdCall, " \
           "CharSet = CharSet.Ansi)]\n        public static extern %s %s(%s);" % (
               RETURN_TYPES[return_type][3], name, arguments)


TEMPLATE = """\
Quillon {version} for Windows
=========================

Quillon writes GDSII Stream files. Every function is exported from
Quillon.dll by its plain, undecorated name at the fixed ordinal of
quillon.def; on 32-bit Windows each is stdcall (the callee removes its
arguments). quillon.h is the manual: calling order, units, limits, messages.

Which folder
------------
  host                                          folder
  C, VBA, Delphi, .NET, MSVC C++: any host      win32\\  or win64\\
  that installs an error handler
  C++ built with mingw-w64 that catches         win32-shared-runtime\\  or
  GDSIIException                                win64-shared-runtime\\

32-bit programs (32-bit Office included) take the win32 folders, 64-bit
programs the win64 ones. Ship the DLLs of one folder together, beside your
program: win32\\ and win64\\ hold Quillon.dll alone (it imports only
KERNEL32.dll and msvcrt.dll); the shared-runtime folders add mingw-w64's
libgcc_s and libstdc++ DLLs, which your C++ program must link too (the
default of mingw-w64's g++ without -static), so that the exception is thrown
and caught by one C++ runtime.

Exports
-------
Ordinal, name and the argument bytes a 32-bit call removes (stdcall):

{exports}

Errors
------
Install a handler with SetErrorHandle: a stdcall function receiving the
message text (int __stdcall onError(const char* message)). Without a
handler, an error throws a C++ GDSIIException out of the function. Only a
C++ host sharing the DLL's C++ runtime (the shared-runtime folders) can catch
it. Anywhere else, an error without a handler ends the process.

C (mingw-w64; link libQuillon.dll.a, or load at run time)
---------------------------------------------------------
    #include "quillon.h"
    i686-w64-mingw32-gcc app.c -Iwin32 win32\\libQuillon.dll.a

    typedef int (__stdcall *BoxFn)(int, int, int, int, int, int, int, int);
    BoxFn box = (BoxFn)GetProcAddress(LoadLibraryA("Quillon.dll"), "GDS_Box");

VBA, 32-bit Office
------------------
Arrays of points are passed by their first element: GDS_Boundary(xs(0),
ys(0), n, ...). The handler is AddressOf a function in a standard module,
Function OnError(ByVal message As Long) As Long, whose argument is the
address of the message text.

{vba32}

VBA, 64-bit Office (VBA 7)
--------------------------
The same, with the handler as LongPtr: Function OnError(ByVal message As
LongPtr) As Long.

{vba64}

Delphi
------
    type TQuillonErrorHandler = function(message: PAnsiChar): Integer; stdcall;

{delphi}

.NET (C#)
---------
Keep the delegate passed to SetErrorHandle referenced for as long as it is
installed.

    using System;
    using System.Runtime.InteropServices;

    [UnmanagedFunctionPointer(CallingConvention.StdCall, CharSet = CharSet.Ansi)]
    public delegate int ErrorHandler(string message);

    public static class Quillon {{
{dotnet}
    }}

Handle API: several files at once
---------------------------------
The quillon_* functions (ordinals 30 and up) write any number of files at
once, each through its own QuillonWriter; they return a status (0, or a
negative QUILLON_ERROR_* code of quillon.h), never throw, and report
through the optional onError callback of QuillonOptions. quillon.h
declares QuillonOptions; fill it with quillon_default_options first.

{handles}

    QuillonOptions options;
    int status;
    quillon_default_options(&options);
    options.libraryName = "CHIP";
    QuillonWriter* a = quillon_open("a.gds", 0.001, 1e-9, &options, &status);
    QuillonWriter* b = quillon_open("b.gds", 0.001, 1e-9, &options, &status);
    quillon_begin_structure(a, "TOP");
    quillon_begin_structure(b, "TOP");
    quillon_box(a, 0, 0, 100, 100, 1, 0, 0, 0);
    if (quillon_box(b, 0, 0, 100, 100, 70000, 0, 0, 0) != QUILLON_OK)
        puts(quillon_last_error(b));   /* strict: layer out of range, nothing written */
    quillon_end_structure(a);
    quillon_end_structure(b);
    quillon_close(a);
    quillon_close(b);

VBA and Delphi pass QuillonOptions as a record laid out as the C struct
(pointers 4 bytes on win32, 8 on win64). bindings/dotnet/Quillon.cs of the
source tree is the .NET binding.
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--header", required=True)
    parser.add_argument("--def", dest="definition", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--output")
    parser.add_argument("--markdown", action="store_true",
                        help="print the README.md table of the flat exports")
    parser.add_argument("--check-readme", metavar="README_MD",
                        help="check the table of README.md against quillon.def and quillon.h")
    parser.add_argument("--update-readme", metavar="README_MD",
                        help="write the table into README.md between its markers")
    arguments = parser.parse_args()
    with open(arguments.header) as header:
        declared = prototypes(header.read())
    with open(arguments.definition) as definition:
        definition_text = definition.read()
        exports = flat_exports(definition_text)
    handles = [name for name, _ in sorted(handle_exports(definition_text), key=lambda e: e[1])]
    for name in handles:
        if name not in declared:
            sys.exit("quillon.h declares no %s" % name)
    functions = [declared_function(declared, name)
                 for name, _ in sorted(exports, key=lambda e: e[1])]

    def indented(lines):
        return "\n".join("    " + line for line in lines)

    table = markdown_table(declared, exports)
    if arguments.markdown:
        print(table)
        return
    markers = re.compile(r"(<!-- EXPORTS_BEGIN[^>]*-->\n)(.*?)(\n<!-- EXPORTS_END -->)", re.S)
    if arguments.update_readme:
        with open(arguments.update_readme) as readme:
            text = readme.read()
        if not markers.search(text):
            sys.exit("%s has no EXPORTS_BEGIN and EXPORTS_END markers" % arguments.update_readme)
        with open(arguments.update_readme, "w") as readme:
            readme.write(markers.sub(lambda m: m.group(1) + table + m.group(3), text, count=1))
        return
    if arguments.check_readme:
        with open(arguments.check_readme) as readme:
            found = markers.search(readme.read())
        if found is None or found.group(2) != table:
            sys.exit("%s: the table of exports between EXPORTS_BEGIN and EXPORTS_END is not "
                     "that of quillon.def and quillon.h; it should read:\n%s"
                     % (arguments.check_readme, table))
        return
    if arguments.output is None:
        parser.error("--output is required")

    text = TEMPLATE.format(
        version=arguments.version,
        exports=text_table(declared, exports + handle_exports(definition_text)),
        vba32=indented(vba(*f, wide=False) for f in functions),
        vba64=indented(vba(*f, wide=True) for f in functions),
        delphi=indented(delphi(*f) for f in functions),
        dotnet="\n".join(dotnet(*f) for f in functions),
        handles=indented(c_prototype(name, *declared[name]) for name in handles))
    with open(arguments.output, "w", newline="\r\n") as output:
        output.write(text)


if __name__ == "__main__":
    main()
