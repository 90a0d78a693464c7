#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/usb/fake_driver.h"
#include "usb/link.h"

namespace flashwell::usb {
namespace {

using testing::descriptorSet;
using ::testing::ElementsAre;
using testing::FakeDriver;
using testing::FakeMember;
using testing::RecordingNotices;

const std::string kKeyPath =
    "\\\\?\\usb#vid_5f3a&pid_1001#6&1a2b3c&0&2#{6b2d9c41-0e7a-4f35-9a1c-52d7e08b3f64}";
const std::string kOtherPath =
    "\\\\?\\usb#vid_1234&pid_5678#6&1a2b3c&0&1#{6b2d9c41-0e7a-4f35-9a1c-52d7e08b3f64}";

FakeMember key(std::uint16_t maxPacket = 64) {
  FakeMember m;
  m.path = kKeyPath;
  m.descriptors = descriptorSet(maxPacket);
  return m;
}
FakeMember other() {
  FakeMember m;
  m.path = kOtherPath;
  return m;
}
FakeMember failing(std::uint32_t error) {
  FakeMember m;
  m.error = error;
  return m;
}

class DiscoveryTest : public ::testing::Test {
 protected:
  FakeDriver driver;
  RecordingNotices notices;
  UsbLink link{driver, notices};
};

TEST_F(DiscoveryTest, ClosesANonMatchingDeviceAndOpensALaterKey) {
  driver.members = {other(), failing(13), key()};
  ASSERT_TRUE(link.UsbEnsureOpen());
  EXPECT_TRUE(link.isOpen());
  EXPECT_THAT(driver.openedPaths, ElementsAre(kOtherPath, kKeyPath));
  ASSERT_EQ(driver.closedHandles.size(), 1u);
  EXPECT_EQ(driver.openHandles.size(), 1u);
  EXPECT_EQ(driver.openHandles.count(driver.closedHandles[0]), 0u);
  // The search stops at the key; the set is released.
  EXPECT_THAT(driver.indexesAsked, ElementsAre(0, 1, 2));
  EXPECT_EQ(driver.searchesEnded, 1);
  // The descriptor request goes to the key's handle with the 256-byte buffer alone.
  ASSERT_EQ(driver.requests.size(), 1u);
  EXPECT_EQ(driver.requests[0].code, kIoctlReadDescriptors);
  EXPECT_EQ(driver.requests[0].handle, *driver.openHandles.begin());
  EXPECT_EQ(driver.requests[0].record.size(), 256u);
  EXPECT_EQ(driver.requests[0].data.size(), 0u);
  EXPECT_EQ(std::string(link.devicePath().data()), kKeyPath);
}

// A device another program holds shows the notice. A busy key ends the search with no key, on
// every search; a busy device that is not the key does not keep the key after it from opening.
TEST(Discovery, ABusyDeviceShowsTheNoticeAndOnlyABusyKeyYieldsNoKey) {
  struct Case {
    const char* what;
    FakeMember first;
    bool opens;
    std::vector<std::uint32_t> asked;
  };
  for (const Case& c :
       {Case{"the key", key(), false, {0}}, Case{"another", other(), true, {0, 1}}}) {
    SCOPED_TRACE(c.what);
    FakeDriver driver;
    RecordingNotices notices;
    UsbLink link{driver, notices};
    driver.members = {c.first, key()};
    driver.members[0].openError = kErrorNoAccess;
    EXPECT_EQ(link.UsbEnsureOpen(), c.opens);
    EXPECT_EQ(notices.busyNotices, 1);
    EXPECT_EQ(driver.indexesAsked, c.asked);
    // Again: a new search and a new notice for the busy key; the held key needs no search.
    EXPECT_EQ(link.UsbEnsureOpen(), c.opens);
    EXPECT_EQ(notices.busyNotices, c.opens ? 1 : 2);
    EXPECT_EQ(link.isOpen(), c.opens);
    EXPECT_EQ(driver.requests.size(), c.opens ? 1u : 0u) << "the descriptor request";
  }
}

TEST_F(DiscoveryTest, NoMatchingDeviceLeavesNoHandle) {
  FakeMember refused = other();
  refused.openError = 2;
  driver.members = {other(), refused, other()};
  EXPECT_FALSE(link.UsbEnsureOpen());
  EXPECT_FALSE(link.isOpen());
  EXPECT_TRUE(driver.openHandles.empty());
  EXPECT_EQ(driver.closedHandles.size(), 2u);
  EXPECT_EQ(notices.busyNotices, 0);
  EXPECT_TRUE(notices.deniedPaths.empty());
  EXPECT_THAT(driver.indexesAsked, ElementsAre(0, 1, 2, 3));
}

TEST_F(DiscoveryTest, MembersWithoutADetailAreSkipped) {
  FakeMember noDetail;
  noDetail.path = std::nullopt;
  driver.members = {noDetail, key()};
  EXPECT_TRUE(link.UsbEnsureOpen());
  EXPECT_THAT(driver.openedPaths, ElementsAre(kKeyPath));
}

TEST_F(DiscoveryTest, GivesUpAfter256FailingMemberIndexes) {
  driver.pastEnd = 1784;  // every index fails, none with "no more items"
  EXPECT_FALSE(link.UsbEnsureOpen());
  ASSERT_EQ(driver.indexesAsked.size(), 256u);
  EXPECT_EQ(driver.indexesAsked.back(), 255u);
  EXPECT_EQ(driver.searchesEnded, 1);
}

TEST_F(DiscoveryTest, AFailedClassQueryYieldsNoKey) {
  driver.searchFails = true;
  driver.members = {key()};
  EXPECT_FALSE(link.UsbEnsureOpen());
  EXPECT_TRUE(driver.indexesAsked.empty());
  EXPECT_TRUE(link.UsbIsLargePacketKey());
}

TEST_F(DiscoveryTest, AnOpenLinkIsNotSearchedAgain) {
  driver.members = {key()};
  ASSERT_TRUE(link.UsbEnsureOpen());
  ASSERT_TRUE(link.UsbEnsureOpen());
  EXPECT_EQ(driver.searchesBegun, 1);
  link.UsbClose();
  EXPECT_FALSE(link.isOpen());
  EXPECT_TRUE(driver.openHandles.empty());
  link.UsbClose();  // nothing held: nothing closed twice
  EXPECT_EQ(driver.closedHandles.size(), 1u);
  ASSERT_TRUE(link.UsbEnsureOpen());
  EXPECT_EQ(driver.searchesBegun, 2);
}

TEST_F(DiscoveryTest, TheLinkClosesItsHandleWhenItGoes) {
  FakeDriver d;
  RecordingNotices n;
  d.members = {key()};
  {
    UsbLink scoped(d, n);
    ASSERT_TRUE(scoped.UsbEnsureOpen());
  }
  EXPECT_TRUE(d.openHandles.empty());
}

TEST_F(DiscoveryTest, MaxPacketSizeOfTheFirstEndpointSetsTheFlag) {
  const struct {
    std::uint16_t maxPacket;
    bool large;
  } cases[] = {{8, false}, {64, true}, {16, true}, {0x0108, true}, {0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.maxPacket);
    driver.members = {key(c.maxPacket)};
    ASSERT_TRUE(link.UsbEnsureOpen());
    EXPECT_EQ(link.UsbIsLargePacketKey(), c.large);
    link.UsbClose();
    // Closing keeps what the last key reported.
    EXPECT_EQ(link.UsbIsLargePacketKey(), c.large);
  }
}

TEST_F(DiscoveryTest, ASearchThatFindsNothingLeavesTheFlagTrue) {
  driver.members = {key(8)};
  ASSERT_TRUE(link.UsbEnsureOpen());
  link.UsbClose();
  ASSERT_FALSE(link.UsbIsLargePacketKey());
  driver.members = {other()};
  EXPECT_FALSE(link.UsbEnsureOpen());
  EXPECT_TRUE(link.UsbIsLargePacketKey());
}

TEST_F(DiscoveryTest, ReadsTheMaxPacketSizeWhereTheLengthBytesPointTo) {
  std::vector<std::uint8_t> set(256, 0);
  set[0] = 100;   // a: the interface descriptor at 100
  set[100] = 50;  // b = 150: the endpoint descriptor
  set[154] = 8;   // its maximum packet size
  FakeMember m = key();
  m.descriptors = set;
  driver.members = {m};
  ASSERT_TRUE(link.UsbEnsureOpen());
  EXPECT_FALSE(link.UsbIsLargePacketKey());
}

TEST_F(DiscoveryTest, AMalformedDescriptorSetYieldsNoKey) {
  auto standard = descriptorSet(8);
  std::vector<std::uint8_t> beyond256(256, 0);
  beyond256[0] = 250;
  beyond256[250] = 5;  // b + 4 = 259
  std::vector<std::uint8_t> farBeyond(256, 0xFF);
  std::vector<std::uint8_t> edge(256, 0);  // b + 4 = 254: the last two bytes, still inside
  edge[0] = 200;
  edge[200] = 50;
  std::vector<std::uint8_t> edgeOut = edge;  // b + 4 = 255: one byte short
  edgeOut[200] = 51;
  std::vector<std::uint8_t> pointsPastReturned = standard;
  pointsPastReturned[0] = 30;

  const struct {
    const char* name;
    std::optional<std::vector<std::uint8_t>> set;
  } cases[] = {
      {"request fails", std::nullopt},
      {"nothing returned", std::vector<std::uint8_t>{}},
      {"cut short before the packet size",
       std::vector<std::uint8_t>(standard.begin(), standard.begin() + 23)},
      {"offset points past what was returned", pointsPastReturned},
      {"packet size past the buffer", beyond256},
      {"both offsets at their largest", farBeyond},
      {"packet size straddles the end", edgeOut},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMember m = key();
    m.descriptors = c.set;
    driver.members = {m};
    EXPECT_FALSE(link.UsbEnsureOpen());
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(driver.openHandles.empty());
    EXPECT_TRUE(link.UsbIsLargePacketKey());
  }

  FakeMember m = key();
  m.descriptors = edge;
  driver.members = {m};
  EXPECT_TRUE(link.UsbEnsureOpen());
}

TEST_F(DiscoveryTest, AccessDeniedOnTheKeyIsToldOncePerRun) {
  FakeMember denied = key();
  denied.openError = kErrorAccessDenied;
  FakeMember deniedOther = other();
  deniedOther.openError = kErrorAccessDenied;
  driver.members = {deniedOther, denied, key()};
  EXPECT_FALSE(link.UsbEnsureOpen());
  EXPECT_FALSE(link.UsbEnsureOpen());
  EXPECT_THAT(notices.deniedPaths, ElementsAre(kKeyPath));
  EXPECT_EQ(notices.busyNotices, 0);
  EXPECT_THAT(driver.indexesAsked, ElementsAre(0, 1, 0, 1));
}

TEST_F(DiscoveryTest, KeepsTheFirst255CharactersOfALongPath) {
  const std::string longPath = kKeyPath + std::string(300, 'x');
  FakeMember m = key();
  m.path = longPath;
  driver.members = {m};
  ASSERT_TRUE(link.UsbEnsureOpen());
  EXPECT_EQ(std::string(link.devicePath().data()), longPath.substr(0, 255));
  EXPECT_EQ(link.devicePath()[255], '\0');
  EXPECT_THAT(driver.openedPaths, ElementsAre(longPath));
}

}  // namespace
}  // namespace flashwell::usb
