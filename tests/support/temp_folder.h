#pragma once

// A folder of the test's own under the system's temporary folder, named after a prefix and the
// process; it goes, with everything in it, when the object does.

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace flashwell::support {

class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix)
      : dir_(std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()))) {
    std::filesystem::create_directories(dir_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The path of `name` in the folder.
  std::string path(const char* name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
};

}  // namespace flashwell::support
