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
      {"erase:late=12000", {FaultSite::erase, FaultKind::late, 1, 1, 0, 12000}},
      {"restart:unplug=13000@2", {FaultSite::restart, FaultKind::unplug, 2, 1, 0, 13000}},
      {"restart:stay", {FaultSite::restart, FaultKind::stay, 1}},
      {"any:refuse@9", {FaultSite::any, FaultKind::refuse, 9}},
      {"out:refuse@1+", {FaultSite::out, FaultKind::refuse, 1, kEveryOccurrence}},
      {"control:status@3+", {FaultSite::control, FaultKind::status, 3, kEveryOccurrence}},
      {"transfer-setup:zero", {FaultSite::transferSetup, FaultKind::zero, 1}},
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
                        "component-stored-wrong", "transfer-setup", "control", "any", "stay"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), n), names.end()) << n;
  }
}

TEST(FaultParser, RefusesWhatItDoesNotKnowWithAMessage) {
  for (const char* text : {"",
                           "identify",
                           "identify:",
                           ":refuse",
                           "identfy:refuse",
                           "identify:explode",
                           "identify:refuse@0",
                           "identify:refuse@",
                           "identify:refuse@x",
                           "identify:refuse@-1",
                           "erase-fails@2",
                           "identify:refuse@99999999999",
                           "open:corrupt",
                           "descriptor:corrupt",
                           "component-stored-wrong@2",
                           "identify:stay",
                           "any:stay",
                           "erase:refuse=5",
                           "erase:late=",
                           "erase:late=0",
                           "erase:late=x",
                           "identify:refuse@2++",
                           "identify:refuse@+",
                           "erase-fails@1+",
                           "identity-unreadable@2+"}) {
    SCOPED_TRACE(text);
    std::string error;
    EXPECT_FALSE(parseFault(text, &error));
    EXPECT_FALSE(error.empty());
  }
}

// The kind of the fault that strikes one occurrence at `sites`, if any.
std::optional<FaultKind> strike(FaultPlan& plan, std::initializer_list<FaultSite> sites) {
  const std::optional<Fault> fault = plan.strike(sites);
  return fault ? std::optional(fault->kind) : std::nullopt;
}

TEST(FaultPlan, StrikesTheNthOccurrenceForItsRepeatCount) {
  FaultPlan plan;
  plan.add({FaultSite::identify, FaultKind::late, 2, 2});
  plan.add({FaultSite::in, FaultKind::zero});
  plan.add({FaultSite::out, FaultKind::status, 2, kEveryOccurrence});
  EXPECT_EQ(strike(plan, {FaultSite::identify}), std::nullopt);
  EXPECT_EQ(strike(plan, {FaultSite::identify}), FaultKind::late);
  EXPECT_EQ(strike(plan, {FaultSite::identify}), FaultKind::late);
  EXPECT_EQ(strike(plan, {FaultSite::identify}), std::nullopt);
  EXPECT_EQ(strike(plan, {FaultSite::in}), FaultKind::zero);
  EXPECT_EQ(strike(plan, {FaultSite::in}), std::nullopt);
  EXPECT_EQ(plan.seen(FaultSite::identify), 4u);
  EXPECT_EQ(strike(plan, {FaultSite::out}), std::nullopt);
  for (int n = 2; n < 50; ++n) EXPECT_EQ(strike(plan, {FaultSite::out}), FaultKind::status) << n;
}

TEST(FaultPlan, ARequestCountsAtItsPlaceAndAtThePlacesThatTakeInItsKind) {
  FaultPlan plan;
  plan.add(*parseFault("any:refuse@4"));
  plan.add(*parseFault("control:stall@2"));
  plan.add(*parseFault("erase:late=7000"));
  // A command, a transfer out, an erase, a transfer in.
  EXPECT_EQ(strike(plan, {FaultSite::identify, FaultSite::control, FaultSite::any}), std::nullopt);
  EXPECT_EQ(strike(plan, {FaultSite::out, FaultSite::any}), std::nullopt);
  const auto erase = plan.strike({FaultSite::erase, FaultSite::control, FaultSite::any});
  ASSERT_TRUE(erase);
  EXPECT_EQ(erase->kind, FaultKind::late) << "the fault at its own place comes first";
  EXPECT_EQ(erase->ms, 7000u);
  EXPECT_EQ(strike(plan, {FaultSite::in, FaultSite::any}), FaultKind::refuse);
  EXPECT_EQ(plan.seen(FaultSite::any), 4u);
  EXPECT_EQ(plan.seen(FaultSite::control), 2u);
}

TEST(FaultPlan, RegionScopedFaultCountsOnlyInsideItsRegion) {
  FaultPlan plan;
  plan.add({FaultSite::regionCommit, FaultKind::refuse, 1, 1, 2});
  EXPECT_EQ(strike(plan, {FaultSite::regionCommit}), std::nullopt);  // before any open
  plan.strike({FaultSite::regionOpen});
  EXPECT_EQ(strike(plan, {FaultSite::regionCommit}), std::nullopt);
  plan.strike({FaultSite::regionOpen});
  EXPECT_EQ(strike(plan, {FaultSite::regionCommit}), FaultKind::refuse);
  EXPECT_EQ(strike(plan, {FaultSite::regionCommit}), std::nullopt);
  plan.strike({FaultSite::regionOpen});
  EXPECT_EQ(strike(plan, {FaultSite::regionCommit}), std::nullopt);
}

TEST(FaultTiming, LateComesAfterTheHostsLimit) {
  EXPECT_EQ(lateDelayMs(FaultSite::erase, 15, 1), 13000u);
  EXPECT_EQ(lateDelayMs(FaultSite::restart, 15, 4), 5800u);
  EXPECT_EQ(lateDelayMs(FaultSite::dataErase, 13, 7), 13000u);
  EXPECT_EQ(lateDelayMs(FaultSite::dataErase, 14, 18), 5800u);
  // An exact time stands for the whole answer; without one the delay comes on top of the key's.
  EXPECT_EQ(lateAnswerMs(*parseFault("erase:late=12001")->begin(), 1501, 15, 1), 12001u);
  EXPECT_EQ(lateAnswerMs(*parseFault("erase:late")->begin(), 1501, 15, 1), 14501u);
  EXPECT_EQ(awayMs(*parseFault("open:unplug")->begin()), 5000u);
  EXPECT_EQ(awayMs(*parseFault("open:unplug=250")->begin()), 250u);
  EXPECT_EQ(awayMs(*parseFault("open:unplug-for-good")->begin()), std::nullopt);
}

TEST(FaultText, DescribesWhatWasParsed) {
  for (const char* text : {"erase:late=12000@1", "out:refuse@2+", "restart:stay@3"}) {
    EXPECT_EQ(describe(parseFault(text)->front()), text);
  }
}

}  // namespace
}  // namespace flashwell::emulator
