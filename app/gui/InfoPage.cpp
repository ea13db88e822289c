#include "app/gui/InfoPage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>

#include "app/gui/DialogArt.h"
#include "app/gui/DialogSupport.h"
#include "app/gui/QtText.h"
#include "support/ZelSysUtils.h"

namespace tovalin {

namespace {

// The width the fill gave the last column: while the column keeps it, it goes on filling the
// grid's visible width when the page changes size. A width the user or the header fit chose
// stays as it is.
constexpr const char* kFillWidthProperty = "tovalinFillWidth";

// The width inside the grid's frame, less the vertical scroll bar when the rows need one.
int GridClientWidth(const QTableWidget* grid) {
  const int frame = grid->frameWidth();
  int width = grid->width() - 2 * frame;
  const int header =
      grid->horizontalHeader()->isHidden() ? 0 : grid->horizontalHeader()->sizeHint().height();
  const int bodyHeight = grid->height() - 2 * frame - header;
  if (grid->verticalHeader()->length() > bodyHeight) {
    width -= grid->verticalScrollBar()->sizeHint().width();
  }
  return width;
}

void SetFillingColumn(QTableWidget* grid, int column, int othersWidth) {
  const int width = std::max(GridClientWidth(grid) - othersWidth - 2,
                             grid->horizontalHeader()->minimumSectionSize());
  grid->setColumnWidth(column, width);
  grid->setProperty(kFillWidthProperty, width);
}

void KeepFillingColumn(QTableWidget* grid, int column, int othersWidth) {
  const QVariant filled = grid->property(kFillWidthProperty);
  if (filled.isValid() && filled.toInt() == grid->columnWidth(column)) {
    SetFillingColumn(grid, column, othersWidth);
  }
}

void SetCell(QTableWidget* grid, int row, int column, const std::string& text) {
  grid->setItem(row, column, new QTableWidgetItem(Q(text)));
}

// Keeps a row current, as a grid always has one while it has rows: the same row again where it
// still exists, else the nearest one.
void SetCurrentRow(QTableWidget* grid, int row, int column) {
  if (grid->rowCount() == 0) return;
  row = std::clamp(row, 0, grid->rowCount() - 1);
  column = std::clamp(column, 0, grid->columnCount() - 1);
  grid->setCurrentCell(row, column);
}

bool Inside(const QWidget* widget, const QObject* object) {
  for (auto* w = qobject_cast<const QWidget*>(object); w != nullptr; w = w->parentWidget()) {
    if (w == widget) return true;
  }
  return false;
}

// Is the cursor on the left or right edge of a header cell of the grid?
bool OnHeaderBorder(const QTableWidget* grid) {
  const QHeaderView* header = grid->horizontalHeader();
  const QPoint at = header->viewport()->mapFromGlobal(QCursor::pos());
  if (at.y() < 0 || at.y() >= header->height()) return false;
  const int column = header->logicalIndexAt(at.x());
  if (column < 0) return false;
  const int left = header->sectionViewportPosition(column);
  const int right = left + header->sectionSize(column);
  return (left <= at.x() && at.x() <= left + 3) || (right - 3 <= at.x() && at.x() <= right);
}

}  // namespace

InfoPage::InfoPage(Platform& platform, IMessageBoxes& boxes, ShellSource shell,
                   StoreGuard storeReleased, WindowChanges& changes, QWidget* parent)
    : QWidget(parent),
      platform_(platform),
      boxes_(boxes),
      shell_(std::move(shell)),
      storeReleased_(std::move(storeReleased)),
      changes_(changes) {
  CreateComponents();
  ConnectHandlers();
}

void InfoPage::SetModel(TZelMso& model) {
  mso_ = &model;
  Layout();
  UpdateShield();
}

void InfoPage::UpdateShield() {
  // Which places an update writes does not depend on the text: planned with a text that differs
  // from every field, the plan names them all.
  const bool shield = mso_ != nullptr && !platform_.Processes().Elevated() &&
                      changes_.NeedsElevation(mso_->PlanUserInfoUpdate(
                          mso_->Company + "?", mso_->Owner + "?", mso_->Initials + "?"));
  BtnChange->setIcon(shield ? ShieldIcon(*style())
                            : style()->standardIcon(QStyle::SP_DialogApplyButton));
}

void InfoPage::ShowApp(int appIndex) {
  appIndex_ = appIndex;
  GbxUserInfo->setVisible(appIndex_ == 0);
  PnlProductID->setVisible(appIndex_ == 0);
  PnlAppFileList->setVisible(appIndex_ != 0);
  if (appIndex_ == 0) {
    FillProductIdGrid();
  } else {
    FillAppFileGrid();
  }
}

bool InfoPage::PressDefaultButton() {
  if (!BtnChange->isVisibleTo(window()) || !BtnChange->isEnabled()) return false;
  BtnChange->click();
  return true;
}

bool InfoPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    // The header's own double-click would size one column; the page fits them all instead.
    if (watched == SgdProductID->horizontalHeader()->viewport()) {
      Guarded([this] { SgdProductIDDblClick(); });
      return true;
    }
    if (watched == SgdAppFileList->horizontalHeader()->viewport()) {
      Guarded([this] { SgdAppFileListDblClick(); });
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void InfoPage::CreateComponents() {
  GbxUserInfo = new QGroupBox(QStringLiteral("登録情報"), this);
  GbxUserInfo->setObjectName(QStringLiteral("GbxUserInfo"));
  LblCompany = new QLabel(QStringLiteral("会社名"), GbxUserInfo);
  LblCompany->setObjectName(QStringLiteral("LblCompany"));
  LblOwner = new QLabel(QStringLiteral("ユーザー名"), GbxUserInfo);
  LblOwner->setObjectName(QStringLiteral("LblOwner"));
  LblInitials = new QLabel(QStringLiteral("頭文字"), GbxUserInfo);
  LblInitials->setObjectName(QStringLiteral("LblInitials"));
  for (QLabel* label : {LblCompany, LblOwner, LblInitials}) label->adjustSize();
  EdtCompany = new QLineEdit(GbxUserInfo);
  EdtCompany->setObjectName(QStringLiteral("EdtCompany"));
  EdtOwner = new QLineEdit(GbxUserInfo);
  EdtOwner->setObjectName(QStringLiteral("EdtOwner"));
  EdtInitials = new QLineEdit(GbxUserInfo);
  EdtInitials->setObjectName(QStringLiteral("EdtInitials"));
  for (QLineEdit* edit : {EdtCompany, EdtOwner, EdtInitials}) edit->resize(121, 20);
  BtnChange = new QPushButton(QStringLiteral("更新(&R)"), GbxUserInfo);
  BtnChange->setObjectName(QStringLiteral("BtnChange"));
  BtnChange->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  BtnChange->setDefault(true);
  BtnChange->setEnabled(false);
  BtnChange->resize(100, 25);

  PnlProductID = new QWidget(this);
  PnlProductID->setObjectName(QStringLiteral("PnlProductID"));
  PnlProductID->hide();
  LblProductID = new QLabel(QStringLiteral("インストールされているバージョン"), PnlProductID);
  LblProductID->setObjectName(QStringLiteral("LblProductID"));
  LblProductID->adjustSize();
  SgdProductID = new QTableWidget(2, 3, PnlProductID);
  SgdProductID->setObjectName(QStringLiteral("SgdProductID"));

  PnlAppFileList = new QWidget(this);
  PnlAppFileList->setObjectName(QStringLiteral("PnlAppFileList"));
  PnlAppFileList->hide();
  LblVerList = new QLabel(QStringLiteral("インストールされているバージョン"), PnlAppFileList);
  LblVerList->setObjectName(QStringLiteral("LblVerList"));
  LblVerList->adjustSize();
  SgdAppFileList = new QTableWidget(2, 2, PnlAppFileList);
  SgdAppFileList->setObjectName(QStringLiteral("SgdAppFileList"));
  BtnFolder = new QPushButton(QStringLiteral("フォルダ(&O)"), PnlAppFileList);
  BtnFolder->setObjectName(QStringLiteral("BtnFolder"));
  BtnFolder->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  BtnFolder->setAutoDefault(false);
  BtnFolder->resize(100, 25);
  BtnProperty = new QPushButton(QStringLiteral("プロパティ(&P)"), PnlAppFileList);
  BtnProperty->setObjectName(QStringLiteral("BtnProperty"));
  BtnProperty->setIcon(style()->standardIcon(QStyle::SP_FileDialogInfoView));
  BtnProperty->setAutoDefault(false);
  BtnProperty->resize(100, 25);

  for (QTableWidget* grid : {SgdProductID, SgdAppFileList}) {
    grid->verticalHeader()->hide();
    grid->setShowGrid(true);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
  }
}

int InfoPage::TextWidth(const QString& text) const {
  return fontMetrics().horizontalAdvance(text);
}

void InfoPage::ConnectHandlers() {
  connect(EdtCompany, &QLineEdit::textChanged, this,
          [this] { Guarded([this] { EdtCompanyChange(); }); });
  connect(EdtOwner, &QLineEdit::textChanged, this,
          [this] { Guarded([this] { EdtOwnerChange(); }); });
  connect(EdtInitials, &QLineEdit::textChanged, this,
          [this] { Guarded([this] { EdtInitialsChange(); }); });
  connect(BtnChange, &QPushButton::clicked, this,
          [this] { Guarded([this] { BtnChangeClick(); }); });
  connect(BtnFolder, &QPushButton::clicked, this,
          [this] { Guarded([this] { BtnFolderClick(); }); });
  connect(BtnProperty, &QPushButton::clicked, this,
          [this] { Guarded([this] { BtnPropertyClick(); }); });

  // Leaving a grid: the focus goes from the grid, or the editor of one of its cells, to another
  // control of this window. A focus that leaves the window altogether comes back to the grid.
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget* from, QWidget* to) {
    if (to == nullptr || to->window() != window()) return;
    if (Inside(SgdProductID, from) && !Inside(SgdProductID, to)) {
      Guarded([this] { SgdProductIDExit(); });
    } else if (Inside(SgdAppFileList, from) && !Inside(SgdAppFileList, to)) {
      Guarded([this] { SgdAppFileListExit(); });
    }
  });

