#include <gtest/gtest.h>
#include <libusb.h>

#include <array>
#include <vector>

#include "usb/bytes.h"
#include "usb/driver.h"
#include "usb/libusb/descriptor_set.h"
#include "usb/libusb/key_path.h"
#include "usb/libusb/transfer_plan.h"
#include "usb/path_match.h"

namespace flashwell::usb::libusb {
namespace {

TEST(LibusbPathTest, OffersTheKeysVendorsUnderPathsThePathTestTakes) {
  const std::uint8_t ports[] = {1, 4};
  const std::string path = interfacePathFor(0x5F3A, 0x1001, 3, ports);
  EXPECT_EQ(path, "\\\\?\\usb#vid_5f3a&pid_1001#3-1.4#{6b2d9c41-0e7a-4f35-9a1c-52d7e08b3f64}");
  EXPECT_TRUE(UsbMatchKeyPath(path));
  EXPECT_TRUE(UsbMatchKeyPath(interfacePathFor(0x0471, 0x0222, 1, ports)));
  EXPECT_FALSE(UsbMatchKeyPath(interfacePathFor(0x1234, 0x1001, 1, ports)));

  EXPECT_TRUE(isOfferedVendor(0x5F3A));
  EXPECT_TRUE(isOfferedVendor(0x0471));
  EXPECT_FALSE(isOfferedVendor(0x5F3B));
  EXPECT_FALSE(isOfferedVendor(0));
}

TEST(LibusbPathTest, TwoKeysOnDifferentPortsGetDifferentPaths) {
  const std::uint8_t a[] = {1, 4};
  const std::uint8_t b[] = {1, 4, 2};
  EXPECT_NE(interfacePathFor(0x5F3A, 0x1001, 3, a), interfacePathFor(0x5F3A, 0x1001, 3, b));
  EXPECT_NE(interfacePathFor(0x5F3A, 0x1001, 3, a), interfacePathFor(0x5F3A, 0x1001, 2, a));
  EXPECT_EQ(interfacePathFor(0xFFFF, 0xFFFF, 255, {}),
            "\\\\?\\usb#vid_ffff&pid_ffff#255-0#{6b2d9c41-0e7a-4f35-9a1c-52d7e08b3f64}");
}

ConfigurationFields keyConfiguration(std::uint16_t maxPacket) {
  ConfigurationFields c;
  c.totalLength = 39;
  c.interfaceCount = 1;
  c.value = 1;
  c.attributes = 0x80;
  c.maxPower = 50;
  InterfaceFields i;
  i.interfaceClass = 0xFF;
  i.endpoints = {{0x82, 2, maxPacket, 0}, {0x02, 2, maxPacket, 0}, {0x81, 3, 8, 10}};
  c.interfaces = {i};
  return c;
}

TEST(LibusbDescriptorTest, AssemblesTheThreeDescriptorsLedByTheirLengths) {
  std::array<std::uint8_t, 256> out{};
  const auto n = assembleDescriptorSet(keyConfiguration(64), out);
  ASSERT_EQ(n, 25u);
  const std::vector<std::uint8_t> expected = {
      9, 2, 39,   0, 1,  1,    0, 0x80, 50,  // configuration
      9, 4, 0,    0, 3,  0xFF, 0, 0,    0,   // interface 0 with its three endpoints
      7, 5, 0x82, 2, 64, 0,    0};           // the first endpoint
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
  // Where the link looks for the first endpoint's packet size.
  const std::size_t b = out[0] + out[out[0]];
  EXPECT_EQ(le16(out, b + 4), 64);
}

TEST(LibusbDescriptorTest, NeedsInterfaceZeroWithAnEndpointAndRoomForTheSet) {
  std::array<std::uint8_t, 256> out{};
  ConfigurationFields noEndpoint = keyConfiguration(64);
  noEndpoint.interfaces[0].endpoints.clear();
  EXPECT_FALSE(assembleDescriptorSet(noEndpoint, out));
  ConfigurationFields otherInterface = keyConfiguration(64);
  otherInterface.interfaces[0].number = 1;
  EXPECT_FALSE(assembleDescriptorSet(otherInterface, out));
  EXPECT_FALSE(assembleDescriptorSet(ConfigurationFields{}, out));
  std::array<std::uint8_t, 24> small{};
  EXPECT_FALSE(assembleDescriptorSet(keyConfiguration(64), small));
}

TEST(LibusbDescriptorTest, TakesOnlyTheKeysInterfaceForAKey) {
  ConfigurationFields key = keyConfiguration(64);
  key.interfaces[0].endpoints = {{0x81, 3, 8, 10}, {0x02, 2, 64, 0}, {0x82, 2, 64, 0}};
  EXPECT_TRUE(hasKeyInterface(key));

  const struct {
    const char* name;
    void (*change)(ConfigurationFields&);
  } others[] = {
      {"mass storage", [](ConfigurationFields& c) { c.interfaces[0].interfaceClass = 0x08; }},
      {"another subclass", [](ConfigurationFields& c) { c.interfaces[0].subClass = 1; }},
      {"another protocol", [](ConfigurationFields& c) { c.interfaces[0].protocol = 0x50; }},
      {"two endpoints", [](ConfigurationFields& c) { c.interfaces[0].endpoints.pop_back(); }},
      {"bulk where the interrupt endpoint is",
       [](ConfigurationFields& c) { c.interfaces[0].endpoints[0].attributes = 2; }},
      {"another endpoint address",
       [](ConfigurationFields& c) { c.interfaces[0].endpoints[2].address = 0x83; }},
      {"the interface is not interface 0",
       [](ConfigurationFields& c) { c.interfaces[0].number = 1; }},
      {"no interface", [](ConfigurationFields& c) { c.interfaces.clear(); }},
  };
  for (const auto& other : others) {
    SCOPED_TRACE(other.name);
    ConfigurationFields c = key;
    other.change(c);
    EXPECT_FALSE(hasKeyInterface(c));
  }
}

std::vector<std::uint8_t> record(RecordLayout layout, std::uint32_t endpoint,
                                 std::uint32_t direction, std::uint32_t length,
                                 const SetupPacket& setup = {}) {
  UsbTransferRequest r;
  r.endpoint = endpoint;
  r.direction = direction;
  r.length = length;
  r.setup = setup;
  if (layout == RecordLayout::bits32) {
    const Record32 bytes = encode32(r);
    return {bytes.begin(), bytes.end()};
  }
  const Record64 bytes = encode64(r);
  return {bytes.begin(), bytes.end()};
}

constexpr SetupPacket kCommand{0x40, 0x0C, 0, 0, 0, 0, 6, 0};  // 6 bytes to the device

TEST(LibusbTransferPlanTest, MapsRecordsOfBothLayoutsToTransfers) {
  const auto config = keyConfiguration(64);
  for (RecordLayout layout : {RecordLayout::bits32, RecordLayout::bits64}) {
    SCOPED_TRACE(layout == RecordLayout::bits32 ? "48 bytes" : "56 bytes");
    const auto control =
        planTransfer(kIoctlControlTransfer, record(layout, 0, 0, 6, kCommand), 6, config);
    ASSERT_TRUE(control);
    EXPECT_EQ(control->kind, TransferKind::control);
    EXPECT_EQ(control->setup, kCommand);
    EXPECT_EQ(control->length, 6u);
    EXPECT_EQ(control->layout, layout);

    const struct {
      std::uint32_t endpoint, direction;
      TransferKind kind;
    } endpoints[] = {{0x82, 1, TransferKind::bulk},
                     {0x02, 0, TransferKind::bulk},
                     {0x81, 1, TransferKind::interrupt}};
    for (const auto& e : endpoints) {
      SCOPED_TRACE(e.endpoint);
      const auto plan = planTransfer(kIoctlEndpointTransfer,
                                     record(layout, e.endpoint, e.direction, 512), 512, config);
      ASSERT_TRUE(plan);
      EXPECT_EQ(plan->kind, e.kind);
      EXPECT_EQ(plan->endpoint, e.endpoint);
      EXPECT_EQ(plan->length, 512u);
      EXPECT_EQ(plan->layout, layout);
    }
  }
}

TEST(LibusbTransferPlanTest, RefusesWhatItCannotCarryOutSafely) {
  const auto config = keyConfiguration(64);
  const SetupPacket tooLong{0xC0, 0x0C, 0, 0, 0, 0, 65, 0};
  const struct {
    const char* name;
    std::uint32_t code;
    std::vector<std::uint8_t> rec;
    std::size_t dataSize;
  } cases[] = {
      {"record of another size", kIoctlEndpointTransfer, std::vector<std::uint8_t>(52), 64},
      {"unknown request", 0x220004, record(RecordLayout::bits32, 0x82, 1, 8), 64},
      {"descriptor request", kIoctlReadDescriptors, record(RecordLayout::bits32, 0x82, 1, 8), 64},
      {"length beyond the data buffer", kIoctlEndpointTransfer,
       record(RecordLayout::bits32, 0x82, 1, 65), 64},
      {"endpoint the interface lacks", kIoctlEndpointTransfer,
       record(RecordLayout::bits32, 0x83, 1, 8), 64},
      {"endpoint 0 as an endpoint transfer", kIoctlEndpointTransfer,
       record(RecordLayout::bits32, 0, 0, 8), 64},
      {"endpoint above a byte", kIoctlEndpointTransfer, record(RecordLayout::bits32, 0x182, 1, 8),
       64},
      {"direction against the endpoint", kIoctlEndpointTransfer,
       record(RecordLayout::bits32, 0x82, 0, 8), 64},
      {"setup length beyond the data buffer", kIoctlControlTransfer,
       record(RecordLayout::bits32, 0, 1, 65, tooLong), 64},
      {"setup length beyond the record's length", kIoctlControlTransfer,
       record(RecordLayout::bits64, 0, 1, 64, tooLong), 128},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(planTransfer(c.code, c.rec, c.dataSize, config));
  }
  // An isochronous endpoint is neither bulk nor interrupt.
  ConfigurationFields iso = config;
  iso.interfaces[0].endpoints[0].attributes = 1;
  EXPECT_FALSE(
      planTransfer(kIoctlEndpointTransfer, record(RecordLayout::bits32, 0x82, 1, 8), 8, iso));
}

TEST(LibusbErrorTest, OpenFailuresAreToldApart) {
  EXPECT_EQ(systemErrorForOpen(LIBUSB_SUCCESS), kErrorSuccess);
  EXPECT_EQ(systemErrorForOpen(LIBUSB_ERROR_BUSY), kErrorNoAccess);
  EXPECT_EQ(systemErrorForOpen(LIBUSB_ERROR_ACCESS), kErrorAccessDenied);
  for (int error : {LIBUSB_ERROR_NO_DEVICE, LIBUSB_ERROR_IO, LIBUSB_ERROR_OTHER}) {
    SCOPED_TRACE(error);
    const std::uint32_t code = systemErrorForOpen(error);
    EXPECT_NE(code, kErrorSuccess);
    EXPECT_NE(code, kErrorNoAccess);
    EXPECT_NE(code, kErrorAccessDenied);
    EXPECT_NE(code, kErrorNoMoreItems);
  }
}

}  // namespace
}  // namespace flashwell::usb::libusb
