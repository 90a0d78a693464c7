#include "emulator/faults.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace flashwell::emulator {
namespace {

TEST(FaultParser, AcceptsEveryPlaceKindAndShorthand) {
  struct Case {
    const char* text;
    Fault fault;
  };
  const Case cases[] = {
      {"identify:refuse", {FaultSite::kIdentify, FaultKind::kRefuse, 1}},
      {"memread:late@3", {FaultSite::kMemoryRead, FaultKind::kLate, 3}},
      {"region-commit:unplug-for-good@12",
       {FaultSite::kRegionCommit, FaultKind::kUnplugForGood, 12}},
      {"data-erase:status", {FaultSite::kDataErase, FaultKind::kStatus, 1}},
      {"in:zero@2", {FaultSite::kIn, FaultKind::kZero, 2}},
      {"open:unplug", {FaultSite::kOpen, FaultKind::kUnplug, 1}},
      {"erase-fails", {FaultSite::kErase, FaultKind::kRefuse, 1}},
      {"booter-region-open-fails", {FaultSite::kRegionOpen, FaultKind::kRefuse, 1}},
      {"identity-unreadable", {FaultSite::kIdentify, FaultKind::kRefuse, 1, 3}},
      {"identity-unreadable@5", {FaultSite::kIdentify, FaultKind::kRefuse, 1, 5}},
      {"unplug-during-regions", {FaultSite::kRegionCommit, FaultKind::kUnplug, 2, 1, 3}},
      {"out:corrupt@4", {FaultSite::kOut, FaultKind::kCorrupt, 4}},
      {"component-stored-wrong", {FaultSite::kOut, FaultKind::kCorrupt, 1, 1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = parseFault(c.text);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->size(), 1u);
    EXPECT_EQ(parsed->front(), c.fault);
  }
  const auto names = faultNames();
  for (const char* n : {"identify", "store-identity", "unplug-for-good", "erase-fails", "corrupt",
                        "component-stored-wrong"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), n), names.end()) << n;
  }
}

TEST(FaultParser, RefusesWhatItDoesNotKnowWithAMessage) {
  for (const char* text :
       {"", "identify", "identify:", ":refuse", "identfy:refuse", "identify:explode",
        "identify:refuse@0", "identify:refuse@", "identify:refuse@x", "identify:refuse@-1",
        "erase-fails@2", "identify:refuse@99999999999", "open:corrupt", "descriptor:corrupt",
        "component-stored-wrong@2"}) {
    SCOPED_TRACE(text);
    std::string error;
    EXPECT_FALSE(parseFault(text, &error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(FaultPlan, StrikesTheNthOccurrenceForItsRepeatCount) {
  FaultPlan plan;
  plan.add({FaultSite::kIdentify, FaultKind::kLate, 2, 2});
  plan.add({FaultSite::kIn, FaultKind::kZero});
  EXPECT_EQ(plan.strike(FaultSite::kIdentify), std::nullopt);
  EXPECT_EQ(plan.strike(FaultSite::kIdentify), FaultKind::kLate);
  EXPECT_EQ(plan.strike(FaultSite::kIdentify), FaultKind::kLate);
  EXPECT_EQ(plan.strike(FaultSite::kIdentify), std::nullopt);
  EXPECT_EQ(plan.strike(FaultSite::kIn), FaultKind::kZero);
  EXPECT_EQ(plan.strike(FaultSite::kIn), std::nullopt);
  EXPECT_EQ(plan.seen(FaultSite::kIdentify), 4u);
}

TEST(FaultPlan, RegionScopedFaultCountsOnlyInsideItsRegion) {
  FaultPlan plan;
  plan.add({FaultSite::kRegionCommit, FaultKind::kRefuse, 1, 1, 2});
  EXPECT_EQ(plan.strike(FaultSite::kRegionCommit), std::nullopt);  // before any open
  plan.strike(FaultSite::kRegionOpen);
  EXPECT_EQ(plan.strike(FaultSite::kRegionCommit), std::nullopt);
  plan.strike(FaultSite::kRegionOpen);
  EXPECT_EQ(plan.strike(FaultSite::kRegionCommit), FaultKind::kRefuse);
  EXPECT_EQ(plan.strike(FaultSite::kRegionCommit), std::nullopt);
  plan.strike(FaultSite::kRegionOpen);
  EXPECT_EQ(plan.strike(FaultSite::kRegionCommit), std::nullopt);
}

TEST(FaultTiming, LateComesAfterTheHostsLimit) {
  EXPECT_EQ(lateDelayMs(FaultSite::kErase, 15, 1), 13000u);
  EXPECT_EQ(lateDelayMs(FaultSite::kRestart, 15, 4), 5800u);
  EXPECT_EQ(lateDelayMs(FaultSite::kDataErase, 13, 7), 13000u);
  EXPECT_EQ(lateDelayMs(FaultSite::kDataErase, 14, 18), 5800u);
}

}  // namespace
}  // namespace flashwell::emulator