  SgdProductID->horizontalHeader()->viewport()->installEventFilter(this);
  SgdAppFileList->horizontalHeader()->viewport()->installEventFilter(this);
}

void InfoPage::Layout() {
  GbxUserInfo->move(4, 4);
  LblCompany->move(8, LblCompany->y());
  LblOwner->move(LblCompany->x(), LblOwner->y());
  LblInitials->move(LblCompany->x(), LblInitials->y());

  const int labels = std::max({LblCompany->width(), LblOwner->width(), LblInitials->width()});
  EdtCompany->move(LblCompany->x() + labels + 8, 16);
  EdtOwner->move(EdtCompany->x(), Bottom(EdtCompany) + 4);
  EdtInitials->move(EdtCompany->x(), Bottom(EdtOwner) + 4);
  BtnChange->move(BtnChange->x(), EdtInitials->y());
  for (auto [label, edit] : {std::pair{LblCompany, EdtCompany}, std::pair{LblOwner, EdtOwner},
                             std::pair{LblInitials, EdtInitials}}) {
    label->move(label->x(), edit->y() + (edit->height() - label->height()) / 2);
  }

  EdtCompany->setText(Q(mso_->Company));
  EdtOwner->setText(Q(mso_->Owner));
  EdtInitials->setText(Q(mso_->Initials));
  GbxUserInfo->resize(GbxUserInfo->width(), Bottom(BtnChange) + 8);

  // A grid row is as high as the text line of an edit.
  const int frame =
      EdtCompany->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, EdtCompany);
  const int rowHeight = EdtCompany->height() - 2 * frame;

  PnlProductID->move(4, Bottom(GbxUserInfo) + 4);
  LblProductID->move(0, 0);
  SgdProductID->move(LblProductID->x(), Bottom(LblProductID) + 4);
  SgdProductID->setHorizontalHeaderLabels(
      {QStringLiteral("バージョン"), QStringLiteral("ProductID"), QStringLiteral("製品名")});

  PnlAppFileList->move(4, 4);
  LblVerList->move(0, 0);
  SgdAppFileList->move(LblVerList->x(), Bottom(LblVerList) + 4);
  SgdAppFileList->setHorizontalHeaderLabels(
      {QStringLiteral("バージョン"), QStringLiteral("実行ファイル")});
  BtnFolder->move(LblVerList->x(), BtnFolder->y());
  BtnProperty->move(Right(BtnFolder) + 4, BtnProperty->y());

  for (QTableWidget* grid : {SgdProductID, SgdAppFileList}) {
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(rowHeight);
    grid->setWordWrap(false);
    grid->horizontalHeader()->setStretchLastSection(false);
  }
}

