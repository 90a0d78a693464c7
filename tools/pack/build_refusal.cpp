#include "tools/pack/build_refusal.h"

#include <cstdio>

namespace flashwell::pack {

std::string hex(std::uint64_t value, int digits) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return buffer;
}

}  // namespace flashwell::pack
