#include "app/win32/demo_settings.h"

#include <charconv>
#include <cstdlib>
#include <string>

namespace flashwell::app::win32 {

std::optional<double> parseSpeed(std::string_view text) {
  // Digits with at most one point; from_chars for doubles is not in every runtime we build for.
  if (text.size() > 16) return std::nullopt;
  double value = 0;
  double scale = 0;
  bool digits = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digits = true;
      if (scale == 0) {
        value = value * 10 + (c - '0');
      } else {
        value += (c - '0') * scale;
        scale /= 10;
      }
      if (value > 1000) return std::nullopt;
    } else if (c == '.' && scale == 0) {
      scale = 0.1;
    } else {
      return std::nullopt;
    }
  }
  if (!digits || value < 0.1) return std::nullopt;
  return value;
}

std::optional<std::uint64_t> parseMilliseconds(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
    return std::nullopt;
  }
  if (value > 1'000'000'000) return std::nullopt;
  return value;
}

DemoSettings demoSettingsFromEnvironment() {
  DemoSettings settings;
  if (const char* speed = std::getenv("FLASHWELL_DEMO_SPEED")) {
    if (auto value = parseSpeed(speed)) settings.speed = *value;
  }
  if (const char* plug = std::getenv("FLASHWELL_DEMO_PLUG_MS")) {
    if (auto value = parseMilliseconds(plug)) settings.plugAfterMs = *value;
  }
  return settings;
}

}  // namespace flashwell::app::win32
