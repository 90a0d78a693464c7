#include "emulator/faults.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>

namespace flashwell::emulator {

namespace {
template <typename T>
struct Named {
  T value;
  std::string_view name;
};
constexpr std::array<Named<FaultSite>, kFaultSiteCount> kSites{{
    {FaultSite::identify, "identify"},
    {FaultSite::memoryRead, "memread"},
    {FaultSite::restart, "restart"},
    {FaultSite::erase, "erase"},
    {FaultSite::program, "program"},
    {FaultSite::dataErase, "data-erase"},
    {FaultSite::storeIdentity, "store-identity"},
    {FaultSite::regionOpen, "region-open"},
    {FaultSite::regionCommit, "region-commit"},
    {FaultSite::out, "out"},
    {FaultSite::in, "in"},
    {FaultSite::descriptor, "descriptor"},
    {FaultSite::open, "open"},
    {FaultSite::transferSetup, "transfer-setup"},
    {FaultSite::control, "control"},
    {FaultSite::any, "any"},
}};
constexpr std::array<Named<FaultKind>, 9> kKinds{{
    {FaultKind::refuse, "refuse"},
    {FaultKind::late, "late"},
    {FaultKind::status, "status"},
    {FaultKind::zero, "zero"},
    {FaultKind::unplug, "unplug"},
    {FaultKind::unplugForGood, "unplug-for-good"},
    {FaultKind::stall, "stall"},
    {FaultKind::corrupt, "corrupt"},
    {FaultKind::stay, "stay"},
}};

// The row of `table` that `match` picks, if any.
template <typename T, std::size_t N, typename Match>
std::optional<Named<T>> rowOf(const std::array<Named<T>, N>& table, Match match) {
  const auto found = std::find_if(table.begin(), table.end(), match);
  return found == table.end() ? std::nullopt : std::optional(*found);
}

constexpr std::string_view kShorthands[] = {
    "erase-fails",           "booter-region-open-fails", "identity-unreadable",
    "unplug-during-regions", "component-stored-wrong",
};

// The booter region is the first one written, the LAPSTER4 logger firmware the second, the
// languages the third.
constexpr std::uint32_t kSecondRegion = 2;
constexpr std::uint32_t kThirdRegion = 3;
constexpr std::uint32_t kDefaultUnreadableAttempts = 3;

std::optional<std::uint32_t> parseCount(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
  return value;
}

void setError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}
}  // namespace

std::uint32_t hostLimitMs(std::uint8_t code, std::uint8_t sub) {
  const bool longOne = (code == 13 && sub == 7) ||
                       (code == 14 && (sub == 25 || sub == 53 || sub == 63)) ||
                       (code == 15 && (sub == 1 || sub == 3 || sub == 5));
  return longOne ? 12000 : 4800;
}

std::uint32_t lateDelayMs(FaultSite site, std::uint8_t code, std::uint8_t sub) {
  switch (site) {
    case FaultSite::out:
    case FaultSite::in:
    case FaultSite::descriptor:
    case FaultSite::open:
      return 4800 + kLateMarginMs;
    default:
      return hostLimitMs(code, sub) + kLateMarginMs;
  }
}

std::uint32_t lateAnswerMs(const Fault& fault, std::uint32_t keyMs, std::uint8_t code,
                           std::uint8_t sub) {
  return fault.ms.value_or(keyMs + lateDelayMs(fault.site, code, sub));
}

std::optional<std::uint32_t> awayMs(const Fault& fault) {
  if (fault.kind == FaultKind::unplugForGood) return std::nullopt;
  return fault.ms.value_or(kUnplugAwayMs);
}

std::string_view siteName(FaultSite site) {
  const auto row = rowOf(kSites, [&](const Named<FaultSite>& n) { return n.value == site; });
  return row ? row->name : std::string_view();
}

std::string_view kindName(FaultKind kind) {
  const auto row = rowOf(kKinds, [&](const Named<FaultKind>& n) { return n.value == kind; });
  return row ? row->name : std::string_view();
}

