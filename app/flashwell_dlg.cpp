#include "app/flashwell_dlg.h"

#include <utility>

#include "app/dialog_template.h"
#include "app/keep_awake.h"
#include "catalogue/catalogue.h"
#include "catalogue/embedded_package.h"
#include "protocol/worker.h"
#include "sequencer/control_ids.h"

namespace flashwell::app {

namespace {
// The model words of the logger family that the tool knows.
constexpr std::uint16_t kFirstModel = 1;
constexpr std::uint16_t kLastModel = 20;
}  // namespace

// The catalogue as the sequencer sees it, with the dialog's current key-version entry.
class CFlashwell_02Dlg::Package final : public sequencer::PackageServices {
 public:
  Package(std::vector<std::uint8_t> bytes, catalogue::SystemLocale& locale)
      : bytes_(std::move(bytes)),
        catalogue_(bytes_, catalogue::embeddedTables()),
        locale_(locale) {}

  std::span<std::uint8_t> bytes() { return bytes_; }
  catalogue::Catalogue& catalogue() { return catalogue_; }

  void chooseLanguage() override { catalogue_.chooseLanguage(locale_); }
  std::string text(std::uint16_t id) override { return catalogue_.lookupText(id); }
  bool assignRegionSlots(std::span<protocol::RegionSlot, 10> slots) override {
    catalogue::RegionSlots copy;
    std::copy(slots.begin(), slots.end(), copy.begin());
    const bool complete = catalogue_.assignRegionSlots(copy);
    std::copy(copy.begin(), copy.end(), slots.begin());
    return complete;
  }
  catalogue::Result buildImageVersionRows() override { return catalogue_.buildImageVersionRows(); }
  std::string imageColumnText() override { return catalogue_.showImageVersions(); }
  sequencer::KeyColumn keyColumn(const protocol::RequestBlock& block,
                                 std::uint8_t booterPasses) override {
    const catalogue::KeyVersionsColumn c =
        catalogue_.showKeyVersions(block.identity, block.componentVersions, block.keyVariant.get(),
                                   booterPasses, currentEntry_);
    return {c.marker, c.text};
  }

 private:
  std::vector<std::uint8_t> bytes_;
  catalogue::Catalogue catalogue_;
  catalogue::SystemLocale& locale_;
  protocol::ComponentVersion currentEntry_;  // the key-version entry the column is built from
};

struct CFlashwell_02Dlg::WorkerThread {
  WorkerThread(protocol::RequestBlock& block, const DialogEnvironment& env)
      : worker(block, env.driver, env.clock, env.notices) {}
  protocol::Worker worker;
  std::thread thread;
};

CFlashwell_02Dlg::CFlashwell_02Dlg(sequencer::DialogView& view,
                                   const DialogEnvironment& environment,
                                   std::vector<std::uint8_t> package)
    : mainIcon_(kIconResource),
      view_(view),
      environment_(environment),
      package_(std::make_unique<Package>(std::move(package), environment.locale)),
      sequencer_(std::make_unique<sequencer::Sequencer>(view_, block_, *package_)) {}

CFlashwell_02Dlg::~CFlashwell_02Dlg() {
  stopWorker();
  if (keptAwake_) keepAwake_->release();
}

bool CFlashwell_02Dlg::OnInitDialog() {
  package_->catalogue().setLanguageNumber(0);
  sequencer_->begin();  // chooses the language

  const catalogue::OpenPackageResult opened = package_->catalogue().openPackage();
  if (opened.result == catalogue::Result::ok) {
    view_.setCaption(opened.caption);
    view_.setText(sequencer::kIdToolColumn, opened.imageColumn);
  } else {
    sequencer_->refusePackage();
    package_->catalogue().clearModelWord();
  }

  block_.zero();
  block_.imageBase = package_->bytes().data();
  block_.imageSize = package_->bytes().size();

  startWorker();
  view_.setTimer(sequencer::kTimerId, sequencer::kTimerPeriodMs);
  return true;
}

void CFlashwell_02Dlg::startWorker() {
  if (worker_) return;
  worker_ = std::make_unique<WorkerThread>(block_, environment_);
  usb::Clock& clock = environment_.clock;
  clock.addThread();
  protocol::Worker& worker = worker_->worker;
  worker_->thread = std::thread([&worker, &clock] {
    worker.WorkerMain();
    clock.removeThread();
  });
}

void CFlashwell_02Dlg::stopWorker() {
  if (!worker_) return;
  block_.exitRequest.set(1);
  if (worker_->thread.joinable()) {
    // While this thread waits in the join it does not sleep on the clock; a simulated clock
    // must not wait for it, or the worker's pauses would never end.
    usb::Clock& clock = environment_.clock;
    clock.removeThread();
    worker_->thread.join();
    clock.addThread();
  }
  worker_.reset();
}

void CFlashwell_02Dlg::OnTimer(unsigned timerId) {
  sequencer_->onTimer(timerId);
  keepAwakeFollows();
}

// From the go of PROCEED until the final report (before its box), a failure, or the exit's
// last step, once the key is back in its firmware.
bool CFlashwell_02Dlg::upgrading() const {
  const sequencer::RunStatus& f = sequencer_->status();
  return block_.upgradeOption.get() != protocol::kOptionNone &&
         f.state != sequencer::UpgradeState::finalReport && !sequencer_->failureReached() &&
         f.finishMode != sequencer::FinishMode::stopWorker &&
         f.finishMode != sequencer::FinishMode::errorStop;
}

void CFlashwell_02Dlg::keepAwakeFollows() {
  if (keepAwake_ == nullptr || upgrading() == keptAwake_) return;
  keptAwake_ = !keptAwake_;
  if (keptAwake_) {
    keepAwake_->hold();
  } else {
    keepAwake_->release();
  }
}

void CFlashwell_02Dlg::OnExit() {
  const std::uint16_t model = package_->catalogue().modelWord();
  sequencer_->guardedExit(model >= kFirstModel && model <= kLastModel);
}

void CFlashwell_02Dlg::OnClose() {
  OnExit();
}

void CFlashwell_02Dlg::OnEscape() {
  OnExit();
}

void CFlashwell_02Dlg::OnCancelCommand() {
  view_.endDialog(sequencer::kEndAtOnce);
}

void CFlashwell_02Dlg::OnMode(protocol::UpgradeOption mode) {
  sequencer_->chooseMode(mode);
}

void CFlashwell_02Dlg::OnProceed() {
  sequencer_->proceed();
  keepAwakeFollows();
}

std::string CFlashwell_02Dlg::text(std::uint16_t id) {
  return package_->text(id);
}

}  // namespace flashwell::app
