#pragma once

// The firmware package and the built-in tables, built from catalogue/data at build time and
// carried inside every program as constant bytes. The package is copied into writable memory at
// start, since the region writer sets policy marks in the copy.

#include <cstdint>
#include <span>

#include "catalogue/builtin_tables.h"

namespace flashwell::catalogue {

std::span<const std::uint8_t> embeddedPackage();

// The locale, model-name and component-name tables.
BuiltinTables embeddedTables();

}  // namespace flashwell::catalogue
