// The embedded package, byte for byte where its layout is fixed, and the shape of the sample
// firmware that the writer's tests and the benchmarks rely on.

#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue/catalogue.h"
#include "catalogue/embedded_package.h"

namespace flashwell::catalogue {
namespace {

const std::span<const std::uint8_t> kPackage = embeddedPackage();

bool allFF(std::size_t from, std::size_t to) {
  return std::all_of(kPackage.begin() + static_cast<std::ptrdiff_t>(from),
                     kPackage.begin() + static_cast<std::ptrdiff_t>(to),
                     [](std::uint8_t b) { return b == 0xFF; });
}

std::size_t image(std::size_t offset) {
  return kFlashImageOffset + offset;
}

TEST(PackageLayout, RampHeaderRegionTableAndModelIds) {
  ASSERT_EQ(kPackage.size(), 0x100318u + 7 * 9032);
  for (std::size_t i = 0; i < 256; ++i) EXPECT_EQ(kPackage[i], i);
  EXPECT_EQ(kPackage[0x100], 13);
  EXPECT_TRUE(allFF(0x101, 0x110));

  struct Row {
    std::uint16_t group, code;
    std::uint32_t offset, length, minAddress, maxAddress, aux;
  };
  const Row rows[] = {
      {5, 22, 0x00000, 0x4000, 0xFC008, 0xFFFFF, 0x1C000},
      {5, 21, 0x04000, 0x4000, 0xFC008, 0xFFFFF, 0x1C000},
      {6, '3', 0x08000, 0x1C000, 0xE0010, 0xFBFFF, 0},
      {6, '1', 0x24000, 0x1C000, 0xE0010, 0xFBFFF, 0},
      {6, '4', 0x40000, 0x10000, 0xE0010, 0xFF7FFF, 0},
      {6, '2', 0x50000, 0x1C000, 0xE0010, 0xFF7FFF, 0},
      {2, '%', 0x6C000, 0xC000, 0xFF0010, 0xFFBFFF, 0x10000},
      {6, '5', 0x78000, 0x10000, 0xE0010, 0xEFFFF, 0},
      {6, 'H', 0x88000, 0xC000, 0xE0010, 0xEFFFF, 0},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const std::size_t at = 0x110 + 24 * i;
    const Row& r = rows[i];
    EXPECT_EQ(usb::le16(kPackage, at), r.group) << i;
    EXPECT_EQ(usb::le16(kPackage, at + 2), r.code) << i;
    EXPECT_EQ(usb::le32(kPackage, at + 4), r.offset) << i;
    EXPECT_EQ(usb::le32(kPackage, at + 8), r.length) << i;
    EXPECT_EQ(usb::le32(kPackage, at + 12), r.minAddress) << i;
    EXPECT_EQ(usb::le32(kPackage, at + 16), r.maxAddress) << i;
    EXPECT_EQ(usb::le32(kPackage, at + 20), r.aux) << i;
  }
  // The end record, the unused records and the 16 bytes after the table.
  EXPECT_EQ(usb::le16(kPackage, 0x110 + 24 * 9), 0xFFFF);
  EXPECT_TRUE(allFF(0x110 + 24 * 9, 0x300));

  const char ids[24] = "LAPSTER4\0\0\0\0LPS4_660";
  EXPECT_TRUE(std::equal(ids, ids + 24, kPackage.begin() + 0x100300));
}

TEST(PackageLayout, SevenTextTablesOf34RecordsEach) {
  const std::uint16_t ids[34] = {101, 102, 103, 106, 107, 120, 124, 125, 131, 133, 134, 135,
                                 137, 139, 138, 140, 141, 152, 160, 161, 162, 163, 164, 165,
                                 166, 171, 172, 180, 181, 182, 183, 184, 187, 188};
  for (std::size_t t = 0; t < 7; ++t) {
    const std::size_t table = 0x100318 + t * 9032;
    for (std::size_t i = 0; i < 34; ++i) {
      const std::size_t at = table + i * 258;
      EXPECT_EQ(usb::le16(kPackage, at), ids[i]) << t << " " << i;
      const auto* field = kPackage.data() + at + 2;
      const auto* zero = std::find(field, field + 256, 0);
      ASSERT_NE(zero, field + 256);
      EXPECT_TRUE(std::all_of(zero, field + 256, [](std::uint8_t b) { return b == 0; }));
    }
    const std::size_t end = table + 34 * 258;
    EXPECT_EQ(usb::le16(kPackage, end), 0xFFFF);
    EXPECT_EQ(kPackage[end + 2], ' ');
    EXPECT_TRUE(std::all_of(kPackage.begin() + static_cast<std::ptrdiff_t>(end + 3),
                            kPackage.begin() + static_cast<std::ptrdiff_t>(table + 9032),
                            [](std::uint8_t b) { return b == 0; }));
  }
}

// The seventh table is the English one once more, except that its text 184 names GPS before
// LAMBDA.
TEST(PackageLayout, TheSeventhTableRepeatsTheEnglishOneSaveForText184) {
  const std::size_t english = 0x100318, seventh = english + 6 * 9032;
  bool seen184 = false;
  for (std::size_t i = 0; i < 34; ++i) {
    const auto* a = kPackage.data() + english + i * 258;
    const auto* b = kPackage.data() + seventh + i * 258;
    if (usb::le16(kPackage, english + i * 258) != 184) {
      EXPECT_TRUE(std::equal(a, a + 258, b)) << "record " << i;
      continue;
    }
    seen184 = true;
    std::string text(reinterpret_cast<const char*>(a + 2));
    const std::string from = "ZUNIT LAMBDA GPS.", to = "ZUNIT GPS LAMBDA.";
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 2)), text.replace(at, from.size(), to));
    EXPECT_EQ(usb::le16(kPackage, seventh + i * 258), 184);
  }
  EXPECT_TRUE(seen184);
}

