#include "tools/pack/json_fields.h"

#include <algorithm>

#include "tools/pack/build_refusal.h"

namespace flashwell::pack {

std::optional<std::uint64_t> optionalNumber(const nlohmann::json& object, const std::string& key,
                                            std::uint64_t maximum, const std::string& where) {
  if (!object.contains(key)) return std::nullopt;
  const auto& v = object.at(key);
  std::uint64_t n = 0;
  if (v.is_number_unsigned()) {
    n = v.get<std::uint64_t>();
  } else if (v.is_string()) {
    const auto s = v.get<std::string>();
    std::size_t used = 0;
    try {
      n = std::stoull(s, &used, 0);
    } catch (const std::exception&) {
      used = 0;
    }
    if (s.empty() || used != s.size() || s[0] == '-') {
      throw BuildRefusal(where, key + " \"" + s + "\" is not a number");
    }
  } else {
    throw BuildRefusal(where, key + " must be an unsigned number");
  }
  if (n > maximum) throw BuildRefusal(where, key + " " + hex(n) + " is over " + hex(maximum));
  return n;
}

std::uint64_t requiredNumber(const nlohmann::json& object, const std::string& key,
                             std::uint64_t maximum, const std::string& where) {
  auto n = optionalNumber(object, key, maximum, where);
  if (!n) throw BuildRefusal(where, key + " is missing");
  return *n;
}

std::uint16_t requiredCode(const nlohmann::json& object, const std::string& key,
                           const std::string& where) {
  if (object.contains(key) && object.at(key).is_string()) {
    const auto s = object.at(key).get<std::string>();
    if (s.size() == 1 && static_cast<unsigned char>(s[0]) < 0x80) {
      return static_cast<unsigned char>(s[0]);
    }
    if (s.rfind("0x", 0) != 0 && s.rfind("0X", 0) != 0) {
      throw BuildRefusal(where, key + " \"" + s + "\" is neither one character nor a number");
    }
  }
  return static_cast<std::uint16_t>(requiredNumber(object, key, 0xFFFF, where));
}

std::optional<std::string> optionalString(const nlohmann::json& object, const std::string& key,
                                          const std::string& where) {
  if (!object.contains(key)) return std::nullopt;
  if (!object.at(key).is_string()) throw BuildRefusal(where, key + " must be a string");
  return object.at(key).get<std::string>();
}

nlohmann::json parseJson(const std::string& text, const std::string& where) {
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) throw BuildRefusal(where, "is empty");
  try {
    auto j = nlohmann::json::parse(text, nullptr, true, true);
    if (!j.is_object()) throw BuildRefusal(where, "is not a JSON object");
    return j;
  } catch (const nlohmann::json::parse_error& e) {
    // The line of the byte where the parser stopped, rather than the parser's own message.
    const std::size_t end = std::min(e.byte, text.size());
    const auto line =
        1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\n');
    throw BuildRefusal(where, "is not valid JSON at line " + std::to_string(line));
  }
}

}  // namespace flashwell::pack
