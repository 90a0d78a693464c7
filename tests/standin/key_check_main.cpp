// flashwell-standin-keycheck KEY_FILE only|always|never: exit 0 when the key saved in KEY_FILE
// holds what a whole upgrade in that mode leaves on a key, 1 (with the reason) when it does not.

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "emulator/key_file.h"
#include "emulator/virtual_key.h"
#include "tests/faults/key_checks.h"

int main(int argc, char** argv) {
  using namespace flashwell;
  if (argc != 3) {
    std::fputs("usage: flashwell-standin-keycheck KEY_FILE only|always|never\n", stderr);
    return 2;
  }
  const std::string mode = argv[2];
  std::optional<protocol::UpgradeOption> option;
  if (mode == "only") option = protocol::UpgradeOption::only;
  if (mode == "always") option = protocol::UpgradeOption::always;
  if (mode == "never") option = protocol::UpgradeOption::never;
  if (!option) {
    std::fprintf(stderr, "flashwell-standin-keycheck: no mode '%s'\n", argv[2]);
    return 2;
  }
  std::string why;
  const auto image = emulator::loadKeyImage(argv[1], &why);
  if (!image) {
    std::fprintf(stderr, "flashwell-standin-keycheck: %s: %s\n", argv[1], why.c_str());
    return 1;
  }
  const emulator::VirtualKey key(*image);
  const ::testing::AssertionResult held =
      faults::holdsPackage(key, faults::packageSlots(), *option);
  std::printf("%s: %s\n", argv[1],
              held ? "holds the package"
                   : (std::string("does not hold the package: ") + held.message()).c_str());
  return held ? 0 : 1;
}
