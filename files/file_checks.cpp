#include "files/file_checks.h"

#include <fstream>
#include <system_error>

namespace flashwell::files {

namespace fs = std::filesystem;

namespace {

// Links are followed this many times at most, as a system does before it gives up on a loop.
constexpr int kMaxLinks = 40;

std::string kindProblem(fs::file_type type) {
  switch (type) {
    case fs::file_type::directory:
      return "is a folder, not a file";
    case fs::file_type::block:
    case fs::file_type::character:
      return "is a device, not a file";
    case fs::file_type::fifo:
      return "is a FIFO, not a file";
    case fs::file_type::regular:
    case fs::file_type::not_found:
      return {};
    default:
      return "is a special file, not a regular one";
  }
}

// A new file can be made in `folder`: tried with a file of its own, which is removed at once.
bool folderTakesFiles(const fs::path& folder) {
  const fs::path probe = folder / ".flashwell-write-check";
  {
    std::ofstream out(probe, std::ios::binary | std::ios::trunc);
    if (!out) return false;
  }
  std::error_code ec;
  fs::remove(probe, ec);
  return true;
}

}  // namespace

std::string inputProblem(const fs::path& path, std::uintmax_t maxBytes) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return "does not exist";
  if (ec) return "cannot be read: " + ec.message();
  if (std::string why = kindProblem(status.type()); !why.empty()) return why;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return "cannot be read: " + ec.message();
  if (size > maxBytes) {
    return ("is too large: " + std::to_string(size) + " bytes, where " + std::to_string(maxBytes) +
            " is the most it can have");
  }
  return {};
}

std::optional<std::vector<std::uint8_t>> readInput(const fs::path& path, std::uintmax_t maxBytes,
                                                   std::string* why) {
  if (std::string problem = inputProblem(path, maxBytes); !problem.empty()) {
    if (why) *why = std::move(problem);
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes;
  char chunk[65536];
  while (in && bytes.size() <= maxBytes) {
    in.read(chunk, sizeof chunk);
    bytes.insert(bytes.end(), chunk, chunk + in.gcount());
  }
  // The file may have grown since its size was taken.
  if (in.bad() || bytes.size() > maxBytes) {
    if (why) *why = bytes.size() > maxBytes ? "is too large" : "cannot be read";
    return std::nullopt;
  }
  return bytes;
}

fs::path outputTarget(const fs::path& path) {
  fs::path target = path;
  std::error_code ec;
  for (int i = 0; i < kMaxLinks && fs::is_symlink(target, ec); ++i) {
    const fs::path next = fs::read_symlink(target, ec);
    if (ec) break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

std::string outputProblem(const fs::path& path) {
  if (path.empty()) return "no file named";
  const fs::path target = outputTarget(path);
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(target, ec);
  if (status.type() == fs::file_type::symlink) return "is a loop of links";
  if (std::string why = kindProblem(status.type()); !why.empty()) {
    return why + ": it is not replaced";
  }
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec)) return "is in a folder that does not exist";
  if (!folderTakesFiles(folder)) return "is in a folder where no file can be written";
  return {};
}

bool writeOutput(const fs::path& path, std::span<const std::uint8_t> bytes, std::string* why) {
  if (std::string problem = outputProblem(path); !problem.empty()) {
    if (why) *why = std::move(problem);
    return false;
  }
  const fs::path target = outputTarget(path);
  fs::path temporary = target;
  temporary += ".part";
  std::error_code ec;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      fs::remove(temporary, ec);
      if (why) *why = "could not be written whole (is the disk full?)";
      return false;
    }
  }
  fs::rename(temporary, target, ec);
  if (ec) {
    // Windows does not rename over an existing file.
    std::error_code removed;
    fs::remove(target, removed);
    fs::rename(temporary, target, ec);
  }
  if (ec) {
    fs::remove(temporary, ec);
    if (why) *why = "could not be replaced: " + ec.message();
    return false;
  }
  return true;
}

}  // namespace flashwell::files
