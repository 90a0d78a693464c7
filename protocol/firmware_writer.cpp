#include "protocol/worker.h"

#include <algorithm>

#include "protocol/component_table.h"

namespace flashwell::protocol {

namespace {
bool blank(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}
}  // namespace

std::span<std::uint8_t> Worker::slotData(const RegionSlot& slot) const {
  const std::span<std::uint8_t> package = block_.package();
  const std::size_t imageEnd = std::min(package.size(), kFlashImageOffset + kFlashImageSize);
  const std::size_t start = kFlashImageOffset + std::size_t{slot.imageOffset()};
  if (start >= imageEnd) return {};
  return package.subspan(start, imageEnd - start);
}

FirmwareWrite Worker::ProgramKeyFirmware() {
  const RegionSlot& slot = block_.regions[0];
  const std::uint32_t length = slot.length();
  if (length > kMaxFirmwareLength) return FirmwareWrite::refused;
  const std::span<std::uint8_t> data = slotData(slot);
  if (data.size() <= kComponentCode || data[kComponentCode] != kKeyFirmwareCode) {
    return FirmwareWrite::refused;
  }
  const std::uint32_t blocks = length / kFirmwareBlockSize;
  if (blocks == 0) return FirmwareWrite::written;
  // A slot that reaches past the package, or whose blocks would lie below address 0, is refused
  // before anything is sent.
  if (data.size() < length) return FirmwareWrite::refused;
  const std::uint32_t maxAddress = slot.maxAddress();
  if (maxAddress == 0xFFFFFFFF || maxAddress + 1 < blocks * kFirmwareBlockSize) {
    return FirmwareWrite::refused;
  }

  // From the last block of the region to the first, so that the block with the header, which
  // makes the firmware valid, is written last.
  for (std::uint32_t i = 0; i < blocks; ++i) {
    const auto block = data.subspan(length - kFirmwareBlockSize * (i + 1), kFirmwareBlockSize);
    const std::uint32_t address = maxAddress - (kFirmwareBlockSize - 1) - kFirmwareBlockSize * i;
    if (blank(block)) continue;
    if (!commands_.SendBlock(block)) return FirmwareWrite::transferFailed;
    if (!channel_.SendCommandOrClose(kFlashCommand, kSubProgramBlock, address, 2048)) {
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
