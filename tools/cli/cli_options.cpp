#include "tools/cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <system_error>

#include "emulator/faults.h"
#include "emulator/key_file.h"
#include "emulator/named_states.h"
#include "files/file_checks.h"
#include "protocol/request_block.h"
#include "tools/cli/json_output.h"
#include "trace/log_file.h"
#include "trace/replay_driver.h"

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
      "");
}

constexpr const char* kFooter =
    R"(Without --mode a run asks for the mode, and then the erase question, on the terminal, as the
window does; with no terminal to ask on, or under --json, it is refused (unless --timeout ends
it). A run waits for the key until it is plugged in: Ctrl-C stops it. info waits 30 seconds at
most.

Exit codes:
  0  the final report was shown (info: the key was read)
  1  a failure display was reached, or the key state could not be saved
  2  usage error, or a file named on the command line was refused
  3  the erase question was answered No, or no mode was chosen
  4  --timeout ran out
  5  --replay: the run made a request that differs from the recorded one
  6  info: no key was found in its time
  128+N  a signal N ended the run (after an orderly exit)

JSON output (--json), version 1, in docs/json-output.md:
  One JSON object per line (UTF-8), each with v (1) and event. Events and fields:
  caption, status, prompt {text}; column {side, heading, rows}; question {text,
  answer (true or false)}; message {text} (the final report); notice {text};
  phase {id, component, text}; error {code, text}; progress {step, percent, sent,
  total, elapsed_ms}; key (info) {program, packet, mark, tool, key}; replay {line,
  recorded, sent}; end {exit_code}, always the last, also after a usage error.
  Phase ids, in their order: wait-key, read-key, booter-entry, firmware-erase,
  firmware-write, booter-leave, data-erase, mark, component, read-back, exit.
  A row's version is {major, minor, patch, date} or null with a state.)";

// --list-faults: the places, the kinds and the named faults, each under its heading.
void printFaultList(std::ostream& out) {
  std::vector<std::string> places, kinds, named;
  for (const std::string& name : emulator::faultNames()) {
    if (emulator::siteFromName(name)) {
      places.push_back(name);
    } else if (emulator::kindFromName(name)) {
      kinds.push_back(name);
    } else {
      named.push_back(name);
    }
  }
  for (const auto& [heading, names] :
       {std::pair{"Places (WHERE):", &places}, std::pair{"Kinds (WHAT):", &kinds},
        std::pair{"Named faults:", &named}}) {
    out << heading << "\n";
    for (const std::string& name : *names) out << "  " << name << "\n";
  }
}

// The command line names --json, also when it cannot be read otherwise.
bool asksForJson(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--json") return true;
  }
  return false;
}

// Reads a recorded log for --replay; throws a usage error naming what is wrong with it.
std::vector<trace::LogEvent> replayLogFrom(const std::string& path) {
  if (const std::string why = files::inputProblem(path, trace::kMaxLogBytes); !why.empty()) {
    throw CLI::ValidationError("--replay", "'" + path + "' " + why);
  }
  std::ifstream in(path);
  if (!in) throw CLI::ValidationError("--replay", "cannot read '" + path + "'");
  std::string why;
  auto events = trace::readLog(in, &why);
  if (!events) throw CLI::ValidationError("--replay", "'" + path + "', " + why);
  why = trace::whyNotReplayable(*events);
  if (!why.empty()) throw CLI::ValidationError("--replay", "'" + path + "': " + why);
  return std::move(*events);
}

// Checked before the run, so that a run is not lost to a file it cannot save.
// An option whose value names a file.
CLI::Option* fileOption(CLI::App& app, const char* name, std::string& path, const char* what) {
  return app.add_option(name, path, what)->type_name("FILE");
}

void checkWritable(const char* option, const std::string& path) {
  if (const std::string why = files::outputProblem(path); !why.empty()) {
    throw CLI::ValidationError(option, "'" + path + "' " + why);
  }
}

}  // namespace

