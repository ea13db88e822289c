#include "app/gui/ReportDialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>

#include "app/gui/DialogArt.h"
#include "app/gui/DialogSupport.h"
#include "app/gui/Links.h"
#include "app/gui/ProgramArt.h"

namespace tovalin {

ReportDialog::ReportDialog(IMessageBoxes& boxes, IShellRequests& shell, QWidget* parent)
    : QDialog(parent), boxes_(boxes), shell_(shell) {
  setObjectName(QStringLiteral("ReportDialog"));
  setWindowTitle(QStringLiteral("判別不能なOffice製品"));
  setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint) &
                 ~Qt::WindowContextHelpButtonHint);
  setWindowIcon(ProgramIcon());
  setFont(WindowFont());
  CreateComponents();
  FormCreate();
}

void ReportDialog::CreateComponents() {
  LblInfo = new QLabel(this);
  LblInfo->setObjectName(QStringLiteral("LblInfo"));
  LblInfo->setTextFormat(Qt::PlainText);

  MemoGUID = new QPlainTextEdit(this);
  MemoGUID->setObjectName(QStringLiteral("MemoGUID"));
  MemoGUID->setReadOnly(true);
  MemoGUID->setLineWrapMode(QPlainTextEdit::NoWrap);
  MemoGUID->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoGUID->resize(300, 73);

  BtnMail = new QPushButton(QStringLiteral("情報を送信する"), this);
  BtnMail->setObjectName(QStringLiteral("BtnMail"));
  BtnMail->setIcon(QIcon(QPixmap::fromImage(MailGlyph(16))));
  BtnMail->setAutoDefault(false);
  BtnMail->resize(150, 31);

  BtnHelp = new QPushButton(this);
  BtnHelp->setObjectName(QStringLiteral("BtnHelp"));
  BtnHelp->setIcon(QIcon(QPixmap::fromImage(HelpGlyph(16))));
  BtnHelp->setAutoDefault(false);
  BtnHelp->setToolTip(QStringLiteral("ヘルプ"));
  BtnHelp->resize(31, 31);

  BtnCopy = new QPushButton(QStringLiteral("クリップボードにコピーする"), this);
  BtnCopy->setObjectName(QStringLiteral("BtnCopy"));
  BtnCopy->setIcon(QIcon(QPixmap::fromImage(CopyGlyph(16))));
  BtnCopy->setAutoDefault(false);
  BtnCopy->resize(185, 31);

  BtnClose = new QPushButton(StandardCloseText(), this);
  BtnClose->setObjectName(QStringLiteral("BtnClose"));
  BtnClose->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
  BtnClose->setAutoDefault(false);
  BtnClose->resize(83, 31);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  StatusBar1->resize(300, 19);

  connect(BtnMail, &QPushButton::clicked, this,
          [this] { RunGuarded(boxes_, [this] { BtnMailClick(); }); });
  connect(BtnCopy, &QPushButton::clicked, this,
          [this] { RunGuarded(boxes_, [this] { BtnCopyClick(); }); });
  connect(BtnHelp, &QPushButton::clicked, this,
          [this] { RunGuarded(boxes_, [this] { BtnHelpClick(); }); });
  connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);
}

void ReportDialog::FormCreate() {
  SetMailBody(QString());
  LblInfo->setText(
      QStringLiteral("Tovalinで判別できないOffice製品が検出されました。\n"
                     "この製品に対応させるために、検出情報を作者に送信して下さい。"));
  LblInfo->adjustSize();
  const int clientWidth = LblInfo->width() + 8;

  LblInfo->move(LblInfo->x(), 4);
  MemoGUID->move(MemoGUID->x(), Bottom(LblInfo) + 4);
  BtnMail->move(BtnMail->x(), Bottom(MemoGUID) + 4);
  BtnHelp->move(BtnHelp->x(), BtnMail->y());
  BtnCopy->move(BtnCopy->x(), Bottom(BtnMail) + 4);
  BtnClose->move(BtnClose->x(), BtnCopy->y());

  const int clientHeight = Bottom(BtnCopy) + StatusBar1->height() + 4;
  setFixedSize(clientWidth, clientHeight);
  StatusBar1->setGeometry(0, clientHeight - StatusBar1->height(), clientWidth,
                          StatusBar1->height());

  MemoGUID->resize(clientWidth - 8, MemoGUID->height());
  LblInfo->move(4, LblInfo->y());
  MemoGUID->move(4, MemoGUID->y());
  BtnCopy->move(4, BtnCopy->y());
  BtnClose->move(clientWidth - BtnClose->width() - 4, BtnClose->y());

  BtnHelp->move(Right(BtnCopy) - BtnHelp->width(), BtnHelp->y());
  BtnMail->resize(BtnHelp->x() - 4, BtnMail->height());
  BtnMail->move(4, BtnMail->y());
}

void ReportDialog::SetMailBody(const QString& text) {
  FMailBody = text;
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  MemoGUID->setPlainText(shown);
}

std::string ReportDialog::PercentEncodeBytes(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size() * 3);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    encoded += '%';
    encoded += kHex[byte >> 4];
    encoded += kHex[byte & 0x0F];
  }
  return encoded;
}

void ReportDialog::BtnMailClick() {
  // The subject is UTF-8, so the body is too: mail addresses carry UTF-8 text, and a body in
  // another encoding would arrive garbled next to it.
  const QByteArray body = FMailBody.toUtf8();
  const std::string address =
      std::string("mailto:") + links::kMakerMail + "?subject=" + links::kReportMailSubject +
      "&body=" + PercentEncodeBytes(std::string_view(body.constData(), body.size()));
  shell_.OpenAddress(this, QString::fromStdString(address));
}

void ReportDialog::BtnCopyClick() {
  shell_.SetClipboardText(MemoGUID->toPlainText());
}

void ReportDialog::BtnHelpClick() {
  boxes_.Inform(
      QStringLiteral("「情報を送信する」ボタン\r\n\r\n"
                     "このボタンを押すとメーラーが起動し、Tovalinで判別できない\r\n"
                     "Office製品の情報（テキストボックスに記されている内容）を作者に\r\n"
                     "送信する事が出来ます。\r\n\r\n"
                     "お使いのメーラーに拠っては本文に情報内容が設定されない場合が\r\n"
                     "ありますので、その場合は「クリップボードにコピーする」ボタンで\r\n"
                     "情報内容をコピーしてからメーラーの本文に貼り付けて下さい。"));
}

void ReportDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!centred_) {
    centred_ = true;
    MoveToScreenCentre(*this);
  }
}

}  // namespace tovalin
