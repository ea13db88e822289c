#include "app/gui/Session.h"

#include <utility>

#include "support/action/HostFiles.h"

namespace tovalin {

TSession::TSession(IMachineSource& source, IMessageBoxes& boxes) : source_(source), boxes_(boxes) {}

TSession::~TSession() {
  form_.reset();
  platform_.reset();
}

bool TSession::Start() {
  platform_ = source_.OpenFirst();
  if (!platform_) return false;
  form_ = std::make_unique<MainWindow>(*platform_, boxes_);
  if (!form_->StartOk()) return false;
  source_.Shown();
  Offer(source_.Describe());
  KeepHistory(*form_);
  return true;
}

void TSession::Offer(const QString& description) {
  if (!source_.CanSwitch()) return;
  form_->SetMachine(description, [this] {
    // Later, from the event loop: the window that asked is replaced.
    QMetaObject::invokeMethod(
        this, [this] { RunGuarded(boxes_, [this] { SwitchMachine(); }); }, Qt::QueuedConnection);
  });
}

void TSession::SwitchMachine() {
  std::unique_ptr<Platform> platform = source_.OpenAnother(form_.get());
  if (!platform) return;
  auto form = std::make_unique<MainWindow>(*platform, boxes_);
  if (!form->StartOk()) return;
  source_.Shown();
  const QString description = source_.Describe();
  const bool shown = form_ != nullptr && form_->isVisible();
  if (form_ != nullptr) form->setGeometry(form_->geometry());
  std::unique_ptr<MainWindow> old = std::exchange(form_, std::move(form));
  Offer(description);
  KeepHistory(*form_);
  if (shown) form_->show();
  old.reset();
  platform_ = std::move(platform);
}

void TSession::KeepHistory(MainWindow& form) {
  const std::string machine = source_.MachineName();
  form.SetHistory(std::make_unique<ActionHistory>(DefaultHistoryFolder(machine)), machine);
}

void TSession::RestoreFromOtherInstance() {
  if (form_ != nullptr) form_->RestoreFromOtherInstance();
}

}  // namespace tovalin
