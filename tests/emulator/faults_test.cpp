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
      {"identify:refuse", {FaultSite::identify, FaultKind::refuse, 1}},
      {"memread:late@3", {FaultSite::memoryRead, FaultKind::late, 3}},
      {"region-commit:unplug-for-good@12", {FaultSite::regionCommit, FaultKind::unplugForGood, 12}},
      {"data-erase:status", {FaultSite::dataErase, FaultKind::status, 1}},
      {"in:zero@2", {FaultSite::in, FaultKind::zero, 2}},
      {"open:unplug", {FaultSite::open, FaultKind::unplug, 1}},
      {"erase-fails", {FaultSite::erase, FaultKind::refuse, 1}},
      {"booter-region-open-fails", {FaultSite::regionOpen, FaultKind::refuse, 1}},
      {"identity-unreadable", {FaultSite::identify, FaultKind::refuse, 1, 3}},
      {"identity-unreadable@5", {FaultSite::identify, FaultKind::refuse, 1, 5}},
      {"unplug-during-regions", {FaultSite::regionCommit, FaultKind::unplug, 2, 1, 3}},
      {"out:corrupt@4", {FaultSite::out, FaultKind::corrupt, 4}},
      {"component-stored-wrong", {FaultSite::out, FaultKind::corrupt, 1, 1, 2}},
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
  plan.add({FaultSite::identify, FaultKind::late, 2, 2});
  plan.add({FaultSite::in, FaultKind::zero});
  EXPECT_EQ(plan.strike(FaultSite::identify), std::nullopt);
  EXPECT_EQ(plan.strike(FaultSite::identify), FaultKind::late);
  EXPECT_EQ(plan.strike(FaultSite::identify), FaultKind::late);
  EXPECT_EQ(plan.strike(FaultSite::identify), std::nullopt);
  EXPECT_EQ(plan.strike(FaultSite::in), FaultKind::zero);
  EXPECT_EQ(plan.strike(FaultSite::in), std::nullopt);
  EXPECT_EQ(plan.seen(FaultSite::identify), 4u);
}

TEST(FaultPlan, RegionScopedFaultCountsOnlyInsideItsRegion) {
  FaultPlan plan;
  plan.add({FaultSite::regionCommit, FaultKind::refuse, 1, 1, 2});
  EXPECT_EQ(plan.strike(FaultSite::regionCommit), std::nullopt);  // before any open
  plan.strike(FaultSite::regionOpen);
  EXPECT_EQ(plan.strike(FaultSite::regionCommit), std::nullopt);
  plan.strike(FaultSite::regionOpen);
  EXPECT_EQ(plan.strike(FaultSite::regionCommit), FaultKind::refuse);
  EXPECT_EQ(plan.strike(FaultSite::regionCommit), std::nullopt);
  plan.strike(FaultSite::regionOpen);
  EXPECT_EQ(plan.strike(FaultSite::regionCommit), std::nullopt);
}

TEST(FaultTiming, LateComesAfterTheHostsLimit) {
  EXPECT_EQ(lateDelayMs(FaultSite::erase, 15, 1), 13000u);
  EXPECT_EQ(lateDelayMs(FaultSite::restart, 15, 4), 5800u);
  EXPECT_EQ(lateDelayMs(FaultSite::dataErase, 13, 7), 13000u);
  EXPECT_EQ(lateDelayMs(FaultSite::dataErase, 14, 18), 5800u);
}

}  // namespace
}  // namespace flashwell::emulator
