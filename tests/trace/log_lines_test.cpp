// The lines of a traffic log: written as the virtual key writes its trace, read back exactly,
// and refused with a reason when a file holds something else.

#include <gtest/gtest.h>

#include <sstream>

#include "trace/log_file.h"

namespace flashwell::trace {
namespace {

TEST(LogLines, EveryFieldComesBack) {
  LogEvent e;
  e.t = 4294967296ull;
  e.ev = "open";
  e.path = R"(\\?\usb#vid_5f3a&pid_1001#{6b2d9c41})";
  e.ok = false;
  e.error = 998;
  std::string why;
  const auto back = parseLogLine(toLogLine(e), &why);
  ASSERT_TRUE(back) << why;
  EXPECT_EQ(back->t, e.t);
  EXPECT_EQ(back->ev, "open");
  EXPECT_EQ(back->path, e.path);
  EXPECT_EQ(back->ok, false);
  EXPECT_EQ(back->error, 998u);
  EXPECT_FALSE(back->data);
  EXPECT_FALSE(back->ep);
}

TEST(LogLines, WhatIsNoEventIsRefusedWithItsReason) {
  const std::pair<const char*, const char*> bad[] = {
      {"", "not a JSON object"},
      {"[1,2]", "not a JSON object"},
      {R"({"t":1,"ev":"control","ok":true,"setup":"400e","data":""})", "setup"},
      {R"({"t":1,"ev":"out","ok":true,"data":"0g","ep":2,"len":1})", "data"},
      {R"({"t":1,"ev":"out","ok":true,"data":"abc","ep":2,"len":1})", "data"},
      {R"({"t":-1,"ev":"close"})", "\"t\""},
      {R"({"t":1.5,"ev":"close"})", "\"t\""},
      {R"({"ev":"close"})", "\"t\""},
      {R"({"t":1,"ev":"explode"})", "explode"},
      {R"({"t":1,"ev":"in","ok":true,"data":"","ep":4294967296,"len":1})", "\"ep\""},
      {R"({"t":1,"ev":"open","path":7,"ok":true})", "path"},
      {R"({"t":1,"ev":"open","path":"p","ok":"yes"})", "ok"},
  };
  for (const auto& [line, named] : bad) {
    std::string why;
    EXPECT_FALSE(parseLogLine(line, &why)) << line;
    EXPECT_NE(why.find(named), std::string::npos) << line << ": " << why;
  }
}

TEST(LogLines, AFileIsReadWholeOrRefusedAtItsLine) {
  std::istringstream good(
      "{\"t\":0,\"ev\":\"search\",\"ok\":true}\r\n\n{\"t\":5,\"ev\":\"close\"}\n");
  std::string why;
  const auto events = readLog(good, &why);
  ASSERT_TRUE(events) << why;
  ASSERT_EQ(events->size(), 2u);
  EXPECT_EQ((*events)[0].line, 1u);
  EXPECT_EQ((*events)[1].line, 3u);
  EXPECT_EQ((*events)[1].t, 5u);

  std::istringstream broken("{\"t\":0,\"ev\":\"close\"}\n{\"t\":1,\"ev\":\"close\"\n");
  EXPECT_FALSE(readLog(broken, &why));
  EXPECT_EQ(why.rfind("line 2: ", 0), 0u) << why;
}

TEST(LogLines, HexBothWays) {
  const std::vector<std::uint8_t> bytes{0x00, 0x7f, 0x80, 0xff};
  EXPECT_EQ(toHex(bytes), "007f80ff");
  EXPECT_EQ(fromHex("007F80ff"), bytes);
  EXPECT_EQ(fromHex(""), std::vector<std::uint8_t>{});
  EXPECT_FALSE(fromHex("0"));
  EXPECT_FALSE(fromHex("zz"));
}

}  // namespace
}  // namespace flashwell::trace
