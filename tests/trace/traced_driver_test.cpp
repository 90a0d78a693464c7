// The decorator on the emulated driver: it writes what crosses the seam as the key sees it, and
// changes nothing of what the host gets back.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/key_bench.h"
#include "tests/support/program_run.h"
#include "tests/trace/session.h"
#include "trace/environment_log.h"

namespace flashwell::trace {
namespace {

using support::KeyBench;
using support::namedKey;

bool transfer(const std::string& ev) {
  return ev == "control" || ev == "out" || ev == "in";
}

TEST(TracedDriver, TransfersMatchTheKeysTraceInOrderBytesAndTime) {
  KeyBench host(namedKey("fresh"));
  host.logHost();
  testing::runSession(*host.link);
  std::vector<LogEvent> hostSide;
  for (const LogEvent& e : host.hostEvents()) {
    if (transfer(e.ev)) hostSide.push_back(e);
  }
  std::vector<emulator::TraceEvent> keySide;
  for (const emulator::TraceEvent& e : host.traceEvents()) {
    if (transfer(e.ev)) keySide.push_back(e);
  }
  ASSERT_EQ(hostSide.size(), 3u);
  ASSERT_EQ(hostSide.size(), keySide.size());
  for (std::size_t i = 0; i < keySide.size(); ++i) {
    emulator::TraceEvent asKey;
    asKey.t = hostSide[i].t;
    asKey.ev = hostSide[i].ev;
    asKey.ok = hostSide[i].ok;
    asKey.setup = hostSide[i].setup;
    asKey.data = hostSide[i].data;
    asKey.ep = hostSide[i].ep;
    asKey.len = hostSide[i].len;
    EXPECT_EQ(toLogLine(asKey), toLogLine(keySide[i])) << i;
  }
  // The identity came back as data of the read.
  EXPECT_EQ(hostSide[2].data->size(), 256u);
}

TEST(TracedDriver, TheHostGetsWhatItGetsWithoutTheLog) {
  KeyBench traced(namedKey("fresh"));
  traced.logHost();
  KeyBench plain(namedKey("fresh"));
  const testing::SessionResult withLog = testing::runSession(*traced.link);
  const testing::SessionResult without = testing::runSession(*plain.link);
  EXPECT_EQ(withLog, without);
  EXPECT_EQ(withLog.returns, (std::vector<int>{1, 6, 6, 128}));
  EXPECT_EQ(traced.clock.elapsedMs(), plain.clock.elapsedMs());
}

TEST(TracedDriver, TheSearchAndAFailedOpenAreLoggedForAReplay) {
  KeyBench host(namedKey("fresh"));
  host.logHost();
  host.driver->setHeldByAnotherProgram(true);
  EXPECT_FALSE(host.link->UsbEnsureOpen());
  const std::vector<LogEvent> events = host.hostEvents();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0].ev, "search");
  EXPECT_EQ(events[0].ok, true);
  EXPECT_EQ(events[1].ev, "member");
  EXPECT_EQ(events[1].path, std::string(emulator::kDefaultKeyPath));
  EXPECT_EQ(events[2].ev, "open");
  EXPECT_EQ(events[2].ok, false);
  EXPECT_EQ(events[2].error, usb::kErrorNoAccess);
}

TEST(TracedDriver, TheDescriptorSetIsLoggedAsFarAsTheDriverWroteIt) {
  KeyBench host(namedKey("fresh"));
  host.logHost();
  ASSERT_TRUE(host.link->UsbEnsureOpen());
  for (const LogEvent& e : host.hostEvents()) {
    if (e.ev != "descriptor") continue;
    EXPECT_EQ(e.ok, true);
    ASSERT_TRUE(e.data);
    EXPECT_EQ(*fromHex(*e.data), host.key->descriptorSet());
    return;
  }
  ADD_FAILURE() << "no descriptor event";
}

TEST(EnvironmentLog, TheWindowedProgramsLogWhereTheVariableSays) {
  KeyBench bench(namedKey("fresh"), /*keepTrace=*/false);
  usb::Clock& clock = bench.clock;
  // Shared without an owner: the bench keeps the driver.
  const std::shared_ptr<usb::UsbDriver> driver(std::shared_ptr<void>(), bench.driver.get());
  const support::Scratch scratch;
  const std::filesystem::path file = scratch / "log";

  ::unsetenv(kTraceVariable);
  EXPECT_EQ(withEnvironmentLog(driver, clock), driver);
  ::setenv(kTraceVariable, "", 1);
  EXPECT_EQ(withEnvironmentLog(driver, clock), driver);
  ::setenv(kTraceVariable, (file / "no-such-folder" / "log").c_str(), 1);
  EXPECT_EQ(withEnvironmentLog(driver, clock), driver);

  ::setenv(kTraceVariable, file.c_str(), 1);
  {
    const auto logged = withEnvironmentLog(driver, clock);
    EXPECT_NE(logged, driver);
    usb::UsbLink link(*logged, bench.notices);
    testing::runSession(link);
  }
  ::unsetenv(kTraceVariable);
  std::ifstream in(file);
  std::string why;
  const auto events = readLog(in, &why);
  ASSERT_TRUE(events) << why;
  EXPECT_EQ(events->front().ev, "search");
  EXPECT_EQ(events->back().ev, "close");
}

}  // namespace
}  // namespace flashwell::trace
