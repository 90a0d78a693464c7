#include "trace/log_event.h"

#include <nlohmann/json.hpp>

#include <array>
#include <limits>

namespace flashwell::trace {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr std::array<const char*, 10> kEventNames{
    "plug", "unplug", "search", "member", "open", "close", "descriptor", "control", "out", "in"};

bool knownEvent(const std::string& name) {
  for (const char* known : kEventNames) {
    if (name == known) return true;
  }
  return false;
}

// A field that must be a whole number that fits in `T`, if present.
template <typename T>
bool readNumber(const nlohmann::json& object, const char* key, std::optional<T>& into,
                std::string* why) {
  const auto it = object.find(key);
  if (it == object.end()) return true;
  if (!it->is_number_unsigned() ||
      it->template get<std::uint64_t>() > std::uint64_t{std::numeric_limits<T>::max()}) {
    if (why) *why = std::string("\"") + key + "\" is not a whole number in range";
    return false;
  }
  into = static_cast<T>(it->template get<std::uint64_t>());
  return true;
}

bool readHex(const nlohmann::json& object, const char* key, std::optional<std::string>& into,
             std::string* why) {
  const auto it = object.find(key);
  if (it == object.end()) return true;
  if (!it->is_string() || !fromHex(it->get<std::string>())) {
    if (why) *why = std::string("\"") + key + "\" is not a hex byte string";
    return false;
  }
  into = it->get<std::string>();
  return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> fromHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = hexDigit(text[i]);
    const int low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::optional<LogEvent> parseLogLine(std::string_view line, std::string* why) {
  const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
  if (!object.is_object()) {
    if (why) *why = "not a JSON object";
    return std::nullopt;
  }
  LogEvent event;
  std::optional<std::uint64_t> t;
  if (!readNumber(object, "t", t, why)) return std::nullopt;
  const auto ev = object.find("ev");
  if (!t || ev == object.end() || !ev->is_string()) {
    if (why) *why = "no \"t\" or no \"ev\"";
    return std::nullopt;
  }
  event.t = *t;
  event.ev = ev->get<std::string>();
  if (!knownEvent(event.ev)) {
    if (why) *why = "unknown event \"" + event.ev + "\"";
    return std::nullopt;
  }
  if (const auto it = object.find("path"); it != object.end()) {
    if (!it->is_string()) {
      if (why) *why = "\"path\" is not a string";
      return std::nullopt;
    }
    event.path = it->get<std::string>();
  }
  if (const auto it = object.find("ok"); it != object.end()) {
    if (!it->is_boolean()) {
      if (why) *why = "\"ok\" is not true or false";
      return std::nullopt;
    }
    event.ok = it->get<bool>();
  }
  if (!readHex(object, "setup", event.setup, why) || !readHex(object, "data", event.data, why) ||
      !readNumber(object, "ep", event.ep, why) || !readNumber(object, "len", event.len, why) ||
      !readNumber(object, "error", event.error, why)) {
    return std::nullopt;
  }
  if (event.setup && event.setup->size() != 16) {
    if (why) *why = "\"setup\" is not 8 bytes";
    return std::nullopt;
  }
  return event;
}

}  // namespace flashwell::trace
