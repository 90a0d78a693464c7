#pragma once

// The project's programs run as a user or a script runs them: a child process in a folder of
// the test's, with its output caught. flasher_run.h starts the headless flasher the same way in
// this process; both give a ProgramRun.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace flashwell::support {

// A program that has not ended after this long is killed: a bad argument must never start a
// run that waits.
inline constexpr std::chrono::seconds kProgramTime{60};

struct ProgramRun {
  // The exit status, or 128 + the signal that ended it; -1 when the program could not be waited
  // for, or when the flasher in this process refused its command line.
  int code = -1;
  int signal = 0;  // the signal that ended the program, 0 when it exited
  std::string out;
  std::string err;
  // The lines of err.
  std::vector<std::string> errLines() const;
};

// A fresh empty folder for one test, named after the running test, removed with the object.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;  // one owner removes the folder

  std::filesystem::path operator/(const std::string& name) const { return folder / name; }

  const std::filesystem::path folder;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
// Every file below `folder`, as sorted paths relative to it.
std::vector<std::string> filesBelow(const std::filesystem::path& folder);

// A program started in `folder` with no terminal on any stream, its output caught in files
// beside the folder (so that the folder holds only what the program writes). Killed if it is
// still running when the object goes.
class StartedProgram {
 public:
  StartedProgram(const std::string& program, const std::vector<std::string>& args,
                 const std::filesystem::path& folder);
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  pid_t pid() const { return pid_; }
  bool running();
  // What it has written so far.
  std::string out() const;
  std::string err() const;
  // Waits for its end, killing it after `limit`: its run.
  ProgramRun wait(std::chrono::milliseconds limit = kProgramTime);
  // Sends `signal` unless it has ended, then waits as wait() does.
  ProgramRun endWith(int signal, std::chrono::milliseconds limit = kProgramTime);

 private:
  void ended(int status);

  std::string outPath_;
  std::string errPath_;
  pid_t pid_ = -1;
  bool ended_ = false;
  ProgramRun run_;
};

// Runs `program` with `args` in `folder` to its end. While it runs, `watch` (when given) is
// called every 10 ms with its process id and what it has written to its output so far.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& folder,
                      const std::function<void(pid_t pid, const std::string& out)>& watch = {});

// Asks `done` every 10 ms until it holds or `limit` has passed; whether it held.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

}  // namespace flashwell::support
