#include "catalogue/version_format.h"

#include <cstdio>

namespace flashwell::catalogue {

namespace {

template <typename... Args>
std::string format(const char* pattern, Args... args) {
  char buffer[32];
  const int n = std::snprintf(buffer, sizeof buffer, pattern, static_cast<unsigned>(args)...);
  return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

}  // namespace

bool isBcdByte(std::uint8_t b) {
  return (b & 0x0F) <= 9 && (b >> 4) <= 9;
}

std::string formatTwoPartVersion(std::uint8_t major, std::uint8_t minor) {
  return format("%.2x.%.2x     ", major, minor);
}

std::string formatImageThreePartVersion(std::uint8_t major, std::uint8_t minor,
                                        std::uint8_t patch) {
  return format("%.2x.%.2x.%.2x", major, minor, patch);
}

std::string formatKeyThreePartVersion(std::uint8_t major, std::uint8_t minor, std::uint8_t patch) {
  return format("%.2x.%.2x.%.2X", major, minor, patch);
}

std::string formatDate(std::uint8_t year, std::uint8_t month, std::uint8_t day) {
  return format("20%02x/%02x/%02x", year, month, day);
}

std::string versionLine(const std::string& version, const std::string& date) {
  return version + "   " + date;
}

void appendKeyVersionLine(std::string& column, protocol::ComponentVersion& current,
                          const protocol::ComponentVersion* entry) {
  if (entry) current = *entry;
  std::string line = "\n";
  const auto& c = current;
  const bool valid = c.major != 0 && c.major != 0xFF && c.minor <= 0x99 && isBcdByte(c.major) &&
                     isBcdByte(c.minor) && c.day != 0 && c.day <= 0x99 && c.month <= 0x99 &&
                     isBcdByte(c.day) && isBcdByte(c.month);
  if (valid) {
    if (current.patch == 0x20) current.patch = 0;
    std::string version;
    if (c.patch == 0) {
      version = formatTwoPartVersion(c.major, c.minor);
    } else if (c.patch < 0xEF) {
      version = formatKeyThreePartVersion(c.major, c.minor, c.patch);
    }
    line = versionLine(version, formatDate(c.year, c.month, c.day)) + "\n";
  }
  column += line;
}

}  // namespace flashwell::catalogue
