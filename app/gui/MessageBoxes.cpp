#include "app/gui/MessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <iterator>
#include <vector>

namespace tovalin {

namespace {

void SetUp(QMessageBox& box, const QString& text, MsgIcon icon) {
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
}

}  // namespace

MsgResult QtMessageBoxes::Show(const QString& text, MsgIcon icon, MsgButtons buttons) {
  QMessageBox box;
  SetUp(box, text, icon);
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

int QtMessageBoxes::Choose(const QString& text, MsgIcon icon, const QStringList& buttons) {
  QMessageBox box;
  SetUp(box, text, icon);
  std::vector<QAbstractButton*> added;
  for (const QString& label : buttons) {
    // Roles only order the buttons the platform's way; the first one is the default.
    const QMessageBox::ButtonRole role =
        added.empty()
            ? QMessageBox::AcceptRole
            : (&label == &buttons.back() ? QMessageBox::RejectRole : QMessageBox::ActionRole);
    added.push_back(box.addButton(label, role));
  }
  if (!added.empty()) {
    box.setDefaultButton(qobject_cast<QPushButton*>(added.front()));
    box.setEscapeButton(added.back());
  }
  box.exec();
  for (std::size_t i = 0; i < added.size(); ++i) {
    if (box.clickedButton() == added[i]) return static_cast<int>(i);
  }
  return -1;
}

QString ExceptionMessageText(std::string_view what) {
  QString text = QString::fromUtf8(what.data(), static_cast<qsizetype>(what.size()));
  if (!text.isEmpty()) {
    // Compare the last code point, not the last UTF-16 unit.
    const QList<uint> codes = text.right(2).toUcs4();
    // A message that already ends a Japanese sentence takes no second full stop.
    constexpr uint kEnds[] = {0x3002, 0xFF0E, 0xFF01, 0xFF1F};  // 。．！？
    if (!codes.isEmpty() && codes.back() > u'.' &&
        std::find(std::begin(kEnds), std::end(kEnds), codes.back()) == std::end(kEnds)) {
      text += u'.';
    }
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