std::optional<FaultSite> siteFromName(std::string_view name) {
  const auto row = rowOf(kSites, [&](const Named<FaultSite>& n) { return n.name == name; });
  return row ? std::optional(row->value) : std::nullopt;
}

std::optional<FaultKind> kindFromName(std::string_view name) {
  const auto row = rowOf(kKinds, [&](const Named<FaultKind>& n) { return n.name == name; });
  return row ? std::optional(row->value) : std::nullopt;
}

std::optional<FaultSite> siteOfCommand(std::uint8_t code, std::uint8_t sub,
                                       std::uint16_t secondParameter) {
  if (code == 12) return FaultSite::transferSetup;
  switch (code << 8 | sub) {
    case 14 << 8 | 7:
      return FaultSite::identify;
    case 14 << 8 | 1:
      return FaultSite::memoryRead;
    case 14 << 8 | 8:
      return FaultSite::storeIdentity;
    case 14 << 8 | 18:
    case 13 << 8 | 7:
      return FaultSite::dataErase;
    case 15 << 8 | 4:
      return FaultSite::restart;
    case 15 << 8 | 1:
      return FaultSite::erase;
    case 15 << 8 | 2:
      return FaultSite::program;
    case 13 << 8 | 15:
      return secondParameter == 0xFFFF ? FaultSite::regionOpen : FaultSite::regionCommit;
    default:
      return std::nullopt;
  }
}

std::vector<std::string> faultNames() {
  std::vector<std::string> names;
  for (const Named<FaultSite>& s : kSites) names.emplace_back(s.name);
  for (const Named<FaultKind>& k : kKinds) names.emplace_back(k.name);
  for (std::string_view s : kShorthands) names.emplace_back(s);
  return names;
}

namespace {
// The kinds that do not fit every place: what the place cannot carry.
std::string misfit(FaultSite site, FaultKind kind, bool timed) {
  if (kind == FaultKind::corrupt && (site == FaultSite::open || site == FaultSite::descriptor)) {
    return std::string(siteName(site)) + " carries no bytes to corrupt";
  }
  if (kind == FaultKind::stay && site != FaultSite::restart) {
    return "only a restart can keep the key in its program";
  }
  if (timed && kind != FaultKind::late && kind != FaultKind::unplug) {
    return "only late and unplug take a time";
  }
  return {};
}

std::optional<std::vector<Fault>> parseShorthand(std::string_view head,
                                                 std::optional<std::uint32_t> count, bool every,
                                                 std::string* error) {
  if (head == "identity-unreadable" && !every) {
    Fault f{FaultSite::identify, FaultKind::refuse};
    f.repeat = count.value_or(kDefaultUnreadableAttempts);
    return std::vector{f};
  }
  if (count) {
    // Only identity-unreadable takes a count, and only a plain one.
    const bool counted = head == "identity-unreadable";
    setError(error, "fault \"" + std::string(head) + "\" takes " +
                        (counted ? "no + after its count" : "no occurrence"));
    return std::nullopt;
  }
  if (head == "erase-fails") return std::vector{Fault{FaultSite::erase, FaultKind::refuse}};
  if (head == "booter-region-open-fails") {
    return std::vector{Fault{FaultSite::regionOpen, FaultKind::refuse}};
  }
  if (head == "component-stored-wrong") {
    // The first block of the logger firmware, whose head the key reports back.
    return std::vector{Fault{FaultSite::out, FaultKind::corrupt, 1, 1, kSecondRegion}};
  }
  // Pulled at the second block of the third component, back 5 s later.
  return std::vector{Fault{FaultSite::regionCommit, FaultKind::unplug, 2, 1, kThirdRegion}};
}
}  // namespace

