#include "tests/faults/upgrade_steps.h"

#include <algorithm>
#include <array>
#include <map>
#include <sstream>

#include "emulator/emulated_driver.h"
#include "usb/bytes.h"

namespace flashwell::faults {

namespace {

using emulator::FaultSite;
using emulator::TraceEvent;
using sequencer::UpgradeState;

std::vector<std::uint8_t> fromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// A memory read of the external flash: the stored versions, not the identity's configuration.
bool externalRead(const TraceEvent& e) {
  if (siteOfEvent(e) != FaultSite::memoryRead || !e.setup) return false;
  const auto setup = fromHex(*e.setup);
  return (usb::le16(setup, 4) & 0x4000) != 0;
}

// One event with its site and the run-wide occurrence of that site.
struct Counted {
  const TraceEvent* event;
  FaultSite site;
  std::uint32_t occurrence;
};

// The first place of each site among `events`, in the order the sites are met.
std::vector<FaultPlace> firstPlaces(const std::vector<Counted>& events,
                                    const std::vector<FaultSite>& only = {}) {
  std::vector<FaultPlace> places;
  for (const Counted& c : events) {
    if (!only.empty() && std::find(only.begin(), only.end(), c.site) == only.end()) continue;
    const bool seen = std::any_of(places.begin(), places.end(),
                                  [&](const FaultPlace& p) { return p.site == c.site; });
    if (!seen) places.push_back({c.site, c.occurrence});
  }
  return places;
}

std::string hex16(std::uint16_t v) {
  std::ostringstream s;
  s << "0x" << std::hex << std::uppercase;
  s.width(4);
  s.fill('0');
  s << v;
  return s.str();
}

// The blocks of a part of the run that sends data and then a command for it: block i is the
// i-th out and the i-th `command`.
std::vector<std::pair<FaultPlace, FaultPlace>> blocks(const std::vector<Counted>& events,
                                                      FaultSite command) {
  std::vector<FaultPlace> outs;
  std::vector<FaultPlace> commands;
  for (const Counted& c : events) {
    if (c.site == FaultSite::out) outs.push_back({c.site, c.occurrence});
    if (c.site == command) commands.push_back({c.site, c.occurrence});
  }
  std::vector<std::pair<FaultPlace, FaultPlace>> out;
  for (std::size_t i = 0; i < std::min(outs.size(), commands.size()); ++i) {
    out.push_back({outs[i], commands[i]});
  }
  return out;
}

}  // namespace

std::optional<FaultSite> siteOfEvent(const TraceEvent& e) {
  if (e.ev == "out") return FaultSite::out;
  if (e.ev == "in") return FaultSite::in;
  if (e.ev == "descriptor") return FaultSite::descriptor;
  if (e.ev == "open") {
    if (e.path == std::string(emulator::kDefaultKeyPath)) return FaultSite::open;
    return std::nullopt;
  }
  if (e.ev != "control" || !e.setup || !e.data) return std::nullopt;
  const auto setup = fromHex(*e.setup);
  const auto data = fromHex(*e.data);
  if (setup.size() < 2 || data.empty()) return std::nullopt;
  const std::uint16_t second = data.size() >= 5 ? usb::le16(data, 3) : 0;
  const auto site = emulator::siteOfCommand(setup[1], data[0], second);
  // The steps are struck at their commands, not at the announcements between them.
  if (site == FaultSite::transferSetup) return std::nullopt;
  return site;
}

std::string placeText(const FaultPlace& place) {
  return std::string(emulator::siteName(place.site)) + "@" + std::to_string(place.occurrence);
}

std::vector<UpgradeStep> upgradeSteps(const std::vector<TraceEvent>& events,
                                      const std::vector<support::TickRecord>& ticks) {
  // Every event with a site, counted as the driver counts, grouped by the sequencer's state.
  std::array<std::uint32_t, emulator::kFaultSiteCount> seen{};
  std::map<UpgradeState, std::vector<Counted>> byState;
  std::size_t nextTick = 0;
  UpgradeState state = UpgradeState::checkPackage;
  for (const TraceEvent& e : events) {
    while (nextTick < ticks.size() && ticks[nextTick].atMs < e.t) state = ticks[nextTick++].state;
    const auto site = siteOfEvent(e);
    if (!site) continue;
    const std::uint32_t n = ++seen[static_cast<std::size_t>(*site)];
    byState[state].push_back({&e, *site, n});
  }

  std::vector<UpgradeStep> steps;
  auto add = [&](std::string name, std::vector<FaultPlace> places) {
    if (!places.empty()) steps.push_back({std::move(name), std::move(places)});
  };

  add("connect", firstPlaces(byState[UpgradeState::connect]));

  const std::vector<Counted>& reading = byState[UpgradeState::readKey];
  const auto versionsStart = std::find_if(reading.begin(), reading.end(),
                                          [](const Counted& c) { return externalRead(*c.event); });
  add("identity", firstPlaces({reading.begin(), versionsStart}));
  add("versions", firstPlaces({versionsStart, reading.end()}));

  add("booter entry", firstPlaces(byState[UpgradeState::proceed]));
  add("firmware-area erase", firstPlaces(byState[UpgradeState::eraseFirmware]));
  int block = 0;
  for (const auto& [out, program] :
       blocks(byState[UpgradeState::writeFirmware], FaultSite::program)) {
    add("firmware block " + std::to_string(++block), {program, out});
  }
  add("booter exit", firstPlaces(byState[UpgradeState::leaveBooter]));
  add("data erase", firstPlaces(byState[UpgradeState::eraseData]));
  add("mark", firstPlaces(byState[UpgradeState::clearMark]));

  // The components, each from its region open (and the key's open just before it) to the next.
  const std::vector<Counted>& writing = byState[UpgradeState::writeRegions];
  auto opensAt = [](const Counted& c) { return c.site == FaultSite::regionOpen; };
  auto linkOpening = [](const Counted& c) {
    return c.site == FaultSite::open || c.site == FaultSite::descriptor;
  };
  for (auto at = std::find_if(writing.begin(), writing.end(), opensAt); at != writing.end();) {
    auto begin = at;
    while (begin != writing.begin() && linkOpening(*std::prev(begin))) --begin;
    auto next = std::find_if(std::next(at), writing.end(), opensAt);
    auto end = next;
    while (end != at && linkOpening(*std::prev(end))) --end;
    const std::vector<Counted> part(begin, end);
    const std::string name = "component " + hex16(usb::le16(fromHex(*at->event->data), 1));
    add(name + " open",
        firstPlaces(part, {FaultSite::open, FaultSite::descriptor, FaultSite::regionOpen}));
    const auto sent = blocks(part, FaultSite::regionCommit);
    if (!sent.empty()) add(name + " first block", {sent.front().second, sent.front().first});
    if (sent.size() > 1) add(name + " last block", {sent.back().second, sent.back().first});
    at = next;
  }

  add("final read", firstPlaces(byState[UpgradeState::readBack]));
  return steps;
}

}  // namespace flashwell::faults
