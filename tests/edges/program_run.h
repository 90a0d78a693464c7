#pragma once

// Runs one of the project's programs as a child process in a folder of the test's, with its
// output caught, as a user or a script would run it.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace flashwell::edges {

// A program that has not ended after this long is killed: a bad argument must never start a
// run that waits.
inline constexpr int kProgramSeconds = 60;

struct ProgramResult {
  int exitCode = -1;  // the exit status, or 128 + the signal that ended it
  std::string out;
  std::string err;
  // The lines of err.
  std::vector<std::string> errLines() const;
};

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder);
// The same; while the program runs, `watch` is called every 10 ms with its process id and what
// it has written to its output so far.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder,
                         const std::function<void(int pid, const std::string& out)>& watch);

// A fresh empty folder for one test, named after it, removed by the caller.
std::filesystem::path scratchFolder(const std::string& name);

// Every file below `folder`, as paths relative to it.
std::vector<std::string> filesBelow(const std::filesystem::path& folder);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace flashwell::edges
