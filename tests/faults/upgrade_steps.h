#pragma once

// The steps of one clean upgrade, read from its trace: for each step the places where a fault
// can strike it, as the WHERE of the fault and the occurrence N that falls into the step.
// Each event is given to the state that the sequencer was in when the event crossed the
// driver (the state after the last tick before it); inside a state the commands themselves
// tell the parts apart (identity and versions, the blocks, the components).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/faults.h"
#include "emulator/trace.h"
#include "tests/support/upgrade_run.h"

namespace flashwell::faults {

struct FaultPlace {
  emulator::FaultSite site;
  std::uint32_t occurrence;  // 1 = the first of the whole run
};

struct UpgradeStep {
  std::string name;  // "connect", "firmware block 3", "component 0x0631 open", ...
  std::vector<FaultPlace> places;
};

// The place a fault would strike for one event of the trace, if any: the command's site for a
// control request, out, in, descriptor, and the key's open.
std::optional<emulator::FaultSite> siteOfEvent(const emulator::TraceEvent& event);

// The steps in the order of the upgrade: connect, identity, versions, booter entry,
// firmware-area erase, every firmware block, booter exit, data erase, mark, each component's
// open with its first and last block, the final read. A step without traffic is left out.
std::vector<UpgradeStep> upgradeSteps(const std::vector<emulator::TraceEvent>& events,
                                      const std::vector<support::TickRecord>& ticks);

// "program@3".
std::string placeText(const FaultPlace& place);

}  // namespace flashwell::faults
