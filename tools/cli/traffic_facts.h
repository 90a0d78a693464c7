#pragma once

// What a run learns from its own traffic: the blocks sent, and the key's packet size from its
// descriptors. Fed on the worker thread, read on the window thread.

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>

#include "trace/log_event.h"

namespace flashwell::cli {

class TrafficFacts {
 public:
  void see(const trace::LogEvent& event);
  std::uint32_t blocksSent() const { return blocks_.load(std::memory_order_relaxed); }
  // The maximum packet size of the key's first endpoint, as last read; 0 before.
  std::uint16_t maxPacket() const { return maxPacket_.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::uint32_t> blocks_{0};
  std::atomic<std::uint16_t> maxPacket_{0};
};

// The maximum packet size of the first endpoint in a descriptor set (configuration, interface,
// endpoint); none when the set does not hold it.
std::optional<std::uint16_t> firstEndpointMaxPacket(std::span<const std::uint8_t> set);

}  // namespace flashwell::cli
