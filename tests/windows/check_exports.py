"""Checks a built Quillon.dll with the mingw-w64 objdump.

    check_exports.py --objdump OBJDUMP --dll Quillon.dll --arch win32|win64
                     --def quillon.def --runtime self-contained|shared
                     [--decorated-def quillon-decorated.def]
                     [--curves-object curves.cpp.obj]

The export directory must name the module Quillon.dll and hold exactly the
functions of quillon.def at their ordinals, by plain undecorated names, and
carry a version resource. The self-contained DLL imports system DLLs only;
the shared-runtime DLL imports, besides those, exactly mingw-w64's libgcc_s
and libstdc++ DLLs, which must lie beside it. For the 32-bit DLL, every
export must return with "ret N" where N is the argument bytes of its stdcall
signature (the @N of the import library's decorated names, which for the
first eighteen functions and GDS_Include must also match the table below, counted from
quillon.h), and the curve code must do its double arithmetic in SSE2, never
on the x87 stack.
"""

import os

import argparse
import re
import subprocess
import sys

# name: (ordinal, stdcall argument bytes), from the declarations of quillon.h.
KNOWN_EXPORTS = {
    "GDS_BeginLib": (1, 20),
    "GDS_EndLib": (2, 0),
    "GDS_BeginStructure": (3, 4),
    "GDS_EndStructure": (4, 0),
    "GDS_Path": (5, 36),
    "GDS_Arc": (6, 56),
    "GDS_Boundary": (7, 28),
    "GDS_Circle": (8, 32),
    "GDS_Sector": (9, 48),
    "GDS_Box": (10, 32),
    "GDS_BoxWH": (11, 32),
    "GDS_Square": (12, 28),
    "GDS_Sref": (13, 40),
    "GDS_Aref": (14, 48),
    "GDS_Text": (15, 60),
    "GDS_Node": (16, 28),
    "SetErrorHandle": (17, 4),
    "GDS_SetTimestamp": (18, 24),
    # The include, at the ordinal kept for it.
    "GDS_Include": (23, 4),
    # The shapes of the handle API (writer and pointers 4 bytes, doubles 8).
    "quillon_ellipse": (53, 68),
    "quillon_path_ex": (54, 60),
    "quillon_text_polygons": (55, 40),
    # A look inside a file: its name and the callbacks struct.
    "quillon_scan": (56, 8),
    "quillon_arc_path": (60, 72),
}

SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ntdll.dll"}
RUNTIME_DLLS = {
    "win32": {"libgcc_s_dw2-1.dll", "libstdc++-6.dll"},
    "win64": {"libgcc_s_seh-1.dll", "libstdc++-6.dll"},
}

# x87 instructions that compute; loads and stores (fld, fstp) only move the
# values that the 32-bit calling convention returns on the x87 stack.
X87_ARITHMETIC = {
    "fadd", "faddp", "fiadd", "fsub", "fsubp", "fsubr", "fsubrp", "fisub",
    "fmul", "fmulp", "fimul", "fdiv", "fdivp", "fdivr", "fdivrp", "fidiv",
    "fsin", "fcos", "fsincos", "fsqrt", "fprem", "fprem1", "frndint", "fscale",
}

failures = []


def fail(text):
    failures.append(text)
    print("FAIL: " + text)


def run(command):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            universal_newlines=True)
    if result.returncode != 0:
        sys.exit("cannot run %s: %s" % (" ".join(command), result.stderr))
    return result.stdout


def export_directory(private_headers):
    """(module name, ordinal base, {name: ordinal}, {ordinal: rva}, image base)."""
    module = re.search(r"^Name\s+[0-9a-fA-F]+\s+(\S+)\s*$", private_headers, re.M)
    base = re.search(r"^Ordinal Base\s+(\d+)", private_headers, re.M)
    image_base = re.search(r"^ImageBase\s+([0-9a-fA-F]+)", private_headers, re.M)
    if not (module and base and image_base):
        sys.exit("objdump -p shows no export directory")
    base = int(base.group(1))
    names = {}
    table = private_headers.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) == 2:
        for line in table[1].splitlines()[1:]:
            entry = re.match(r"^\s*\[\s*(\d+)\]\s+(\S+)\s*$", line)
            if entry:
                names[entry.group(2)] = int(entry.group(1)) + base
            elif line.strip() and not line.startswith("[Ordinal/Name Pointer]"):
                break
    addresses = {}
    for entry in re.finditer(r"^\s*\[\s*\d+\] \+base\[\s*(\d+)\]\s+([0-9a-fA-F]+) Export RVA",
                             private_headers, re.M):
        addresses[int(entry.group(1))] = int(entry.group(2), 16)
    return module.group(1), base, names, addresses, int(image_base.group(1), 16)


