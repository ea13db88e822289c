// The Windows shell: addresses and folders go to ShellExecute, a file's properties to the shell's
// own sheet, the Office update page to Internet Explorer.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <QWidget>
#include <cwchar>

#include "app/gui/ShellRequests.h"
#include "support/Text.h"

namespace tovalin {

namespace {

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

class TWindowsShell : public IShellRequests {
 public:
  void OpenAddress(QWidget* owner, const QString& address) override {
    if (address.isEmpty()) return;
    ShellExecuteW(WindowOf(owner), L"open", Wide(address).c_str(), nullptr, nullptr, SW_SHOW);
  }

  void OpenFolder(QWidget* owner, const std::string& folder) override {
    // An empty name would open whatever folder happens to be current.
    if (folder.empty()) return;
    ShellExecuteW(WindowOf(owner), L"open", Wide(folder).c_str(), nullptr, nullptr, SW_SHOW);
  }

  void ShowProperties(QWidget* owner, const std::string& file) override {
    if (file.empty()) return;
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
  }

  void OpenUpdatePage(QWidget*, const QString& address) override {
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
  }
};

}  // namespace

std::unique_ptr<IShellRequests> NativeShell(Platform&) {
  return std::make_unique<TWindowsShell>();
}

}  // namespace tovalin
