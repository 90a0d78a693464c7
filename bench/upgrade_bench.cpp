#include "bench/upgrade_bench.h"

#include <chrono>
#include <map>

#include "protocol/component_table.h"
#include "protocol/worker.h"
#include "tests/support/key_bench.h"
#include "tests/support/pause_recorder.h"
#include "tests/support/test_packages.h"

namespace flashwell::bench {

namespace {

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
std::map<std::uint16_t, std::size_t> countBlocks(const std::vector<emulator::TraceEvent>& events,
                                                 std::size_t& firmwareBlocks) {
  std::map<std::uint16_t, std::size_t> commits;
  firmwareBlocks = 0;
  for (const emulator::TraceEvent& e : events) {
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

  support::KeyBench bench(support::namedKey("fresh"));
  support::PauseRecorder pauses(bench.clock);
  std::vector<std::uint8_t> package = support::embeddedPackageCopy();
  protocol::RequestBlock block;
  block.zero();
  if (!support::installPackage(package, block)) {
    figures.failure = "the embedded package";
    return figures;
  }

  protocol::Worker worker(block, *bench.driver, pauses, bench.notices);
  block.startRequest.set(1);
  block.startDone.set(1);
  block.upgradeOption.set(protocol::optionByte(option));
  struct Job {
    const char* name;
    bool (protocol::Worker::*run)();
    protocol::SharedByte* done;
  };
  // The jobs in the order of an upgrade; the identity and the versions are read again after.
  const Job jobs[] = {
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
  };
  constexpr std::size_t kOrder[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 2};
  for (const std::size_t j : kOrder) {
    jobs[j].done->set(0);
    if (!(worker.*jobs[j].run)() || jobs[j].done->get() != 1) {
      figures.failure = jobs[j].name;
      break;
    }
  }
  figures.succeeded = figures.failure.empty();
  figures.simulatedMs = bench.clock.elapsedMs();
  figures.pausesMs = pauses.totalMs();
  figures.prescribedMs = kPrescribedPausesMs;
  figures.keyBusyMs = bench.key->modelledBusyMs();

  std::size_t firmwareBlocks = 0;
  const auto commits = countBlocks(bench.traceEvents(), firmwareBlocks);
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
