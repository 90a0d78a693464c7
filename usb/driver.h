#pragma once

// The seam to the key's kernel driver: what differs between Windows, Linux and a test sits
// behind this interface, so that discovery and the transfer primitives above it are the same
// everywhere.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace flashwell::usb {

// System error codes the search relies on, as Windows numbers them; every backend reports
// its failures in these terms.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorAccessDenied = 5;   // no permission on the device node
inline constexpr std::uint32_t kErrorNoMoreItems = 259;  // enumeration has no further member
inline constexpr std::uint32_t kErrorNoAccess = 998;     // interface held open by another program

// The driver's three requests.
inline constexpr std::uint32_t kIoctlReadDescriptors = 0x220000;
inline constexpr std::uint32_t kIoctlControlTransfer = 0x22000C;
inline constexpr std::uint32_t kIoctlEndpointTransfer = 0x220010;

using DriverHandle = std::intptr_t;
inline constexpr DriverHandle kNoHandle = -1;

// One member of the interface class.
struct InterfaceEntry {
  std::uint32_t error = kErrorSuccess;  // kErrorSuccess when the member exists
  std::optional<std::string> path;      // its interface path; empty when the detail call failed
};

struct OpenResult {
  DriverHandle handle = kNoHandle;
  std::uint32_t error = kErrorSuccess;  // the system error when handle is kNoHandle
};

// Processor architectures as Windows numbers them; x64 asks for the 56-byte record layout.
inline constexpr std::uint16_t kArchitectureX86 = 0;
inline constexpr std::uint16_t kArchitectureX64 = 9;

class UsbDriver {
 public:
  virtual ~UsbDriver() = default;

  // Starts a search over the present devices of the key's interface class; false when the
  // system query fails.
  virtual bool beginSearch() = 0;
  // Member `index` of the current search (0, 1, 2, ...): kErrorNoMoreItems past the last one,
  // another error for a member that could not be read.
  virtual InterfaceEntry interfaceAt(std::uint32_t index) = 0;
  virtual void endSearch() = 0;

  // Opens an interface path for reading and writing with share mode 0.
  virtual OpenResult openExclusive(const std::string& path) = 0;

  // One synchronous driver request. `record` is the request's input and output buffer (the
  // 48- or 56-byte transfer record, or the 256-byte descriptor buffer); `data` is the buffer
  // that the record's address field names (empty for the descriptor request). The result is
  // that of DeviceIoControl: nullopt when the driver did not complete the request, otherwise
  // how many bytes of `record` it wrote back (the bytes-returned count).
  virtual std::optional<std::size_t> ioControlCounted(DriverHandle handle, std::uint32_t code,
                                                      std::span<std::uint8_t> record,
                                                      std::span<std::uint8_t> data) = 0;
  // The same request where only its completion matters.
  bool ioControl(DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> record,
                 std::span<std::uint8_t> data) {
    return ioControlCounted(handle, code, record, data).has_value();
  }

  virtual void close(DriverHandle handle) = 0;

  // The processor architecture of the machine as GetNativeSystemInfo reports it
  // (kArchitectureX64 or kArchitectureX86 among others), or GetSystemInfo's where the former is
  // missing.
  virtual std::uint16_t nativeProcessorArchitecture() = 0;
};

// What the link has to tell the user. The shells show these on their window thread; each call
// returns only once the user has dismissed the message.
class LinkNotices {
 public:
  virtual ~LinkNotices() = default;
  // "ANOTHER PROGRAM UTILIZES USB"
  virtual void anotherProgramUsesKey() = 0;
  // The system refused access to the key's device (on Linux: the udev rule is not installed).
  virtual void keyAccessDenied(const std::string& path) = 0;
};

// Notices that show nothing, for runs without a user: benchmarks, fuzzers, tests.
class SilentNotices final : public LinkNotices {
 public:
  void anotherProgramUsesKey() override {}
  void keyAccessDenied(const std::string&) override {}
};

}  // namespace flashwell::usb
