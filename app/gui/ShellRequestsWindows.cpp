// The Windows shell: addresses and folders go to ShellExecute, a file's properties to the shell's
// own sheet, the Office update page to Internet Explorer where it still shows pages, else to the
// default browser.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <QWidget>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "app/gui/ShellRequests.h"
#include "support/Text.h"
#include "support/platform/windows/Win32Text.h"

namespace tovalin {

namespace {

HWND WindowOf(QWidget* owner) {
  return owner != nullptr ? reinterpret_cast<HWND>(owner->window()->winId()) : nullptr;
}

class TWindowsShell : public IShellRequests {
 public:
  void OpenAddress(QWidget* owner, const QString& address) override {
    if (address.isEmpty()) return;
    ShellExecuteW(WindowOf(owner), L"open", address.toStdWString().c_str(), nullptr, nullptr,
                  SW_SHOW);
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

  void OpenUpdatePage(QWidget* owner, const QString& address) override {
    if (address.isEmpty()) return;
    if (InternetExplorerShowsPages(WindowsBuild()) && StartInternetExplorer(address)) return;
    // Without an Internet Explorer of its own the page is still worth showing: the user's browser.
    OpenAddress(owner, address);
  }

 private:
  // The build number Windows itself reports: RtlGetVersion is not subject to the version lie
  // GetVersionEx tells a program whose manifest does not name the running Windows.
  static std::uint32_t WindowsBuild() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const FARPROC address = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
    if (address == nullptr) return 0;
    RtlGetVersionFn getVersion = nullptr;
    // Copied, not cast: a cast between unrelated function types draws a warning.
    static_assert(sizeof getVersion == sizeof address);
    std::memcpy(&getVersion, &address, sizeof getVersion);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    return getVersion(&version) == 0 ? version.dwBuildNumber : 0;
  }

  // False when there is no Internet Explorer to start (a Windows 10 without the feature).
  static bool StartInternetExplorer(const QString& address) {
    wchar_t system[MAX_PATH + 1] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::u16string units(system, system + wcslen(system));
    std::wstring command =
        Wide(InternetExplorerCommandLine(Utf16ToUtf8(units), address.toStdString()));
    if (command.empty()) return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWDEFAULT;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE,
                        nullptr, nullptr, &startup, &process)) {
      return false;
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
  }
};

}  // namespace

std::unique_ptr<IShellRequests> NativeShell(Platform&) {
  return std::make_unique<TWindowsShell>();
}

}  // namespace tovalin
