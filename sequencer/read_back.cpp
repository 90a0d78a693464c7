#include "sequencer/read_back.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

#include "sequencer/sequencer.h"
#include "sequencer/text_ids.h"

namespace flashwell::sequencer {

namespace {

// A stored component: its entry in the versions the key reports, and the region slot it was
// written from. The booter component has no storage address, so it cannot be read back.
struct StoredComponent {
  std::size_t entry;
  std::size_t slot;
  const char* name;
};

constexpr std::array<StoredComponent, 6> kStoredComponents{{
    {0, 1, "LAPSTER4 firmware"},
    {7, 2, "LANG (display languages)"},
    {1, 3, "ZUNIT"},
    {2, 4, "LAMBDA"},
    {3, 5, "GPS"},
    {4, 7, "Lps4 EXP"},
}};
constexpr const char* kKeyFirmwareName = "MEMPOD firmware";

// The key may manage the policy mark as it passes components on.
constexpr std::size_t kPolicyMarkByte = 7;

// The key's own firmware version and date: where the identity gives them, and where the
// firmware's header in the package holds them.
constexpr std::array<std::pair<std::size_t, std::size_t>, 7> kFirmwareVersionBytes{{
    {26, 0x1E},  // major
    {27, 0x1F},  // minor
    {25, 0x20},  // patch
    {20, 0x0C},  // day
    {21, 0x0D},  // month
    {22, 0x0E},  // century
    {23, 0x0F},  // year
}};

// The first bytes of a slot's data in the package, as the writers sent them; empty when the
// slot's head lies outside the package.
std::span<const std::uint8_t> sentHead(const protocol::RequestBlock& block, std::size_t slot,
                                       std::size_t length) {
  const std::span<const std::uint8_t> package = block.package();
  const std::size_t start = protocol::kFlashImageOffset + block.regions[slot].imageOffset();
  if (start > package.size() || package.size() - start < length) return {};
  return package.subspan(start, length);
}

bool headMatches(const protocol::ComponentHead& stored, std::span<const std::uint8_t> sent) {
  if (sent.size() != stored.size()) return false;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (i != kPolicyMarkByte && stored[i] != sent[i]) return false;
  }
  return true;
}

bool keyFirmwareMatches(const protocol::RequestBlock& block) {
  const auto sent = sentHead(block, 0, kFirmwareVersionBytes.back().second + 1);
  if (sent.empty()) return false;
  return std::all_of(kFirmwareVersionBytes.begin(), kFirmwareVersionBytes.end(),
                     [&](const auto& at) { return block.identity[at.first] == sent[at.second]; });
}

}  // namespace

std::vector<std::string> differingComponents(const protocol::RequestBlock& block) {
  std::vector<std::string> differing;
  if (!keyFirmwareMatches(block)) differing.emplace_back(kKeyFirmwareName);
  for (const StoredComponent& c : kStoredComponents) {
    const protocol::ComponentHead& stored = block.componentHeads[c.entry];
    if (!headMatches(stored, sentHead(block, c.slot, stored.size()))) {
      differing.emplace_back(c.name);
    }
  }
  return differing;
}

bool Sequencer::readBackHolds() {
  // Only the modes that send the components' bytes have anything to compare; "Never" leaves
  // the regions empty.
  if (!fields_.selectedOption || !protocol::writesOf(*fields_.selectedOption).components) {
    return true;
  }
  readBackDifferences_ = differingComponents(block_);
  return !showReadBackFailure();
}

bool Sequencer::showReadBackFailure() {
  if (readBackDifferences_.empty()) return false;
  failureReached_ = true;
  refreshPrompts();
  showStatus(kTextCopyError, false);
  return true;
}

}  // namespace flashwell::sequencer
