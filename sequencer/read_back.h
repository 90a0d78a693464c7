#pragma once

// The check after an upgrade that the key holds what was sent: the head of each stored
// component as the versions job read it back, against the first bytes the region writer sent,
// and the key's firmware version in its identity against the package's.

#include <string>
#include <vector>

#include "protocol/request_block.h"

namespace flashwell::sequencer {

// The components whose read-back differs, by name, in the order of the key's column; empty
// when the key holds what was sent. For a run that wrote the components ("Only", "Always").
std::vector<std::string> differingComponents(const protocol::RequestBlock& block);

}  // namespace flashwell::sequencer
