#include "app/gui/MessageBoxes.h"

#include <QMessageBox>

namespace tovalin {

MsgResult QtMessageBoxes::Show(const QString& text, MsgIcon icon, MsgButtons buttons) {
  QMessageBox box;
  box.setWindowTitle(QStringLiteral("Tovalin"));
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  box.setText(shown);
  box.setTextFormat(Qt::PlainText);
  switch (icon) {
    case MsgIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case MsgIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MsgIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
    case MsgIcon::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
  }
  if (buttons == MsgButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    // Closing the box without an answer counts as No, as with the system's Yes/No boxes.
    box.setEscapeButton(QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  const int answer = box.exec();
  if (buttons == MsgButtons::Ok) return MsgResult::Ok;
  return answer == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
}

QString ExceptionMessageText(std::string_view what) {
  QString text = QString::fromUtf8(what.data(), static_cast<qsizetype>(what.size()));
  if (!text.isEmpty()) {
    // Compare the last code point, not the last UTF-16 unit.
    const QList<uint> codes = text.right(2).toUcs4();
    if (!codes.isEmpty() && codes.back() > u'.') text += u'.';
  }
  return text;
}

void ShowException(IMessageBoxes& boxes, std::exception_ptr error) {
  if (!error) return;
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    boxes.Fail(ExceptionMessageText(e.what()));
  } catch (...) {
    boxes.Fail(ExceptionMessageText("Unknown error"));
  }
}

}  // namespace tovalin
