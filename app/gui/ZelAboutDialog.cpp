#include "app/gui/ZelAboutDialog.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>

#include "app/gui/DialogArt.h"
#include "app/gui/DialogSupport.h"
#include "app/gui/Links.h"
#include "app/gui/ProgramArt.h"
#include "app/gui/QtText.h"
#include "office/ZelMso.h"
#include "support/ZelSysUtils.h"
#include "support/ZelVersionInfo.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tovalin {

namespace {

constexpr QColor kNavy(0x00, 0x00, 0x80);
constexpr QColor kRed(0xFF, 0x00, 0x00);

}  // namespace

std::uint32_t LcidFromLocaleName(std::string_view name) {
  // "ja_JP", "ja_JP.UTF-8", "ja_JP.eucJP@…": the language and territory decide.
  const std::string_view base = name.substr(0, name.find_first_of(".@"));
  return base == "ja_JP" ? 0x0411 : 0x0409;
}

std::uint32_t UserDefaultLcid() {
#ifdef _WIN32
  return GetUserDefaultLCID();
#else
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LcidFromLocaleName(value);
  }
  return LcidFromLocaleName(QLocale::system().name().toStdString());
#endif
}

bool IsJapaneseLcid(std::uint32_t lcid) {
  // Compared as text, so that another sort order of the same language does not count.
  char text[16];
  std::snprintf(text, sizeof text, "%4X", static_cast<unsigned>(lcid));
  return ReplaceAllText(text, " ", "0") == "0411";
}

TFrmAboutDialog::TFrmAboutDialog(Platform& platform, std::string programFile, std::uint32_t lcid,
                                 IShellRequests& shell, QWidget* parent)
    : QDialog(parent), programFile_(std::move(programFile)), shell_(shell) {
  setObjectName(QStringLiteral("FrmAboutDialog"));
  setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) &
                 ~Qt::WindowContextHelpButtonHint);
  setFont(WindowFont());
  CreateComponents();
  FormCreate(platform, lcid);
}

void TFrmAboutDialog::CreateComponents() {
  ImgIcon = new QLabel(this);
  ImgIcon->setObjectName(QStringLiteral("ImgIcon"));
  ImgIcon->resize(32, 32);

  LblAppName = new QLabel(this);
  LblAppName->setObjectName(QStringLiteral("LblAppName"));
  QFont nameFont = WindowFont();
  nameFont.setPixelSize(18);
  nameFont.setBold(true);
  LblAppName->setFont(nameFont);

  LblAppVersion = new QLabel(this);
  LblAppVersion->setObjectName(QStringLiteral("LblAppVersion"));
  LblCopyright = new QLabel(this);
  LblCopyright->setObjectName(QStringLiteral("LblCopyright"));

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  Bevel1->resize(305, 2);

  ImgMark = new QLabel(this);
  ImgMark->setObjectName(QStringLiteral("ImgMark"));
  ImgMark->setAttribute(Qt::WA_TranslucentBackground);
  ImgMark->setPixmap(QPixmap::fromImage(MakerMarkImage()));
  ImgMark->adjustSize();

  LblCompanyName = new QLabel(QStringLiteral("Zaro Vadera \"Harrow\""), this);
  LblCompanyName->setObjectName(QStringLiteral("LblCompanyName"));

  LblOfficialSite = new QLabel(this);
  LblOfficialSite->setObjectName(QStringLiteral("LblOfficialSite"));
  QFont linkFont = LblOfficialSite->font();
  linkFont.setUnderline(true);
  LblOfficialSite->setFont(linkFont);
  LblOfficialSite->setCursor(Qt::PointingHandCursor);
  LblOfficialSite->setMouseTracking(true);
  LblOfficialSite->installEventFilter(this);
  SetLinkColour(kNavy);

  BtnOk = new QPushButton(QStringLiteral("OK"), this);
  BtnOk->setObjectName(QStringLiteral("BtnOk"));
  BtnOk->setDefault(true);
  BtnOk->resize(75, 25);
  connect(BtnOk, &QPushButton::clicked, this, &TFrmAboutDialog::BtnOkClick);

  for (QLabel* label : {LblAppName, LblAppVersion, LblCopyright, LblCompanyName, LblOfficialSite}) {
    label->setTextFormat(Qt::PlainText);
  }
}

