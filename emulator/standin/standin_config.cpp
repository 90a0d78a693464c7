#include "emulator/standin/standin_config.h"

#include "emulator/faults.h"
#include "emulator/named_states.h"

namespace flashwell::emulator::standin {

namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
    s.remove_suffix(1);
  }
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

}  // namespace

std::optional<StandinConfig> parseStandinConfig(std::string_view text, std::string* error) {
  StandinConfig config;
  int number = 0;
  auto fail = [&](const std::string& why) -> std::optional<StandinConfig> {
    if (error) *error = "line " + std::to_string(number) + ": " + why;
    return std::nullopt;
  };
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (line.empty() || line.front() == '#') continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return fail("no '=' in \"" + std::string(line) + "\"");
    const std::string name(trimmed(line.substr(0, eq)));
    const std::string value(trimmed(line.substr(eq + 1)));
    if (name == "state") {
      if (!namedKeyState(value)) return fail("no starting state named '" + value + "'");
      config.state = value;
    } else if (name == "fault") {
      std::string why;
      if (!parseFault(value, &why)) return fail(why);
      config.faults.push_back(value);
    } else if (name == "plugged") {
      if (value != "0" && value != "1") return fail("plugged is 0 or 1, not '" + value + "'");
      config.plugged = value == "1";
    } else if (name == "key-file" || name == "trace" || name == "records") {
      if (value.empty()) return fail(name + " names no file");
      std::optional<std::string>& field = name == "key-file" ? config.keyFile
                                          : name == "trace"  ? config.trace
                                                             : config.records;
      field = value;
    } else {
      return fail("unknown setting '" + name + "'");
    }
  }
  return config;
}

}  // namespace flashwell::emulator::standin
