#pragma once

// What the sequencer asks of the firmware package that the tool carries: its texts in the
// chosen language, the region slots, and the two version columns. The dialog binds it to the
// catalogue; tests of the state machine bind it to a small fake.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "catalogue/results.h"
#include "protocol/request_block.h"
#include "protocol/upgrade_option.h"

namespace flashwell::sequencer {

// What the MEMPOD column shows after the key was read.
struct KeyColumn {
  // The mode whose marker gets "Key:": the one the key's policy mark names.
  protocol::UpgradeOption marker = protocol::UpgradeOption::only;
  // The column's text: the booter notice, or the key's versions; none when the key runs
  // neither program, and the column keeps what it shows.
  std::optional<std::string> text;
};

class PackageServices {
 public:
  virtual ~PackageServices() = default;

  // Chooses the language from the system locale when none has been chosen yet.
  virtual void chooseLanguage() = 0;
  // Text `id` of the current language (Windows-1252), "NO STRING" when it has none.
  virtual std::string text(std::uint16_t id) = 0;

  // Fills the eight region slots; true only when every look-up succeeded.
  virtual bool assignRegionSlots(std::span<protocol::RegionSlot, 10> slots) = 0;
  // ok, invalid or badChecksum.
  virtual catalogue::Result buildImageVersionRows() = 0;
  // The text of static 1105 from the rows built last.
  virtual std::string imageColumnText() = 0;
  // The MEMPOD column for the key described by the block (`booterPasses` not 0: the key
  // answered from its booter).
  virtual KeyColumn keyColumn(const protocol::RequestBlock& block, std::uint8_t booterPasses) = 0;
};

}  // namespace flashwell::sequencer
