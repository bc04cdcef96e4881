// Gzip-compressed GDSII (files such as chip.gds.gz): recognised by the gzip
// magic bytes, whatever the file is called, and inflated into memory for
// the record reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gdsdump {

// The bytes start with the gzip magic 1F 8B.
bool isGzip(const std::uint8_t* bytes, std::size_t size);

// Inflates the gzip stream bytes[0, size) (one member or several in a row)
// into out. Returns "" on success, else a one-line description of what is
// wrong (a corrupt or truncated stream, a bad check value); out then holds
// what was inflated before the fault.
std::string gunzip(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint8_t>& out);

}  // namespace gdsdump
