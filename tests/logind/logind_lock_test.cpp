// The inhibitor lock as logind sees it: flashwell-cli's runs with the lock of the shipped
// program, against the logind of python3-dbusmock on a private bus (with_logind_mock.sh). The
// lock is asked for after Yes, held while the key is written, and given back at the end, after
// a failure and after a signal, by closing its descriptor.

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <csignal>
#include <map>
#include <thread>

#include "app/logind_keep_awake.h"
#include "tests/support/flasher_run.h"
#include "tools/cli/cli_options.h"

namespace flashwell::cli {
namespace {

const std::string kFlashwellLock =
    "sleep:shutdown:idle Flashwell 'Writing the firmware of the MEMPOD key' block";

// The inhibitor locks logind lists, one "what who 'why' mode" line each; ["?"] when it cannot
// be asked.
std::vector<std::string> inhibitors() {
  sd_bus* bus = nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  std::vector<std::string> locks{"?"};
  if (sd_bus_open_system(&bus) >= 0 &&
      sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", "ListInhibitors", &error, &reply,
                         "") >= 0 &&
      sd_bus_message_enter_container(reply, 'a', "(ssssuu)") >= 0) {
    locks.clear();
    const char *what, *who, *why, *mode;
    std::uint32_t uid, pid;
    while (sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) > 0) {
      locks.push_back(std::string(what) + " " + who + " '" + why + "' " + mode);
    }
  }
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  return locks;
}

// logind lets a lock go when it sees its descriptor closed, a moment later.
std::vector<std::string> inhibitorsOnceSettled(bool expectHeld) {
  std::vector<std::string> locks = inhibitors();
  for (int i = 0; i < 100 && locks.empty() == expectHeld; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    locks = inhibitors();
  }
  return locks;
}

TEST(LogindLock, TakenAfterYesHeldWhileWritingGivenBackAtEveryEnd) {
  ASSERT_NE(inhibitors(), std::vector<std::string>{"?"}) << "no logind on the system bus";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* signalAt;  // SIGINT when the output first shows it
    std::map<std::string, bool> heldWhen;
    int code;
  };
  const std::vector<Case> cases{
      {"a whole upgrade",
       {"--mode", "only", "--yes"},
       nullptr,
       {{"Vers.  in  MEMPOD", false},
        {"status: UPDATING the firmware...", true},
        {"Copying Firmware for Lps4 EXP", true},
        {"Congratulations!", false}},
       kExitDone},
      {"a failure",
       {"--mode", "only", "--yes", "--fault", "erase-fails"},
       nullptr,
       {{"status: ERASING", true}, {"ERROR", false}},
       kExitFailure},
      {"SIGINT during the firmware write",
       {"--mode", "only", "--yes"},
       "status: UPDATING the firmware...",
       {{"status: UPDATING the firmware...", true}, {"status: EXITING...", true}},
       130},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args{"--emulated"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::map<std::string, bool> seen;
    bool signalled = false;
    app::LogindKeepAwake keepAwake;
    const support::ProgramRun r = support::runFlasher(
        args, {.keepAwake = &keepAwake, .watch = [&](const std::string& shown) {
                 for (const auto& [text, held] : c.heldWhen) {
                   if (seen.contains(text) || shown.find(text) == std::string::npos) continue;
                   const std::vector<std::string> locks = inhibitorsOnceSettled(held);
                   seen[text] = locks == std::vector<std::string>{kFlashwellLock};
                   EXPECT_TRUE(locks.empty() || seen[text]) << text << ": " << locks.front();
                 }
                 if (c.signalAt && !signalled && shown.find(c.signalAt) != std::string::npos) {
                   signalled = true;
                   return SIGINT;
                 }
                 return 0;
               }});
    EXPECT_EQ(r.code, c.code) << r.out << r.err;
    EXPECT_EQ(seen, c.heldWhen) << r.out;
    EXPECT_TRUE(inhibitorsOnceSettled(false).empty());
  }
}

}  // namespace
}  // namespace flashwell::cli
