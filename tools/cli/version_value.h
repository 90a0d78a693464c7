#pragma once

// A row of a version column as a program reads it: "02.05        2024/03/18" is version 2.5 of
// 2024-03-18, "01.02.03     2023/04/11" version 1.2.3.

#include <optional>
#include <string>

namespace flashwell::cli {

struct VersionValue {
  int major = 0;
  int minor = 0;
  std::optional<int> patch;  // none for a two-part version
  std::string date;          // ISO 8601: "2024-03-18"
};

// None for a row that holds no version: blank, or text other than a version and a date.
std::optional<VersionValue> versionValue(const std::string& row);

}  // namespace flashwell::cli
