#pragma once

// What the catalogue's operations answer, with the numbers that older notes give them. The
// sequencer tells an invalid package (text 125) from a corrupted one (text 120) by it.

namespace flashwell::catalogue {

enum class Result {
  ok = 1,
  invalid = 11,       // data not applicable or invalid
  notFound = 36,      // name not found
  badChecksum = 213,  // checksum mismatch, or a component out of bounds
};

}  // namespace flashwell::catalogue
