#include "app/posix_instance.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

namespace flashwell::app {
namespace {

// A name of this test run's own, so that a running program is not disturbed.
std::string testName(const char* what) {
  return "flashwell-test-" + std::to_string(::getpid()) + "-" + what;
}

TEST(SingleInstanceGuard, SecondGuardInTheSameProcessIsRefusedUntilTheFirstEnds) {
  const std::string name = testName("same");
  {
    SingleInstanceGuard first(name);
    ASSERT_TRUE(first.acquired());
    SingleInstanceGuard second(name);
    EXPECT_FALSE(second.acquired());
    EXPECT_TRUE(second.heldElsewhere());
    SingleInstanceGuard other(testName("other"));
    EXPECT_TRUE(other.acquired());
  }
  SingleInstanceGuard again(name);
  EXPECT_TRUE(again.acquired());
}

// Another process holds the name; once it is gone, whether it exited or was killed, the
// name is free again.
TEST(SingleInstanceGuard, NameDisappearsWithItsProcessAlsoWhenKilled) {
  for (const bool killed : {false, true}) {
    const std::string name = testName(killed ? "killed" : "exited");
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      SingleInstanceGuard held(name);
      const char state = held.acquired() ? '1' : '0';
      if (::write(ready[1], &state, 1) != 1) ::_exit(2);
      char go;
      if (::read(release[0], &go, 1) != 1) ::_exit(3);
      ::_exit(0);
    }
    char state = 0;
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    ASSERT_EQ(state, '1');
    {
      SingleInstanceGuard second(name);
      EXPECT_FALSE(second.acquired());
      EXPECT_TRUE(second.heldElsewhere());
    }
    if (killed) {
      ::kill(child, SIGKILL);
    } else {
      ASSERT_EQ(::write(release[1], "x", 1), 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(killed, WIFSIGNALED(status));
    SingleInstanceGuard after(name);
    EXPECT_TRUE(after.acquired()) << (killed ? "after kill" : "after exit");
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
  }
}

}  // namespace
}  // namespace flashwell::app
