#include "tools/pack/component_recipe.h"

#include "catalogue/package_layout.h"
#include "tools/pack/build_refusal.h"
#include "tools/pack/json_fields.h"
#include "usb/bytes.h"

namespace flashwell::pack {

using namespace flashwell::catalogue;

namespace {

// Two characters as the byte they spell in hexadecimal ("24" -> 0x24, "1A" -> 0x1A).
std::uint8_t hexPair(const std::string& s, std::size_t at, const std::string& what,
                     const std::string& where) {
  auto digit = [&](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw BuildRefusal(where, what + " \"" + s + "\" is not written in digit pairs");
  };
  return static_cast<std::uint8_t>(digit(s[at]) * 16 + digit(s[at + 1]));
}

// A small, fixed generator, so that a recipe gives the same bytes everywhere.
class SplitMix {
 public:
  explicit SplitMix(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

 private:
  std::uint64_t state_;
};

}  // namespace

ComponentRecipe parseRecipe(const nlohmann::json& j, bool booter, const std::string& where) {
  ComponentRecipe r;
  r.code = requiredCode(j, "code", where);
  r.size = static_cast<std::uint32_t>(requiredNumber(j, "size", kMaxRegionLength, where));
  if (r.size % 2 != 0 || r.size < kVersionPatch + 2) {
    throw BuildRefusal(where, "size " + hex(r.size) + " must be even and at least 0x22");
  }
  r.seed = requiredNumber(j, "seed", ~0ull, where);

  const auto version = optionalString(j, "version", where);
  if (booter && version) throw BuildRefusal(where, "a booter carries no version");
  if (!booter) {
    if (!version || (version->size() != 5 && version->size() != 8) || (*version)[2] != '.' ||
        (version->size() == 8 && (*version)[5] != '.')) {
      throw BuildRefusal(where, "version must be written MM.mm or MM.mm.tt");
    }
    r.version[0] = hexPair(*version, 0, "version", where);
    r.version[1] = hexPair(*version, 3, "version", where);
    r.version[2] = version->size() == 8 ? hexPair(*version, 6, "version", where) : 0;
  }

  const auto date = optionalString(j, "date", where);
  if (!date || date->size() != 10 || (*date)[4] != '-' || (*date)[7] != '-') {
    throw BuildRefusal(where, "date must be written CCYY-MM-DD");
  }
  r.date[0] = hexPair(*date, 8, "date", where);
  r.date[1] = hexPair(*date, 5, "date", where);
  r.date[2] = hexPair(*date, 0, "date", where);
  r.date[3] = hexPair(*date, 2, "date", where);
  return r;
}

std::vector<std::uint8_t> generateComponent(const ComponentRecipe& recipe, std::uint16_t group) {
  std::vector<std::uint8_t> image(recipe.size);
  SplitMix random(recipe.seed);
  for (std::size_t i = kComponentHeaderSize; i < image.size(); ++i) {
    image[i] = static_cast<std::uint8_t>(random.next() >> 56);
  }

  const bool booter = group == kBooterGroup;
  const std::uint8_t fill = booter ? 0xFF : 0x00;
  for (std::size_t i = 6; i < kReleaseDate; ++i) image[i] = fill;
  if (booter) {
    image[kBooterMarker] = kBooterMarkerValue;
    image[kBooterComponentCode] = static_cast<std::uint8_t>(recipe.code);
  } else {
    image[kComponentCode] = static_cast<std::uint8_t>(recipe.code);
    image[kVersionMajor] = recipe.version[0];
    image[kVersionMinor] = recipe.version[1];
    image[kVersionPatch] = recipe.version[2];
  }
  for (std::size_t i = 0; i < 4; ++i) image[kReleaseDate + i] = recipe.date[i];

  const auto words = static_cast<std::uint32_t>((image.size() - kComponentHeaderSize) / 2);
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < words; ++i) {
    sum = static_cast<std::uint16_t>(sum + usb::le16(image, kComponentHeaderSize + 2 * i));
  }
  usb::putLe32(image, kWordCount, words);
  usb::putLe16(image, kChecksum, sum);
  return image;
}

}  // namespace flashwell::pack
