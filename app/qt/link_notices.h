#pragma once

// The link's notices shown on the window thread. The worker that raises one waits until the
// user has dismissed the message box; it stops counting as a user of the clock meanwhile, so
// that simulated time goes on without it. Once the window has ended, notices return at once
// (and one still waiting is let go), so the worker can always be stopped.

#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "usb/clock.h"
#include "usb/driver.h"

namespace flashwell::app::qt {

class DialogWindow;

inline constexpr const char* kUdevRuleName = "60-flashwell.rules";

// The message shown once per run when the system refuses access to the key's device, in the
// language of that number.
QString accessDeniedMessage(const std::string& path, std::uint16_t languageNumber);

class QtLinkNotices final : public usb::LinkNotices {
 public:
  // `languageNumber`: the language that the notices are worded in.
  QtLinkNotices(DialogWindow& window, usb::Clock& clock, std::uint16_t languageNumber);
  ~QtLinkNotices() override;
  QtLinkNotices(const QtLinkNotices&) = delete;
  QtLinkNotices& operator=(const QtLinkNotices&) = delete;

  void anotherProgramUsesKey() override;
  void keyAccessDenied(const std::string& path) override;

  // No more message boxes: the window has ended.
  void shutdown();

  bool accessDeniedShown() const { return accessDeniedShown_.load(); }

 private:
  struct Channel;

  // Shows the message on the window thread and returns once it was dismissed.
  void showAndWait(const QString& message);

  QPointer<DialogWindow> window_;
  usb::Clock& clock_;
  const std::uint16_t language_;
  std::shared_ptr<Channel> channel_;
  std::atomic<bool> accessDeniedShown_{false};
};

}  // namespace flashwell::app::qt
