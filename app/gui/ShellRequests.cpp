#include "app/gui/ShellRequests.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>
#include <QWidget>

#include "app/gui/FileProperties.h"
#include "support/Text.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>
#endif

namespace tovalin {

namespace {

#ifdef _WIN32
std::wstring Wide(std::string_view text) {
  const std::u16string units = Utf8ToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::wstring Wide(const QString& text) {
  return text.toStdWString();
}

HWND WindowOf(QWidget* owner) {
  return owner != nullptr ? reinterpret_cast<HWND>(owner->window()->winId()) : nullptr;
}
#endif

}  // namespace

std::string InternetExplorerCommandLine(std::string_view systemDirectory,
                                        std::string_view address) {
  if (systemDirectory.empty()) return {};
  std::string browser(1, systemDirectory.front());
  browser += ":\\Program Files\\Internet Explorer\\IEXPLORE.EXE";
  return "\"" + browser + "\" \"" + std::string(address) + "\"";
}

void TDesktopShell::OpenAddress([[maybe_unused]] QWidget* owner, const QString& address) {
  if (address.isEmpty()) return;
#ifdef _WIN32
  ShellExecuteW(WindowOf(owner), L"open", Wide(address).c_str(), nullptr, nullptr, SW_SHOW);
#else
  QDesktopServices::openUrl(QUrl(address));
#endif
}

void TDesktopShell::OpenFolder([[maybe_unused]] QWidget* owner, const std::string& folder) {
  // An empty name would open whatever folder happens to be current.
  if (folder.empty()) return;
#ifdef _WIN32
  ShellExecuteW(WindowOf(owner), L"open", Wide(folder).c_str(), nullptr, nullptr, SW_SHOW);
#else
  const std::string host = platform_.Files().HostPath(folder);
  if (!host.empty()) QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(host)));
#endif
}

void TDesktopShell::ShowProperties(QWidget* owner, const std::string& file) {
  if (file.empty()) return;
#ifdef _WIN32
  (void)platform_;
  const std::wstring path = Wide(file);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = WindowOf(owner);
  info.lpVerb = L"properties";
  info.lpFile = path.c_str();
  info.lpParameters = L"";
  info.lpDirectory = L"";
  info.nShow = SW_SHOWNORMAL;
  // The sheet runs inside the shell; a process handle, when one comes back, is not needed.
  if (ShellExecuteExW(&info) && info.hProcess != nullptr) CloseHandle(info.hProcess);
#else
  auto* dialog = new TFilePropertiesDialog(platform_, file, owner);
  dialog->show();
#endif
}

void TDesktopShell::OpenUpdatePage([[maybe_unused]] QWidget* owner, const QString& address) {
#ifdef _WIN32
  wchar_t system[MAX_PATH + 1] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::u16string units(system, system + wcslen(system));
  std::wstring command =
      Wide(InternetExplorerCommandLine(Utf16ToUtf8(units), address.toStdString()));
  if (command.empty()) return;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWDEFAULT;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE,
                     nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
#else
  // No Internet Explorer here: the desktop's default browser shows the page.
  QDesktopServices::openUrl(QUrl(address));
#endif
}

void TDesktopShell::SetClipboardText(const QString& text) {
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text);
}

}  // namespace tovalin
