#include "unwind_bridge.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace quillon {

#if defined(__GNUC__) && defined(__i386__) && !defined(__SEH__) && \
    !defined(__USING_SJLJ_EXCEPTIONS__)
#  define QUILLON_DWARF_UNWIND_BRIDGE 1
#endif

#if defined(QUILLON_DWARF_UNWIND_BRIDGE)

// 32-bit MinGW unwinds C++ exceptions with DWARF-2 tables (.eh_frame) that
// each module's copy of the GCC runtime registers with itself at start-up.
// Quillon.dll links that runtime statically (it imports only system DLLs),
// so its unwinder knows Quillon's frames and no others: a GDSIIException
// thrown towards the host would find no frame beyond the exported function
// and end the process in std::terminate.
//
// At load, therefore, Quillon hands its own unwinder a copy of the host
// executable's tables. In the copy, every personality routine (the code
// that reads a frame's catch clauses and enters its landing pad) is
// Quillon's own: the host's would drive the host's copy of the runtime, which
// has not necessarily unwound anything yet and then aborts. The copy's
// pc-relative pointers are moved so that they still reach the host's code
// and catch tables. Once a landing pad of the host runs, the host's own
// runtime takes over (__cxa_begin_catch, _Unwind_Resume). All of this relies
// on the host and Quillon sharing the C++ ABI, so a C++ host must be built
// with the same compiler family. 64-bit Windows unwinds through the system's
// tables and needs none of it.

// The GCC runtime's frame registry (unwind-dw2-fde.h) and C++ personality.
struct dwarf_eh_bases {
    void* tbase;
    void* dbase;
    void* func;
};

extern "C" {
void __register_frame(void* begin);
void __deregister_frame(void* begin);
const void* _Unwind_Find_FDE(void* pc, dwarf_eh_bases* bases);
void __gxx_personality_v0();
}

