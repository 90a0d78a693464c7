#include "tests/edges/program_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

namespace flashwell::edges {

namespace fs = std::filesystem;

std::vector<std::string> ProgramResult::errLines() const {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const fs::path& folder) {
  // The output goes to files beside the folder, so that the folder holds only what the
  // program wrote.
  const fs::path outPath = fs::path(folder.string() + ".out");
  const fs::path errPath = fs::path(folder.string() + ".err");
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> raw;
  for (std::string& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);

  ProgramResult r;
  const pid_t child = ::fork();
  if (child == 0) {
    // No terminal on any stream, as under a script.
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(folder.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(program.c_str(), raw.data());
    ::_exit(127);
  }
  int status = 0;
  pid_t ended = 0;
  for (int waited = 0; child > 0 && ended == 0; ++waited) {
    ended = ::waitpid(child, &status, WNOHANG);
    if (ended != 0) break;
    if (waited == kProgramSeconds * 100) {
      ::kill(child, SIGKILL);
      ended = ::waitpid(child, &status, 0);
      break;
    }
    ::usleep(10000);
  }
  if (ended == child) {
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  r.out = readFile(outPath);
  r.err = readFile(errPath);
  fs::remove(outPath);
  fs::remove(errPath);
  return r;
}

fs::path scratchFolder(const std::string& name) {
  std::string clean = name;
  std::replace_if(
      clean.begin(), clean.end(),
      [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '-');
  const fs::path dir =
      fs::temp_directory_path() / ("flashwell-edges-" + clean + "-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::vector<std::string> filesBelow(const fs::path& folder) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_directory()) files.push_back(fs::relative(e.path(), folder).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace flashwell::edges
