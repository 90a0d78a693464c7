// Two copies of the desktop program: the second is refused while the first runs, and starts
// normally once the first has ended or was killed.

#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>
#include <string>
#include <thread>

#include "app/posix_instance.h"
#include "tests/support/program_run.h"

namespace flashwell::app {
namespace {

using namespace std::chrono_literals;
using namespace support;

// Whether some process holds the instance name, seen from the kernel's list of Unix sockets
// without touching the name.
bool instanceNameHeld() {
  const std::string wanted = " @" + std::string(kInstanceName);
  std::istringstream sockets(readFile("/proc/net/unix"));
  for (std::string line; std::getline(sockets, line);) {
    if (line.ends_with(wanted)) return true;
  }
  return false;
}

// flashwell-demo on the offscreen platform.
class Demo : public StartedProgram {
 public:
  explicit Demo(const Scratch& dir)
      : StartedProgram("/usr/bin/env", {"QT_QPA_PLATFORM=offscreen", FLASHWELL_DEMO_PROGRAM},
                       dir.folder) {}
  bool refused() const { return err().find(kAnotherInstanceMessage) != std::string::npos; }
};

class InstanceProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (instanceNameHeld()) GTEST_SKIP() << "another copy of the program runs on this machine";
  }
  Scratch dir_;
};

TEST_F(InstanceProcess, SecondCopyIsRefusedWhileTheFirstRuns) {
  Demo first(dir_);
  ASSERT_TRUE(waitUntil(instanceNameHeld, 10s));

  Demo second(dir_);
  ASSERT_TRUE(waitUntil([&] { return second.refused(); }, 10s)) << second.err();
  // The refusal box is up and the first copy goes on as before.
  EXPECT_TRUE(second.running());
  EXPECT_TRUE(first.running());
  EXPECT_FALSE(first.refused());
  EXPECT_NE(second.endWith(SIGTERM, 10s).signal, SIGKILL) << "not ended by SIGTERM";
  EXPECT_TRUE(first.running());
  EXPECT_TRUE(instanceNameHeld());
}

class FirstEnded : public InstanceProcess, public ::testing::WithParamInterface<int> {};

TEST_P(FirstEnded, TheNextCopyStartsNormally) {
  const int signal = GetParam();
  {
    Demo first(dir_);
    ASSERT_TRUE(waitUntil(instanceNameHeld, 10s));
    const ProgramRun r = first.endWith(signal, 10s);
    // SIGTERM is EXIT: the orderly exit, then 128 + the signal.
    EXPECT_EQ(r.signal, signal == SIGKILL ? SIGKILL : 0) << r.err;
    EXPECT_EQ(r.code, 128 + signal) << r.err;
  }
  ASSERT_TRUE(waitUntil([] { return !instanceNameHeld(); }, 5s));

  Demo next(dir_);
  ASSERT_TRUE(waitUntil(instanceNameHeld, 10s));
  // Give a refusal the time to show itself; there must be none.
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(next.running());
  EXPECT_FALSE(next.refused()) << next.err();
}

INSTANTIATE_TEST_SUITE_P(EndedOrKilled, FirstEnded, ::testing::Values(SIGTERM, SIGKILL),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == SIGKILL ? "killed" : "ended";
                         });

}  // namespace
}  // namespace flashwell::app
