#include "bench/upgrade_bench.h"

#include <chrono>
#include <map>
#include <span>

#include "catalogue/catalogue.h"
#include "catalogue/embedded_package.h"
#include "emulator/emulated_driver.h"
#include "emulator/named_states.h"
#include "protocol/component_table.h"
#include "protocol/worker.h"

namespace flashwell::bench {

namespace {

// Sums the worker's pauses in front of the simulated clock; the key's own time goes straight
// to the simulated clock through the driver.
class PauseTally final : public usb::Clock {
 public:
  explicit PauseTally(usb::SimulatedClock& clock) : clock_(clock) {}
  std::uint32_t tickMs() override { return clock_.tickMs(); }
  void sleepMs(std::uint32_t ms) override {
    total += ms;
    clock_.sleepMs(ms);
  }
  std::uint64_t total = 0;

 private:
  usb::SimulatedClock& clock_;
};

// The pauses that booter entry (2000), booter exit (500 and 10000) and the seven region opens
// (2000 each) prescribe.
constexpr std::uint64_t kPrescribedPausesMs = 2000 + 500 + 10000 + 7 * 2000;

const char* componentName(std::uint16_t regionCode) {
  switch (regionCode) {
    case 0x0515:
      return "booter";
    case 0x0631:
      return "LAPSTER4 firmware";
    case 0x0634:
      return "languages";
    case 0x0632:
      return "ZUNIT";
    case 0x0225:
      return "LAMBDA";
    case 0x0635:
      return "GPS";
    case 0x0640:
      return "Lps4 EXP";
    default:
      return "?";
  }
}

std::vector<std::uint8_t> fromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// Blocks programmed into the key's flash and committed to each region, from the trace.
std::map<std::uint16_t, std::size_t> countBlocks(const emulator::Trace& trace,
                                                 std::size_t& firmwareBlocks) {
  std::map<std::uint16_t, std::size_t> commits;
  firmwareBlocks = 0;
  for (const emulator::TraceEvent& e : trace.events()) {
    if (e.ev != "control" || !e.setup || !e.data || e.ok != true) continue;
    const auto setup = fromHex(*e.setup);
    const auto payload = fromHex(*e.data);
    if (setup.size() < 2 || payload.empty()) continue;
    if (setup[1] == 15 && payload[0] == 2) ++firmwareBlocks;
    if (setup[1] == 13 && payload[0] == 15 && payload.size() == 9 &&
        !(payload[3] == 0xFF && payload[4] == 0xFF)) {
      ++commits[static_cast<std::uint16_t>(payload[1] | payload[2] << 8)];
    }
  }
  return commits;
}

}  // namespace

UpgradeFigures runUpgrade(protocol::UpgradeOption option) {
  UpgradeFigures figures;
  const auto wallStart = std::chrono::steady_clock::now();

  usb::SimulatedClock clock;
  PauseTally pauses(clock);
  emulator::VirtualKey key(*emulator::namedKeyState("fresh"));
  emulator::Trace trace(nullptr, true);
  emulator::EmulatedDriver driver(clock, key, &trace);
  usb::SilentNotices notices;

  const auto embedded = catalogue::embeddedPackage();
  std::vector<std::uint8_t> package(embedded.begin(), embedded.end());
  protocol::RequestBlock block;
  block.zero();
  block.imageBase = package.data();
  block.imageSize = package.size();
  catalogue::Catalogue cat(package, catalogue::embeddedTables());
  if (cat.openPackage().result != catalogue::Result::ok || !cat.assignRegionSlots(block.regions)) {
    figures.failure = "the embedded package";
    return figures;
  }

  protocol::Worker worker(block, driver, pauses, notices);
  block.startRequest.set(1);
  block.startDone.set(1);
  block.upgradeOption.set(protocol::optionByte(option));
  struct Step {
    const char* name;
    bool (protocol::Worker::*job)();
    protocol::SharedByte* done;
  };
  const Step steps[] = {
      {"connect", &protocol::Worker::Connect, &block.connected},
      {"identity", &protocol::Worker::ReadIdentityJob, &block.identityDone},
      {"versions", &protocol::Worker::ReadVersions, &block.versionsDone},
      {"enter booter", &protocol::Worker::EnterBooter, &block.enterBooterDone},
      {"erase", &protocol::Worker::EraseKeyFirmware, &block.eraseDone},
      {"key firmware", &protocol::Worker::WriteKeyFirmware, &block.keyFirmwareDone},
      {"leave booter", &protocol::Worker::LeaveBooter, &block.leaveBooterDone},
      {"data erase", &protocol::Worker::EraseDataFlash, &block.dataEraseDone},
      {"mark", &protocol::Worker::ClearMark, &block.markDone},
      {"regions", &protocol::Worker::WriteRegions, &block.regionsDone},
      {"identity again", &protocol::Worker::ReadIdentityJob, &block.identityDone},
      {"versions again", &protocol::Worker::ReadVersions, &block.versionsDone},
  };
  for (const Step& step : steps) {
    step.done->set(0);
    if (!(worker.*step.job)() || step.done->get() != 1) {
      figures.failure = step.name;
      break;
    }
  }
  figures.succeeded = figures.failure.empty();
  figures.simulatedMs = clock.elapsedMs();
  figures.pausesMs = pauses.total;
  figures.prescribedMs = kPrescribedPausesMs;
  figures.keyBusyMs = key.modelledBusyMs();

  std::size_t firmwareBlocks = 0;
  const auto commits = countBlocks(trace, firmwareBlocks);
  figures.blocks.push_back(
      {"key firmware", firmwareBlocks, block.regions[0].length() / protocol::kFirmwareBlockSize});
  for (const protocol::ComponentRow& row : protocol::kComponentTable) {
    const auto found = commits.find(row.regionCode);
    figures.blocks.push_back(
        {componentName(row.regionCode), found == commits.end() ? 0 : found->second,
         protocol::writesOf(option).components ? row.byteCount / protocol::kRegionBlockSize : 0});
  }
  figures.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  return figures;
}

}  // namespace flashwell::bench
