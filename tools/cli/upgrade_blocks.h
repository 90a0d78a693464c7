#pragma once

// The blocks an upgrade sends, for its progress: the key's firmware in 4096-byte blocks, then the
// components in 2048-byte blocks. Planned from the package and the region slots once the key has
// been read and the mode chosen, and counted as they cross the driver.

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>

#include "protocol/request_block.h"
#include "trace/log_event.h"

namespace flashwell::cli {

struct BlockPlan {
  std::uint32_t firmware = 0;
  std::uint32_t regions = 0;
  std::uint32_t total() const { return firmware + regions; }
};

// `option`: 1 Only, 2 Always, 3 Never. `booterRuns`: the key was found in its booter, so its
// firmware is restored whatever the mode. Blank blocks, which are not sent, are not counted.
BlockPlan planBlocks(const protocol::RequestBlock& block, std::uint8_t option, bool booterRuns);

// What the run learns from its own traffic: the blocks sent, and the key's packet size from
// its descriptors. Fed on the worker thread, read on the window thread.
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
