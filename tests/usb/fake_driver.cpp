#include "tests/usb/fake_driver.h"

#include <algorithm>

#include "usb/bytes.h"
#include "usb/transfer_request.h"

namespace flashwell::usb::testing {

std::vector<std::uint8_t> descriptorSet(std::uint16_t maxPacketSize) {
  return {9,
          2,
          25,
          0,
          1,
          1,
          0,
          0x80,
          50,  // configuration
          9,
          4,
          0,
          0,
          3,
          0xFF,
          0,
          0,
          0,  // interface 0
          7,
          5,
          0x82,
          2,
          static_cast<std::uint8_t>(maxPacketSize),  // first endpoint
          static_cast<std::uint8_t>(maxPacketSize >> 8),
          0};
}

bool FakeDriver::beginSearch() {
  ++searchesBegun;
  return !searchFails;
}

InterfaceEntry FakeDriver::interfaceAt(std::uint32_t index) {
  indexesAsked.push_back(index);
  if (index >= members.size()) return {pastEnd, std::nullopt};
  const FakeMember& m = members[index];
  if (m.error != kErrorSuccess) return {m.error, std::nullopt};
  return {kErrorSuccess, m.path};
}

OpenResult FakeDriver::openExclusive(const std::string& path) {
  openedPaths.push_back(path);
  // The member is the last one asked for: the link opens what it has just enumerated.
  const std::size_t index = indexesAsked.back();
  const FakeMember& m = members.at(index);
  if (m.openError != kErrorSuccess) return {kNoHandle, m.openError};
  const DriverHandle handle = nextHandle_++;
  openHandles.insert(handle);
  handleMembers_.emplace_back(handle, index);
  return {handle, kErrorSuccess};
}

const FakeMember* FakeDriver::memberOfHandle(DriverHandle handle) const {
  for (const auto& [h, index] : handleMembers_) {
    if (h == handle) return &members[index];
  }
  return nullptr;
}

std::optional<std::size_t> FakeDriver::ioControlCounted(DriverHandle handle, std::uint32_t code,
                                                        std::span<std::uint8_t> record,
                                                        std::span<std::uint8_t> data) {
  requests.push_back(
      {handle, code, {record.begin(), record.end()}, {data.begin(), data.end()}, data.data()});
  if (openHandles.count(handle) == 0) return std::nullopt;
  if (code == kIoctlReadDescriptors) {
    const FakeMember* m = memberOfHandle(handle);
    if (m == nullptr || !m->descriptors) return std::nullopt;
    const std::size_t n = std::min(m->descriptors->size(), record.size());
    std::copy_n(m->descriptors->begin(), n, record.begin());
    return n;
  }
  if (transferFails) return std::nullopt;
  const auto decoded = decodeRecord(record);
  if (!decoded) return std::nullopt;
  std::copy_n(replyData.begin(), std::min(replyData.size(), data.size()), data.begin());
  writeResult(record, bytesTransferred.value_or(decoded->request.length), status);
  return record.size();
}

void FakeDriver::close(DriverHandle handle) {
  closedHandles.push_back(handle);
  openHandles.erase(handle);
}

}  // namespace flashwell::usb::testing
