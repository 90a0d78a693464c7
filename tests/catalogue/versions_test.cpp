#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "catalogue/catalogue.h"
#include "tests/support/test_packages.h"

namespace flashwell::catalogue {
namespace {

using protocol::ComponentVersion;
using support::Component;
using support::kEnd;
using support::packageWith;
using support::putComponent;

TEST(Bcd, BothNibblesAtMostNine) {
  EXPECT_TRUE(isBcdByte(0x00));
  EXPECT_TRUE(isBcdByte(0x99));
  EXPECT_TRUE(isBcdByte(0x09));
  EXPECT_FALSE(isBcdByte(0x0A));
  EXPECT_FALSE(isBcdByte(0xA0));
  EXPECT_FALSE(isBcdByte(0xFF));
}

// The version and date bytes of a component, as its header stores them and the key reports them.
constexpr ComponentVersion kv(std::uint8_t major, std::uint8_t minor, std::uint8_t patch,
                              std::uint8_t day, std::uint8_t month, std::uint8_t century,
                              std::uint8_t year) {
  return {major, minor, patch, day, month, century, year};
}

Component comp(const ComponentVersion& v) {
  Component c;
  std::tie(c.major, c.minor, c.patch, c.day, c.month, c.century, c.year) =
      std::tie(v.major, v.minor, v.patch, v.day, v.month, v.century, v.year);
  return c;
}

// One displayable component and the line that the image column shows for it; kRefused when the
// image is invalid for it.
struct ImageCase {
  const char* what;
  ComponentVersion version;
  const char* line;
};
constexpr const char* kRefused = nullptr;

constexpr ImageCase kImageCases[] = {
    {"two parts", {0x33, 0x50, 0x00, 0x30, 0x01, 0x20, 0x14}, "33.50        2014/01/30"},
    {"0x20 no third part", {0x33, 0x50, 0x20, 0x30, 0x01, 0x20, 0x14}, "33.50        2014/01/30"},
    {"three parts", {0x31, 0x59, 0x32, 0x01, 0x02, 0x20, 0x24}, "31.59.32   2024/02/01"},
    {"lower-case third", {0x31, 0x59, 0x0A, 0x01, 0x02, 0x20, 0x24}, "31.59.0a   2024/02/01"},
    {"third 0xE0 prints", {0x31, 0x59, 0xE0, 0x01, 0x02, 0x20, 0x24}, "31.59.e0   2024/02/01"},
    {"third 0xE1 hides", {0x31, 0x59, 0xE1, 0x01, 0x02, 0x20, 0x24}, "   2024/02/01"},
    {"month 0xA0 passes", {0x01, 0x00, 0x00, 0x01, 0xA0, 0x20, 0x24}, "01.00        2024/a0/01"},
    {"month 0xEE passes", {0x01, 0x00, 0x00, 0x01, 0xEE, 0x20, 0x24}, "01.00        2024/ee/01"},
    {"century not shown", {0x01, 0x00, 0x00, 0x01, 0x01, 0x19, 0x99}, "01.00        2099/01/01"},
    {"month 0xEF", {0x01, 0x00, 0x00, 0x01, 0xEF, 0x20, 0x24}, kRefused},
    {"major 0", {0x00, 0x10, 0x00, 0x01, 0x01, 0x20, 0x24}, kRefused},
    {"major 0xFF", {0xFF, 0x10, 0x00, 0x01, 0x01, 0x20, 0x24}, kRefused},
    {"major not BCD", {0x1A, 0x10, 0x00, 0x01, 0x01, 0x20, 0x24}, kRefused},
    {"minor over 0x99", {0x01, 0xA0, 0x00, 0x01, 0x01, 0x20, 0x24}, kRefused},
    {"day 0", {0x01, 0x10, 0x00, 0x00, 0x01, 0x20, 0x24}, kRefused},
    {"day not BCD", {0x01, 0x10, 0x00, 0x1A, 0x01, 0x20, 0x24}, kRefused},
};

class ImageRow : public ::testing::TestWithParam<ImageCase> {};

TEST_P(ImageRow, ValidatesAndFormats) {
  const ImageCase& c = GetParam();
  auto p = packageWith({{6, '1', 0x1000}, kEnd});
  putComponent(p, 0x1000, comp(c.version));
  Catalogue cat(p, embeddedTables());
  ASSERT_EQ(cat.openPackage().result, Result::ok);
  ASSERT_EQ(cat.buildImageVersionRows(), c.line == kRefused ? Result::invalid : Result::ok);
  if (c.line == kRefused) return;
  const std::string text = cat.showImageVersions();
  EXPECT_EQ(text.substr(0, text.find('\n')), c.line);
}

INSTANTIATE_TEST_SUITE_P(Cases, ImageRow, ::testing::ValuesIn(kImageCases), [](const auto& info) {
  std::string n = info.param.what;
  for (char& ch : n) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return n;
});

TEST(ImageRows, ChecksumAndNameFailuresStopTheList) {
  auto p = packageWith({{5, 21, 0x0000}, {6, '1', 0x1000}, {6, '2', 0x2000}, kEnd});
  putComponent(p, 0x0000, {5, 21});
  putComponent(p, 0x1000, {6, '1'});
  Component bad{6, '2'};
  bad.fixChecksum = false;
  putComponent(p, 0x2000, bad);
  usb::putLe16(p, kFlashImageOffset + 0x2000 + kChecksum, 0xBEEF);
  Catalogue cat(p, embeddedTables());
  cat.openPackage();
  EXPECT_EQ(cat.buildImageVersionRows(), Result::badChecksum);
  EXPECT_FALSE(cat.imageVersionRows()[0].version.empty()) << "rows filled up to the failure";

  // A displayable code without a name in the table.
  const std::vector<std::uint8_t> names(kTextRecordSize, 0xFF);
  Catalogue unnamed(p, {embeddedTables().locales, embeddedTables().modelNames, names});
  unnamed.openPackage();
  EXPECT_EQ(unnamed.buildImageVersionRows(), Result::invalid);

  auto empty = packageWith({kEnd});
  Catalogue none(empty, embeddedTables());
  none.openPackage();
  EXPECT_EQ(none.buildImageVersionRows(), Result::invalid);
}

TEST(ImageRows, SkipsOtherCodesAndLeavesUnusedLinesBlank) {
  // Model 18 takes 'B' for slot 1, yet a '1' record is still listed; the booter is skipped.
  auto p = packageWith({{5, 21, 0x0000}, {6, 'B', 0x1000}, {6, '1', 0x2000}, kEnd}, 18);
  putComponent(p, 0x0000, {5, 21});
  Component variant = comp(kv(0x02, 0x00, 0x00, 0x01, 0x01, 0x20, 0x24));
  variant.code = 'B';
  putComponent(p, 0x1000, variant);
  putComponent(p, 0x2000, comp(kv(0x01, 0x00, 0x00, 0x01, 0x01, 0x20, 0x24)));
  Catalogue cat(p, embeddedTables());
  ASSERT_EQ(cat.openPackage().result, Result::ok);
  ASSERT_EQ(cat.buildImageVersionRows(), Result::ok);
  EXPECT_EQ(cat.showImageVersions(),
            "02.00        2024/01/01\n\n01.00        2024/01/01\n   \n   \n   \n   \n   \n");
}

// Twelve displayable components, one every 4 KiB, their majors 01 to 12.
template <std::size_t... I>
std::vector<std::uint8_t> twelveComponents(std::index_sequence<I...>) {
  auto p = packageWith({support::Record{6, '1', static_cast<std::uint32_t>(I * 0x1000)}..., kEnd});
  for (std::uint32_t i = 0; i < sizeof...(I); ++i) {
    const auto major = static_cast<std::uint8_t>(((i + 1) / 10) << 4 | (i + 1) % 10);
    putComponent(p, i * 0x1000, comp(kv(major, 0x00, 0x00, 0x01, 0x01, 0x20, 0x24)));
  }
  return p;
}

TEST(ImageRows, StopAtTenAndStillVerifyTheRest) {
  auto p = twelveComponents(std::make_index_sequence<12>{});
  Catalogue cat(p, embeddedTables());
  cat.openPackage();
  ASSERT_EQ(cat.buildImageVersionRows(), Result::ok);
  EXPECT_EQ(cat.imageVersionRows()[9].version, "10.00     ");
  // The twelfth has no row but a broken checksum still fails the image.
  p[kFlashImageOffset + 0x0B000 + kChecksum] ^= 1;
  EXPECT_EQ(cat.buildImageVersionRows(), Result::badChecksum);
}

TEST(ImageRows, TheEmbeddedPackageShowsSevenRows) {
  std::vector<std::uint8_t> p = support::embeddedPackageCopy();
  Catalogue cat(p, embeddedTables());
  const auto open = cat.openPackage();
  ASSERT_EQ(open.result, Result::ok);
  EXPECT_EQ(open.caption, "UPDATE for  LAPSTER4");
  EXPECT_EQ(open.imageColumn, "   \n\n   \n   \n   \n   \n   \n   \n");
  ASSERT_EQ(cat.buildImageVersionRows(), Result::ok);
  EXPECT_EQ(cat.showImageVersions(),
            "02.05        2024/03/18\n\n"
            "04.12.03   2024/02/27\n"
            "02.31        2023/11/09\n"
            "01.47        2023/06/14\n"
            "01.08        2022/09/05\n"
            "03.02        2024/01/22\n"
            "01.03        2023/04/11\n");
  EXPECT_EQ(cat.imageVersionRows()[0].name, "MEMPOD firmware");
  EXPECT_TRUE(cat.imageVersionRows()[7].name.empty());
}

TEST(OpenPackage, RefusesOtherModelsAndUnnamedOnes) {
  for (int model = 0; model < 256; ++model) {
    auto p = packageWith({kEnd}, static_cast<std::uint8_t>(model));
    Catalogue cat(p, embeddedTables());
    const auto r = cat.openPackage();
    EXPECT_EQ(r.result, model == 13 || model == 18 ? Result::ok : Result::invalid) << model;
    EXPECT_EQ(cat.modelWord(), model);
    if (r.result != Result::ok) {
      EXPECT_TRUE(r.caption.empty());
    }
  }
  auto p = packageWith({kEnd}, 18);
  const std::vector<std::uint8_t> onlyEnd(kTextRecordSize, 0xFF);
  Catalogue cat(p, {embeddedTables().locales, onlyEnd, embeddedTables().componentNames});
  EXPECT_EQ(cat.openPackage().result, Result::notFound);
  cat.clearModelWord();
  EXPECT_EQ(cat.modelWord(), 0);

  Catalogue variant(p, embeddedTables());
  EXPECT_EQ(variant.openPackage().caption, "UPDATE for  LPS4_660");
}

// The key side.

TEST(KeyLine, FormatsValidEntriesAndBlanksTheRest) {
  struct Case {
    ComponentVersion entry;
    const char* line;
  };
  const char* const kBlank = "\n";  // an entry that is not valid leaves its line empty
  const Case cases[] = {
      {kv(0x33, 0x50, 0x00, 0x30, 0x01, 0x20, 0x14), "33.50        2014/01/30\n"},
      {kv(0x33, 0x50, 0x20, 0x30, 0x01, 0x20, 0x14), "33.50        2014/01/30\n"},
      {kv(0x31, 0x59, 0x0A, 0x01, 0x02, 0x20, 0x24), "31.59.0A   2024/02/01\n"},
      {kv(0x31, 0x59, 0xEE, 0x01, 0x02, 0x20, 0x24), "31.59.EE   2024/02/01\n"},
      {kv(0x31, 0x59, 0xEF, 0x01, 0x02, 0x20, 0x24), "   2024/02/01\n"},
      {kv(0x01, 0x00, 0x00, 0x01, 0x01, 0x19, 0x24), "01.00        2024/01/01\n"},
      {kv(0x01, 0x00, 0x00, 0x01, 0xA0, 0x20, 0x24), kBlank},
      {kv(0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF), kBlank},
      {kv(0x00, 0x10, 0x00, 0x01, 0x01, 0x20, 0x24), kBlank},
      {kv(0x01, 0x9A, 0x00, 0x01, 0x01, 0x20, 0x24), kBlank},
      {kv(0x01, 0x10, 0x00, 0x00, 0x01, 0x20, 0x24), kBlank},
      {kv(0x01, 0x10, 0x00, 0x3A, 0x01, 0x20, 0x24), kBlank},
  };
  for (const Case& c : cases) {
    std::string column = "x";
    ComponentVersion current{};
    appendKeyVersionLine(column, current, &c.entry);
    EXPECT_EQ(column, std::string("x") + c.line);
    EXPECT_EQ(current.major, c.entry.major) << "copied into the current record";
  }
}

TEST(KeyLine, ClearsAThirdByteOf0x20InTheCurrentRecordOnly) {
  ComponentVersion current = kv(0x12, 0x34, 0x20, 0x01, 0x01, 0x20, 0x24);
  std::string column;
  appendKeyVersionLine(column, current, nullptr);
  EXPECT_EQ(current.patch, 0);
  EXPECT_EQ(column, "12.34        2024/01/01\n");

  // An invalid entry leaves 0x20 in place.
  const ComponentVersion invalid = kv(0x00, 0x34, 0x20, 0x01, 0x01, 0x20, 0x24);
  appendKeyVersionLine(column, current, &invalid);
  EXPECT_EQ(current.patch, 0x20);
}

protocol::KeyIdentity identityRunning(std::uint16_t program) {
  protocol::KeyIdentity id{};
  usb::putLe16(id, 28, program);
  id[20] = 0x15;  // day
  id[21] = 0x06;  // month
  id[22] = 0x20;
  id[23] = 0x19;  // year
  id[25] = 0x00;  // patch
  id[26] = 0x01;  // major
  id[27] = 0x10;  // minor
  return id;
}

TEST(KeyColumn, ListsTheKeyFirmwareThenTheStoredComponentsInColumnOrder) {
  auto p = packageWith({kEnd});
  Catalogue cat(p, embeddedTables());
  std::array<ComponentVersion, 10> versions{};
  for (auto& v : versions) v = kv(0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF);
  versions[0] = kv(0x01, 0x00, 0x00, 0x01, 0x01, 0x20, 0x20);
  versions[7] = kv(0x07, 0x00, 0x00, 0x01, 0x01, 0x20, 0x20);
  versions[1] = kv(0x02, 0x00, 0x20, 0x01, 0x01, 0x20, 0x20);
  versions[4] = kv(0x05, 0x00, 0x0B, 0x01, 0x01, 0x20, 0x20);
  versions[5] = kv(0x55, 0x00, 0x00, 0x01, 0x01, 0x20, 0x20);  // never shown
  ComponentVersion current{};
  const auto col = cat.showKeyVersions(identityRunning(0x33), versions, 0, 0, current);
  EXPECT_EQ(col.marker, protocol::UpgradeOption::only);
  ASSERT_TRUE(col.text);
  EXPECT_EQ(*col.text,
            "01.10        2019/06/15\n\n"
            "01.00        2020/01/01\n"
            "07.00        2020/01/01\n"
            "02.00        2020/01/01\n"
            "\n"
            "\n"
            "05.00.0B   2020/01/01\n");
  EXPECT_EQ(current.major, 0x05) << "the current record holds the last entry";
}

TEST(KeyColumn, BooterNoticeMarkersAndAKeyRunningNeither) {
  auto p = packageWith({kEnd});
  Catalogue cat(p, embeddedTables());
  cat.setLanguageNumber(3);
  const std::array<ComponentVersion, 10> versions{};
  ComponentVersion current{};

  const auto booter = cat.showKeyVersions(identityRunning(16), versions, 1, 2, current);
  EXPECT_EQ(booter.marker, protocol::UpgradeOption::always);
  EXPECT_EQ(booter.text, "BOOTER\n\n\nFirmware im MEMPOD wird aktualisiert!");

  // After the firmware was restored from the booter, the second pass shows its versions.
  const auto restored = cat.showKeyVersions(identityRunning(51), versions, 1, 2, current);
  ASSERT_TRUE(restored.text);
  EXPECT_EQ(restored.text->find("BOOTER"), std::string::npos);

  for (std::uint8_t variant : {2, 0xFF}) {
    const auto neither = cat.showKeyVersions(identityRunning(16), versions, variant, 0, current);
    EXPECT_EQ(neither.marker, protocol::UpgradeOption::never);
    EXPECT_FALSE(neither.text);
  }
}

}  // namespace
}  // namespace flashwell::catalogue
