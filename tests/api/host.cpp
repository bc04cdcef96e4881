#include "host.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <unistd.h>

namespace host {

const char* const fixedStamp =
    "00 7E 00 0C 00 07 00 08 00 20 00 33 00 7E 00 0C 00 07 00 08 00 20 00 33";

Bytes hex(const std::string& text) {
    Bytes bytes;
    std::string digits;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
        else if (c != ' ' && c != ';' && c != '\n')
            throw std::invalid_argument("bad hex character in: " + text);
    }
    if (digits.size() % 2 != 0) throw std::invalid_argument("odd hex digit count: " + text);
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string toHex(const Bytes& bytes) {
    std::string text;
    char buffer[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X ", b);
        text += buffer;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::string int4s(std::initializer_list<std::int32_t> values) {
    std::string text;
    char buffer[16];
    for (std::int32_t value : values) {
        std::snprintf(buffer, sizeof buffer, "%08X ", static_cast<std::uint32_t>(value));
        text += buffer;
    }
    return text;
}

std::vector<std::string>& messages() {
    static std::vector<std::string> received;
    return received;
}

int QUILLON_CALL recordMessage(const char* message) {
    messages().emplace_back(message);
    return 0;
}

std::filesystem::path tempPath(const std::string& name) {
    static const std::filesystem::path folder = [] {
        auto dir = std::filesystem::temp_directory_path() /
                   ("quillon-api-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        return dir;
    }();
    return folder / name;
}

void resetWriter() {
    SetErrorHandle(recordMessage);
    GDS_EndStructure();
    GDS_EndLib();
    SetErrorHandle(nullptr);
    GDS_SetStrict(0);
    GDS_SetTimestamp(2026, 12, 7, 8, 32, 51);
    messages().clear();
}

std::filesystem::path keptPath(const std::string& name) {
    const char* dir = std::getenv("QUILLON_KEEP_DIR");
    if (dir == nullptr || *dir == 0) return tempPath(name);
    return std::filesystem::path(dir) / name;
}

namespace {

Bytes writeLibrary(const std::filesystem::path& path, bool inStructure,
                   const std::function<void()>& calls) {
    GDS_BeginLib(path.c_str(), 0.001, 1e-9);
    if (inStructure) GDS_BeginStructure("S");
    calls();
    if (inStructure) GDS_EndStructure();
    GDS_EndLib();
    return readFile(path);
}

// What calls adds to a library, between the records before it and the
// trailer bytes after it (ENDSTR and ENDLIB, or ENDLIB alone).
Bytes addedBytes(bool inStructure, const std::function<void()>& calls) {
    const auto path = tempPath("element.gds");
    const Bytes empty = writeLibrary(path, inStructure, [] {});
    const Bytes full = writeLibrary(path, inStructure, calls);
    const std::ptrdiff_t trailer = inStructure ? 8 : 4;
    const auto prefix = static_cast<std::ptrdiff_t>(empty.size()) - trailer;
    if (static_cast<std::ptrdiff_t>(full.size()) < prefix + trailer)
        throw std::runtime_error("the calls shortened the file");
    return Bytes(full.begin() + prefix, full.end() - trailer);
}

}  // namespace

Bytes elementBytes(const std::function<void()>& calls) { return addedBytes(true, calls); }

Bytes elementBytesOutside(const std::function<void()>& calls) { return addedBytes(false, calls); }

namespace {

std::string thrownWritingNothing(bool inStructure, const std::function<void()>& call) {
    std::string thrown;
    bool threw = false;
    const Bytes written = addedBytes(inStructure, [&] {
        try {
            call();
        } catch (const GDSIIException& e) {
            thrown = e.message;
            threw = true;
        }
    });
    if (!threw) ADD_FAILURE() << "no GDSIIException thrown";
    if (!written.empty()) ADD_FAILURE() << "a thrown call wrote " << toHex(written);
    return thrown;
}

}  // namespace

std::string throwsWritingNothing(const std::function<void()>& call) {
    return thrownWritingNothing(true, call);
}

std::string expectThrowOutside(const std::function<void()>& call) {
    return thrownWritingNothing(false, call);
}

std::vector<Record> records(const Bytes& bytes) {
    std::vector<Record> found;
    std::size_t at = 0;
    while (at + 4 <= bytes.size()) {
        const std::size_t length = (bytes[at] << 8) | bytes[at + 1];
        if (length < 4 || at + length > bytes.size())
            throw std::runtime_error("bad record length at " + std::to_string(at));
        found.push_back({bytes[at + 2], bytes[at + 3],
                         Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
                               bytes.begin() + static_cast<std::ptrdiff_t>(at + length))});
        at += length;
    }
    if (at != bytes.size()) throw std::runtime_error("trailing bytes");
    return found;
}

std::vector<std::vector<std::pair<std::int32_t, std::int32_t>>> xyRecords(const Bytes& bytes) {
    std::vector<std::vector<std::pair<std::int32_t, std::int32_t>>> all;
    for (const Record& record : records(bytes)) {
        if (record.type != 0x10) continue;
        std::vector<std::pair<std::int32_t, std::int32_t>> points;
        auto int4 = [&](std::size_t i) {
            return static_cast<std::int32_t>(
                (std::uint32_t(record.data[i]) << 24) | (std::uint32_t(record.data[i + 1]) << 16) |
                (std::uint32_t(record.data[i + 2]) << 8) | std::uint32_t(record.data[i + 3]));
        };
        for (std::size_t i = 0; i + 8 <= record.data.size(); i += 8)
            points.emplace_back(int4(i), int4(i + 4));
        all.push_back(points);
    }
    return all;
}

}  // namespace host