void TFrmAboutDialog::FormCreate(Platform& platform, std::uint32_t lcid) {
  LblOfficialSite->setText(QString::fromUtf8(links::kMakerSite));

  TZelVersionInfo version(platform);
  version.LoadFromFile(programFile_);
  if (IsJapaneseLcid(lcid)) {
    setWindowTitle(Q(FormatPath("%s について", {version.GetProductName()})));
    LblAppName->setText(Q(version.GetProductName()));
  } else {
    setWindowTitle(Q(FormatPath("About %s", {version.GetProductNameEn()})));
    LblAppName->setText(Q(version.GetProductNameEn()));
  }
  LblAppVersion->setText(Q(FormatPath("Version %s", {version.GetProductVersion()})));
  LblCopyright->setText(Q(version.GetLegalCopyright()));
  ImgIcon->setPixmap(QPixmap::fromImage(ProgramIconImage(32)));
  setWindowIcon(ProgramIcon());
  for (QLabel* label : {LblAppName, LblAppVersion, LblCopyright, LblCompanyName, LblOfficialSite}) {
    label->adjustSize();
  }

  ImgIcon->move(8, 8);
  LblAppName->move(Right(ImgIcon) + 8,
                   ImgIcon->y() + (ImgIcon->height() - LblAppName->height()) / 2);
  LblAppVersion->move(LblAppVersion->x(), Bottom(LblAppName) + 8);
  LblCopyright->move(LblAppName->x(), Bottom(LblAppVersion) + 16);
  int width = std::max(Right(LblAppName) + 8, Right(LblCopyright) + 8);
  Bevel1->move(8, Bottom(LblCopyright) + 8);
  ImgMark->move(8, Bottom(LblCopyright) + 16);
  LblCompanyName->move(Right(ImgMark) + 8, ImgMark->y());
  width = std::max(width, Right(LblCompanyName) + 8);
  LblOfficialSite->move(LblCompanyName->x() + 16, Bottom(LblCompanyName) + 8);
  width = std::max(width, Right(LblOfficialSite) + 8);
  LblAppVersion->move(width - LblAppVersion->width() - 8, LblAppVersion->y());
  const int height = Bottom(ImgMark) + 8;
  setFixedSize(width, height);
  BtnOk->move(width - BtnOk->width() - 8, height - BtnOk->height() - 8);
}

void TFrmAboutDialog::BtnOkClick() {
  accept();
}

void TFrmAboutDialog::SetLinkColour(const QColor& colour) {
  QPalette palette = LblOfficialSite->palette();
  palette.setColor(QPalette::WindowText, colour);
  LblOfficialSite->setPalette(palette);
}

void TFrmAboutDialog::LblOfficialSiteMouseMove() {
  SetLinkColour(kRed);
}

void TFrmAboutDialog::LblOfficialSiteMouseLeave() {
  SetLinkColour(kNavy);
}

void TFrmAboutDialog::LblOfficialSiteClick() {
  shell_.OpenAddress(this, LblOfficialSite->text());
}

bool TFrmAboutDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LblOfficialSite) {
    switch (event->type()) {
      case QEvent::MouseMove:
        LblOfficialSiteMouseMove();
        break;
      case QEvent::Leave:
        LblOfficialSiteMouseLeave();
        break;
      case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            LblOfficialSite->rect().contains(mouse->position().toPoint())) {
          LblOfficialSiteClick();
        }
        break;
      }
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TFrmAboutDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!centred_) {
    centred_ = true;
    MoveToScreenCentre(*this);
  }
}

}  // namespace tovalin
