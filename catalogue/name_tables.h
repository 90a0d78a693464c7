#pragma once

// Name tables: 258-byte entries (u16 id, 256-byte zero-terminated name), ended by id 0xFFFF.

#include <cstdint>
#include <span>
#include <string>

#include "catalogue/results.h"

namespace flashwell::catalogue {

// Scans at most 100 entries from the first. Found: copies the name into `name` and gives ok.
// At the end entry: `name` becomes " " and the result is notFound. After 100 entries, at an entry
// that does not lie wholly inside `table`, or at a matching entry whose name has no zero byte:
// notFound, `name` unchanged.
Result lookupNamedEntry(std::span<const std::uint8_t> table, std::uint16_t id, std::string& name);

}  // namespace flashwell::catalogue
