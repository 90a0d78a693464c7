// The key-state file over arbitrary bytes: a file is either refused with a one-line reason, or
// read into a key image that writes back to a file that reads to the same image. Inputs either
// are a file of their own or patch a valid file (where its fields and lengths are, mostly) and
// may cut it short, so that the checks deep in a whole file are reached as well.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "emulator/key_file.h"
#include "emulator/named_states.h"
#include "tests/fuzz/patched_bytes.h"

namespace {

using namespace flashwell;
using namespace flashwell::emulator;

// Where the region records of a file of the fresh key begin.
constexpr std::size_t kRegionsAt = 8 + 4 + 2 + 2 + (4 + 128) * 2 + 4 + 0x1C000;

void check(std::span<const std::uint8_t> file) {
  std::string why;
  const auto image = decodeKeyImage(file, &why);
  if (!image) {
    if (why.empty() || why.find('\n') != std::string::npos) std::abort();
    return;
  }
  const auto again = encodeKeyImage(*image);
  const auto back = decodeKeyImage(again, &why);
  if (!back || encodeKeyImage(*back) != again) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  if (!in.ConsumeBool()) {
    const auto own = in.ConsumeRemainingBytes<std::uint8_t>();
    check(own);
    return 0;
  }
  static fuzzing::PatchedBytes valid(encodeKeyImage(*namedKeyState("fresh")));
  // Where the fields are: the head with the identity and configuration lengths, the firmware
  // area's length, and the region records after it.
  check(valid.patch(in, 16, [](FuzzedDataProvider& at, std::span<const std::uint8_t>) {
    switch (at.ConsumeIntegralInRange(0, 2)) {
      case 0:
        return at.ConsumeIntegralInRange<std::size_t>(0, 0x120);
      case 1:
        return kRegionsAt - 4 + at.ConsumeIntegralInRange<std::size_t>(0, 7 * (0x20000 + 6) + 4);
      default:
        return std::size_t{at.ConsumeIntegral<std::uint32_t>()};
    }
  }));
  valid.restore();
  return 0;
}
