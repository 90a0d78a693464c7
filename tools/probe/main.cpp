// flashwell-probe: looks for the key through the platform's driver and says what it finds,
// without sending the key a single command. A check that the driver, its permissions and the
// key's descriptors are in order.

#include <cstdio>
#include <string>

#include "usb/link.h"
#include "usb/path_match.h"
#include "usb/platform_driver.h"

namespace {

using namespace flashwell::usb;

class ConsoleNotices final : public LinkNotices {
 public:
  void anotherProgramUsesKey() override { std::printf("ANOTHER PROGRAM UTILIZES USB\n"); }
  void keyAccessDenied(const std::string& path) override {
    std::printf("Access to %s was refused; on Linux, install the udev rule for the key.\n",
                path.c_str());
  }
};

// Lists the members of the key's class, and says which of them the path test takes for a key.
void listInterfaces(UsbDriver& driver) {
  if (!driver.beginSearch()) {
    std::printf("The devices of the key's class could not be listed.\n");
    return;
  }
  unsigned found = 0;
  for (std::uint32_t index = 0; index < kMaxMemberIndexes; ++index) {
    const InterfaceEntry entry = driver.interfaceAt(index);
    if (entry.error == kErrorNoMoreItems) break;
    if (entry.error != kErrorSuccess) {
      std::printf("  member %u: could not be read (error %u)\n", index, entry.error);
      continue;
    }
    ++found;
    if (!entry.path) {
      std::printf("  member %u: no interface path\n", index);
      continue;
    }
    const bool key = UsbMatchKeyPath(std::span<const char>(entry.path->data(), entry.path->size()));
    std::printf("  member %u: %s%s\n", index, entry.path->c_str(), key ? "  (key)" : "");
  }
  driver.endSearch();
  std::printf("%u device interface(s) of the key's class.\n", found);
}

}  // namespace

int main() {
  const auto driver = makePlatformDriver();
  ConsoleNotices notices;
  listInterfaces(*driver);

  UsbLink link(*driver, notices);
  if (!link.UsbEnsureOpen()) {
    std::printf("No key could be opened.\n");
    return 1;
  }
  std::printf("Key opened: %s\n", link.devicePath().data());
  std::printf("Large-packet key: %s\n", link.UsbIsLargePacketKey() ? "yes" : "no");
  std::printf("Transfer record: %s\n",
              link.UsbUse64BitLayout() ? "56 bytes (64-bit Windows)" : "48 bytes");
  link.UsbClose();
  return 0;
}
