#include "protocol/block_plan.h"
#include "protocol/worker.h"

namespace flashwell::protocol {

std::span<std::uint8_t> Worker::slotData(const RegionSlot& slot) const {
  return protocol::slotData(block_.package(), slot);
}

FirmwareWrite Worker::ProgramKeyFirmware() {
  const std::optional<FirmwareImage> image = firmwareImage(block_);
  if (!image) return FirmwareWrite::refused;
  // From the last block of the region to the first, so that the block with the header, which
  // makes the firmware valid, is written last.
  for (const std::uint32_t i : firmwareBlocksSent(*image)) {
    if (!commands_.SendBlock(image->block(i))) return FirmwareWrite::transferFailed;
    if (!channel_.SendCommandOrClose(kFlashCommand, kSubProgramBlock, image->address(i), 2048)) {
      return FirmwareWrite::programFailed;
    }
  }
  return FirmwareWrite::written;
}

bool Worker::WriteKeyFirmware() {
  block_.keyFirmwareDone.set(ProgramKeyFirmware() == FirmwareWrite::written ? kJobDone
                                                                            : kJobRefused);
  return true;
}

}  // namespace flashwell::protocol
