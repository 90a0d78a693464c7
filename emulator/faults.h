#pragma once

// Faults the virtual key's doors (the emulated driver, the usbdevfs handler) inject into the
// conversation with the virtual key, written WHERE:WHAT[=MS][@N[+]]: at the Nth occurrence
// (1 = the first; with +, at that one and every one after) of a command or transfer, the key or
// the driver misbehaves in one way. A few named shorthands stand for the usual cases.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flashwell::emulator {

enum class FaultSite {
  identify,       // 14, 7
  memoryRead,     // 14, 1
  restart,        // 15, 4
  erase,          // 15, 1
  program,        // 15, 2
  dataErase,      // 13, 7 or 14, 18
  storeIdentity,  // 14, 8
  regionOpen,     // 13, 15 with 0xFFFF as second parameter
  regionCommit,   // 13, 15 otherwise
  out,            // a transfer to 0x02
  in,             // a transfer from 0x82 or 0x81
  descriptor,     // the descriptor request
  open,           // opening the key
  transferSetup,  // 12, the announcement of the next endpoint transfer
  control,        // any control transfer
  any,            // any control transfer, transfer to 0x02 or transfer from 0x82 or 0x81
};
inline constexpr std::size_t kFaultSiteCount = 16;

enum class FaultKind {
  refuse,         // not carried out; the transfer stalls
  late,           // carried out, acknowledged after the host's limit for it; late=MS: after
                  // exactly MS milliseconds
  status,         // carried out, the driver reports a status other than success
  zero,           // carried out, the driver reports 0 bytes moved
  unplug,         // the key is pulled as the request arrives and is back after 5 s (unplug=MS:
                  // after MS milliseconds)
  unplugForGood,  // the key is pulled and never comes back
  stall,          // not carried out; the endpoint stays halted until the host clears the halt
  corrupt,        // carried out and acknowledged, one byte of its data changed: stored so, or
                  // returned so by a read
  stay,           // a restart is carried out and acknowledged, and the key comes back running
                  // the program it ran before
};

// A repeat count that never runs out: the fault strikes every occurrence from its first.
inline constexpr std::uint32_t kEveryOccurrence = 0xFFFFFFFF;

struct Fault {
  FaultSite site = FaultSite::identify;
  FaultKind kind = FaultKind::refuse;
  std::uint32_t occurrence = 1;  // the first occurrence it strikes
  std::uint32_t repeat = 1;      // how many occurrences in a row it strikes
  // When not 0, only occurrences after the nth region open count (and up to the next open).
  std::uint32_t withinRegionOpen = 0;
  // late: when the acknowledgement comes; unplug: how long the key stays away. Unset, the
  // kind's own time.
  std::optional<std::uint32_t> ms = std::nullopt;

  bool operator==(const Fault&) const = default;
};

// The byte that a corrupting fault changes (the last one of shorter data), and how: inside the
// head of a component, away from its policy mark.
inline constexpr std::size_t kCorruptedByte = 0x10;
inline constexpr std::uint8_t kCorruptionMask = 0xFF;

// How long after the host's limit a late acknowledgement comes, and how long a pulled key stays
// away.
inline constexpr std::uint32_t kLateMarginMs = 1000;
inline constexpr std::uint32_t kUnplugAwayMs = 5000;

// The time the host allows a command before it counts it as failed: 12000 ms for the long
// sub-commands, 4800 ms for all others.
std::uint32_t hostLimitMs(std::uint8_t code, std::uint8_t sub);
// How late a late fault at `site` answers; endpoint transfers, open and the descriptor request
// have no limit of their own and are delayed as a short command would be.
std::uint32_t lateDelayMs(FaultSite site, std::uint8_t code, std::uint8_t sub);
// Milliseconds until a late fault's acknowledgement: its own time, or else the default delay
// added to the `keyMs` the key took.
std::uint32_t lateAnswerMs(const Fault& fault, std::uint32_t keyMs, std::uint8_t code,
                           std::uint8_t sub);
// How long a pulling fault keeps the key away; nullopt: for good.
std::optional<std::uint32_t> awayMs(const Fault& fault);

std::string_view siteName(FaultSite site);
std::string_view kindName(FaultKind kind);
std::optional<FaultSite> siteFromName(std::string_view name);
std::optional<FaultKind> kindFromName(std::string_view name);
// The site of a control request to the key, if any fault can strike it.
std::optional<FaultSite> siteOfCommand(std::uint8_t code, std::uint8_t sub,
                                       std::uint16_t secondParameter);

// Every WHERE, every WHAT and every shorthand, one a line, for --list-faults.
std::vector<std::string> faultNames();
// "erase:refuse", "region-commit:late@3", "erase:late=12000", "out:refuse@2+", or a shorthand:
// erase-fails, booter-region-open-fails, identity-unreadable[@N] (N attempts, 3 by default),
// unplug-during-regions, component-stored-wrong. nullopt with a message in `error` when the text
// is not one of them.
std::optional<std::vector<Fault>> parseFault(std::string_view text, std::string* error = nullptr);
std::string describe(const Fault& fault);

// The faults of one run and the occurrences counted so far. Not thread-safe on its own.
class FaultPlan {
 public:
  void add(Fault fault);
  void add(const std::vector<Fault>& faults);
  void clear();
  bool empty() const { return entries_.empty(); }

  // Counts one occurrence at each of `sites` (a request belongs to its own place and the places
  // that take in all of its kind) and says which fault, if any, strikes it.
  std::optional<Fault> strike(std::initializer_list<FaultSite> sites);
  std::uint32_t seen(FaultSite site) const;

 private:
  struct Entry {
    Fault fault;
    std::uint32_t counted = 0;
  };
  std::vector<Entry> entries_;
  std::uint32_t seen_[kFaultSiteCount] = {};
  std::uint32_t regionOpens_ = 0;
};

}  // namespace flashwell::emulator
