#pragma once

// Versions and dates in BCD, and the key-side version column.

#include <cstdint>
#include <string>

#include "protocol/key_records.h"

namespace flashwell::catalogue {

// Both nibbles at most 9.
bool isBcdByte(std::uint8_t b);

// "%.2x.%.2x" and five blanks.
std::string formatTwoPartVersion(std::uint8_t major, std::uint8_t minor);
// "%.2x.%.2x.%.2x" (image side) and "%.2x.%.2x.%.2X" (key side).
std::string formatImageThreePartVersion(std::uint8_t major, std::uint8_t minor, std::uint8_t patch);
std::string formatKeyThreePartVersion(std::uint8_t major, std::uint8_t minor, std::uint8_t patch);
// "20%02x/%02x/%02x" of year, month, day: the century byte is never shown.
std::string formatDate(std::uint8_t year, std::uint8_t month, std::uint8_t day);
// A line of either column: version text, three blanks, date text.
std::string versionLine(const std::string& version, const std::string& date);

// Appends one line of the key column to `column`. With an entry, its seven bytes are first
// copied into `current` (the dialog's current-entry record); without, `current` is formatted as
// it is. An invalid or erased entry gives an empty line ("\n"). A patch byte 0x20 is set to 0 in
// `current`.
void appendKeyVersionLine(std::string& column, protocol::ComponentVersion& current,
                          const protocol::ComponentVersion* entry);

}  // namespace flashwell::catalogue