namespace {

constexpr char ehFrameName[] = ".eh_frame";

// Pointer encodings of the DWARF exception tables (DW_EH_PE_*).
constexpr unsigned char encodingOmit = 0xff;
constexpr unsigned char encodingFormat = 0x0f;
constexpr unsigned char encodingAbsolute = 0x00;
constexpr unsigned char encodingUnsigned4 = 0x03;
constexpr unsigned char encodingSigned4 = 0x0b;
constexpr unsigned char encodingBase = 0x70;
constexpr unsigned char encodingPcRelative = 0x10;
constexpr unsigned char encodingIndirect = 0x80;

std::uint32_t load32(const unsigned char* at) {
    std::uint32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

void store32(unsigned char* at, std::uint32_t value) { std::memcpy(at, &value, 4); }

// Skips an unsigned or signed LEB128 number.
const unsigned char* skipLeb128(const unsigned char* at, const unsigned char* end) {
    while (at < end && (*at & 0x80) != 0) ++at;
    return at < end ? at + 1 : nullptr;
}

const unsigned char* readUleb128(const unsigned char* at, const unsigned char* end,
                                 std::uint32_t* value) {
    std::uint32_t result = 0;
    int shift = 0;
    while (at < end) {
        const unsigned char byte = *at++;
        if (shift < 32) result |= static_cast<std::uint32_t>(byte & 0x7f) << shift;
        shift += 7;
        if ((byte & 0x80) == 0) {
            *value = result;
            return at;
        }
    }
    return nullptr;
}

// True for the encodings a 32-bit table can be moved with: absolute or
// pc-relative 4-byte values, possibly indirect.
bool movableEncoding(unsigned char encoding) {
    if (encoding == encodingOmit) return true;
    const unsigned char format = encoding & encodingFormat;
    const unsigned char base = encoding & encodingBase;
    return (format == encodingAbsolute || format == encodingUnsigned4 ||
            format == encodingSigned4) &&
           (base == 0 || base == encodingPcRelative);
}

// Keeps a pc-relative field of the copy pointing where the original's did.
void movePointer(unsigned char* field, unsigned char encoding, std::uintptr_t shift) {
    if ((encoding & encodingBase) == encodingPcRelative)
        store32(field, load32(field) - static_cast<std::uint32_t>(shift));
}

// The slot that the copy's indirect personality pointers read.
void (*const quillonPersonality)() = &__gxx_personality_v0;

// What a frame description entry needs from its common information entry.
struct CieEncoding {
    unsigned char fdeEncoding;
    unsigned char lsdaEncoding;
    bool augmented;
};

// Reads the common information entry at entry (ending at end) into cie
// and, when rewrite is set, points its personality routine at Quillon's;
// false when it uses something this code does not move.
bool readCie(unsigned char* entry, const unsigned char* end, bool rewrite, CieEncoding* cie) {
    if (end - entry < 10) return false;
    const unsigned char version = entry[8];
    const char* augmentation = reinterpret_cast<const char*>(entry + 9);
    const unsigned char* at = entry + 9;
    while (at < end && *at != 0) ++at;
    if (at == end) return false;
    ++at;
    at = skipLeb128(at, end);                                // code alignment
    if (at != nullptr) at = skipLeb128(at, end);             // data alignment
    if (at != nullptr) at = version == 1 ? at + 1 : skipLeb128(at, end);  // return column
    if (at == nullptr) return false;
    cie->fdeEncoding = encodingAbsolute;
    cie->lsdaEncoding = encodingOmit;
    cie->augmented = augmentation[0] == 'z';
    if (!cie->augmented) return augmentation[0] == '\0';
    std::uint32_t length = 0;
    at = readUleb128(at, end, &length);
    if (at == nullptr) return false;
    auto* data = entry + (at - entry);
    for (const char* letter = augmentation + 1; *letter != '\0'; ++letter) {
        if (data >= end) return false;
        if (*letter == 'R') {
            cie->fdeEncoding = *data++;
            if (!movableEncoding(cie->fdeEncoding)) return false;
        } else if (*letter == 'L') {
            cie->lsdaEncoding = *data++;
            if (!movableEncoding(cie->lsdaEncoding)) return false;
        } else if (*letter == 'P') {
            const unsigned char encoding = *data++;
            if (!movableEncoding(encoding) || encoding == encodingOmit || end - data < 4)
                return false;
            if (rewrite) {
                // Quillon's personality routine, reached the way the host's was.
                const auto slot = reinterpret_cast<std::uintptr_t>(&quillonPersonality);
                const auto routine = reinterpret_cast<std::uintptr_t>(quillonPersonality);
                std::uintptr_t target = (encoding & encodingIndirect) != 0 ? slot : routine;
                if ((encoding & encodingBase) == encodingPcRelative)
                    target -= reinterpret_cast<std::uintptr_t>(data);
                store32(data, static_cast<std::uint32_t>(target));
            }
            data += 4;
        } else if (*letter != 'S' && *letter != 'B') {
            return false;
        }
    }
    return true;
}

// Rewrites the copy of a frame description entry that belongs to cie.
bool rewriteFde(unsigned char* entry, const unsigned char* end, std::uintptr_t shift,
                const CieEncoding& cie) {
    unsigned char* at = entry + 8;
    if (end - at < 8) return false;
    movePointer(at, cie.fdeEncoding, shift);  // pc_begin; pc_range is a length
    at += 8;
    if (!cie.augmented || cie.lsdaEncoding == encodingOmit) return true;
    std::uint32_t length = 0;
    const unsigned char* data = readUleb128(at, end, &length);
    if (data == nullptr || length < 4 || end - data < 4) return false;
    movePointer(entry + (data - entry), cie.lsdaEncoding, shift);
    return true;
}

// A copy of the .eh_frame table original (size bytes) for Quillon's
// unwinder, or nullptr when the table holds anything it cannot move.
unsigned char* copyForQuillon(const unsigned char* original, std::size_t size) {
    auto* copy = static_cast<unsigned char*>(std::malloc(size + 4));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, original, size);
    store32(copy + size, 0);  // the terminator, should the table lack one
    const std::uintptr_t shift =
        reinterpret_cast<std::uintptr_t>(copy) - reinterpret_cast<std::uintptr_t>(original);
    const unsigned char* const end = copy + size;
    bool movable = true;
    for (unsigned char* entry = copy; movable && end - entry >= 4;) {
        const std::uint32_t length = load32(entry);
        if (length == 0) break;
        if (length == 0xffffffffu || length < 4 ||
            length > static_cast<std::size_t>(end - entry - 4)) {
            movable = false;
            break;
        }
        unsigned char* const next = entry + 4 + length;
        const std::uint32_t id = load32(entry + 4);
        CieEncoding cie{};
        if (id == 0) {
            movable = readCie(entry, next, true, &cie);
        } else {
            // The CIE lies id bytes before the id field.
            const auto idOffset = static_cast<std::uint32_t>(entry + 4 - copy);
            unsigned char* const owner = copy + (idOffset - id);
            movable = id <= idOffset &&
                      readCie(owner, owner + 4 + load32(owner), false, &cie) &&
                      rewriteFde(entry, next, shift, cie);
        }
        entry = next;
    }
    if (!movable) {
        std::free(copy);
        return nullptr;
    }
    return copy;
}

// True when bytes look like the start of an .eh_frame table: a common
// information entry (CIE id 0, version 1 or 3, augmentation "z...").
bool startsWithCie(const unsigned char* bytes, DWORD size) {
    if (size < 12) return false;
    const std::uint32_t length = load32(bytes);
    const unsigned char version = bytes[8];
    return length >= 8 && length <= size - 4 && load32(bytes + 4) == 0 &&
           (version == 1 || version == 3) && bytes[9] == 'z';
}

// The loaded .eh_frame section of module and its size. The linker writes
// the name truncated to ".eh_fram" into a stripped image, or as "/N" (an
// offset into the file's string table, which is not loaded) into an
// unstripped one; the latter is recognised by its content.
const unsigned char* findEhFrame(HMODULE module, std::size_t* size) {
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        const char* name = reinterpret_cast<const char*>(section->Name);
        const unsigned char* bytes = base + section->VirtualAddress;
        const DWORD length = section->Misc.VirtualSize;
        const DWORD flags = section->Characteristics;
        const bool readable = (flags & IMAGE_SCN_MEM_READ) != 0 &&
                              (flags & IMAGE_SCN_CNT_INITIALIZED_DATA) != 0;
        const bool named = std::strncmp(name, ehFrameName, IMAGE_SIZEOF_SHORT_NAME) == 0;
        const bool longNamed = name[0] == '/' && (flags & IMAGE_SCN_MEM_DISCARDABLE) == 0;
        if (readable && (named || longNamed) && startsWithCie(bytes, length)) {
            *size = length;
            return bytes;
        }
    }
    return nullptr;
}

