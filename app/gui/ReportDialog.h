// The report of unrecognised Office products: shows the report and sends it to the maker by mail
// or copies it to the clipboard.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <string_view>

#include "app/gui/MessageBoxes.h"
#include "app/gui/ShellRequests.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace tovalin {

class ReportDialog : public QDialog {
  Q_OBJECT
  Q_PROPERTY(QString MailBody READ MailBody WRITE SetMailBody)
 public:
  ReportDialog(IMessageBoxes& boxes, IShellRequests& shell, QWidget* parent = nullptr);

  QString MailBody() const { return FMailBody; }
  // Stores the report and shows it in MemoGUID.
  void SetMailBody(const QString& text);

  // --- handlers ---
  void BtnMailClick();
  void BtnCopyClick();
  void BtnHelpClick();

  // --- components ---
  QLabel* LblInfo = nullptr;
  QPlainTextEdit* MemoGUID = nullptr;
  QPushButton* BtnMail = nullptr;
  QPushButton* BtnHelp = nullptr;
  QPushButton* BtnCopy = nullptr;
  QPushButton* BtnClose = nullptr;
  QStatusBar* StatusBar1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateComponents();
  void FormCreate();
  // Every byte of the text's UTF-8 form as "%" and two upper-case hexadecimal digits.
  static std::string PercentEncodeBytes(std::string_view text);

  IMessageBoxes& boxes_;
  IShellRequests& shell_;
  QString FMailBody;
  bool centred_ = false;
};

}  // namespace tovalin
