#include <gtest/gtest.h>

#include <utility>

#include "catalogue/catalogue.h"
#include "tests/support/test_packages.h"

namespace flashwell::catalogue {
namespace {

using support::Component;
using support::kEnd;
using support::packageWith;
using support::putComponent;
using support::Record;

Catalogue opened(std::vector<std::uint8_t>& p) {
  Catalogue c(p, embeddedTables());
  c.openPackage();
  return c;
}

TEST(Checksum, SumsLittleEndianWordsWithWrapAround) {
  auto p = packageWith({{6, '1', 0x1000}, kEnd});
  struct Case {
    std::vector<std::uint16_t> words;
    std::uint16_t stored;
    Result result;
  };
  const Case cases[] = {
      {{0xFFFF, 0x0002}, 0x0001, Result::ok},
      {{0xFFFF, 0x0002}, 0x0000, Result::badChecksum},
      {{}, 0x0000, Result::ok},
      {{}, 0x0001, Result::badChecksum},
      {{0x0102}, 0x0102, Result::ok},
      {{0x0102}, 0x0201, Result::badChecksum},
  };
  for (const Case& c : cases) {
    Component comp;
    comp.words = c.words;
    comp.fixChecksum = false;
    putComponent(p, 0x1000, comp);
    usb::putLe16(p, kFlashImageOffset + 0x1000 + kChecksum, c.stored);
    Catalogue cat = opened(p);
    EXPECT_EQ(cat.checkComponentSum(0x1000, 0x1000), c.result) << c.words.size();
  }
}

TEST(Checksum, RefusesWordCountsAndRegionsThatReachOutside) {
  auto p = packageWith({kEnd});
  Catalogue cat = opened(p);
  const std::size_t h = kFlashImageOffset + 0x1000;
  // A word count that covers exactly length - 16 bytes is read; one word more is refused.
  usb::putLe32(p, h, (0x100 - 16) / 2);
  usb::putLe16(p, h + kChecksum, static_cast<std::uint16_t>((0x100 - 16) / 2 * 0xFFFF));
  EXPECT_EQ(cat.checkComponentSum(0x1000, 0x100), Result::ok);
  usb::putLe32(p, h, (0x100 - 16) / 2 + 1);
  EXPECT_EQ(cat.checkComponentSum(0x1000, 0x100), Result::badChecksum);
  usb::putLe32(p, h, 0xFFFFFFFF);
  EXPECT_EQ(cat.checkComponentSum(0x1000, 0x1C000), Result::badChecksum);
  // Regions past the image or shorter than a header.
  EXPECT_EQ(cat.checkComponentSum(0xFFFF8, 0x10), Result::badChecksum);
  EXPECT_EQ(cat.checkComponentSum(0xFFFFFFF0, 0x20), Result::badChecksum);
  usb::putLe32(p, h, 0);
  usb::putLe16(p, h + kChecksum, 0);
  EXPECT_EQ(cat.checkComponentSum(0x1000, 8), Result::badChecksum);
  EXPECT_EQ(cat.checkComponentSum(0x1000, 16), Result::ok);
}

TEST(FindRegion, CopiesTheRecordAndChecksLengthAndCodeBytes) {
  auto p = packageWith({{6, '1', 0x0000, 0x1C000},
                        {6, '2', 0x20000, 0x1C001},
                        {5, 21, 0x40000, 0x4000},
                        {6, '4', 0x50000, 0x100},
                        kEnd});
  putComponent(p, 0x0000, {6, '1'});
  putComponent(p, 0x20000, {6, '2'});
  putComponent(p, 0x40000, {5, 21});
  putComponent(p, 0x50000, {6, '5'});  // code byte does not repeat the record's code
  Catalogue cat = opened(p);
  RegionSlots slots{};

  EXPECT_TRUE(cat.findRegion(6, '1', 0, slots));
  EXPECT_EQ(slots[0].length(), 0x1C000u);
  EXPECT_FALSE(cat.findRegion(6, '2', 1, slots));
  EXPECT_EQ(slots[1].length(), 0x1C001u) << "copied before it is refused";
  EXPECT_TRUE(cat.findRegion(5, 21, 2, slots));
  EXPECT_FALSE(cat.findRegion(6, '4', 3, slots));
  EXPECT_EQ(slots[3].code(), '4');
  EXPECT_FALSE(cat.findRegion(6, '9', 4, slots));
  EXPECT_EQ(slots[4].group(), 0) << "nothing copied for a missing record";
  EXPECT_FALSE(cat.findRegion(6, '1', 10, slots)) << "no slot 10";

  // A booter header needs byte 0x0B = 2 and its code at 0x1E.
  p[kFlashImageOffset + 0x40000 + kBooterMarker] = 1;
  EXPECT_FALSE(cat.findRegion(5, 21, 2, slots));
  p[kFlashImageOffset + 0x40000 + kBooterMarker] = 2;
  p[kFlashImageOffset + 0x40000 + kBooterComponentCode] = 22;
  EXPECT_FALSE(cat.findRegion(5, 21, 2, slots));
}

TEST(FindRegion, ReadsTheWorkingCopyUpToTheEndRecordOnly) {
  auto p = packageWith({{6, '1', 0}, kEnd, {6, '2', 0x1000}});
  putComponent(p, 0, {6, '1'});
  putComponent(p, 0x1000, {6, '2'});
  Catalogue cat = opened(p);
  RegionSlots slots{};
  EXPECT_FALSE(cat.findRegion(6, '2', 0, slots)) << "a record after the end is never found";

  // Later changes to the package's table do not reach the working copy.
  usb::putLe16(p, kRegionTableOffset, 0xFFFF);
  EXPECT_TRUE(cat.findRegion(6, '1', 0, slots));

  auto empty = packageWith({kEnd, {6, '1', 0}});
  putComponent(empty, 0, {6, '1'});
  Catalogue none = opened(empty);
  EXPECT_FALSE(none.findRegion(6, '1', 0, slots));
  EXPECT_FALSE(none.assignRegionSlots(slots));
}

TEST(FindRegion, RefusesRegionsOutsideTheImage) {
  auto p = packageWith(
      {{6, '1', 0xFF000, 0x2000}, {6, '2', 0xFFFFFFF0, 0x20}, {6, '3', 0xFFFF0, 0x10}, kEnd});
  Catalogue cat = opened(p);
  RegionSlots slots{};
  EXPECT_FALSE(cat.findRegion(6, '1', 0, slots));
  EXPECT_FALSE(cat.findRegion(6, '2', 0, slots));
  EXPECT_FALSE(cat.findRegion(6, '3', 0, slots)) << "its header bytes would lie past the image";

  std::vector<std::uint8_t> cut(p.begin(), p.begin() + kFlashImageOffset + 0x100);
  Catalogue small(cut, embeddedTables());
  small.openPackage();
  EXPECT_FALSE(small.findRegion(6, '1', 0, slots));
}

// The eight slots of the standard and the variant model.
struct SlotCase {
  std::uint8_t model;
  std::uint16_t slot1Code;
};

class AssignSlots : public ::testing::TestWithParam<SlotCase> {};

// The components the slots are filled from, the standard and the variant slot 1 among them; the
// package holds them in this order, one every 64 KiB.
constexpr std::pair<std::uint16_t, std::uint16_t> kSlotSources[] = {
    {6, '1'}, {6, 'B'}, {6, '3'}, {6, '4'}, {6, '2'}, {2, '%'}, {6, '5'}, {5, 21}, {6, 'H'}};

template <std::size_t... I>
std::vector<std::uint8_t> slotSourcePackage(std::uint8_t model, std::index_sequence<I...>) {
  auto p = packageWith({Record{kSlotSources[I].first, kSlotSources[I].second,
                               static_cast<std::uint32_t>(I * 0x10000)}...,
                        kEnd},
                       model);
  (putComponent(p, static_cast<std::uint32_t>(I * 0x10000),
                {kSlotSources[I].first, kSlotSources[I].second}),
   ...);
  return p;
}

TEST_P(AssignSlots, FillsEightSlotsInOrderAndLeavesTwoEmpty) {
  const SlotCase sc = GetParam();
  auto p = slotSourcePackage(sc.model, std::make_index_sequence<std::size(kSlotSources)>{});
  Catalogue cat = opened(p);
  RegionSlots slots{};
  ASSERT_TRUE(cat.assignRegionSlots(slots));
  const std::uint16_t codes[8] = {'3', sc.slot1Code, '4', '2', '%', '5', 21, 'H'};
  for (std::size_t s = 0; s < 8; ++s) EXPECT_EQ(slots[s].code(), codes[s]) << s;
  EXPECT_EQ(slots[6].group(), 5);
  EXPECT_EQ(slots[8].group(), 0);
  EXPECT_EQ(slots[9].group(), 0);

  // Every look-up is made even after one fails.
  p[kFlashImageOffset + 0x20000 + kComponentCode] = 'X';  // slot 0
  Catalogue broken = opened(p);
  RegionSlots again{};
  EXPECT_FALSE(broken.assignRegionSlots(again));
  EXPECT_EQ(again[7].code(), 'H');
}

INSTANTIATE_TEST_SUITE_P(Models, AssignSlots,
                         ::testing::Values(SlotCase{13, '1'}, SlotCase{18, 'B'}));

TEST(AssignSlots, TheEmbeddedPackageFillsEverySlot) {
  std::vector<std::uint8_t> p = support::embeddedPackageCopy();
  Catalogue cat(p, embeddedTables());
  ASSERT_EQ(cat.openPackage().result, Result::ok);
  RegionSlots slots{};
  EXPECT_TRUE(cat.assignRegionSlots(slots));
  EXPECT_EQ(slots[0].maxAddress(), 0xFBFFFu);
  EXPECT_EQ(slots[6].imageOffset(), 0x04000u);
  EXPECT_EQ(cat.checkComponentSum(slots[6].imageOffset(), slots[6].length()), Result::ok);
}

}  // namespace
}  // namespace flashwell::catalogue
