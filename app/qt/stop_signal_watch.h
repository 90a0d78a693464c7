#pragma once

// The stop signals read on the window thread: a QSocketNotifier on their descriptor hands each
// one to the dialog session, which acts on it as on EXIT.

#include <QSocketNotifier>

#include <memory>

#include "app/posix_signals.h"
#include "app/qt/dialog_session.h"

namespace flashwell::app::qt {

// Watches `stops` for `session` while the notifier lives; none when they have no descriptor.
std::unique_ptr<QSocketNotifier> watchStopSignals(StopSignals& stops, DialogSession& session);

}  // namespace flashwell::app::qt
