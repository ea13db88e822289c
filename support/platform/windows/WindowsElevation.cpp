#include "support/platform/windows/WindowsElevation.h"

#include <string>

#include "support/Text.h"
#include "support/platform/Platform.h"
#include "support/platform/windows/Win32.h"
#include "support/platform/windows/Win32Text.h"

namespace tovalin {

bool ProcessElevated() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool known =
      ::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) != 0;
  ::CloseHandle(token);
  // Without UAC (an older system, or the information missing) the token is what it is.
  return !known || elevation.TokenIsElevated != 0;
}

long RunProgramElevated(std::string_view program, std::string_view parameters,
                        const std::function<void()>& waiting, std::uint32_t& exitCode) {
  const std::wstring file = Wide(program);
  const std::wstring arguments = Wide(parameters);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = L"runas";
  info.lpFile = file.c_str();
  info.lpParameters = arguments.c_str();
  info.nShow = SW_HIDE;
  if (!::ShellExecuteExW(&info)) {
    const DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? win::kNotSupported : static_cast<long>(error);
  }
  if (info.hProcess == nullptr) return win::kNotSupported;
  while (::WaitForSingleObject(info.hProcess, 100) == WAIT_TIMEOUT) {
    if (waiting) waiting();
  }
  DWORD code = 0;
  const bool got = ::GetExitCodeProcess(info.hProcess, &code) != 0;
  ::CloseHandle(info.hProcess);
  exitCode = code;
  return got ? win::kSuccess : static_cast<long>(::GetLastError());
}

}  // namespace tovalin
