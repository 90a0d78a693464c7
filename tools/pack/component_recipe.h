#pragma once

// Sample component images made from a short recipe, so that the repository holds readable
// recipes and not opaque blobs. The image is a component header and a payload of pseudo-random
// bytes from the seed, with the code and version bytes where the tool reads them and a checksum
// that holds. A real firmware file can take a recipe's place in the manifest.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace flashwell::pack {

struct ComponentRecipe {
  std::uint16_t code = 0;        // its low byte goes to 0x1D (0x1E for a booter)
  std::uint32_t size = 0;        // bytes of the image: the 16-byte header and the payload
  std::uint8_t version[3] = {};  // major, minor, patch; unused by a booter
  std::uint8_t date[4] = {};     // day, month, century, year
  std::uint64_t seed = 0;
};

// Fields: code, size (even, at least 0x22), version "MM.mm" or "MM.mm.tt" (hexadecimal digit
// pairs, stored as they are written; not for a booter), date "CCYY-MM-DD" (likewise), seed.
ComponentRecipe parseRecipe(const nlohmann::json& recipe, bool booter, const std::string& where);

// The image of a component of the given group (5: booter header).
std::vector<std::uint8_t> generateComponent(const ComponentRecipe& recipe, std::uint16_t group);

}  // namespace flashwell::pack