TEST(SampleFirmware, KeyFirmwareFillsNineOfItsTwentyEightBlocks) {
  const std::size_t region = image(0x08000);
  EXPECT_EQ(kPackage[region + 29], '3');
  for (std::size_t block = 0; block < 28; ++block) {
    const std::size_t from = region + block * 4096;
    EXPECT_EQ(allFF(from, from + 4096), block >= 9) << block;
  }
}

TEST(SampleFirmware, BooterErasedRegionAndTheEmptyTailOfTheImage) {
  EXPECT_TRUE(allFF(image(0x00000), image(0x04000)));
  EXPECT_EQ(kPackage[image(0x04000) + 0x0B], 2);
  EXPECT_EQ(kPackage[image(0x04000) + 0x1E], 21);
  for (std::size_t b = 6; b < 0x0B; ++b) EXPECT_EQ(kPackage[image(0x04000) + b], 0xFF) << b;
  EXPECT_TRUE(allFF(image(0x94000), image(0x100000)));
}

// The seven components as the region writer sends them: region start and byte count.
TEST(SampleFirmware, EveryBlockTheWriterCoversIsSentExceptTheTailOfLps4Exp) {
  struct Sent {
    const char* name;
    std::size_t offset, count, firstBlank;  // firstBlank: index of the first skipped block
  };
  const std::size_t exp = 0x7A00 / 2048 + 1;
  const Sent sent[] = {
      {"booter", 0x04000, 0x4000, 0x4000 / 2048},   {"LAPSTER4", 0x24000, 0x1C000, 0x1C000 / 2048},
      {"LANG", 0x40000, 0x10000, 0x10000 / 2048},   {"ZUNIT", 0x50000, 0x18000, 0x18000 / 2048},
      {"LAMBDA", 0x6C000, 0x10000, 0x10000 / 2048}, {"GPS", 0x78000, 0x10000, 0x10000 / 2048},
      {"Lps4 EXP", 0x88000, 0xC000, exp},
  };
  for (const Sent& s : sent) {
    for (std::size_t block = 0; block < s.count / 2048; ++block) {
      const std::size_t from = image(s.offset) + block * 2048;
      const std::size_t to = std::min(from + s.count, image(kFlashImageSize));
      EXPECT_EQ(allFF(from, to), block >= s.firstBlank) << s.name << " block " << block;
    }
  }
  EXPECT_LT(exp, 0xC000u / 2048);
}

TEST(SampleFirmware, ComponentsVerifyAndCarryBcdVersionsNewerThanTheVirtualKeys) {
  std::vector<std::uint8_t> copy(kPackage.begin(), kPackage.end());
  Catalogue cat(copy, embeddedTables());
  ASSERT_EQ(cat.openPackage().result, Result::ok);
  ASSERT_EQ(cat.buildImageVersionRows(), Result::ok);
  EXPECT_EQ(cat.checkComponentSum(0x04000, 0x4000), Result::ok) << "the booter's too";
  // The virtual key starts with firmware 01.10 of 2019.
  const std::size_t h = image(0x08000);
  EXPECT_GT(kPackage[h + kVersionMajor] << 8 | kPackage[h + kVersionMinor], 0x0110);
  EXPECT_GT(kPackage[h + kReleaseDate + 3], 0x19);
  bool patch = false;
  for (std::size_t i = 2; i < 9; ++i) {
    const std::uint32_t offset = usb::le32(kPackage, 0x110 + 24 * i + 4);
    const std::uint8_t v = kPackage[image(offset) + kVersionPatch];
    patch = patch || (v != 0 && v != 0x20);
  }
  EXPECT_TRUE(patch);
}

}  // namespace
}  // namespace flashwell::catalogue
