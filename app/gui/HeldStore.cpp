#include "app/gui/HeldStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressDialog>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app/gui/QtText.h"

namespace tovalin {

namespace {

// "EXCEL.EXE", "ping.exe (2)": one line per program, in name order, each after `lead`.
QString ProgramLines(const std::vector<std::string>& programs, const QString& lead) {
  std::map<std::string, int> counts;
  for (const std::string& name : programs) ++counts[name];
  QString lines;
  for (const auto& [name, count] : counts) {
    lines += lead + Q(name);
    if (count > 1) lines += QStringLiteral(" (%1)").arg(count);
    lines += QStringLiteral("\r\n");
  }
  return lines;
}

QString WaitingText(const std::vector<std::string>& programs) {
  if (programs.empty()) {
    return QStringLiteral("Wine のサーバー (wineserver) が終了するのを待っています…");
  }
  QString text = QStringLiteral("次の Wine のプログラムが終了するのを待っています:\n") +
                 ProgramLines(programs, QStringLiteral("・"));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text.trimmed();
}

// A day: the user ends the wait with Cancel, not a clock.
constexpr std::chrono::hours kWaitLimit{24};

bool WaitWithProgress(IStoreHolders& holders, QWidget* parent) {
  QProgressDialog progress(parent);
  progress.setObjectName(QStringLiteral("DlgWaitForWine"));
  progress.setWindowTitle(QStringLiteral("Tovalin"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setRange(0, 0);
  progress.setMinimumDuration(0);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  progress.setCancelButtonText(QStringLiteral("キャンセル"));
  auto* label = new QLabel(&progress);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label->setTextFormat(Qt::PlainText);
  progress.setLabel(label);
  progress.setLabelText(WaitingText(holders.Programs()));
  progress.setMinimumWidth(360);
  progress.show();
  QElapsedTimer sinceLook;
  sinceLook.start();
  const bool free = holders.WaitUntilFree(kWaitLimit, [&] {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (sinceLook.elapsed() >= 1000) {
      // The list shrinks as programs end; the server lingers a moment after the last.
      progress.setLabelText(WaitingText(holders.Programs()));
      sinceLook.restart();
    }
    return !progress.wasCanceled();
  });
  progress.close();
  return free;
}

}  // namespace

bool ReleaseHeldStore(Platform& platform, IMessageBoxes& boxes, QWidget* parent) {
  IStoreHolders* holders = platform.StoreHolders();
  if (holders == nullptr || !holders->Busy()) return true;
  const std::vector<std::string> programs = holders->Programs();
  QString text;
  if (programs.empty()) {
    text = QStringLiteral(
        "この Wine プレフィックスの Wine のサーバー (wineserver) がまだ動作中です。\r\n"
        "動作中に変更すると、サーバーが終了するときに上書きされてしまいます。\r\n\r\n"
        "サーバーが終了するのを待ってから変更しますか？");
  } else {
    text = QStringLiteral(
               "この Wine プレフィックスでは次の Wine のプログラムが動作中です。\r\n"
               "動作中に変更すると、Wine が終了するときに上書きされてしまいます。\r\n\r\n") +
           ProgramLines(programs, QStringLiteral("    ")) +
           QStringLiteral(
               "\r\nプログラムが終了するのを待ってから変更しますか？\r\n"
               "プログラムを強制終了してから変更することもできます。");
  }
  QStringList buttons = {QStringLiteral("終了を待つ(&W)")};
  if (!programs.empty()) buttons << QStringLiteral("強制終了する(&E)");
  buttons << QStringLiteral("キャンセル");
  const int choice = boxes.Choose(text, MsgIcon::Warning, buttons);
  if (choice < 0 || choice == buttons.size() - 1) return false;
  if (choice == 1) {
    if (!boxes.Ask(QStringLiteral("Wine のプログラムを強制終了しますか？\r\n"
                                  "保存していない内容は失われます。\r\n\r\n") +
                   ProgramLines(programs, QStringLiteral("    ")))) {
      return false;
    }
    holders->EndPrograms();
  }
  if (!WaitWithProgress(*holders, parent)) return false;
  // The server saved its registry as it ended: the change is made on what it saved.
  platform.Registry().Refresh();
  return true;
}

}  // namespace tovalin
