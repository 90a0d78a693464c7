#include "tests/support/program_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace flashwell::support {

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::milliseconds kPoll{10};

fs::path scratchPath() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test ? std::string(test->test_suite_name()) + "-" + test->name() : "scratch";
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
      '-');
  return fs::temp_directory_path() /
         ("flashwell-" + name + "-" + std::to_string(static_cast<long>(::getpid())));
}

// A new file for one stream of a program, beside its folder; its descriptor, closed on exec.
int streamFile(const fs::path& folder, const char* stream, std::string& path) {
  path = folder.string() + "." + stream + ".XXXXXX";
  return ::mkostemp(path.data(), O_CLOEXEC);
}

}  // namespace

std::vector<std::string> ProgramRun::errLines() const {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

Scratch::Scratch() : folder(scratchPath()) {
  fs::remove_all(folder);
  fs::create_directories(folder);
}

Scratch::~Scratch() {
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> filesBelow(const fs::path& folder) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_directory()) files.push_back(fs::relative(e.path(), folder).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

StartedProgram::StartedProgram(const std::string& program, const std::vector<std::string>& args,
                               const fs::path& folder) {
  // Everything the child needs is made before the fork: after it, only calls that are safe in
  // a copy of a threaded process.
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> raw;
  for (std::string& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int out = streamFile(folder, "out", outPath_);
  const int err = streamFile(folder, "err", errPath_);
  if (in >= 0 && out >= 0 && err >= 0) pid_ = ::fork();
  if (pid_ == 0) {
    if (::chdir(folder.c_str()) != 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0) {
      ::_exit(127);
    }
    ::execv(program.c_str(), raw.data());
    ::_exit(127);
  }
  for (const int fd : {in, out, err}) {
    if (fd >= 0) ::close(fd);
  }
  ended_ = pid_ < 0;
}

StartedProgram::~StartedProgram() {
  endWith(SIGKILL);
  std::error_code ignored;
  fs::remove(outPath_, ignored);
  fs::remove(errPath_, ignored);
}

bool StartedProgram::running() {
  int status = 0;
  if (!ended_ && ::waitpid(pid_, &status, WNOHANG) == pid_) ended(status);
  return !ended_;
}

std::string StartedProgram::out() const {
  return readFile(outPath_);
}

std::string StartedProgram::err() const {
  return readFile(errPath_);
}

ProgramRun StartedProgram::wait(std::chrono::milliseconds limit) {
  if (!waitUntil([this] { return !running(); }, limit)) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    if (::waitpid(pid_, &status, 0) == pid_) ended(status);
    ended_ = true;
  }
  return run_;
}

ProgramRun StartedProgram::endWith(int signal, std::chrono::milliseconds limit) {
  if (running()) ::kill(pid_, signal);
  return wait(limit);
}

void StartedProgram::ended(int status) {
  ended_ = true;
  run_.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  run_.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + run_.signal;
  run_.out = out();
  run_.err = err();
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const fs::path& folder,
                      const std::function<void(pid_t pid, const std::string& out)>& watch) {
  StartedProgram started(program, args, folder);
  waitUntil(
      [&] {
        if (!started.running()) return true;
        if (watch) watch(started.pid(), started.out());
        return false;
      },
      kProgramTime);
  return started.endWith(SIGKILL);
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

}  // namespace flashwell::support
