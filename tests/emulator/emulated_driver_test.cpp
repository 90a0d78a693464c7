// The emulated driver as the host's link sees it: discovery, the descriptor set, the checks on
// transfer records, the bus over time, and injected faults.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "emulator/faulted_key.h"
#include "tests/support/key_frames.h"
#include "usb/bytes.h"
#include "usb/transfer_request.h"

namespace flashwell::emulator {
namespace {

using support::KeyBench;
using support::namedKey;

TEST(EmulatedDiscovery, OtherDeviceIsClosedAndTheKeyAfterItOpened) {
  KeyBench host(namedKey("fresh"));
  host.driver->addDevice(kOtherDevicePath);
  host.driver->addEnumerationError(1784);
  host.driver->addMemberWithoutPath();
  ASSERT_TRUE(open(host));
  EXPECT_EQ(host.driver->openHandles(), 1u);
  const auto events = host.traceEvents();
  ASSERT_GE(events.size(), 5u);
  EXPECT_EQ(events[1].ev, "open");
  EXPECT_EQ(events[1].path, std::string(kOtherDevicePath));
  EXPECT_EQ(events[2].ev, "close");
  EXPECT_EQ(events[3].ev, "open");
  EXPECT_EQ(events[3].path, std::string(kDefaultKeyPath));
  EXPECT_EQ(events[4].ev, "descriptor");
  EXPECT_EQ(events[4].ok, true);
}

TEST(EmulatedDiscovery, NoKeyWithoutAMatchingDevice) {
  struct Case {
    const char* what;
    void (*arrange)(EmulatedDriver&);
  };
  const Case cases[] = {
      {"key unplugged, other device present",
       [](EmulatedDriver& d) {
         d.addDevice(kOtherDevicePath);
         d.unplug();
       }},
      {"class query fails", [](EmulatedDriver& d) { d.setClassQueryFails(true); }},
      {"key path does not match",
       [](EmulatedDriver& d) { d.setKeyPath(R"(\\?\usb#vid_5f3a&pid_10x1#1)"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KeyBench host(namedKey("fresh"));
    c.arrange(*host.driver);
    EXPECT_FALSE(open(host));
    EXPECT_EQ(host.driver->openHandles(), 0u);
    EXPECT_TRUE(host.link->UsbIsLargePacketKey());
  }
}

TEST(EmulatedDiscovery, BusyKeyShowsTheNoticeAndYieldsNoKey) {
  KeyBench host(namedKey("fresh"));
  host.driver->setHeldByAnotherProgram(true);
  EXPECT_FALSE(open(host));
  EXPECT_EQ(host.notices.busyNotices, 1);
  host.driver->setHeldByAnotherProgram(false);
  EXPECT_TRUE(open(host));
  // Exclusive: a second open of the same path is refused with 998 while the first is held.
  EXPECT_EQ(host.driver->openExclusive(kDefaultKeyPath).error, usb::kErrorNoAccess);
}

TEST(EmulatedDiscovery, FirstEndpointPacketSizeTellsTheKindAndBadSetsAreRefused) {
  KeyBench large(namedKey("fresh"));
  ASSERT_TRUE(open(large));
  EXPECT_TRUE(large.link->UsbIsLargePacketKey());
  KeyBench small(namedKey("small-packet"));
  ASSERT_TRUE(open(small));
  EXPECT_FALSE(small.link->UsbIsLargePacketKey());

  KeyBench malformed(namedKey("fresh"));
  malformed.driver->setMalformedDescriptor(true);
  EXPECT_FALSE(open(malformed));
  EXPECT_EQ(malformed.driver->openHandles(), 0u) << "the handle is closed again";

  // A set cut short before the endpoint's packet size.
  KeyBench cut(namedKey("fresh"));
  cut.driver->setDescriptorHook([](std::vector<std::uint8_t>& set) { set.resize(20); });
  EXPECT_FALSE(open(cut));
}

TEST(EmulatedRecords, LayoutMustFitTheSystemAndTheColumn) {
  // On 64-bit Windows the link sends the 56-byte layout and the driver takes it.
  KeyBench wide(namedKey("fresh"));
  wide.driver->setNativeArchitecture(9);
  EXPECT_EQ(identify(wide).size(), 128u);

  // A 48-byte record on a 64-bit system, and records whose words do not fit the endpoint.
  KeyBench host(namedKey("fresh"));
  const usb::DriverHandle handle = host.driver->openExclusive(kDefaultKeyPath).handle;
  ASSERT_NE(handle, usb::kNoHandle);
  std::vector<std::uint8_t> data(128);
  struct Case {
    const char* what;
    void (*spoil)(usb::UsbTransferRequest&);
  };
  const Case cases[] = {
      {"direction", [](usb::UsbTransferRequest& r) { r.direction = 0; }},
      {"option word", [](usb::UsbTransferRequest& r) { r.option = 0x55; }},
      {"final word", [](usb::UsbTransferRequest& r) { r.trailerWord = 0x66; }},
      {"length beyond the buffer", [](usb::UsbTransferRequest& r) { r.length = 129; }},
      {"buffer address", [](usb::UsbTransferRequest& r) { r.bufferAddress ^= 0x10; }},
      {"endpoint", [](usb::UsbTransferRequest& r) { r.endpoint = 0x83; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto request = usb::makeTransferRequest(usb::TransferKind::readEp2, data.data(), 128);
    c.spoil(request);
    auto record = usb::encode32(request);
    EXPECT_FALSE(host.driver->ioControl(handle, usb::kIoctlEndpointTransfer, record, data));
  }
  host.driver->setNativeArchitecture(9);
  auto record =
      usb::encode32(usb::makeTransferRequest(usb::TransferKind::readEp2, data.data(), 128));
  EXPECT_FALSE(host.driver->ioControl(handle, usb::kIoctlEndpointTransfer, record, data));
  EXPECT_EQ(host.driver->lastRejection(), "record layout does not fit the system");
}

TEST(EmulatedBus, HandlesDieWithAnUnplugAndScheduledEventsKeepTheirTime) {
  KeyBench host(namedKey("fresh"), true, nullptr, /*plugged=*/false);
  host.driver->schedulePlug(2500);
  EXPECT_FALSE(open(host));
  host.clock.sleepMs(2600);
  ASSERT_TRUE(open(host));
  // Applied on the first call after it was due, traced at its own time.
  ASSERT_EQ(host.traceEvents().front().ev, "plug");
  EXPECT_EQ(host.traceEvents().front().t, 2500u);

  host.driver->scheduleUnplug(3000, 4000);
  host.clock.sleepMs(500);
  EXPECT_TRUE(identify(host).empty()) << "the handle opened before the unplug is dead";
  host.link->UsbClose();
  EXPECT_FALSE(open(host));
  host.clock.sleepMs(4000);
  EXPECT_EQ(identify(host).size(), 128u);
  const auto events = host.traceEvents();
  const auto unplug = std::find_if(events.begin(), events.end(),
                                   [](const TraceEvent& e) { return e.ev == "unplug"; });
  ASSERT_NE(unplug, events.end());
  EXPECT_EQ(unplug->t, 3000u);
}

TEST(EmulatedTiming, CommandsAndTransfersTakeTheirModelledTime) {
  KeyBench host(namedKey("booter"));
  ASSERT_TRUE(open(host));
  const std::uint64_t start = host.driver->nowMs();
  ASSERT_TRUE(shortCommand(host, 7));                                // 1 ms
  ASSERT_TRUE(transferSetup(host, 1, 128));                          // 1 ms
  ASSERT_EQ(readEp2(host, 128).size(), 128u);                        // 1 ms
  ASSERT_TRUE(sendBlock(host, std::vector<std::uint8_t>(4096, 0)));  // 1 + 4 ms
  ASSERT_TRUE(flashCommand(host, 2, 0x0FB000, 2048));                // 1 ms
  ASSERT_TRUE(flashCommand(host, 1, 0, 2048));                       // 1 + 1500 ms
  EXPECT_EQ(host.driver->nowMs() - start, 1510u);
  EXPECT_EQ(host.key->modelledBusyMs(), host.driver->nowMs() - start);
  EXPECT_EQ(host.key->commandsSeen(15, 2), 1u);
}

// Each kind of fault at one command: what the host sees, and whether the key carried it out.
// Before the store come an identify (two commands and a read) and a block (a command and a
// transfer out): the fourth command, the sixth transfer.
TEST(EmulatedFaults, EachKindAtAStoreIdentity) {
  struct Case {
    const char* fault;
    bool hostSeesSuccess;
    bool carriedOut;
    std::uint32_t takesMs;
  };
  const Case cases[] = {
      {"store-identity:refuse", false, false, 1},
      {"store-identity:late", true, true, 1 + 4800 + 1000},
      {"store-identity:late=3000", true, true, 3000},
      {"store-identity:status", false, true, 1},
      {"store-identity:zero", false, true, 1},
      {"store-identity:unplug", false, false, 0},
      {"store-identity:unplug=250", false, false, 0},
      {"store-identity:unplug-for-good", false, false, 0},
      {"store-identity:stall", false, false, 1},
      {"control:refuse@4+", false, false, 1},
      {"any:status@6", false, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    KeyBench host(namedKey("fresh"));
    const Fault fault = parseFault(c.fault)->front();
    host.driver->addFault(fault);
    auto id = identify(host);
    id[54] = 0xFF;
    ASSERT_TRUE(sendBlock(host, id));
    const std::uint64_t before = host.driver->nowMs();
    EXPECT_EQ(shortCommand(host, 8), c.hostSeesSuccess);
    EXPECT_EQ(host.driver->nowMs() - before, c.takesMs);
    EXPECT_EQ(host.key->configuration()[kMarkByte] == 0xFF, c.carriedOut);
    const Effect effect = effectOf(fault);
    const std::optional<std::uint32_t> away =
        effect.pulls ? effect.backAfterMs : std::optional<std::uint32_t>(0);
    EXPECT_EQ(host.driver->keyPresent(), away == 0u);
    if (away > 0u) {
      host.clock.sleepMs(*away - 1);
      EXPECT_FALSE(host.driver->keyPresent());
      host.clock.sleepMs(1);
    }
    EXPECT_EQ(host.driver->keyPresent(), away.has_value());
  }
}

// A restart brings the key back in the other program after its time off the bus; with stay, in
// the program it ran.
TEST(EmulatedFaults, StayKeepsTheKeyInItsProgramOverARestart) {
  struct Case {
    const char* fault;
    const char* start;
    KeyProgram after;
  };
  for (const Case& c :
       {Case{"", "fresh", KeyProgram::booter}, Case{"restart:stay", "fresh", KeyProgram::firmware},
        Case{"restart:stay@2", "fresh", KeyProgram::booter},
        Case{"restart:stay", "booter", KeyProgram::booter}}) {
    SCOPED_TRACE(std::string(c.fault) + " " + c.start);
    KeyBench host(namedKey(c.start));
    host.key->timing().reenumerationMs = 3500;
    if (*c.fault) host.addFault(c.fault);
    ASSERT_TRUE(flashCommand(host, 4));
    host.clock.sleepMs(3499);
    EXPECT_FALSE(host.driver->keyPresent());
    host.clock.sleepMs(1);
    EXPECT_TRUE(host.driver->keyPresent());
    EXPECT_EQ(host.key->program(), c.after);
  }
}

TEST(EmulatedFaults, OccurrencesInTransfersOpenAndDescriptor) {
  {
    KeyBench host(namedKey("fresh"));
    host.driver->addFaults(*parseFault("in:zero@2"));
    EXPECT_EQ(identify(host).size(), 128u);
    EXPECT_TRUE(identify(host).empty());
    EXPECT_EQ(identify(host).size(), 128u);
  }
  {
    // The key's driver resets a stalled pipe itself: the halt does not outlast the transfer.
    KeyBench host(namedKey("fresh"));
    host.driver->addFaults(*parseFault("in:stall"));
    EXPECT_TRUE(identify(host).empty());
    EXPECT_EQ(identify(host).size(), 128u);
  }
  {
    KeyBench host(namedKey("fresh"));
    host.driver->addFaults(*parseFault("identity-unreadable@2"));
    EXPECT_TRUE(identify(host).empty());
    host.link->UsbClose();
    EXPECT_TRUE(identify(host).empty());
    host.link->UsbClose();
    EXPECT_EQ(identify(host).size(), 128u);
  }
  {
    KeyBench host(namedKey("fresh"));
    host.driver->addFaults(*parseFault("open:refuse"));
    EXPECT_FALSE(open(host));
    EXPECT_EQ(host.notices.busyNotices, 0) << "not a busy key";
    EXPECT_TRUE(open(host));
  }
  {
    KeyBench host(namedKey("fresh"));
    host.driver->addFaults(*parseFault("descriptor:refuse"));
    EXPECT_FALSE(open(host));
    EXPECT_EQ(host.driver->openHandles(), 0u);
    EXPECT_TRUE(open(host));
  }
  {
    KeyBench host(namedKey("booter"));
    host.driver->addFaults(*parseFault("out:status"));
    EXPECT_FALSE(sendBlock(host, std::vector<std::uint8_t>(4096, 0)));
    EXPECT_TRUE(flashCommand(host, 2, 0x0FB000, 2048)) << "the block did arrive";
  }
}

TEST(EmulatedFaults, InHookReplacesTheKeysAnswer) {
  KeyBench host(namedKey("fresh"));
  host.driver->setInHook([](std::uint8_t endpoint, std::vector<std::uint8_t>& bytes) {
    if (endpoint == 0x82) bytes.assign(200, 0xAB);
  });
  const auto id = identify(host);
  EXPECT_EQ(id, std::vector<std::uint8_t>(128, 0xAB)) << "never more than asked for";
}

TEST(EmulatedFaults, UnplugDuringRegionsStrikesTheThirdRegion) {
  KeyBench host(namedKey("fresh"));
  host.driver->addFaults(*parseFault("unplug-during-regions"));
  const std::vector<std::uint8_t> block(2048, 0);
  const std::uint16_t codes[] = {0x0515, 0x0631, 0x0634};
  for (int r = 0; r < 3; ++r) {
    ASSERT_TRUE(longCommand(host, 15, codes[r], 0xFFFF, 0, 0));
    for (std::uint16_t i = 0; i < 2; ++i) {
      ASSERT_TRUE(sendBlock(host, block));
      const bool ok = longCommand(host, 15, codes[r], 0x3100, i, 2);
      EXPECT_EQ(ok, !(r == 2 && i == 1)) << r << " " << i;
    }
  }
  EXPECT_FALSE(host.driver->keyPresent());
  host.clock.sleepMs(5000);
  EXPECT_TRUE(host.driver->keyPresent());
}

}  // namespace
}  // namespace flashwell::emulator

namespace flashwell::emulator {
namespace {

// The worker talks to the key while another thread pulls it and plugs it back.
TEST(EmulatedConcurrency, PlugAndPullWhileTheKeyIsBusy) {
  support::KeyBench host(support::namedKey("fresh"));
  int read = 0;
  host.clock.addThread();
  std::thread worker([&] {
    for (int i = 0; i < 40; ++i) {
      if (identify(host).size() == 128) ++read;
      host.link->UsbClose();
      host.clock.sleepMs(50);
    }
    host.clock.removeThread();
  });
  for (int i = 0; i < 4; ++i) {
    host.clock.sleepMs(230);
    host.driver->unplug();
    host.clock.sleepMs(200);
    host.driver->plug();
  }
  host.clock.removeThread();
  worker.join();
  EXPECT_GT(read, 10);
  EXPECT_LT(read, 40);
  EXPECT_EQ(host.driver->openHandles(), 0u);
}

}  // namespace
}  // namespace flashwell::emulator