void InfoPage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int width = this->width();
  const int height = this->height();

  GbxUserInfo->resize(width - 2 * GbxUserInfo->x(), GbxUserInfo->height());
  EdtCompany->resize(GbxUserInfo->width() - EdtCompany->x() - LblCompany->x(),
                     EdtCompany->height());
  EdtOwner->resize(EdtCompany->width(), EdtOwner->height());
  BtnChange->move(GbxUserInfo->width() - BtnChange->width() - LblCompany->x(), BtnChange->y());

  PnlProductID->resize(width - 2 * PnlProductID->x(),
                       height - PnlProductID->y() - GbxUserInfo->y());
  SgdProductID->resize(PnlProductID->width() - 2 * SgdProductID->x(),
                       PnlProductID->height() - SgdProductID->y() - 4);

  PnlAppFileList->resize(width - 2 * PnlAppFileList->x(), height - 2 * PnlAppFileList->y());
  SgdAppFileList->resize(PnlAppFileList->width() - 2 * SgdAppFileList->x(),
                         SgdAppFileList->height());
  BtnFolder->move(BtnFolder->x(), PnlAppFileList->height() - BtnFolder->height());
  BtnProperty->move(BtnProperty->x(), BtnFolder->y());
  SgdAppFileList->resize(SgdAppFileList->width(), BtnFolder->y() - SgdAppFileList->y() - 4);

  KeepFillingColumn(SgdProductID, 2, SgdProductID->columnWidth(0) + SgdProductID->columnWidth(1));
  KeepFillingColumn(SgdAppFileList, 1, SgdAppFileList->columnWidth(0));
}

