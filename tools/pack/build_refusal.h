#pragma once

// Why the package builder refused its input: the record concerned and the reason.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace flashwell::pack {

class BuildRefusal : public std::runtime_error {
 public:
  BuildRefusal(const std::string& record, const std::string& reason)
      : std::runtime_error(record + ": " + reason), record_(record), reason_(reason) {}
  const std::string& record() const { return record_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string record_;
  std::string reason_;
};

std::string hex(std::uint64_t value, int digits = 0);

}  // namespace flashwell::pack
