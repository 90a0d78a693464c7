// The image-side version column: every displayable component verified, one row each.

#include "catalogue/catalogue.h"
#include "usb/bytes.h"

namespace flashwell::catalogue {

bool isDisplayableCode(std::uint16_t code) {
  switch (code) {
    case '3':
    case '1':
    case 'B':
    case '4':
    case '2':
    case '%':
    case '5':
    case 0x40:
    case 'H':
      return true;
    default:
      return false;
  }
}

Result Catalogue::buildImageVersionRows() {
  rows_.fill(ImageVersionRow{});
  const std::span<const std::uint8_t> table = regionTable_;
  if (usb::le16(table, kRegionGroup) == kEndId) return Result::invalid;

  const auto img = image();
  std::size_t row = 0;
  for (std::size_t i = 0; i < kMaxRegionRecords; ++i) {
    const std::size_t at = i * kRegionRecordSize;
    if (usb::le16(table, at + kRegionGroup) == kEndId) break;
    const std::uint16_t code = usb::le16(table, at + kRegionCode);
    if (!isDisplayableCode(code)) continue;

    // Past the tenth, components are still verified but have no row of their own.
    ImageVersionRow scratch;
    ImageVersionRow& r = row < rows_.size() ? rows_[row] : scratch;
    ++row;
    if (lookupNamedEntry(tables_.componentNames, code, r.name) != Result::ok)
      return Result::invalid;

    const std::uint32_t offset = usb::le32(table, at + kRegionImageOffset);
    const std::uint32_t length = usb::le32(table, at + kRegionLength);
    const Result sum = checkComponentSum(offset, length);
    if (sum != Result::ok) return sum;
    if (!usb::fits(img, offset, kComponentBytesRead)) return Result::badChecksum;
    const protocol::ComponentVersion v = protocol::ComponentHeader(img.subspan(offset)).version();

    const std::uint8_t v1 = v.major, v2 = v.minor, v3 = v.patch;
    if (v1 == 0 || v1 == 0xFF || v2 > 0x99 || !isBcdByte(v1) || !isBcdByte(v2)) {
      return Result::invalid;
    }
    if (v3 == 0x00 || v3 == 0x20) {
      r.version = formatTwoPartVersion(v1, v2);
    } else if (v3 < 0xE1) {
      r.version = formatImageThreePartVersion(v1, v2, v3);
    }

    // The month is only bounded on this side, not tested for BCD.
    const std::uint8_t d = v.day, m = v.month, y = v.year;
    if (d == 0 || d > 0x99 || m > 0xEE || !isBcdByte(d)) return Result::invalid;
    r.date = formatDate(y, m, d);
  }
  return Result::ok;
}

std::string Catalogue::showImageVersions() const {
  auto line = [this](std::size_t i) { return versionLine(rows_[i].version, rows_[i].date); };
  std::string text = line(0) + "\n\n";
  for (std::size_t i = 1; i < kShownImageVersionRows; ++i) text += line(i) + "\n";
  return text;
}

}  // namespace flashwell::catalogue
