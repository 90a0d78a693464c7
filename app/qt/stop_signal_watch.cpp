#include "app/qt/stop_signal_watch.h"

namespace flashwell::app::qt {

std::unique_ptr<QSocketNotifier> watchStopSignals(StopSignals& stops, DialogSession& session) {
  if (stops.fd() < 0) return nullptr;
  auto notifier = std::make_unique<QSocketNotifier>(stops.fd(), QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, [&stops, &session] {
    for (int signal = stops.take(); signal != 0; signal = stops.take()) {
      session.stopFromOutside(signal);
    }
  });
  return notifier;
}

}  // namespace flashwell::app::qt
