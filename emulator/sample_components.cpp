#include "emulator/sample_components.h"

#include "emulator/key_image.h"
#include "usb/bytes.h"

namespace flashwell::emulator {

std::vector<std::uint8_t> makeComponent(const ComponentSpec& recipe) {
  const std::size_t payload = recipe.payloadBytes & ~std::size_t{1};
  std::vector<std::uint8_t> bytes(0x10 + std::max<std::size_t>(payload, 0x12), 0);
  std::uint32_t state = recipe.seed * 2654435761u + 1;
  for (std::size_t i = 0x10; i < bytes.size(); ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = static_cast<std::uint8_t>(state >> 16);
  }
  const std::uint8_t filler = recipe.booterStyle ? 0xFF : 0x00;
  bytes[6] = filler;
  bytes[7] = filler;  // policy mark
  bytes[8] = filler;
  bytes[9] = filler;
  bytes[0x0A] = 0;
  bytes[0x0B] = recipe.booterStyle ? 2 : 0;
  bytes[0x0C] = recipe.day;
  bytes[0x0D] = recipe.month;
  bytes[0x0E] = 0x20;
  bytes[0x0F] = recipe.year;
  if (recipe.booterStyle) {
    bytes[0x1E] = recipe.code;
  } else {
    bytes[0x1D] = recipe.code;
    bytes[0x1E] = recipe.major;
    bytes[0x1F] = recipe.minor;
    bytes[0x20] = recipe.patch;
  }
  const std::size_t words = (bytes.size() - 0x10) / 2;
  usb::putLe32(bytes, 0, static_cast<std::uint32_t>(words));
  usb::putLe16(bytes, 4, wordSum(bytes, 0x10, words).value_or(0));
  return bytes;
}

}  // namespace flashwell::emulator
