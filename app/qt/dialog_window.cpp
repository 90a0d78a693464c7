#include "app/qt/dialog_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <vector>

#include "app/qt/artwork.h"
#include "app/qt/dialog_handlers.h"
#include "app/qt/group_frame.h"
#include "app/qt/multiline_check_box.h"
#include "catalogue/cp1252.h"
#include "sequencer/control_ids.h"

namespace flashwell::app::qt {

namespace seq = flashwell::sequencer;

QString decodeText(const std::string& text) {
  QString decoded = QString::fromStdU16String(catalogue::cp1252ToUtf16(text));
  // A Windows static breaks its lines at CR LF, LF and a lone CR alike.
  decoded.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  decoded.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return decoded;
}

DialogWindow::DialogWindow(WindowTimers::Mode timerMode, QWidget* parent)
    : QDialog(parent), units_{1, 1}, timers_(timerMode, [this](unsigned id) {
        if (handlers_ != nullptr) handlers_->onTimer(id);
      }) {
  // The template's point size in the desktop's own typeface: the template's font is a
  // Windows one, and its measures are what the layout follows.
  QFont dialogFont = font();
  dialogFont.setPointSize(mainDialogTemplate().fontPoints);
  setFont(dialogFont);
  units_ = baseUnitsOf(dialogFont);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowIcon(programIcon());
  build(mainDialogTemplate());
}

DialogWindow::~DialogWindow() = default;

void DialogWindow::build(const DialogTemplate& dialog) {
  setWindowTitle(decodeText(std::string(dialog.caption)));
  setFixedSize(horizontalPixels(dialog.width, units_), verticalPixels(dialog.height, units_));
  int pictureCount = 0;
  std::vector<QWidget*> frames;
  for (const ControlSpec& entry : dialog.controls) {
    QWidget* widget = makeControl(entry);
    widget->setGeometry(toPixels(entry.x, entry.y, entry.width, entry.height, units_));
    if (entry.kind == ControlKind::staticBitmap) {
      // A picture static takes the size of its bitmap.
      widget->resize(kBannerWidth, kBannerHeight);
      if (pictureCount < 2) pictures_[pictureCount++] = static_cast<QLabel*>(widget);
    }
    if (entry.kind == ControlKind::groupBox) frames.push_back(widget);
    if ((entry.style & kDisabled) != 0) widget->setEnabled(false);
    if ((entry.style & kVisible) == 0) widget->hide();
    if ((entry.style & kTabStop) == 0 && entry.kind != ControlKind::staticText &&
        entry.kind != ControlKind::staticBitmap) {
      widget->setFocusPolicy(Qt::NoFocus);
    }
    if (entry.id != seq::kIdNone) controls_[entry.id] = widget;
  }
  // Frames lie beneath the controls they surround and let the mouse through.
  for (QWidget* frame : frames) frame->lower();
}

QWidget* DialogWindow::makeControl(const ControlSpec& entry) {
  const QString text = decodeText(std::string(entry.text));
  switch (entry.kind) {
    case ControlKind::pushButton:
    case ControlKind::defaultPushButton: {
      auto* button = new QPushButton(text, this);
      if (entry.kind == ControlKind::defaultPushButton) button->setDefault(true);
      connect(button, &QPushButton::clicked, this, [this, id = entry.id] { command(id); });
      return button;
    }
    case ControlKind::autoCheckBox: {
      auto* box = new MultiLineCheckBox(this);
      box->setText(text);
      connect(box, &QCheckBox::clicked, this, [this, id = entry.id] { command(id); });
      return box;
    }
    case ControlKind::staticBitmap: {
      auto* picture = new QLabel(this);
      picture->setPixmap(QPixmap::fromImage(bannerImage()));
      return picture;
    }
    case ControlKind::groupBox: {
      return new GroupFrame(text, this);
    }
    case ControlKind::progressBar: {
      progress_ = new QProgressBar(this);
      progress_->setRange(0, 100);  // a new bar's range until it is set
      progress_->setValue(0);
      progress_->setTextVisible(false);
      return progress_;
    }
    case ControlKind::staticText:
      break;
  }
  auto* label = new QLabel(text, this);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if ((entry.style & kClientEdge) != 0) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  return label;
}

QWidget* DialogWindow::control(int controlId) const {
  const auto it = controls_.find(controlId);
  return it == controls_.end() ? nullptr : it->second;
}

QLabel* DialogWindow::picture(int index) const {
  return index >= 0 && index < 2 ? pictures_[index] : nullptr;
}

int DialogWindow::run() {
  if (handlers_ != nullptr) handlers_->onInitDialog();
  if (ended_) return result_;
  exec();
  return result_;
}

bool DialogWindow::begin() {
  if (handlers_ != nullptr) handlers_->onInitDialog();
  if (ended_) return false;
  QDialog::show();
  return true;
}

void DialogWindow::setCaption(const std::string& text) {
  setWindowTitle(decodeText(text));
}

void DialogWindow::setText(int controlId, const std::string& text) {
  QWidget* widget = control(controlId);
  const QString decoded = decodeText(text);
  if (controlId == sequencer::kIdStatus) statusText_ = decoded;
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    const bool noted = controlId == sequencer::kIdStatus && !statusNote_.isEmpty();
    label->setText(noted ? statusNote_ : decoded);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(decoded);
    button->update();
  } else if (auto* frame = qobject_cast<GroupFrame*>(widget)) {
    frame->setTitle(decoded);
  }
}

