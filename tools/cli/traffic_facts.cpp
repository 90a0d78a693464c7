#include "tools/cli/traffic_facts.h"

#include "protocol/component_table.h"
#include "usb/bytes.h"

namespace flashwell::cli {

void TrafficFacts::see(const trace::LogEvent& e) {
  if (e.ev == "out" && e.ok.value_or(false) && e.len.value_or(0) >= protocol::kRegionBlockSize) {
    blocks_.fetch_add(1, std::memory_order_relaxed);
  }
  if (e.ev == "descriptor" && e.ok.value_or(false) && e.data) {
    const auto set = trace::fromHex(*e.data);
    if (!set) return;
    if (const auto size = firstEndpointMaxPacket(*set)) {
      maxPacket_.store(*size, std::memory_order_relaxed);
    }
  }
}

std::optional<std::uint16_t> firstEndpointMaxPacket(std::span<const std::uint8_t> set) {
  if (set.empty()) return std::nullopt;
  const std::size_t interfaceAt = set[0];
  if (interfaceAt >= set.size()) return std::nullopt;
  return usb::tryLe16(set, interfaceAt + set[interfaceAt] + 4);
}

}  // namespace flashwell::cli
