#include "app/qt/window_free_start.h"

#include <string>
#include <string_view>

namespace flashwell::app::qt {

namespace {

constexpr int kExitNoDisplay = 2;

std::string programName(const char* argv0) {
  const std::string_view path = argv0 != nullptr ? argv0 : "flashwell";
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool isSet(const char* (*environment)(const char*), const char* name) {
  const char* value = environment(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

std::optional<int> answerWithoutWindow(int argc, const char* const* argv, std::ostream& out,
                                       std::ostream& err, const char* (*environment)(const char*)) {
  const std::string name = programName(argc > 0 ? argv[0] : nullptr);
  bool platformNamed = isSet(environment, "QT_QPA_PLATFORM");
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      out << "Usage: " << name << " [Qt options, such as -platform NAME]\n"
          << "Loads the firmware that this tool carries onto a MEMPOD key, in a window.\n"
          << "flashwell-cli does the same without a window; see flashwell(1).\n"
          << "  --help     print this help and end\n"
          << "  --version  print the version and end\n";
      return 0;
    }
    if (arg == "--version") {
      out << name << " " << FLASHWELL_VERSION << "\n";
      return 0;
    }
    if (arg == "-platform" || arg.starts_with("-platform=")) platformNamed = true;
  }
  // Qt itself would abort without a display; the command-line program needs none.
  if (!platformNamed && !isSet(environment, "DISPLAY") && !isSet(environment, "WAYLAND_DISPLAY")) {
    err << name << ": no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); "
        << "flashwell-cli works without one\n";
    return kExitNoDisplay;
  }
  return std::nullopt;
}

}  // namespace flashwell::app::qt
