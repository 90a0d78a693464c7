#include "emulator/trace.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/key_frames.h"

namespace flashwell::emulator {
namespace {

TEST(TraceFormat, EachEventCarriesExactlyItsFields) {
  std::ostringstream out;
  Trace trace(&out);
  const std::uint8_t setup[] = {0x40, 0x0F, 0, 0, 0x71, 0x04, 0x06, 0};
  const std::uint8_t payload[] = {0x04, 0, 0, 0, 0, 0};
  const std::uint8_t sent[] = {0xAB, 0x01};
  trace.plug(0);
  trace.open(3, R"(\\?\usb#vid_5f3a)", true);
  trace.descriptor(3, false);
  trace.control(10, true, setup, payload);
  trace.out(11, false, 2, 2048, sent);
  trace.in(12, true, 130, 128, {});
  trace.close(13);
  trace.unplug(14);
  EXPECT_EQ(out.str(),
            "{\"t\":0,\"ev\":\"plug\"}\n"
            "{\"t\":3,\"ev\":\"open\",\"path\":\"\\\\\\\\?\\\\usb#vid_5f3a\",\"ok\":true}\n"
            "{\"t\":3,\"ev\":\"descriptor\",\"ok\":false}\n"
            "{\"t\":10,\"ev\":\"control\",\"ok\":true,\"setup\":\"400f00007104060"
            "0\",\"data\":\"040000000000\"}\n"
            "{\"t\":11,\"ev\":\"out\",\"ok\":false,\"data\":\"ab01\",\"ep\":2,\"len\":2048}\n"
            "{\"t\":12,\"ev\":\"in\",\"ok\":true,\"data\":\"\",\"ep\":130,\"len\":128}\n"
            "{\"t\":13,\"ev\":\"close\"}\n"
            "{\"t\":14,\"ev\":\"unplug\"}\n");
}

TEST(TraceFormat, PathsThatAreNotUtf8AreStillWritten) {
  std::ostringstream out;
  Trace trace(&out, true);
  trace.open(0, std::string("\xff\xfe\x80 key"), false);
  EXPECT_NE(out.str().find(" key"), std::string::npos);
  EXPECT_EQ(trace.events().size(), 1u);
}

TEST(TraceOfARun, IdentifyIsRecordedByteForByte) {
  support::KeyBench host(support::namedKey("fresh"));
  const auto id = identify(host);
  ASSERT_EQ(id.size(), 128u);
  const auto events = host.traceEvents();
  // plug, open, descriptor, control identify, control setup, in
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[3].setup, "400e000000000600");
  EXPECT_EQ(events[3].data, "070000000000");
  EXPECT_EQ(events[4].data, "000000800001");
  EXPECT_EQ(events[5].ev, "in");
  EXPECT_EQ(events[5].ep, 130u);
  EXPECT_EQ(events[5].len, 128u);
  EXPECT_EQ(events[5].data, toHex(id));
  EXPECT_EQ(events[5].t, 3u);
}

}  // namespace
}  // namespace flashwell::emulator
