#include "emulator/key_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "emulator/named_states.h"
#include "usb/bytes.h"

namespace flashwell::emulator {
namespace {

bool sameImage(const KeyImage& a, const KeyImage& b) {
  return a.program == b.program && a.identity == b.identity && a.configuration == b.configuration &&
         a.firmwareArea == b.firmwareArea && a.regions == b.regions &&
         a.maxPacketSize == b.maxPacketSize;
}

TEST(KeyFile, RoundTripThroughAFileKeepsEverything) {
  KeyImage image = *namedKeyState("small-packet");
  image.program = KeyProgram::booter;
  image.firmwareArea[0x1234] = 0x5A;
  image.regions[0x0640][0x1FFFF] = 0x01;
  image.configuration[kMarkByte] = 0xFF;
  const std::string path = ::testing::TempDir() + "key_file_test.state";
  std::string error;
  ASSERT_TRUE(saveKeyImage(image, path, &error)) << error;
  const auto loaded = loadKeyImage(path, &error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_TRUE(sameImage(*loaded, image));
  std::remove(path.c_str());
  EXPECT_FALSE(loadKeyImage(path, &error));
  EXPECT_NE(error.find("does not exist"), std::string::npos);
}

TEST(KeyFile, EveryTruncationIsRefused) {
  const std::vector<std::uint8_t> bytes = encodeKeyImage(*namedKeyState("fresh"));
  // Cut inside the header, each block's length and bytes, and the region list.
  for (std::size_t cut :
       {std::size_t{0}, std::size_t{7}, std::size_t{12}, std::size_t{15}, std::size_t{18},
        std::size_t{100}, std::size_t{300}, std::size_t{50000}, bytes.size() - 1}) {
    SCOPED_TRACE(cut);
    std::string error;
    EXPECT_FALSE(decodeKeyImage(std::span(bytes).first(cut), &error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(KeyFile, CorruptFieldsAreRefused) {
  const std::vector<std::uint8_t> good = encodeKeyImage(*namedKeyState("fresh"));
  // Offsets: magic 0-7, version 8, program 12, packet 14, identity length 16.
  const std::size_t regionCount = 8 + 4 + 4 + (4 + 128) * 2 + 4 + kFirmwareAreaSize;
  struct Case {
    const char* what;
    void (*spoil)(std::vector<std::uint8_t>&, std::size_t);
  };
  const Case cases[] = {
      {"magic", [](std::vector<std::uint8_t>& b, std::size_t) { b[0] = 'X'; }},
      {"version", [](std::vector<std::uint8_t>& b, std::size_t) { b[8] = 2; }},
      {"program", [](std::vector<std::uint8_t>& b, std::size_t) { b[12] = 17; }},
      {"packet size", [](std::vector<std::uint8_t>& b, std::size_t) { b[14] = 16; }},
      {"identity length",
       [](std::vector<std::uint8_t>& b, std::size_t) { usb::putLe32(b, 16, 0xFFFFFFF0); }},
      {"region count", [](std::vector<std::uint8_t>& b, std::size_t at) { b[at] = 8; }},
      {"region code", [](std::vector<std::uint8_t>& b, std::size_t at) { b[at + 4] = 0x99; }},
      {"repeated region",
       [](std::vector<std::uint8_t>& b, std::size_t at) {
         // The second region's code made equal to the first one's.
         const std::size_t second = at + 4 + 2 + 4 + kRegionCapacity;
         b[second] = b[at + 4];
         b[second + 1] = b[at + 5];
       }},
      {"trailing byte", [](std::vector<std::uint8_t>& b, std::size_t) { b.push_back(0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> bytes = good;
    c.spoil(bytes, regionCount);
    std::string error;
    EXPECT_FALSE(decodeKeyImage(bytes, &error));
    EXPECT_EQ(error.rfind("key state: ", 0), 0u) << error;
  }
  std::string error;
  EXPECT_TRUE(decodeKeyImage(good, &error)) << error;
}

TEST(KeyFile, FailedSaveLeavesTheEarlierFile) {
  std::string error;
  EXPECT_FALSE(saveKeyImage(*namedKeyState("fresh"), "/nonexistent-dir/key.state", &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace flashwell::emulator
