// The libusb backend against the virtual key at the kernel's usbdevfs interface: the system's
// libusb, unchanged, enumerates the key in umockdev's testbed, opens it and moves every byte
// through URBs that the key's node answers. Each case is a way a real machine presents the key
// that the backend has to cope with.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "emulator/faults.h"
#include "emulator/named_states.h"
#include "emulator/trace.h"
#include "emulator/usbfs/usbfs_key.h"
#include "emulator/virtual_key.h"
#include "tests/support/recording_notices.h"
#include "usb/libusb/libusb_driver.h"
#include "usb/link.h"

namespace flashwell {
namespace {

using emulator::usbfs::UsbfsKey;
using emulator::usbfs::UsbfsKeyOptions;
using support::RecordingNotices;

// The key on the bus, the system's libusb in the backend, and a thread that plugs and pulls.
class UsbfsBackend : public ::testing::Test {
 protected:
  void start(UsbfsKeyOptions options, const std::string& state = "fresh",
             const std::vector<std::string>& faults = {}, usb::ClaimTexts texts = {}) {
    key_ = std::make_unique<emulator::VirtualKey>(*emulator::namedKeyState(state));
    bus_ = std::make_unique<UsbfsKey>(*key_, &trace_, options);
    for (const std::string& f : faults) bus_->addFaults(*emulator::parseFault(f));
    bus_->plugIn();
    servicing_ = std::thread([this] {
      while (!stop_) {
        bus_->service();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
    // libusb looks for devices as its context starts: the testbed exists by now.
    driver_ = std::make_unique<usb::libusb::LibusbDriver>(std::move(texts));
    link_ = std::make_unique<usb::UsbLink>(*driver_, notices_);
  }

  void TearDown() override {
    link_.reset();
    driver_.reset();
    stop_ = true;
    if (servicing_.joinable()) servicing_.join();
  }

  // Identify, announce a 128-byte read and read the identity from 0x82: the bytes read, or -1.
  int readIdentity() {
    std::array<std::uint8_t, 6> identify = {7, 0, 0, 0, 0, 0};
    std::array<std::uint8_t, 6> announce = {0, 0, 0, 0x80, 0, 1};
    const usb::SetupPacket identifySetup = {0x40, 0x0E, 0, 0, 0, 0, 6, 0};
    const usb::SetupPacket announceSetup = {0x40, 0x0C, 0, 0, 0x71, 0x04, 6, 0};
    if (link_->UsbControlTransfer(identify, identifySetup) != 6) return -1;
    if (link_->UsbControlTransfer(announce, announceSetup) != 6) return -1;
    std::array<std::uint8_t, 128> identity{};
    return link_->UsbReadEp2(identity);
  }

  emulator::Trace trace_{nullptr, true};
  std::unique_ptr<emulator::VirtualKey> key_;
  std::unique_ptr<UsbfsKey> bus_;
  std::unique_ptr<usb::libusb::LibusbDriver> driver_;
  RecordingNotices notices_;
  std::unique_ptr<usb::UsbLink> link_;
  std::atomic<bool> stop_ = false;
  std::thread servicing_;
};

// Ways a machine presents the key that the backend takes in its stride: a foreign device of
// the vendor before the key (which neither hides it nor hears from us), a kernel driver on the
// interface (detached), the key in configuration 0 (given its configuration).
struct Presentation {
  const char* name;
  void (*arrange)(UsbfsKeyOptions&);
};

class UsbfsPresentation : public UsbfsBackend,
                          public ::testing::WithParamInterface<Presentation> {};

TEST_P(UsbfsPresentation, OpensTheKeyAndReadsItsIdentity) {
  UsbfsKeyOptions options;
  GetParam().arrange(options);
  start(options);
  ASSERT_TRUE(link_->UsbEnsureOpen());
  EXPECT_TRUE(link_->UsbIsLargePacketKey());
  EXPECT_EQ(readIdentity(), 128);
  EXPECT_EQ(notices_.busyNotices, 0);
  EXPECT_EQ(bus_->foreignRequests(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, UsbfsPresentation,
    ::testing::Values(Presentation{"Plain", [](UsbfsKeyOptions&) {}},
                      Presentation{"ForeignDeviceOfTheVendor",
                                   [](UsbfsKeyOptions& o) { o.foreignDevice = true; }},
                      Presentation{"KernelDriverOnTheInterface",
                                   [](UsbfsKeyOptions& o) { o.kernelDriver = "mempod-serial"; }},
                      Presentation{"Unconfigured",
                                   [](UsbfsKeyOptions& o) { o.unconfigured = true; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UsbfsBackend, AStalledEndpointIsClearedSoTheNextReadWorks) {
  start({}, "fresh", {"in:stall@1"});
  ASSERT_TRUE(link_->UsbEnsureOpen());
  EXPECT_EQ(readIdentity(), -1);
  EXPECT_EQ(readIdentity(), 128);
  EXPECT_EQ(bus_->ioctlCounts()["CLEAR_HALT"], 1u);
}

TEST_F(UsbfsBackend, AKernelDriverThatStaysIsNotTakenForAnotherProgram) {
  UsbfsKeyOptions options;
  options.kernelDriver = "mempod-serial";
  options.driverDetachable = false;
  // The user is told why, in the words the program gives, with libusb's reason in them.
  start(options, "fresh", {}, {"unconfigured (%1)", "held by a kernel driver (%1)"});
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(link_->UsbEnsureOpen());
  const std::string told = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(notices_.busyNotices, 0);
  EXPECT_NE(told.find("flashwell: held by a kernel driver ("), std::string::npos) << told;
  EXPECT_EQ(told.find("%1"), std::string::npos) << told;
}

TEST_F(UsbfsBackend, AKeyClaimedByAnotherProgramStillRaisesTheBusyNotice) {
  UsbfsKeyOptions options;
  options.kernelDriver = "usbfs";  // what the kernel names another program's claim
  start(options);
  EXPECT_FALSE(link_->UsbEnsureOpen());
  EXPECT_EQ(notices_.busyNotices, 1);
}

TEST_F(UsbfsBackend, OpenFaultsStrikeTheClaim) {
  start({}, "fresh", {"open:refuse"});
  EXPECT_FALSE(link_->UsbEnsureOpen());
  EXPECT_EQ(notices_.busyNotices, 0);
  ASSERT_TRUE(link_->UsbEnsureOpen());
  EXPECT_EQ(readIdentity(), 128);
}

TEST_F(UsbfsBackend, AKeyPulledMidTransferIsFoundAgainUnderItsNewNumber) {
  start({}, "fresh", {"in:unplug@1"});
  ASSERT_TRUE(link_->UsbEnsureOpen());
  const std::string first = bus_->keyNode();
  EXPECT_EQ(readIdentity(), -1);
  link_->UsbClose();
  // Back after five seconds, under another device number.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!link_->UsbEnsureOpen() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(bus_->keyArrivals(), 2u);
  EXPECT_NE(bus_->keyNode(), first);
  EXPECT_EQ(readIdentity(), 128);
}

}  // namespace
}  // namespace flashwell