std::optional<std::vector<Fault>> parseFault(std::string_view text, std::string* error) {
  std::string_view head = text;
  std::optional<std::uint32_t> count;
  bool every = false;
  if (const auto at = text.find('@'); at != std::string_view::npos) {
    head = text.substr(0, at);
    std::string_view number = text.substr(at + 1);
    every = number.ends_with('+');
    if (every) number.remove_suffix(1);
    count = parseCount(number);
    if (!count) {
      const bool large = !number.empty() &&
                         number.find_first_not_of("0123456789") == std::string_view::npos &&
                         number.find_first_not_of('0') != std::string_view::npos;
      setError(error,
               "fault \"" + std::string(text) + "\": the occurrence after @ " +
                   (large ? "is too large (at most 4294967295)" : "must be a whole number from 1"));
      return std::nullopt;
    }
  }
  if (std::find(std::begin(kShorthands), std::end(kShorthands), head) != std::end(kShorthands)) {
    return parseShorthand(head, count, every, error);
  }

  const auto colon = head.find(':');
  if (colon == std::string_view::npos) {
    setError(error, "unknown fault \"" + std::string(text) +
                        "\" (WHERE:WHAT[=MS][@N[+]] or a named fault; --list-faults shows them)");
    return std::nullopt;
  }
  const auto site = siteFromName(head.substr(0, colon));
  if (!site) {
    setError(error, "unknown fault place \"" + std::string(head.substr(0, colon)) + "\"");
    return std::nullopt;
  }
  std::string_view what = head.substr(colon + 1);
  std::optional<std::uint32_t> ms;
  if (const auto equals = what.find('='); equals != std::string_view::npos) {
    ms = parseCount(what.substr(equals + 1));
    if (!ms) {
      setError(error, "fault \"" + std::string(text) +
                          "\": the time after = must be a whole number of milliseconds from 1");
      return std::nullopt;
    }
    what = what.substr(0, equals);
  }
  const auto kind = kindFromName(what);
  if (!kind) {
    setError(error, "unknown fault kind \"" + std::string(what) + "\"");
    return std::nullopt;
  }
  if (const std::string why = misfit(*site, *kind, ms.has_value()); !why.empty()) {
    setError(error, "fault \"" + std::string(text) + "\": " + why);
    return std::nullopt;
  }
  Fault fault{*site, *kind, count.value_or(1)};
  if (every) fault.repeat = kEveryOccurrence;
  fault.ms = ms;
  return std::vector{fault};
}

std::string describe(const Fault& fault) {
  std::string text = std::string(siteName(fault.site)) + ":" + std::string(kindName(fault.kind));
  if (fault.ms) text += "=" + std::to_string(*fault.ms);
  text += "@" + std::to_string(fault.occurrence);
  if (fault.repeat == kEveryOccurrence) {
    text += "+";
  } else if (fault.repeat != 1) {
    text += " x" + std::to_string(fault.repeat);
  }
  if (fault.withinRegionOpen) text += " in region " + std::to_string(fault.withinRegionOpen);
  return text;
}

void FaultPlan::add(Fault fault) {
  entries_.push_back({fault, 0});
}

void FaultPlan::add(const std::vector<Fault>& faults) {
  for (const Fault& f : faults) add(f);
}

void FaultPlan::clear() {
  entries_.clear();
  for (auto& s : seen_) s = 0;
  regionOpens_ = 0;
}

std::uint32_t FaultPlan::seen(FaultSite site) const {
  return seen_[static_cast<std::size_t>(site)];
}

std::optional<Fault> FaultPlan::strike(std::initializer_list<FaultSite> sites) {
  std::optional<Fault> struck;
  for (const FaultSite site : sites) {
    ++seen_[static_cast<std::size_t>(site)];
    if (site == FaultSite::regionOpen) {
      ++regionOpens_;
      for (Entry& e : entries_) {
        if (e.fault.withinRegionOpen) e.counted = 0;  // counting starts afresh in each region
      }
    }
    for (Entry& e : entries_) {
      if (e.fault.site != site) continue;
      if (e.fault.withinRegionOpen && e.fault.withinRegionOpen != regionOpens_) continue;
      const std::uint32_t n = ++e.counted;
      if (!struck && n >= e.fault.occurrence && n - e.fault.occurrence < e.fault.repeat) {
        struck = e.fault;
      }
    }
  }
  return struck;
}

}  // namespace flashwell::emulator
