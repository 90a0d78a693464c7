#include "tools/cli/version_value.h"

#include <sstream>
#include <vector>

namespace flashwell::cli {

namespace {

// A number of exactly `digits` decimal digits.
std::optional<int> number(const std::string& text, std::size_t digits) {
  if (text.size() != digits) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

}  // namespace

std::optional<VersionValue> versionValue(const std::string& row) {
  std::istringstream in(row);
  std::string version, date, rest;
  if (!(in >> version >> date) || (in >> rest)) return std::nullopt;
  const std::vector<std::string> parts = split(version, '.');
  const std::vector<std::string> day = split(date, '/');
  if (parts.size() < 2 || parts.size() > 3 || day.size() != 3) return std::nullopt;
  VersionValue v;
  const auto major = number(parts[0], 2), minor = number(parts[1], 2);
  if (!major || !minor) return std::nullopt;
  v.major = *major;
  v.minor = *minor;
  if (parts.size() == 3) {
    v.patch = number(parts[2], 2);
    if (!v.patch) return std::nullopt;
  }
  if (!number(day[0], 4) || !number(day[1], 2) || !number(day[2], 2)) return std::nullopt;
  v.date = day[0] + "-" + day[1] + "-" + day[2];
  return v;
}

}  // namespace flashwell::cli
