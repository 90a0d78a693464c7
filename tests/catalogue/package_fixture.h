#pragma once

// Hand-made packages for the catalogue's tests: the fixed layout with a region table and
// component images written by the test, every other byte as the embedded package has it.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "catalogue/embedded_package.h"
#include "catalogue/package_layout.h"
#include "usb/bytes.h"

namespace flashwell::catalogue::testing {

struct Record {
  std::uint16_t group;
  std::uint16_t code;
  std::uint32_t imageOffset = 0;
  std::uint32_t length = 0x1000;
};

inline constexpr Record kEnd{0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF};

// The embedded package with its image blanked and its region table replaced by `records`.
inline std::vector<std::uint8_t> packageWith(std::initializer_list<Record> records,
                                             std::uint8_t model = kModelStandard) {
  const auto embedded = embeddedPackage();
  std::vector<std::uint8_t> p(embedded.begin(), embedded.end());
  p[kHeaderOffset] = model;
  std::fill(p.begin() + kRegionTableOffset, p.begin() + kFlashImageOffset + kFlashImageSize, 0xFF);
  std::size_t at = kRegionTableOffset;
  for (const Record& r : records) {
    usb::putLe16(p, at, r.group);
    usb::putLe16(p, at + 2, r.code);
    usb::putLe32(p, at + 4, r.imageOffset);
    usb::putLe32(p, at + 8, r.length);
    at += kRegionRecordSize;
  }
  return p;
}

struct Component {
  std::uint16_t group = 6;
  std::uint16_t code = '1';
  std::uint8_t major = 0x01, minor = 0x00, patch = 0x00;
  std::uint8_t day = 0x01, month = 0x01, century = 0x20, year = 0x24;
  std::vector<std::uint16_t> words = {0x1234, 0x5678, 0x9ABC, 0xDEF0, 0x1111,
                                      0x2222, 0x3333, 0x4444, 0x5555};
  bool fixChecksum = true;
};

// Writes a component at `imageOffset`; the payload words are written first and the code,
// version and date bytes over them, then the checksum is computed (unless told not to).
inline void putComponent(std::vector<std::uint8_t>& p, std::uint32_t imageOffset,
                         const Component& c) {
  const std::size_t h = kFlashImageOffset + imageOffset;
  usb::putLe32(p, h + kWordCount, static_cast<std::uint32_t>(c.words.size()));
  for (std::size_t i = 0; i < c.words.size(); ++i) usb::putLe16(p, h + 16 + 2 * i, c.words[i]);
  p[h + 6] = p[h + 7] = 0;
  if (c.group == kBooterGroup) {
    p[h + kBooterMarker] = kBooterMarkerValue;
    p[h + kBooterComponentCode] = static_cast<std::uint8_t>(c.code);
  } else {
    p[h + kComponentCode] = static_cast<std::uint8_t>(c.code);
    p[h + kVersionMajor] = c.major;
    p[h + kVersionMinor] = c.minor;
    p[h + kVersionPatch] = c.patch;
  }
  p[h + kReleaseDate] = c.day;
  p[h + kReleaseDate + 1] = c.month;
  p[h + kReleaseDate + 2] = c.century;
  p[h + kReleaseDate + 3] = c.year;
  if (c.fixChecksum) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < c.words.size(); ++i) {
      sum = static_cast<std::uint16_t>(sum + usb::le16(p, h + 16 + 2 * i));
    }
    usb::putLe16(p, h + kChecksum, sum);
  }
}

}  // namespace flashwell::catalogue::testing
