// Region look-up, slot assignment and the component checksum.

#include <cstring>

#include "catalogue/catalogue.h"
#include "usb/bytes.h"

namespace flashwell::catalogue {

bool Catalogue::findRegion(std::uint16_t group, std::uint16_t code, std::uint8_t slot,
                           RegionSlots& regions) const {
  const std::span<const std::uint8_t> table = regionTable_;
  for (std::size_t i = 0; i < kMaxRegionRecords; ++i) {
    const std::size_t at = i * kRegionRecordSize;
    const std::uint16_t recordGroup = usb::le16(table, at + kRegionGroup);
    if (recordGroup == kEndId) return false;
    if (recordGroup != group || usb::le16(table, at + kRegionCode) != code) continue;

    if (slot >= regions.size()) return false;
    std::memcpy(regions[slot].bytes.data(), table.data() + at, kRegionRecordSize);
    const protocol::RegionSlot& r = regions[slot];
    if (r.length() > kMaxRegionLength) return false;

    // The region and the header bytes read below must lie inside the image.
    const auto img = image();
    if (!usb::fits(img, r.imageOffset(), r.length())) return false;
    const protocol::ComponentHeader header(img.subspan(r.imageOffset()));
    if (!header.complete()) return false;
    const auto codeByte = static_cast<std::uint8_t>(code & 0xFF);
    if (group == kBooterGroup) {
      return header.booterComponentCode() == codeByte &&
             header.booterMarker() == kBooterMarkerValue;
    }
    return header.componentCode() == codeByte;
  }
  return false;
}

bool Catalogue::assignRegionSlots(RegionSlots& regions) const {
  bool all = true;
  for (std::uint8_t slot = 0; slot < 8; ++slot) {
    const SlotLookup lookup =
        slot == 1 && modelWord_ == kModelVariant ? kVariantSlot1 : kSlotLookups[slot];
    all = findRegion(lookup.group, lookup.code, slot, regions) && all;
  }
  return all;
}

Result Catalogue::checkComponentSum(std::uint32_t imageOffset, std::uint32_t length) const {
  const auto img = image();
  if (!usb::fits(img, imageOffset, length) || length < kComponentHeaderSize) {
    return Result::badChecksum;
  }
  const protocol::ComponentHeader header(img.subspan(imageOffset, length));
  const std::uint32_t words = header.wordCount();
  if (static_cast<std::uint64_t>(words) * 2 > length - kComponentHeaderSize) {
    return Result::badChecksum;
  }
  // The words lie inside the region, which lies inside the image (checked above).
  const std::uint8_t* w = img.data() + imageOffset + kComponentHeaderSize;
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < words; ++i) {
    sum = static_cast<std::uint16_t>(sum + (w[2 * i] | w[2 * i + 1] << 8));
  }
  return sum == header.checksum() ? Result::ok : Result::badChecksum;
}

}  // namespace flashwell::catalogue
