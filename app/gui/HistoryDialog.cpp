#include "app/gui/HistoryDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/gui/DialogSupport.h"
#include "app/gui/QtText.h"

namespace tovalin {

namespace {

// What the action changed, for the row's tip: the keys as regedit names them and the files.
QString Details(const ActionRecord& record) {
  QStringList lines;
  for (std::size_t i = 0; i < record.registry.keys.size(); ++i) {
    const RegKeyChange& key = record.registry.keys[i];
    const std::string name =
        i < record.nativeNames.size() ? record.nativeNames[i] : RegKeyName(key.root, key.path);
    const char* how = !key.existedBefore ? "作成" : !key.existsAfter ? "削除" : "変更";
    lines << Q(name) + QStringLiteral("（") + Q(how) + QStringLiteral("）");
  }
  for (const RemovedFile& file : record.files) {
    lines << Q(file.trash.path) +
                 (file.inTrash ? QStringLiteral("（ごみ箱へ）") : QStringLiteral("（削除）"));
  }
  if (!record.undoFile.empty()) {
    lines << QStringLiteral("元に戻すファイル: ") + Q(record.undoFile);
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace

HistoryDialog::HistoryDialog(TZelMso& model, WindowChanges& changes, IMessageBoxes& boxes,
                             std::function<bool()> storeReleased, QWidget* parent)
    : QDialog(parent),
      model_(model),
      changes_(changes),
      boxes_(boxes),
      storeReleased_(std::move(storeReleased)) {
  setObjectName(QStringLiteral("HistoryDialog"));
  setWindowTitle(QStringLiteral("変更の履歴"));
  setFont(WindowFont());

  auto* note =
      new QLabel(QStringLiteral("Tovalin が行なった変更です。選んだ変更を元に戻せます。"), this);
  LvHistory = new QTreeWidget(this);
  LvHistory->setObjectName(QStringLiteral("LvHistory"));
  LvHistory->setRootIsDecorated(false);
  LvHistory->setUniformRowHeights(true);
  LvHistory->setHeaderLabels({QStringLiteral("日時"), QStringLiteral("アプリケーション"),
                              QStringLiteral("項目"), QStringLiteral("変更"),
                              QStringLiteral("状態")});
  BtnUndo = new QPushButton(QStringLiteral("元に戻す(&U)"), this);
  BtnUndo->setObjectName(QStringLiteral("BtnUndo"));
  BtnUndo->setEnabled(false);
  BtnClose = new QPushButton(QStringLiteral("閉じる"), this);
  BtnClose->setObjectName(QStringLiteral("BtnClose"));
  BtnClose->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(BtnUndo);
  buttons->addStretch();
  buttons->addWidget(BtnClose);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(note);
  layout->addWidget(LvHistory);
  layout->addLayout(buttons);
  resize(640, 320);

  connect(LvHistory, &QTreeWidget::itemSelectionChanged, this,
          [this] { RunGuarded(boxes_, [this] { LvHistorySelect(); }); });
  connect(BtnUndo, &QPushButton::clicked, this,
          [this] { RunGuarded(boxes_, [this] { BtnUndoClick(); }); });
  connect(BtnClose, &QPushButton::clicked, this, &QDialog::accept);
  Fill();
}

void HistoryDialog::Fill() {
  ActionHistory* history = changes_.History();
  records_ = history != nullptr ? history->List(&model_.GetPlatform().Registry())
                                : std::vector<ActionRecord>{};
  LvHistory->clear();
  for (const ActionRecord& record : records_) {
    // ISO 8601 as people read it: date and time, without the offset.
    const QString time = Q(record.time.substr(0, 19)).replace(QLatin1Char('T'), QLatin1Char(' '));
    auto* row = new QTreeWidgetItem(
        LvHistory, {time, Q(record.info.application), Q(record.info.title), Q(record.info.what),
                    record.undone ? QStringLiteral("元に戻し済み") : QString()});
    const QString details = Details(record);
    for (int column = 0; column < row->columnCount(); ++column) row->setToolTip(column, details);
  }
  for (int column = 0; column < LvHistory->columnCount(); ++column) {
    LvHistory->resizeColumnToContents(column);
  }
  if (!records_.empty()) LvHistory->setCurrentItem(LvHistory->topLevelItem(0));
  LvHistorySelect();
}

const ActionRecord* HistoryDialog::Selected() const {
  const int row = LvHistory->indexOfTopLevelItem(LvHistory->currentItem());
  if (row < 0 || static_cast<std::size_t>(row) >= records_.size()) return nullptr;
  return &records_[static_cast<std::size_t>(row)];
}

void HistoryDialog::LvHistorySelect() {
  const ActionRecord* record = Selected();
  BtnUndo->setEnabled(record != nullptr && !record->undone);
}

void HistoryDialog::BtnUndoClick() {
  const ActionRecord* selected = Selected();
  if (selected == nullptr || selected->undone) return;
  const ActionRecord record = *selected;
  if (!boxes_.Ask(
          Q("「" + record.info.title + "」（" + record.info.what + "）の変更を元に戻しますか？"))) {
    return;
  }
  if (!storeReleased_()) return;
  bool force = false;
  if (const std::vector<std::string> conflicts = UndoConflicts(model_.GetPlatform(), record);
      !conflicts.empty()) {
    QString text = QStringLiteral("変更の後で次のものが変わっています。それでも元に戻しますか？");
    for (const std::string& line : conflicts) text += QStringLiteral("\r\n") + Q(line);
    if (!boxes_.Ask(text)) return;
    force = true;
  }
  const UndoOutcome outcome = changes_.Undo(model_, record, force, this);
  if (outcome.declined) {
    boxes_.Warn(ElevationDeclinedText());
    return;
  }
  undid_ = true;
  Fill();
  if (outcome.filesLeft.empty()) {
    boxes_.Inform(QStringLiteral("元に戻しました。"));
    return;
  }
  QString text = QStringLiteral("元に戻しましたが、ごみ箱から戻せなかったファイルがあります。");
  for (const std::string& line : outcome.filesLeft) text += QStringLiteral("\r\n") + Q(line);
  boxes_.Warn(text);
}

}  // namespace tovalin