void InfoPage::UpdateChangeButton() {
  const bool unchanged = Utf8(EdtCompany->text()) == mso_->Company &&
                         Utf8(EdtOwner->text()) == mso_->Owner &&
                         Utf8(EdtInitials->text()) == mso_->Initials;
  BtnChange->setEnabled(!unchanged);
}

void InfoPage::EdtCompanyChange() {
  UpdateChangeButton();
}
void InfoPage::EdtOwnerChange() {
  UpdateChangeButton();
}
void InfoPage::EdtInitialsChange() {
  UpdateChangeButton();
}

void InfoPage::BtnChangeClick() {
  if (!boxes_.Ask(Q(FormatPath("%s を更新しますか？", {Utf8(GbxUserInfo->title())})))) return;
  if (!storeReleased_()) return;

  const std::string company = Utf8(EdtCompany->text());
  const std::string owner = Utf8(EdtOwner->text());
  const std::string initials = Utf8(EdtInitials->text());
  if (!changes_.Perform(*mso_, mso_->PlanUserInfoUpdate(company, owner, initials),
                        TZelMso::UserInfoActionInfo(), this)) {
    boxes_.Warn(ElevationDeclinedText());
    return;
  }

  mso_->ReadUserInfo();
  BtnChange->setEnabled(false);
  if (mso_->UserInfoReads(company, owner, initials)) {
    boxes_.Inform(QStringLiteral("設定を更新しました。"));
  } else {
    boxes_.Warn(QStringLiteral("更新出来ませんでした。"));
  }
}

void InfoPage::FillProductIdGrid() {
  const QTableWidgetItem* idHeader = SgdProductID->horizontalHeaderItem(1);
  int idWidth = TextWidth(idHeader != nullptr ? idHeader->text() : QString()) + 10;

  SgdProductID->clearContents();
  if (mso_->Versions.empty()) {
    SgdProductID->setRowCount(1);
    for (int column = 0; column < 3; ++column) SetCell(SgdProductID, 0, column, {});
  } else {
    int rows = 0;
    for (const TZelMsoVersion& version : mso_->Versions) {
      if (version.ProductId.empty()) continue;
      SgdProductID->setRowCount(rows + 1);
      SetCell(SgdProductID, rows, 0, version.Version);
      SetCell(SgdProductID, rows, 1, version.ProductId);
      SetCell(SgdProductID, rows, 2, version.DisplayName);
      idWidth = std::max(idWidth, TextWidth(Q(version.ProductId)) + 10);
      ++rows;
    }
    SgdProductID->setRowCount(rows);
  }

  const QTableWidgetItem* versionHeader = SgdProductID->horizontalHeaderItem(0);
  const int versionWidth =
      TextWidth(versionHeader != nullptr ? versionHeader->text() : QString()) + 10;
  SgdProductID->setColumnWidth(0, versionWidth);
  SgdProductID->setColumnWidth(1, idWidth);
  SetFillingColumn(SgdProductID, 2, versionWidth + idWidth);
  SetCurrentRow(SgdProductID, SgdProductID->currentRow(), SgdProductID->currentColumn());
}