def read_def(path):
    """{name: (ordinal, argument bytes or None)} from a module-definition file
    whose lines read "    GDS_Box @10" or, decorated, "    GDS_Box@32 @10"."""
    exports = {}
    with open(path) as definition:
        for line in definition:
            entry = re.match(r"^\s+([A-Za-z_]\w*)(?:@(\d+))?\s+@(\d+)", line)
            if entry:
                argument_bytes = int(entry.group(2)) if entry.group(2) else None
                exports[entry.group(1)] = (int(entry.group(3)), argument_bytes)
    if not exports:
        sys.exit("%s lists no exports" % path)
    return exports


def check_export_table(private_headers, exports):
    module, base, names, addresses, image_base = export_directory(private_headers)
    if module != "Quillon.dll":
        fail("export directory names the module %r, not Quillon.dll" % module)
    if base != 1:
        fail("ordinal base is %d, not 1" % base)
    expected = {name: ordinal for name, (ordinal, _) in exports.items()}
    if names != expected:
        for name in sorted(set(names) | set(expected)):
            if names.get(name) != expected.get(name):
                fail("export %s: ordinal %s, expected %s"
                     % (name, names.get(name), expected.get(name)))
    for name in names:
        if "@" in name or name.startswith("_"):
            fail("decorated export name " + name)
    if sorted(addresses) != sorted(expected.values()):
        fail("export address table holds ordinals %s, not those of the .def file %s"
             % (sorted(addresses), sorted(expected.values())))
    return names, addresses, image_base


def check_imports(private_headers, runtime, arch, dll_path):
    imported = re.findall(r"^\s*DLL Name: (\S+)\s*$", private_headers, re.M)
    if not imported:
        fail("no import directory found")
    runtime_dlls = RUNTIME_DLLS[arch] if runtime == "shared" else set()
    for dll in imported:
        if dll.lower() not in SYSTEM_DLLS and dll not in runtime_dlls:
            fail("imports %s, which is neither a system DLL nor one of %s"
                 % (dll, sorted(runtime_dlls) or "no runtime DLL"))
    for dll in sorted(runtime_dlls):
        if dll not in imported:
            fail("does not import %s" % dll)
        if not os.path.isfile(os.path.join(os.path.dirname(dll_path), dll)):
            fail("%s is not beside %s" % (dll, dll_path))
    print("imports: " + ", ".join(imported))


def utf16(text):
    return text.encode("utf-16-le")


def check_version_resource(private_headers, dll_bytes):
    # Resource type 16 is RT_VERSION.
    if not re.search(r"Type Table:.*\n.*Entry: ID: 0x000010,", private_headers):
        fail("no version resource (type 16) in .rsrc")
    for key, value in (("ProductName", "Quillon"),
                       ("FileDescription", "Quillon GDSII Stream writer"),
                       ("OriginalFilename", "Quillon.dll")):
        if utf16(key) not in dll_bytes or utf16(value) not in dll_bytes:
            fail("version resource lacks %s %r" % (key, value))
    if not re.search(rb"F\0i\0l\0e\0V\0e\0r\0s\0i\0o\0n\0\0\0(?:\0\0)?\d\0\.\0\d", dll_bytes):
        fail("version resource lacks a FileVersion string")