void DialogWindow::setStatusNote(const QString& note) {
  statusNote_ = note;
  if (auto* label = qobject_cast<QLabel*>(control(sequencer::kIdStatus))) {
    label->setText(note.isEmpty() ? statusText_ : note);
  }
}

void DialogWindow::enable(int controlId, bool enabled) {
  if (QWidget* widget = control(controlId)) widget->setEnabled(enabled);
}

void DialogWindow::show(int controlId, bool shown) {
  if (QWidget* widget = control(controlId)) widget->setVisible(shown);
}

void DialogWindow::setCheck(int controlId, bool checked) {
  if (auto* box = qobject_cast<QAbstractButton*>(control(controlId))) {
    if (box->isCheckable()) box->setChecked(checked);
  }
}

void DialogWindow::setProgressRange(int minimum, int maximum) {
  progress_->setRange(minimum, maximum);
}

void DialogWindow::setProgressPos(int position) {
  // The bar clamps its position to its range, as a Windows bar does.
  progress_->setValue(std::clamp(position, progress_->minimum(), progress_->maximum()));
}

seq::MessageBoxAnswer DialogWindow::messageBox(const std::string& text, seq::MessageBoxKind kind) {
  const bool question = kind == seq::MessageBoxKind::yesNoQuestion;
  QMessageBox box(question ? QMessageBox::Question : QMessageBox::Information, windowTitle(),
                  decodeText(text), question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                  this);
  box.setTextFormat(Qt::PlainText);
  if (question) box.setDefaultButton(QMessageBox::Yes);
  const int answer = box.exec();
  if (!question) return seq::MessageBoxAnswer::ok;
  return answer == QMessageBox::Yes ? seq::MessageBoxAnswer::yes : seq::MessageBoxAnswer::no;
}

void DialogWindow::plainMessageBox(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, windowTitle(), text, QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void DialogWindow::setTimer(unsigned timerId, unsigned periodMs) {
  if (!ended_) timers_.set(timerId, periodMs);
}

void DialogWindow::killTimer(unsigned timerId) {
  timers_.kill(timerId);
}

void DialogWindow::endDialog(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  timers_.killAll();  // a window that is gone has no timers
  done(result);
}

void DialogWindow::closeEvent(QCloseEvent* event) {
  // The controller decides; it ends the dialog itself when the close may go ahead.
  event->ignore();
  if (!ended_ && handlers_ != nullptr) handlers_->onClose();
  if (ended_) event->accept();
}

void DialogWindow::reject() {
  if (!ended_ && handlers_ != nullptr) handlers_->onEscape();
}

void DialogWindow::command(int controlId) {
  if (ended_ || handlers_ == nullptr) return;
  switch (controlId) {
    case seq::kIdExit:
      handlers_->onExit();
      break;
    case seq::kIdCancel:
      handlers_->onCancelCommand();
      break;
    case seq::kIdOnly:
      handlers_->onOnly();
      break;
    case seq::kIdAlways:
      handlers_->onAlways();
      break;
    case seq::kIdNever:
      handlers_->onNever();
      break;
    case seq::kIdProceed:
      handlers_->onProceed();
      break;
    default:
      break;
  }
}

}  // namespace flashwell::app::qt
