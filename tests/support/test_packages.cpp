#include "tests/support/test_packages.h"

#include <algorithm>
#include <span>

#include "catalogue/catalogue.h"
#include "usb/bytes.h"

namespace flashwell::support {

using catalogue::kFlashImageOffset;

std::vector<std::uint8_t> embeddedPackageCopy() {
  const std::span<const std::uint8_t> p = catalogue::embeddedPackage();
  return {p.begin(), p.end()};
}

bool installPackage(std::vector<std::uint8_t>& package, protocol::RequestBlock& block) {
  block.imageBase = package.data();
  block.imageSize = package.size();
  catalogue::Catalogue cat(package, catalogue::embeddedTables());
  return cat.openPackage().result == catalogue::Result::ok && cat.assignRegionSlots(block.regions);
}

std::vector<std::uint8_t> packageWith(std::span<const Record> records, std::uint8_t model) {
  std::vector<std::uint8_t> p = embeddedPackageCopy();
  p[catalogue::kHeaderOffset] = model;
  std::fill(p.begin() + catalogue::kRegionTableOffset,
            p.begin() + kFlashImageOffset + catalogue::kFlashImageSize, 0xFF);
  std::size_t at = catalogue::kRegionTableOffset;
  for (const Record& r : records) {
    usb::putLe16(p, at + catalogue::kRegionGroup, r.group);
    usb::putLe16(p, at + catalogue::kRegionCode, r.code);
    usb::putLe32(p, at + catalogue::kRegionImageOffset, r.imageOffset);
    usb::putLe32(p, at + catalogue::kRegionLength, r.length);
    usb::putLe32(p, at + catalogue::kRegionMinAddress, r.minAddress);
    usb::putLe32(p, at + catalogue::kRegionMaxAddress, r.maxAddress);
    at += catalogue::kRegionRecordSize;
  }
  return p;
}

void putComponent(std::vector<std::uint8_t>& p, std::uint32_t imageOffset, const Component& c) {
  using namespace catalogue;
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

namespace {

// Made-up bytes, different at every offset.
void fill(std::vector<std::uint8_t>& p, std::uint32_t from, std::uint32_t to) {
  for (std::uint32_t i = from; i < to; ++i) {
    p[kFlashImageOffset + i] = static_cast<std::uint8_t>((i * 13) ^ (i >> 9) ^ (i >> 17));
  }
}

// Fills a region as TestPackage describes and writes the head of its component: the filler
// bytes, the booter marker, the release date and the code.
void putMadeUpComponent(std::vector<std::uint8_t>& p, std::size_t slot, const Record& r) {
  const std::uint32_t at = r.imageOffset;
  if (slot == 0) {
    fill(p, at, at + 6 * 0x1000);                 // blocks 0-5
    fill(p, at + 7 * 0x1000 + 100, at + 0x8000);  // block 7
    fill(p, at + 26 * 0x1000, at + 0x1C000 - 1);  // blocks 26, 27
  } else if (slot == 7) {
    fill(p, at, at + 0x1000);           // blocks 0, 1
    fill(p, at + 0x1800, at + 0x1900);  // block 3, after a blank one
  } else {
    fill(p, at, at + r.length);
  }
  std::uint8_t* h = p.data() + kFlashImageOffset + at;
  const bool booter = r.group == catalogue::kBooterGroup;
  const std::uint8_t filler = booter ? 0xFF : 0x00;
  std::fill(h + 6, h + 12, filler);
  h[protocol::kBooterMarker] = booter ? protocol::kBooterMarkerValue : filler;
  const std::uint8_t date[] = {0x15, 0x06, 0x20, 0x24};
  std::copy(std::begin(date), std::end(date), h + protocol::kReleaseDate);
  h[booter ? protocol::kBooterComponentCode : protocol::kComponentCode] =
      static_cast<std::uint8_t>(r.code);
}

}  // namespace

TestPackage::TestPackage() {
  // In slot order.
  static constexpr Record kRegions[] = {
      {6, '3', kKeyFirmwareAt, 0x1C000, 0xE0010, 0x0FBFFF},
      {6, '1', 0x24000, 0x1C000, 0xE0010, 0x0FBFFF},
      {6, '4', 0x40000, 0x10000, 0xE0010, 0xFF7FFF},
      {6, '2', 0x50000, 0x1C000, 0xE0010, 0xFF7FFF},
      {2, '%', 0x6C000, 0xC000, 0xE0010, 0xFFBFFF},
      {6, '5', kGpsAt, 0x10000, 0xE0010, 0x0EFFFF},
      {5, 21, 0x04000, 0x4000, 0xE0010, 0x0FFFFF},
      {6, 'H', 0x88000, 0xC000, 0xE0010, 0x0EFFFF},
  };
  bytes = packageWith(kRegions);
  std::size_t slot = 0;
  for (const Record& r : kRegions) {
    putMadeUpComponent(bytes, slot, r);
    const auto record = bytes.begin() + catalogue::kRegionTableOffset +
                        static_cast<std::ptrdiff_t>(slot * catalogue::kRegionRecordSize);
    std::copy_n(record, regionSlots[slot].bytes.size(), regionSlots[slot].bytes.begin());
    ++slot;
  }
}

void TestPackage::install(protocol::RequestBlock& block) {
  block.regions = regionSlots;
  block.imageBase = bytes.data();
  block.imageSize = bytes.size();
}

}  // namespace flashwell::support
