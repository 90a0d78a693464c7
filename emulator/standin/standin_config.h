#pragma once

// What a run of the stand-in driver is to do, read from the file that scripts/wine-key leaves
// beside its DLL (the driver inherits the service manager's environment, not the test's). One
// NAME=VALUE a line; blank lines and lines starting with # are skipped:
//   state=NAME        the key's starting state by name (fresh unless told)
//   key-file=PATH     start from the key saved there, if there is one, and save it there
//   trace=PATH        write the trace there
//   records=PATH      write how many records of each size were received there
//   fault=FAULT       a fault, as the emulated driver takes them; may be repeated
//   plugged=0|1       whether the key is on the bus when the driver starts (1 unless told)

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flashwell::emulator::standin {

struct StandinConfig {
  std::string state = "fresh";
  std::optional<std::string> keyFile;
  std::optional<std::string> trace;
  std::optional<std::string> records;
  std::vector<std::string> faults;
  bool plugged = true;
};

// nullopt, with the line and what is wrong with it in `error`, for a text that is not such a
// configuration; the state and the faults are checked here as well.
std::optional<StandinConfig> parseStandinConfig(std::string_view text, std::string* error);

}  // namespace flashwell::emulator::standin
