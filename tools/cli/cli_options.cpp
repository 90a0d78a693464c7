#include "tools/cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <charconv>
#include <filesystem>
#include <map>
#include <system_error>

#include "emulator/faults.h"
#include "emulator/named_states.h"

namespace flashwell::cli {

std::optional<std::uint16_t> parseLcid(const std::string& text) {
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits = digits.substr(2);
  }
  if (digits.empty() || digits.size() > 4) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const int lower = std::tolower(static_cast<unsigned char>(c));
    value = value * 16 +
            static_cast<std::uint32_t>(std::isdigit(lower) ? lower - '0' : lower - 'a' + 10);
  }
  return static_cast<std::uint16_t>(value);
}

namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

// Why a file cannot be written at `path` (a folder there, or no folder for it); empty when it
// can be tried. Checked before the run, so that a run is not lost to a file it cannot save.
std::string unwritablePath(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (path.empty()) return "no file named";
  const fs::path p(path);
  if (fs::is_directory(p, ec)) return "'" + path + "' is a folder";
  const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec)) return "the folder of '" + path + "' does not exist";
  return {};
}

bool sameFile(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code ec1, ec2;
  const auto ca = fs::weakly_canonical(fs::absolute(a, ec1), ec1);
  const auto cb = fs::weakly_canonical(fs::absolute(b, ec2), ec2);
  return !ec1 && !ec2 && ca.lexically_normal() == cb.lexically_normal();
}

// A whole number of seconds from 1 on (CLI11's own check names its range in floating point).
CLI::Validator wholeSeconds() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        std::uint32_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size() || value == 0) {
          return "'" + text + "' is not a whole number of seconds from 1 to 4294967295";
        }
        return {};
      },
      "SECONDS");
}

}  // namespace

ParseResult parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                             std::ostream& err) {
  CLI::App app{"Loads the firmware that this tool carries onto a MEMPOD key, without a window.",
               "flashwell-cli"};
  std::string emulated;
  std::string mode;
  bool yes = false;
  std::vector<std::string> faults;
  std::string trace;
  std::string clock;
  std::string lcid;
  std::string keyState;
  std::uint32_t timeout = 0;
  bool listFaults = false;

  CLI::Option* emulatedOpt =
      app.add_option("--emulated", emulated,
                     "use the virtual key, starting as SCENARIO: " +
                         joined({"fresh", "booter", "wrong-kind", "small-packet"}))
          ->expected(0, 1)
          ->type_name("SCENARIO");
  CLI::Option* modeOpt =
      app.add_option("--mode", mode, "tick this mode once the key has been read, then PROCEED")
          ->check(CLI::IsMember({"only", "always", "never"}));
  app.add_flag("--yes", yes, "answer the erase question Yes (otherwise No)");
  CLI::Option* faultOpt =
      app.add_option("--fault", faults, "a fault of the virtual key: WHERE:WHAT[@N] or a name")
          ->type_name("NAME");
  app.add_flag("--list-faults", listFaults,
               "print every fault place, fault kind and named fault, one a line, and end");
  CLI::Option* traceOpt =
      app.add_option("--trace", trace, "write the virtual key's trace to FILE")->type_name("FILE");
  CLI::Option* clockOpt = app.add_option("--clock", clock, "simulated (with --emulated) or real")
                              ->check(CLI::IsMember({"simulated", "real"}));
  CLI::Option* lcidOpt =
      app.add_option("--lcid", lcid, "the locale as a Windows locale id, such as 0C0A")
          ->type_name("HEX");
  CLI::Option* keyStateOpt =
      app.add_option("--key-state", keyState, "load the virtual key from FILE and save it there")
          ->type_name("FILE");
  CLI::Option* timeoutOpt =
      app.add_option("--timeout", timeout, "press EXIT after SECONDS on the clock in use")
          ->type_name("SECONDS")
          ->check(wholeSeconds());

  try {
    app.parse(argc, argv);
    if (listFaults) {
      for (const std::string& name : emulator::faultNames()) out << name << "\n";
      return {std::nullopt, kExitDone};
    }
    CliOptions o;
    if (emulatedOpt->count() > 0) {
      o.emulated = emulated.empty() ? std::string("fresh") : emulated;
      if (!emulator::namedKeyState(*o.emulated)) {
        throw CLI::ValidationError("--emulated", "no starting state named '" + *o.emulated + "' (" +
                                                     joined(emulator::namedKeyStateNames()) + ")");
      }
    }
    const bool needsKey = faultOpt->count() || traceOpt->count() || keyStateOpt->count() ||
                          (clockOpt->count() && clock == "simulated");
    if (needsKey && !o.emulated) {
      throw CLI::ValidationError("--emulated",
                                 "--fault, --trace, --key-state and --clock simulated need it");
    }
    static const std::map<std::string, std::uint8_t> modes{
        {"only", 1}, {"always", 2}, {"never", 3}};
    if (modeOpt->count()) o.mode = modes.at(mode);
    o.yes = yes;
    for (const std::string& f : faults) {
      std::string why;
      if (!emulator::parseFault(f, &why)) throw CLI::ValidationError("--fault", why);
    }
    o.faults = faults;
    if (traceOpt->count()) {
      if (const std::string why = unwritablePath(trace); !why.empty()) {
        throw CLI::ValidationError("--trace", why);
      }
      o.tracePath = trace;
    }
    o.simulatedClock = clockOpt->count() ? clock == "simulated" : o.emulated.has_value();
    if (lcidOpt->count()) {
      o.lcid = parseLcid(lcid);
      if (!o.lcid) throw CLI::ValidationError("--lcid", "'" + lcid + "' is not a hexadecimal LCID");
    }
    if (keyStateOpt->count()) {
      if (const std::string why = unwritablePath(keyState); !why.empty()) {
        throw CLI::ValidationError("--key-state", why);
      }
      if (o.tracePath && sameFile(*o.tracePath, keyState)) {
        throw CLI::ValidationError("--trace", "'" + trace + "' is the --key-state file as well");
      }
      o.keyStatePath = keyState;
    }
    if (timeoutOpt->count()) o.timeoutSeconds = timeout;
    return {o, kExitDone};
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return {std::nullopt, kExitDone};
  } catch (const CLI::Error& e) {
    err << "flashwell-cli: " << e.what() << "\n" << app.help();
    return {std::nullopt, kExitUsage};
  }
}

}  // namespace flashwell::cli
