// What a host program sees: helpers for driving the exported functions of
// the built shared library and reading back the bytes they wrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "quillon.h"

namespace host {

using Bytes = std::vector<std::uint8_t>;

// "00 04 0C 00" -> {0x00, 0x04, 0x0C, 0x00}; blanks and ';' are ignored.
Bytes hex(const std::string& text);
std::string toHex(const Bytes& bytes);
Bytes readFile(const std::filesystem::path& path);
Bytes concat(std::initializer_list<Bytes> parts);

// INT4 values in file order, as hex.
std::string int4s(std::initializer_list<std::int32_t> values);

// The messages the recording handler received, in order.
std::vector<std::string>& messages();
int QUILLON_CALL recordMessage(const char* message);

// A fresh path in the test's own temporary folder.
std::filesystem::path tempPath(const std::string& name);

// A path for a file that a reader checks after the test run: in the folder
// QUILLON_KEEP_DIR names, or a temporary one.
std::filesystem::path keptPath(const std::string& name);

// Brings the writer back to Idle whatever a test left behind, with the
// handler removed and the clock fixed at 08:32:51 on 7 December 2026.
void resetWriter();

// The bytes that calls writes between STRNAME of structure "S" and its
// ENDSTR, in a library of its own. Errors reach whatever handler is
// installed when it is called.
Bytes elementBytes(const std::function<void()>& calls);
// The bytes that calls writes in a library with no structure open.
Bytes elementBytesOutside(const std::function<void()>& calls);
// The message call throws, with no handler, inside an open structure
// (checking that nothing of it reached the file).
std::string throwsWritingNothing(const std::function<void()>& call);
// The message call throws in a library with no structure open (checking
// that nothing reached the file); a test failure when it throws nothing.
std::string expectThrowOutside(const std::function<void()>& call);

// The time stamp written for 2026-12-07 08:32:51, twice (24 bytes).
extern const char* const fixedStamp;

// A GDSII record walked out of a byte string.
struct Record {
    std::uint8_t type;
    std::uint8_t dataType;
    Bytes data;
};
std::vector<Record> records(const Bytes& bytes);
// The (x, y) pairs of every XY record in bytes, in order.
std::vector<std::vector<std::pair<std::int32_t, std::int32_t>>> xyRecords(const Bytes& bytes);


}  // namespace host