unsigned char* hostFrames = nullptr;
void* ownFrames = nullptr;

}  // namespace

void registerUnwindTables(HINSTANCE self) {
    std::size_t size = 0;
    const unsigned char* host = findEhFrame(GetModuleHandleW(nullptr), &size);
    if (host != nullptr) hostFrames = copyForQuillon(host, size);
    if (hostFrames != nullptr) __register_frame(hostFrames);
    // When the host runs the shared GCC runtime (libgcc_s_dw2-1.dll),
    // Quillon's start-up code may have handed Quillon's own tables to that
    // one instead of to the copy that does the unwinding here.
    dwarf_eh_bases bases{};
    void* ownCode = reinterpret_cast<void*>(&registerUnwindTables);
    if (_Unwind_Find_FDE(static_cast<char*>(ownCode) + 1, &bases) == nullptr) {
        ownFrames = const_cast<unsigned char*>(findEhFrame(self, &size));
        if (ownFrames != nullptr) __register_frame(ownFrames);
    }
}

void deregisterUnwindTables() {
    if (hostFrames != nullptr) {
        __deregister_frame(hostFrames);
        std::free(hostFrames);
    }
    if (ownFrames != nullptr) __deregister_frame(ownFrames);
    hostFrames = nullptr;
    ownFrames = nullptr;
}

#else

void registerUnwindTables(HINSTANCE) {}
void deregisterUnwindTables() {}

#endif

}  // namespace quillon
