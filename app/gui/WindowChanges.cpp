#include "app/gui/WindowChanges.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <nlohmann/json.hpp>

#include "app/gui/QtText.h"
#include "support/Sha256.h"
#include "support/ZelRegistry.h"
#include "support/action/ActionJson.h"

namespace tovalin {

namespace {

// One argument of a Windows command line, as CommandLineToArgvW takes it apart again.
QString QuotedArgument(const QString& argument) {
  if (!argument.isEmpty() && !argument.contains(QRegularExpression(QStringLiteral("[\\s\"]")))) {
    return argument;
  }
  QString quoted = QStringLiteral("\"");
  int backslashes = 0;
  for (const QChar c : argument) {
    if (c == QLatin1Char('\\')) {
      ++backslashes;
      continue;
    }
    quoted += QString(c == QLatin1Char('"') ? backslashes * 2 + 1 : backslashes, QLatin1Char('\\'));
    backslashes = 0;
    quoted += c;
  }
  quoted += QString(backslashes * 2, QLatin1Char('\\')) + QLatin1Char('"');
  return quoted;
}

}  // namespace

QString SiblingCliProgram() {
#ifdef _WIN32
  const QString name = QStringLiteral("tovalin-cli.exe");
#else
  const QString name = QStringLiteral("tovalin-cli");
#endif
  return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

QString ElevationDeclinedText() {
  return QStringLiteral("管理者としての実行が取り消されたため、何も変更していません。");
}

WindowChanges::WindowChanges(Platform& machine, QString cliProgram)
    : machine_(machine), cliProgram_(std::move(cliProgram)) {}

bool WindowChanges::NeedsElevation(const TZelMso::TActionPlan& plan) {
  if (machine_.Processes().Elevated()) return false;
  return !ChangesOfScope(machine_.Registry(), plan.Changes.registry, ChangeScope::Machine).Empty();
}

void WindowChanges::SetHistory(std::unique_ptr<ActionHistory> history, std::string machineName) {
  history_ = std::move(history);
  machineName_ = std::move(machineName);
}

bool WindowChanges::Perform(TZelMso& model, const TZelMso::TActionPlan& plan, ActionInfo info,
                            QWidget* parent, TZelMso::TRepairResult* result) {
  info.machine = machineName_;
  const std::unique_ptr<IActionJournal> journal =
      history_ != nullptr ? history_->Journal(std::move(info)) : nullptr;
  return PerformPlan(model, plan, journal.get(), parent, result);
}

UndoOutcome WindowChanges::Undo(TZelMso& model, const ActionRecord& record, bool force,
                                QWidget* parent) {
  if (history_ == nullptr) return {};
  return UndoAction(machine_, *history_, record, force, [&](const RegChangeSet& changes) {
    TZelMso::TActionPlan plan;
    plan.Changes.registry = changes;
    return PerformPlan(model, plan, nullptr, parent, nullptr);
  });
}

namespace {

// The journal of the part made here, after the elevated part: the record was stored whole
// before anything was written.
class OwnPartJournal : public IActionJournal {
 public:
  explicit OwnPartJournal(IActionJournal& whole) : whole_(whole) {}
  void Planned(const ActionPlan&, IRegistry&) override {}
  void FileRemoved(const RemovedFile& file) override { whole_.FileRemoved(file); }
  void Done() override { whole_.Done(); }
  // The elevated part is made: the record stays unfinished, and the next listing settles it
  // by what the registry shows.
  void Abandoned() override {}

 private:
  IActionJournal& whole_;
};

}  // namespace

bool WindowChanges::PerformPlan(TZelMso& model, const TZelMso::TActionPlan& plan,
                                IActionJournal* journal, QWidget* parent,
                                TZelMso::TRepairResult* result) {
  if (!NeedsElevation(plan)) {
    const TZelMso::TRepairResult done = model.Perform(plan, journal);
    if (result != nullptr) *result = done;
    return true;
  }
  IRegistry& registry = machine_.Registry();
  TZelMso::TActionPlan own = plan;
  own.Changes.registry = ChangesOfScope(registry, plan.Changes.registry, ChangeScope::User);
  const RegChangeSet machineWide =
      ChangesOfScope(registry, plan.Changes.registry, ChangeScope::Machine);
  // The user's own part is made after the elevated one: it must not be refused then.
  if (RegRefusal refusal = CheckWriteAccess(registry, own.Changes.registry)) {
    const std::string why = machine_.ErrorText(refusal.code);
    throw ERegistryRefusedException(std::move(refusal), why);
  }
  if (journal != nullptr) journal->Planned(plan.Changes, registry);
  bool made = false;
  try {
    made = PerformElevated(machineWide, parent);
  } catch (...) {
    if (journal != nullptr) journal->Abandoned();
    throw;
  }
  if (!made) {
    if (journal != nullptr) journal->Abandoned();
    return false;
  }
  std::unique_ptr<OwnPartJournal> ownJournal;
  if (journal != nullptr) ownJournal = std::make_unique<OwnPartJournal>(*journal);
  const TZelMso::TRepairResult done = model.Perform(own, ownJournal.get());
  if (result != nullptr) *result = done;
  return true;
}

bool WindowChanges::PerformElevated(const RegChangeSet& changes, QWidget* parent) {
  QTemporaryDir folder;
  if (!folder.isValid()) {
    throw ERegistryException("一時フォルダーを作れないため、何も変更していません。");
  }
  const std::string plan = PlanToJson(ActionPlan{changes, {}}).dump(2);
  const QString planPath = QDir::toNativeSeparators(folder.filePath(QStringLiteral("plan.json")));
  const QString resultPath =
      QDir::toNativeSeparators(folder.filePath(QStringLiteral("result.json")));
  {
    QFile file(planPath);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(plan.data(), static_cast<qint64>(plan.size())) !=
            static_cast<qint64>(plan.size())) {
      throw ERegistryException("変更の計画を書き込めないため、何も変更していません。");
    }
  }
  const QStringList arguments = {
      QStringLiteral("apply"),    planPath,
      QStringLiteral("--sha256"), QString::fromStdString(Sha256Hex(plan)),
      QStringLiteral("--result"), resultPath};
  QStringList quoted;
  for (const QString& argument : arguments) quoted << QuotedArgument(argument);

  // The prompt and the change take a while: the window waits with its events going on, behind
  // a dialog that takes the user's input meanwhile.
  QProgressDialog wait(QStringLiteral("管理者の権限で変更しています…"), QString(), 0, 0, parent);
  wait.setObjectName(QStringLiteral("ElevatedWait"));
  wait.setWindowTitle(QStringLiteral("Tovalin"));
  wait.setWindowModality(Qt::WindowModal);
  wait.setCancelButton(nullptr);
  wait.setMinimumDuration(500);
  std::uint32_t exitCode = 0;
  const long started = machine_.Processes().RunElevated(
      Utf8(cliProgram_), Utf8(quoted.join(QLatin1Char(' '))), [] { QApplication::processEvents(); },
      exitCode);
  wait.reset();
  if (started == win::kCancelled) return false;
  if (started != win::kSuccess) {
    throw ERegistryException("tovalin-cli を管理者として起動できないため（" +
                             machine_.ErrorText(started) + "）、何も変更していません。");
  }
  std::string message;
  QFile resultFile(resultPath);
  if (resultFile.open(QIODevice::ReadOnly)) {
    const nlohmann::json json =
        nlohmann::json::parse(resultFile.readAll().toStdString(), nullptr, false);
    if (json.is_object() && json.contains("message") && json["message"].is_string()) {
      message = json["message"].get<std::string>();
    }
  }
  if (exitCode != 0) {
    throw ERegistryException(message.empty()
                                 ? "管理者として実行した tovalin-cli が失敗しました（終了コード " +
                                       std::to_string(exitCode) + "）。"
                                 : message);
  }
  return true;
}

}  // namespace tovalin
