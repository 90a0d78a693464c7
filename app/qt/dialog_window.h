#pragma once

// The main dialog on Qt Widgets: every control of template 102 at its template place, drawn
// with the dialog font's base units, and the dialog view that the controller writes through.
// Commands, the timer, the close command and Escape go to the controller's handlers.

#include <QDialog>
#include <QString>

#include <map>
#include <string>

#include "app/dialog_template.h"
#include "app/qt/dialog_units.h"
#include "app/qt/window_timers.h"
#include "sequencer/dialog_view.h"

class QLabel;
class QProgressBar;

namespace flashwell::app::qt {

class DialogHandlers;

// A Windows-1252 text of the tool as Unicode, with its line breaks as Qt draws them.
QString decodeText(const std::string& text);

class DialogWindow : public QDialog, public sequencer::DialogView {
  Q_OBJECT

 public:
  explicit DialogWindow(WindowTimers::Mode timerMode = WindowTimers::Mode::system,
                        QWidget* parent = nullptr);
  ~DialogWindow() override;

  // The controller; set before run().
  void setHandlers(DialogHandlers* handlers) { handlers_ = handlers; }

  // Runs the initialisation, then the window modally until the dialog is ended; returns the
  // result given to endDialog.
  int run();
  // The initialisation, then the window shown without a modal run of its own (a test steps
  // it); false when the dialog ended already.
  bool begin();

  // The controls by identifier (null for an unknown one), and the two pictures.
  QWidget* control(int controlId) const;
  QLabel* picture(int index) const;
  BaseUnits baseUnits() const { return units_; }
  WindowTimers& timers() { return timers_; }
  bool ended() const { return ended_; }

  // The dialog view.
  void setCaption(const std::string& text) override;
  void setText(int controlId, const std::string& text) override;
  void enable(int controlId, bool enabled) override;
  void show(int controlId, bool shown) override;
  void setCheck(int controlId, bool checked) override;
  void setProgressRange(int minimum, int maximum) override;
  void setProgressPos(int position) override;
  sequencer::MessageBoxAnswer messageBox(const std::string& text,
                                         sequencer::MessageBoxKind kind) override;
  void setTimer(unsigned timerId, unsigned periodMs) override;
  void killTimer(unsigned timerId) override;
  void endDialog(int result) override;

  // Shows a message box with an OK button and no icon, as the link's busy notice is.
  void plainMessageBox(const QString& text);
  // A line of the program's own that the status line shows in place of the sequencer's texts
  // until it is cleared with an empty one.
  void setStatusNote(const QString& note);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void build(const DialogTemplate& dialog);
  QWidget* makeControl(const ControlSpec& entry);
  void command(int controlId);

  BaseUnits units_;
  WindowTimers timers_;
  DialogHandlers* handlers_ = nullptr;
  std::map<int, QWidget*> controls_;
  QLabel* pictures_[2] = {nullptr, nullptr};
  QProgressBar* progress_ = nullptr;
  bool ended_ = false;
  int result_ = 0;
  QString statusText_;  // the sequencer's last status text
  QString statusNote_;
};

}  // namespace flashwell::app::qt
