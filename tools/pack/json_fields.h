#pragma once

// Reading the fields of the builder's JSON files: numbers may be written as JSON numbers or as
// strings ("0x1C000"), component codes also as a one-character string ("3").

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace flashwell::pack {

// The field `key` of `object` as an unsigned number at most `maximum`; none when absent.
std::optional<std::uint64_t> optionalNumber(const nlohmann::json& object, const std::string& key,
                                            std::uint64_t maximum, const std::string& where);
std::uint64_t requiredNumber(const nlohmann::json& object, const std::string& key,
                             std::uint64_t maximum, const std::string& where);
// A number, or a string of one character standing for its code.
std::uint16_t requiredCode(const nlohmann::json& object, const std::string& key,
                           const std::string& where);
std::optional<std::string> optionalString(const nlohmann::json& object, const std::string& key,
                                          const std::string& where);

// Parses JSON that may hold // and /* */ comments.
nlohmann::json parseJson(const std::string& text, const std::string& where);

}  // namespace flashwell::pack
