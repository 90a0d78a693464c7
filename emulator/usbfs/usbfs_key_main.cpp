// flashwell-usbfs-key: the virtual key as a USB device for the program it starts. The program
// runs under umockdev-wrapper in this process's testbed and reaches the key through the
// system's libusb and the kernel's usbdevfs interface, as it would reach a real key.

#include <sys/wait.h>
#include <unistd.h>
#include <CLI/CLI.hpp>
#include <chrono>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator/faults.h"
#include "emulator/key_file.h"
#include "emulator/named_states.h"
#include "emulator/trace.h"
#include "emulator/usbfs/usbfs_key.h"
#include "emulator/virtual_key.h"
#include "files/file_checks.h"

namespace {

using namespace flashwell::emulator;

struct Options {
  std::string state = "fresh";
  std::string keyState;
  std::string trace;
  std::vector<std::string> faults;
  usbfs::UsbfsKeyOptions key;
  std::vector<std::string> program;
};

pid_t start(const std::vector<std::string>& program) {
  std::vector<std::string> args = {"umockdev-wrapper"};
  args.insert(args.end(), program.begin(), program.end());
  // A program built with AddressSanitizer accepts the preloaded library ahead of its runtime.
  std::string asan = "verify_asan_link_order=0";
  if (const char* given = std::getenv("ASAN_OPTIONS")) asan = std::string(given) + ":" + asan;
  const pid_t pid = fork();
  if (pid != 0) return pid;
  setenv("ASAN_OPTIONS", asan.c_str(), 1);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  std::cerr << "flashwell-usbfs-key: cannot start umockdev-wrapper\n";
  _exit(127);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App app{"The virtual key as a USB device at usbdevfs, for the program it starts"};
  app.add_option("--state", o.state, "the key's starting state (fresh, booter, small-packet, ...)");
  app.add_option("--key-state", o.keyState, "load the key from FILE if it exists; save it there")
      ->type_name("FILE");
  app.add_option("--trace", o.trace, "write the key-side trace to FILE")->type_name("FILE");
  // One value per --fault, as flashwell-cli takes it, so that `--fault F -- PROGRAM` works.
  app.add_option("--fault", o.faults,
                 "a fault of the key: WHERE:WHAT[=MS][@N[+]] or a name; repeatable")
      ->type_name("FAULT")
      ->allow_extra_args(false);
  app.add_flag("--foreign-device", o.key.foreignDevice,
               "a storage device of the key's vendor, on the bus before the key");
  app.add_flag("--unconfigured", o.key.unconfigured, "the key comes up in configuration 0");
  app.add_option("--kernel-driver", o.key.kernelDriver,
                 "a kernel driver bound to the key's interface");
  app.add_flag("!--undetachable", o.key.driverDetachable, "the kernel driver cannot be detached");
  app.add_option("program", o.program, "PROGRAM ARGS... (after --)")->required();
  CLI11_PARSE(app, argc, argv);

  std::vector<Fault> faults;
  for (const std::string& text : o.faults) {
    std::string why;
    const auto parsed = parseFault(text, &why);
    if (!parsed) {
      std::cerr << "flashwell-usbfs-key: " << why << "\n";
      return 2;
    }
    faults.insert(faults.end(), parsed->begin(), parsed->end());
  }
  // The files are checked before the program starts, so that its run is not lost to them.
  if (!o.keyState.empty()) {
    if (const std::string why = keyStateProblem(o.keyState); !why.empty()) {
      std::cerr << "flashwell-usbfs-key: " << o.keyState << ": " << why << "\n";
      return 2;
    }
  }
  if (!o.trace.empty()) {
    if (const std::string why = flashwell::files::outputProblem(o.trace); !why.empty()) {
      std::cerr << "flashwell-usbfs-key: " << o.trace << ": " << why << "\n";
      return 2;
    }
  }
  std::optional<KeyImage> image;
  if (!o.keyState.empty() && std::filesystem::exists(o.keyState)) {
    std::string why;
    image = loadKeyImage(o.keyState, &why);
    if (!image) {
      std::cerr << "flashwell-usbfs-key: " << o.keyState << ": " << why << "\n";
      return 2;
    }
  } else {
    image = namedKeyState(o.state);
    if (!image) {
      std::cerr << "flashwell-usbfs-key: no key state \"" << o.state << "\"\n";
      return 2;
    }
  }
  std::unique_ptr<std::ofstream> traceFile;
  std::unique_ptr<Trace> trace;
  if (!o.trace.empty()) {
    traceFile =
        std::make_unique<std::ofstream>(flashwell::files::outputTarget(o.trace), std::ios::trunc);
    if (!*traceFile) {
      std::cerr << "flashwell-usbfs-key: cannot write the trace to " << o.trace << "\n";
      return 2;
    }
    trace = std::make_unique<Trace>(traceFile.get());
  }

  VirtualKey key(std::move(*image));
  usbfs::UsbfsKey bus(key, trace.get(), o.key);
  bus.addFaults(faults);
  bus.plugIn();

  const pid_t child = start(o.program);
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    bus.service();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  // A key that the program left in the middle of a restart finishes it by itself: wait for it
  // (a restart or a pull comes back within seconds), so the key is saved as it then runs.
  const auto settleBy = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (bus.eventsPending() && std::chrono::steady_clock::now() < settleBy) {
    bus.service();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }

  std::cerr << "flashwell-usbfs-key: " << bus.nowMs() << " ms, the key arrived "
            << bus.keyArrivals() << " times; ioctls:";
  for (const auto& [name, count] : bus.ioctlCounts()) std::cerr << " " << name << " " << count;
  std::cerr << "\nflashwell-usbfs-key: requests to the foreign device: " << bus.foreignRequests()
            << "\n";
  if (traceFile && !traceFile->flush()) {
    std::cerr << "flashwell-usbfs-key: " << o.trace << ": could not be written whole\n";
    return code == 0 ? 1 : code;
  }
  if (!o.keyState.empty()) {
    std::string why;
    if (!saveKeyImage(bus.keyImage(), o.keyState, &why)) {
      std::cerr << "flashwell-usbfs-key: " << o.keyState << ": " << why << "\n";
      return code == 0 ? 1 : code;
    }
  }
  return code;
}