ParseResult parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                             std::ostream& err, Console console) {
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
  std::string keyTrace;
  std::string replay;
  bool json = false;
  bool verbose = false;
  app.footer(kFooter);
  app.set_version_flag("--version", versionText(),
                       "print the program's version and the version "
                       "of the MEMPOD firmware it carries, and end");
  CLI::App* info =
      app.add_subcommand("info",
                         "wait for the key, print what it holds beside what this tool carries, "
                         "and end; nothing is erased, programmed or written");
  info->fallthrough();

  CLI::Option* emulatedOpt =
      app.add_option("--emulated", emulated,
                     "use the virtual key, starting as SCENARIO (fresh when none is named): " +
                         joined(emulator::namedKeyStateNames()))
          ->expected(0, 1)
          ->type_name("SCENARIO");
  CLI::Option* modeOpt =
      app.add_option("--mode", mode,
                     "tick MODE (only, always or never) once the key has been read, then PROCEED")
          ->type_name("MODE")
          ->check(CLI::IsMember({"only", "always", "never"}).description(""));
  app.add_flag("--yes", yes, "answer the erase question Yes (otherwise No)");
  CLI::Option* faultOpt =
      app.add_option("--fault", faults,
                     "a fault of the virtual key: WHERE:WHAT[=MS][@N[+]] or a name")
          ->type_name("NAME");
  app.add_flag("--list-faults", listFaults,
               "print the fault places, the fault kinds and the named faults, each under its "
               "heading, and end");
  CLI::Option* traceOpt = fileOption(
      app, "--trace", trace,
      "write the traffic log of the run (what crosses the driver) to FILE, on any backend");
  CLI::Option* keyTraceOpt =
      fileOption(app, "--key-trace", keyTrace, "write the virtual key's own trace to FILE");
  CLI::Option* replayOpt =
      fileOption(app, "--replay", replay,
                 "answer from the traffic log in FILE instead of a key, in simulated time");
  app.add_flag("--json", json, "one JSON object per line for each event (see below)");
  app.add_flag("--verbose", verbose,
               "also say on stderr whether sleep and shutdown are held off during the upgrade");
  CLI::Option* clockOpt = app.add_option("--clock", clock, "simulated (with --emulated) or real")
                              ->type_name("CLOCK")
                              ->check(CLI::IsMember({"simulated", "real"}).description(""));
  CLI::Option* lcidOpt =
      app.add_option("--lcid", lcid, "the locale as a Windows locale id, such as 0C0A")
          ->type_name("HEX");
  CLI::Option* keyStateOpt =
      fileOption(app, "--key-state", keyState,
                 "load the virtual key from FILE, when it exists, and save it there");
  CLI::Option* timeoutOpt =
      app.add_option("--timeout", timeout,
                     "press EXIT after SECONDS on the clock in use (info: 30 by default)")
          ->type_name("SECONDS")
          ->check(wholeSeconds());

  try {
    app.parse(argc, argv);
    if (listFaults) {
      printFaultList(out);
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
    const bool needsKey = faultOpt->count() || keyTraceOpt->count() || keyStateOpt->count() ||
                          (clockOpt->count() && clock == "simulated");
    if (replayOpt->count()) {
      if (o.emulated || needsKey) {
        throw CLI::ValidationError("--replay",
                                   "takes no --emulated, --fault, --key-trace, --key-state or "
                                   "--clock simulated: the log answers in their place");
      }
      if (clockOpt->count()) {
        throw CLI::ValidationError("--replay", "runs in simulated time; --clock is not for it");
      }
      o.replayLog = replayLogFrom(replay);
      o.replayPath = replay;
    }
    if (needsKey && !o.emulated) {
      throw CLI::ValidationError("--emulated",
                                 "--fault, --key-trace, --key-state and --clock simulated need it");
    }
    o.info = info->parsed();
    if (o.info && (modeOpt->count() || yes)) {
      throw CLI::ValidationError("info", "reads the key only: --mode and --yes are not for it");
    }
    o.json = json;
    o.verbose = verbose;
    static const std::map<std::string, protocol::UpgradeOption> modes{
        {"only", protocol::UpgradeOption::only},
        {"always", protocol::UpgradeOption::always},
        {"never", protocol::UpgradeOption::never}};
    if (modeOpt->count()) o.mode = modes.at(mode);
    o.yes = yes;
    for (const std::string& f : faults) {
      std::string why;
      if (!emulator::parseFault(f, &why)) throw CLI::ValidationError("--fault", why);
    }
    o.faults = faults;
    if (traceOpt->count()) {
      checkWritable("--trace", trace);
      o.tracePath = trace;
    }
    if (keyTraceOpt->count()) {
      checkWritable("--key-trace", keyTrace);
      if (o.tracePath && sameFile(*o.tracePath, keyTrace)) {
        throw CLI::ValidationError("--key-trace", "'" + keyTrace + "' is the --trace file as well");
      }
      o.keyTracePath = keyTrace;
    }
    if (o.replayPath && o.tracePath && sameFile(*o.tracePath, *o.replayPath)) {
      throw CLI::ValidationError("--trace", "'" + trace + "' is the --replay file as well");
    }
    o.simulatedClock =
        clockOpt->count() ? clock == "simulated" : o.emulated.has_value() || o.replayPath;
    if (lcidOpt->count()) {
      o.lcid = parseLcid(lcid);
      if (!o.lcid) throw CLI::ValidationError("--lcid", "'" + lcid + "' is not a hexadecimal LCID");
    }
    if (keyStateOpt->count()) {
      if (const std::string why = emulator::keyStateProblem(keyState); !why.empty()) {
        throw CLI::ValidationError("--key-state", "'" + keyState + "' " + why);
      }
      for (const auto& [option, path] :
           {std::pair{"--trace", o.tracePath}, std::pair{"--key-trace", o.keyTracePath}}) {
        if (path && sameFile(*path, keyState)) {
          throw CLI::ValidationError(option, "'" + *path + "' is the --key-state file as well");
        }
      }
      o.keyStatePath = keyState;
    }
    if (keyStateOpt->count() && !emulated.empty() && std::filesystem::exists(keyState)) {
      throw CLI::ValidationError("--emulated", "'" + emulated + "' and an existing --key-state '" +
                                                   keyState + "': the key is loaded from the file");
    }
    if (timeoutOpt->count()) o.timeoutSeconds = timeout;
    if (o.info && !o.timeoutSeconds) o.timeoutSeconds = kInfoTimeoutSeconds;
    // A run without a mode waits at the choice: on a terminal it is asked for, and otherwise
    // only a time limit ends it.
    if (!o.info && !o.mode) {
      o.ask = console.input && !json;
      if (!o.ask && !o.timeoutSeconds) {
        throw CLI::ValidationError("--mode",
                                   "no mode given and no terminal to ask for one on: "
                                   "give --mode only, always or never");
      }
    }
    o.terminal = console.output;
    return {o, kExitDone};
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return {std::nullopt, kExitDone};
  } catch (const CLI::CallForVersion& e) {
    out << e.what() << "\n";
    return {std::nullopt, kExitDone};
  } catch (const CLI::Error& e) {
    err << "flashwell-cli: " << e.what() << "\nRun with --help for more information.\n";
    if (asksForJson(argc, argv)) writeJsonRefusal(out, e.what(), kExitUsage);
    return {std::nullopt, kExitUsage};
  }
}

}  // namespace flashwell::cli
