#include "app/gui/ShellRequests.h"

#include <QClipboard>
#include <QGuiApplication>

namespace tovalin {

void IShellRequests::SetClipboardText(const QString& text) {
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text);
}

bool InternetExplorerShowsPages(std::uint32_t windowsBuild) {
  constexpr std::uint32_t kWindows11 = 22000;
  return windowsBuild < kWindows11;
}

std::string InternetExplorerCommandLine(std::string_view systemDirectory,
                                        std::string_view address) {
  if (systemDirectory.empty()) return {};
  std::string browser(1, systemDirectory.front());
  browser += ":\\Program Files\\Internet Explorer\\IEXPLORE.EXE";
  return "\"" + browser + "\" \"" + std::string(address) + "\"";
}

}  // namespace tovalin
