// The history's files on Windows.
#include <system_error>

#include "support/Text.h"
#include "support/action/HostFiles.h"
#include "support/platform/windows/Win32.h"
#include "support/platform/windows/Win32Text.h"

namespace tovalin {

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

}  // namespace

std::string DefaultHistoryFolder(const std::string& /*prefix*/) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD units = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH * 2);
  std::string base;
  if (units > 0 && units < MAX_PATH * 2) {
    base = Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(buffer), units));
  } else {
    base = ".";
  }
  return base + "\\Tovalin\\history";
}

void WriteHostFileDurably(const std::string& path, std::string_view content) {
  std::error_code error;
  std::filesystem::create_directories(HostPath(path).parent_path(), error);
  if (error) throw std::system_error(error, "cannot create the folder of " + path);
  const std::wstring target = Wide(path);
  const std::wstring temp = target + L".tovalin-tmp";
  const HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail("cannot create " + path);
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
      written == content.size() && ::FlushFileBuffers(file);
  ::CloseHandle(file);
  if (!ok || !::MoveFileExW(temp.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = ::GetLastError();
    ::DeleteFileW(temp.c_str());
    ::SetLastError(code);
    Fail("cannot write " + path);
  }
}

}  // namespace tovalin
