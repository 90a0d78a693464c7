// Reading the key: its identity, then its stored versions, then the MEMPOD column.

#include "sequencer/control_ids.h"
#include "sequencer/sequencer.h"
#include "sequencer/upgrade_modes.h"
#include "usb/bytes.h"

namespace flashwell::sequencer {

namespace {

// A MEMPOD running its firmware, with a plausible serial number.
bool firmwareIdentityValid(const protocol::KeyIdentity& id) {
  const std::uint32_t serial = protocol::serialNumber(id);
  return protocol::programCode(id) == protocol::kProgramFirmware &&
         protocol::keyKind(id) == protocol::kMempodKind && serial > 16 && serial < 0xFFFFFF00u;
}

}  // namespace

KeyRead Sequencer::readKeyStep() {
  switch (fields_.keyReadStep) {
    case KeyReadStep::clear:
      // Both jobs must be answered afresh: lower the requests and wait for the worker to clear
      // their done bytes.
      refreshPrompts();
      block_.identityRequest.set(0);
      if (block_.identityDone.get() != 0) return KeyRead::reading;
      block_.versionsRequest.set(0);
      if (block_.versionsDone.get() != 0) return KeyRead::reading;
      fields_.keyReadStep = KeyReadStep::identity;
      return KeyRead::reading;

    case KeyReadStep::identity: {
      const std::uint8_t done = askKey(block_.identityRequest, block_.identityDone);
      if (done == protocol::kJobRefused) return KeyRead::unusable;
      if (done != protocol::kJobDone) return KeyRead::reading;
      const protocol::KeyIdentity& id = block_.identity;
      if (firmwareIdentityValid(id)) {
        fields_.keyReadStep = KeyReadStep::versions;
        return KeyRead::reading;
      }
      if (protocol::programCode(id) != protocol::kProgramBooter) return KeyRead::unusable;
      if (protocol::keyKind(id) != protocol::kMempodKind) return KeyRead::wrongKind;
      // The key's booter runs: its firmware has to be restored before anything else.
      fields_.booterPasses = static_cast<std::uint8_t>(fields_.booterPasses + 1);
      if (fields_.booterPasses >= 2) return KeyRead::unusable;
      showKeyVersions();
      return KeyRead::ready;
    }

    case KeyReadStep::versions: {
      const std::uint8_t done = askKey(block_.versionsRequest, block_.versionsDone);
      if (done == protocol::kJobDone) fields_.keyReadStep = KeyReadStep::column;
      if (done == protocol::kJobRefused) return KeyRead::unusable;
      return KeyRead::reading;
    }

    case KeyReadStep::column:
      refreshPrompts();
      stepBar(5);
      return showKeyVersions() ? KeyRead::ready : KeyRead::wrongKind;

    default:
      return KeyRead::wrongKind;
  }
}

std::uint8_t Sequencer::askKey(protocol::SharedByte& request, const protocol::SharedByte& done) {
  refreshPrompts();
  stepBar(5);
  request.set(1);
  return done.get();
}

bool Sequencer::showKeyVersions() {
  const KeyColumn column = package_.keyColumn(block_, fields_.booterPasses);
  for (const UpgradeMode& m : kUpgradeModes) view_.setText(m.marker, "");
  view_.setText(modeRow(column.marker).marker, "Key:");
  if (!column.text) return false;
  fields_.keyColumnText = *column.text;
  view_.setText(kIdKeyColumn, fields_.keyColumnText);
  return true;
}

}  // namespace flashwell::sequencer
