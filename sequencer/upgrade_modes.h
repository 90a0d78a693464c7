#pragma once

// The upgrade modes as the dialog shows them: one row each. What the writers send under a mode is
// its row in protocol/upgrade_option.h.

#include <array>
#include <cstdint>
#include <optional>

#include "protocol/upgrade_option.h"
#include "sequencer/control_ids.h"
#include "sequencer/text_ids.h"

namespace flashwell::sequencer {

struct UpgradeMode {
  protocol::UpgradeOption option;
  int checkBox;               // the mode's check box
  int marker;                 // the static beside it that says "Key:" for the key's own mode
  std::uint16_t captionText;  // the check box's text
  bool asksErase;             // PROCEED asks first whether the key's data may be erased
  std::uint16_t reportText;   // the message that ends a run that did what was asked
};

inline constexpr std::array<UpgradeMode, 3> kUpgradeModes{{
    {protocol::UpgradeOption::only, kIdOnly, kIdMarkOnly, kTextOnly, true, kTextCongratulations},
    {protocol::UpgradeOption::always, kIdAlways, kIdMarkAlways, kTextAlways, true,
     kTextCongratulations},
    {protocol::UpgradeOption::never, kIdNever, kIdMarkNever, kTextNever, false, kTextNoUpgrade},
}};
static_assert(kUpgradeModes.size() == protocol::kOptionWrites.size(),
              "every mode has its row here and in protocol/upgrade_option.h");

// The row of a mode.
constexpr const UpgradeMode& modeRow(protocol::UpgradeOption option) {
  std::size_t at = 0;
  while (at + 1 < kUpgradeModes.size() && kUpgradeModes[at].option != option) ++at;
  return kUpgradeModes[at];
}

// The mode whose check box has this control identifier; none for any other control.
constexpr std::optional<protocol::UpgradeOption> modeOfCheckBox(int controlId) {
  for (const UpgradeMode& m : kUpgradeModes) {
    if (m.checkBox == controlId) return m.option;
  }
  return std::nullopt;
}

}  // namespace flashwell::sequencer