def first_return(objdump, dll, address, jumps_left=8):
    """The operand of the first ret instruction reached from address on ('' for
    a plain ret, None for none), following unconditional jumps: an export may
    end in a jump to the member function that does its work (a thiscall
    function, which removes the same stack arguments)."""
    listing = run([objdump, "-d", "--no-show-raw-insn", "--start-address=0x%x" % address,
                   "--stop-address=0x%x" % (address + 0x400), dll])
    for line in listing.splitlines():
        instruction = re.match(r"^\s*[0-9a-f]+:\s+(ret[a-z]*)\s*(\S*)", line)
        if instruction:
            return instruction.group(2)
        jump = re.match(r"^\s*[0-9a-f]+:\s+jmp\s+(?:0x)?([0-9a-f]+)\b", line)
        if jump and jumps_left > 0:
            return first_return(objdump, dll, int(jump.group(1), 16), jumps_left - 1)
    return None


def check_argument_bytes(objdump, dll, exports, decorated, names, addresses, image_base):
    for name, (ordinal, _) in sorted(exports.items(), key=lambda e: e[1][0]):
        argument_bytes = decorated.get(name, (None, None))[1]
        if argument_bytes is None:
            fail("the decorated .def file gives no argument bytes for " + name)
            continue
        if name in KNOWN_EXPORTS and KNOWN_EXPORTS[name] != (ordinal, argument_bytes):
            fail("%s is @%d with %d argument bytes, quillon.h says @%d with %d"
                 % ((name, ordinal, argument_bytes) + KNOWN_EXPORTS[name]))
        if names.get(name) != ordinal or ordinal not in addresses:
            continue
        operand = first_return(objdump, dll, image_base + addresses[ordinal])
        removed = 0 if operand == "" else int(operand.lstrip("$"), 16) if operand else None
        if removed != argument_bytes:
            fail("%s returns removing %s argument bytes, expected %d"
                 % (name, removed, argument_bytes))
    print("stdcall argument bytes checked for %d exports" % len(exports))


def check_sse2(objdump, curves_object):
    listing = run([objdump, "-d", "--no-show-raw-insn", curves_object])
    mnemonics = set(re.findall(r"^\s*[0-9a-f]+:\s+([a-z0-9]+)", listing, re.M))
    x87 = sorted(mnemonics & X87_ARITHMETIC)
    if x87:
        fail("curve code computes on the x87 stack: " + ", ".join(x87))
    for needed in ("mulsd", "addsd"):
        if needed not in mnemonics:
            fail("curve code has no SSE2 %s" % needed)
    print("curve code arithmetic: %s" % ", ".join(sorted(m for m in mnemonics
                                                        if m.endswith("sd"))))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--arch", choices=("win32", "win64"), required=True)
    parser.add_argument("--def", dest="definition", required=True)
    parser.add_argument("--runtime", choices=("self-contained", "shared"), required=True)
    parser.add_argument("--decorated-def")
    parser.add_argument("--curves-object")
    arguments = parser.parse_args()
    exports = read_def(arguments.definition)
    missing = sorted(set(KNOWN_EXPORTS) - set(exports))
    if missing:
        fail("%s lacks %s" % (arguments.definition, ", ".join(missing)))

    private_headers = run([arguments.objdump, "-p", arguments.dll])
    expected_format = "pei-i386" if arguments.arch == "win32" else "pei-x86-64"
    if "file format " + expected_format not in private_headers:
        fail("%s is not %s" % (arguments.dll, expected_format))
    names, addresses, image_base = check_export_table(private_headers, exports)
    check_imports(private_headers, arguments.runtime, arguments.arch, arguments.dll)
    with open(arguments.dll, "rb") as dll:
        check_version_resource(private_headers, dll.read())
    if arguments.arch == "win32":
        if not arguments.decorated_def:
            sys.exit("--decorated-def is required for win32")
        check_argument_bytes(arguments.objdump, arguments.dll, exports,
                             read_def(arguments.decorated_def), names, addresses, image_base)
        if not arguments.curves_object:
            sys.exit("--curves-object is required for win32")
        check_sse2(arguments.objdump, arguments.curves_object)

    if failures:
        print("%d failures" % len(failures))
        return 1
    print("%s: %d exports by name and ordinal, module Quillon.dll" % (arguments.dll, len(names)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
