#pragma once

// A driver request as the stand-in receives it from another process: the record arrives in the
// request's system buffer, while the data buffer that the record names stays in the caller's
// memory. The relay copies that buffer in, hands the driver a record that names the copy, and
// copies back what the driver wrote: the data and the record's result words. Everything else
// in the record goes back to the caller as it came.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>

#include "usb/driver.h"

namespace flashwell::emulator::standin {

// The memory of the process that sent the request.
class CallerMemory {
 public:
  virtual ~CallerMemory() = default;
  virtual bool read(std::uint64_t address, std::span<std::uint8_t> into) = 0;
  virtual bool write(std::uint64_t address, std::span<const std::uint8_t> from) = 0;
};

// How many transfer records of each size the stand-in received, and descriptor requests.
struct RecordCounts {
  std::map<std::size_t, std::uint64_t> transferRecords;
  std::uint64_t descriptorRequests = 0;
};

struct RelayResult {
  bool completed = false;
  std::size_t returned = 0;  // bytes of the system buffer that go back to the caller
  bool callerMemoryFailed = false;
};

// `systemBuffer` holds `inSize` bytes of input and has room for `outSize` bytes of output.
RelayResult relayRequest(usb::UsbDriver& driver, usb::DriverHandle handle, std::uint32_t code,
                         std::span<std::uint8_t> systemBuffer, std::size_t inSize,
                         std::size_t outSize, CallerMemory& caller, RecordCounts& counts);

}  // namespace flashwell::emulator::standin
