// PENDING(gui2): replaced by the information page, the report dialog and the outside links.
// Until then the page is laid out plainly and its grids are filled; its buttons do nothing.
#include <QGroupBox>
#include <QHeaderView>
#include <QTableWidget>

#include "app/gui/Unit1.h"

namespace tovalin {

namespace {
QString Q(const std::string& text) {
  return QString::fromUtf8(text.data(), text.size());
}
}  // namespace

void TForm1::ConnectInfoPage() {}

void TForm1::SetupInfoPage() {
  GbxUserInfo->move(4, 4);
  LblCompany->move(8, 18);
  LblOwner->move(8, 42);
  LblInitials->move(8, 66);
  EdtCompany->move(70, 16);
  EdtOwner->move(70, 40);
  EdtInitials->move(70, 64);
  BtnChange->move(200, 64);
  EdtCompany->setText(Q(FMso->Company));
  EdtOwner->setText(Q(FMso->Owner));
  EdtInitials->setText(Q(FMso->Initials));
  GbxUserInfo->resize(300, 97);
  PnlProductID->move(4, 105);
  LblProductID->move(0, 0);
  SgdProductID->move(0, LblProductID->height() + 4);
  SgdProductID->setHorizontalHeaderLabels(
      {QStringLiteral("バージョン"), QStringLiteral("ProductID"), QStringLiteral("製品名")});
  PnlAppFileList->move(4, 4);
  LblVerList->move(0, 0);
  SgdAppFileList->move(0, LblVerList->height() + 4);
  SgdAppFileList->setHorizontalHeaderLabels(
      {QStringLiteral("バージョン"), QStringLiteral("実行ファイル")});
  BtnFolder->move(0, 0);
  BtnProperty->move(BtnFolder->x() + BtnFolder->width() + 4, 0);
}

void TForm1::TabInfoResize() {
  const int width = TabInfo->width();
  const int height = TabInfo->height();
  GbxUserInfo->resize(width - 8, GbxUserInfo->height());
  EdtCompany->resize(GbxUserInfo->width() - EdtCompany->x() - 8, EdtCompany->height());
  EdtOwner->resize(EdtCompany->width(), EdtOwner->height());
  BtnChange->move(GbxUserInfo->width() - BtnChange->width() - 8, BtnChange->y());
  PnlProductID->resize(width - 8, height - PnlProductID->y() - 4);
  SgdProductID->resize(PnlProductID->width(), PnlProductID->height() - SgdProductID->y() - 4);
  PnlAppFileList->resize(width - 8, height - 8);
  SgdAppFileList->resize(PnlAppFileList->width(), 10);
  BtnFolder->move(BtnFolder->x(), PnlAppFileList->height() - BtnFolder->height());
  BtnProperty->move(BtnProperty->x(), BtnFolder->y());
  SgdAppFileList->resize(SgdAppFileList->width(), BtnFolder->y() - SgdAppFileList->y() - 4);
}

void TForm1::UpdateChangeButton() {}

void TForm1::FillProductIdGrid() {
  int rows = 0;
  SgdProductID->setRowCount(1);
  for (const TZelMsoVersion& version : FMso->Versions) {
    if (version.ProductId.empty()) continue;
    SgdProductID->setRowCount(rows + 1);
    SgdProductID->setItem(rows, 0, new QTableWidgetItem(Q(version.Version)));
    SgdProductID->setItem(rows, 1, new QTableWidgetItem(Q(version.ProductId)));
    SgdProductID->setItem(rows, 2, new QTableWidgetItem(Q(version.DisplayName)));
    ++rows;
  }
  SgdProductID->horizontalHeader()->setStretchLastSection(true);
}

void TForm1::FillAppFileGrid(int appIndex) {
  const TZelMsoInfo* info = FMso->Slots[static_cast<std::size_t>(appIndex)].get();
  SgdAppFileList->setRowCount(1);
  if (info == nullptr) return;
  int rows = 0;
  for (const TZelMsoAppFileList& file : info->AppFiles) {
    SgdAppFileList->setRowCount(rows + 1);
    SgdAppFileList->setItem(rows, 0, new QTableWidgetItem(Q(file.Version)));
    SgdAppFileList->setItem(rows, 1, new QTableWidgetItem(Q(file.FileName)));
    ++rows;
  }
  SgdAppFileList->horizontalHeader()->setStretchLastSection(true);
}

void TForm1::EdtCompanyChange() {}
void TForm1::EdtOwnerChange() {}
void TForm1::EdtInitialsChange() {}
void TForm1::BtnChangeClick() {}
void TForm1::SgdProductIDExit() {}
void TForm1::SgdAppFileListExit() {}
void TForm1::SgdProductIDDblClick() {}
void TForm1::SgdAppFileListDblClick() {}
void TForm1::BtnFolderClick() {}
void TForm1::BtnPropertyClick() {}
void TForm1::MI_GUIDClick() {}
void TForm1::MI_O_AboutClick() {}
void TForm1::MI_SiteClick() {}
void TForm1::MI_BbsClick() {}
void TForm1::BtnMsoSiteClick() {}

}  // namespace tovalin