void InfoPage::FillAppFileGrid() {
  const TZelMsoInfo* info = appIndex_ >= 0 && appIndex_ < kAppCount
                                ? mso_->Slots[static_cast<std::size_t>(appIndex_)].get()
                                : nullptr;
  SgdAppFileList->clearContents();
  if (info == nullptr || info->AppFiles.empty()) {
    SgdAppFileList->setRowCount(1);
    SetCell(SgdAppFileList, 0, 0, {});
    SetCell(SgdAppFileList, 0, 1, {});
  } else {
    SgdAppFileList->setRowCount(static_cast<int>(info->AppFiles.size()));
    int row = 0;
    for (const TZelMsoAppFileList& file : info->AppFiles) {
      SetCell(SgdAppFileList, row, 0, file.Version);
      SetCell(SgdAppFileList, row, 1, file.FileName);
      ++row;
    }
  }

  const QTableWidgetItem* header = SgdAppFileList->horizontalHeaderItem(0);
  const int versionWidth = TextWidth(header != nullptr ? header->text() : QString()) + 10;
  SgdAppFileList->setColumnWidth(0, versionWidth);
  SetFillingColumn(SgdAppFileList, 1, versionWidth);
  SetCurrentRow(SgdAppFileList, SgdAppFileList->currentRow(), SgdAppFileList->currentColumn());
}

void InfoPage::SgdProductIDExit() {
  const int row = SgdProductID->currentRow();
  const int column = SgdProductID->currentColumn();
  FillProductIdGrid();
  SetCurrentRow(SgdProductID, row, column);
}

void InfoPage::SgdAppFileListExit() {
  const int row = SgdAppFileList->currentRow();
  const int column = SgdAppFileList->currentColumn();
  FillAppFileGrid();
  SetCurrentRow(SgdAppFileList, row, column);
}

void InfoPage::SgdProductIDDblClick() {
  if (!OnHeaderBorder(SgdProductID)) return;
  auto header = [this](int column) {
    const QTableWidgetItem* item = SgdProductID->horizontalHeaderItem(column);
    return TextWidth(item != nullptr ? item->text() : QString()) + 10;
  };
  int idWidth = header(1);
  int nameWidth = header(2);
  for (const TZelMsoVersion& version : mso_->Versions) {
    if (version.ProductId.empty()) continue;
    idWidth = std::max(idWidth, TextWidth(Q(version.ProductId)) + 10);
    nameWidth = std::max(nameWidth, TextWidth(Q(version.DisplayName)) + 10);
  }
  SgdProductID->setColumnWidth(0, header(0));
  SgdProductID->setColumnWidth(1, idWidth);
  SgdProductID->setColumnWidth(2, nameWidth);
  SgdProductID->setProperty(kFillWidthProperty, QVariant());
}

void InfoPage::SgdAppFileListDblClick() {
  if (!OnHeaderBorder(SgdAppFileList)) return;
  auto header = [this](int column) {
    const QTableWidgetItem* item = SgdAppFileList->horizontalHeaderItem(column);
    return TextWidth(item != nullptr ? item->text() : QString()) + 10;
  };
  int fileWidth = header(1);
  if (const TZelMsoInfo* info = mso_->Slots[static_cast<std::size_t>(appIndex_)].get()) {
    for (const TZelMsoAppFileList& file : info->AppFiles) {
      fileWidth = std::max(fileWidth, TextWidth(Q(file.FileName)) + 10);
    }
  }
  SgdAppFileList->setColumnWidth(0, header(0));
  SgdAppFileList->setColumnWidth(1, fileWidth);
  SgdAppFileList->setProperty(kFillWidthProperty, QVariant());
}

std::string InfoPage::SelectedAppFile() {
  const int row = SgdAppFileList->currentRow();
  if (row < 0) return {};
  const QTableWidgetItem* cell = SgdAppFileList->item(row, 1);
  return GetCommandFileName(platform_, cell != nullptr ? Utf8(cell->text()) : std::string());
}

void InfoPage::BtnFolderClick() {
  if (SgdAppFileList->currentRow() < 0) return;
  const std::string path = SelectedAppFile();
  const std::size_t slash = path.find_last_of("\\:");
  shell_().OpenFolder(this, slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
}

void InfoPage::BtnPropertyClick() {
  if (SgdAppFileList->currentRow() < 0) return;
  shell_().ShowProperties(this, SelectedAppFile());
}

}  // namespace tovalin
