#pragma once

// One whole upgrade, job by job on the calling thread, against a fresh virtual key in simulated
// time: how long it takes against its floor, and what it sent.

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/upgrade_option.h"

namespace flashwell::bench {

struct ComponentBlocks {
  std::string name;
  std::size_t sent = 0;
  std::size_t total = 0;
};

struct UpgradeFigures {
  bool succeeded = false;
  std::string failure;             // which job did not answer 1
  std::uint64_t simulatedMs = 0;   // virtual time of the whole job sequence
  std::uint64_t pausesMs = 0;      // the worker's own pauses as made
  std::uint64_t prescribedMs = 0;  // the pauses the jobs must make
  std::uint64_t keyBusyMs = 0;     // the virtual key's modelled command and transfer times
  double wallSeconds = 0;
  std::vector<ComponentBlocks> blocks;  // the key firmware first, then the seven components

  std::uint64_t floorMs() const { return prescribedMs + keyBusyMs; }
  double ratio() const {
    return floorMs() == 0 ? 0.0 : static_cast<double>(simulatedMs) / static_cast<double>(floorMs());
  }
};

UpgradeFigures runUpgrade(protocol::UpgradeOption option);

}  // namespace flashwell::bench
