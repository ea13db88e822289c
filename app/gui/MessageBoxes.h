// Every message of the windows goes through one small interface, so the windows can be driven
// by tests that answer the questions themselves.
#pragma once

#include <QString>
#include <QStringList>
#include <exception>
#include <string_view>

namespace tovalin {

enum class MsgIcon { Error, Information, Question, Warning };
enum class MsgButtons { Ok, YesNo, Choice };
enum class MsgResult { Ok, Yes, No };

class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  // A modal box with the caption "Tovalin" and no owner window. CR LF in text is a line break.
  virtual MsgResult Show(const QString& text, MsgIcon icon, MsgButtons buttons) = 0;

  // A question answered with one of the given buttons: its index, or -1 when the box was closed
  // without one (Escape), which counts as the last button.
  virtual int Choose(const QString& text, MsgIcon icon, const QStringList& buttons) = 0;

  MsgResult Inform(const QString& text) { return Show(text, MsgIcon::Information, MsgButtons::Ok); }
  MsgResult Warn(const QString& text) { return Show(text, MsgIcon::Warning, MsgButtons::Ok); }
  MsgResult Fail(const QString& text) { return Show(text, MsgIcon::Error, MsgButtons::Ok); }
  bool Ask(const QString& text) {
    return Show(text, MsgIcon::Question, MsgButtons::YesNo) == MsgResult::Yes;
  }
};

// Real boxes: QMessageBox without a parent, captioned "Tovalin".
class QtMessageBoxes : public IMessageBoxes {
 public:
  MsgResult Show(const QString& text, MsgIcon icon, MsgButtons buttons) override;
  int Choose(const QString& text, MsgIcon icon, const QStringList& buttons) override;
};

// Ends an operation quietly: the exception display shows nothing for it.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// The text an escaped error is shown with: a "." is appended when the last character sorts
// after "." in character code order.
QString ExceptionMessageText(std::string_view what);

// Shows an error that escaped an event handler (error icon), or nothing for EAbort.
void ShowException(IMessageBoxes& boxes, std::exception_ptr error);

// Runs a handler and shows whatever escapes it; the window goes on afterwards.
template <class F>
void RunGuarded(IMessageBoxes& boxes, F&& handler) {
  try {
    handler();
  } catch (...) {
    ShowException(boxes, std::current_exception());
  }
}

}  // namespace tovalin
