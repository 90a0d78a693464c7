#pragma once

// A readable account of a firmware package: the model, the region table, each component's
// version, date and checksum, the image-side version column as the dialog shows it, and the ids
// of the text tables.

#include <cstdint>
#include <span>
#include <string>

#include "catalogue/builtin_tables.h"

namespace flashwell::pack {

struct Inspection {
  std::string report;  // UTF-8
  bool valid = false;  // the package opens, its slots fill and every component verifies
  // Why the file is no package at all (its size, its region table); the report is then empty.
  std::string problem;
};

// `tables` supplies the model and component names.
Inspection inspectPackage(std::span<const std::uint8_t> package,
                          const catalogue::BuiltinTables& tables);

}  // namespace flashwell::pack
