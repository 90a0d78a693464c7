#include "catalogue/name_tables.h"

#include <cstring>

#include "catalogue/package_layout.h"
#include "usb/bytes.h"

namespace flashwell::catalogue {

Result lookupNamedEntry(std::span<const std::uint8_t> table, std::uint16_t id, std::string& name) {
  for (std::size_t i = 0; i < kMaxNameScan; ++i) {
    const std::size_t at = i * kTextRecordSize;
    if (!usb::fits(table, at, kTextRecordSize)) return Result::notFound;
    const std::uint16_t entryId = usb::le16(table, at);
    if (entryId == kEndId) {
      name.assign(1, ' ');
      return Result::notFound;
    }
    if (entryId == id) {
      const auto* field = table.data() + at + 2;
      const void* zero = std::memchr(field, 0, kTextFieldSize);
      if (!zero) return Result::notFound;
      name.assign(reinterpret_cast<const char*>(field),
                  static_cast<const std::uint8_t*>(zero) - field);
      return Result::ok;
    }
  }
  return Result::notFound;
}

}  // namespace flashwell::catalogue
