#pragma once

// A driver double for the link's tests: a scripted list of class members and scripted answers
// to the driver requests, with everything the link asked of it recorded.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/recording_notices.h"
#include "usb/driver.h"

namespace flashwell::usb::testing {

// The configuration, interface and first endpoint descriptors of a device, 25 bytes.
std::vector<std::uint8_t> descriptorSet(std::uint16_t maxPacketSize);

struct FakeMember {
  std::uint32_t error = kErrorSuccess;      // what enumerating this index reports
  std::optional<std::string> path;          // nullopt: the detail call fails
  std::uint32_t openError = kErrorSuccess;  // kErrorSuccess: the open succeeds
  std::optional<std::vector<std::uint8_t>> descriptors = descriptorSet(64);  // nullopt: fails
};

struct SentRequest {
  DriverHandle handle;
  std::uint32_t code;
  std::vector<std::uint8_t> record;  // as the driver received it
  std::vector<std::uint8_t> data;    // the data buffer as it came in
  const std::uint8_t* dataAddress;
};

class FakeDriver final : public UsbDriver {
 public:
  // The class as the search sees it; indexes past the end answer `pastEnd`.
  std::vector<FakeMember> members;
  std::uint32_t pastEnd = kErrorNoMoreItems;
  bool searchFails = false;
  std::uint16_t architecture = 0;

  // How transfer requests are answered.
  bool transferFails = false;
  std::uint32_t status = 1;
  std::optional<std::uint32_t> bytesTransferred;  // nullopt: the record's length
  std::vector<std::uint8_t> replyData;            // copied into the data buffer of a transfer

  // What the link did.
  std::vector<std::uint32_t> indexesAsked;
  std::vector<std::string> openedPaths;
  std::vector<DriverHandle> closedHandles;
  std::set<DriverHandle> openHandles;
  std::vector<SentRequest> requests;
  int searchesBegun = 0;
  int searchesEnded = 0;
  int architectureQueries = 0;

  bool beginSearch() override;
  InterfaceEntry interfaceAt(std::uint32_t index) override;
  void endSearch() override { ++searchesEnded; }
  OpenResult openExclusive(const std::string& path) override;
  std::optional<std::size_t> ioControlCounted(DriverHandle handle, std::uint32_t code,
                                              std::span<std::uint8_t> record,
                                              std::span<std::uint8_t> data) override;
  void close(DriverHandle handle) override;
  std::uint16_t nativeProcessorArchitecture() override {
    ++architectureQueries;
    return architecture;
  }

 private:
  const FakeMember* memberOfHandle(DriverHandle handle) const;
  std::vector<std::pair<DriverHandle, std::size_t>> handleMembers_;
  DriverHandle nextHandle_ = 100;
};

// The link's notices, recorded.
using support::RecordingNotices;

}  // namespace flashwell::usb::testing
