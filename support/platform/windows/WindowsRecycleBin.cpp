#include "support/platform/windows/WindowsRecycleBin.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "support/Text.h"
#include "support/TrashRecords.h"
#include "support/platform/windows/Win32.h"
#include "support/platform/windows/Win32Text.h"
// clang-format off
#include <objbase.h>
#include <sddl.h>
#include <shobjidl.h>
// clang-format on

namespace tovalin {

namespace {


std::wstring Variable(const wchar_t* name) {
  std::vector<wchar_t> buffer(32768, L'\0');
  const DWORD units = ::GetEnvironmentVariableW(name, buffer.data(), buffer.size());
  return units < buffer.size() ? std::wstring(buffer.data(), units) : std::wstring();
}

std::wstring Folder(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L'\\');
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring NamePart(const std::wstring& path) {
  return path.substr(path.find_last_of(L'\\') + 1);
}

template <typename F>
F Kernel32(const char* name) {
  F function = nullptr;
  const FARPROC address = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name);
  static_assert(sizeof(function) == sizeof(address));
  std::memcpy(&function, &address, sizeof(function));
  return function;
}

using UnixNameFn = char*(CDECL*)(const wchar_t*);

std::optional<std::vector<std::uint8_t>> ReadSmall(const std::wstring& path) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::uint8_t> content(64 * 1024);
  DWORD got = 0;
  const bool ok = ::ReadFile(file, content.data(), content.size(), &got, nullptr) != FALSE;
  ::CloseHandle(file);
  if (!ok) return std::nullopt;
  content.resize(got);
  return content;
}

std::wstring UserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<std::uint8_t> buffer(size);
  std::wstring sid;
  wchar_t* text = nullptr;
  if (size != 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
      ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
    sid = text;
    ::LocalFree(text);
  }
  ::CloseHandle(token);
  return sid;
}

// Where Wine 8's shell keeps its bin: the host's $XDG_DATA_HOME/Trash (later versions hand the
// variable on as WINE_HOST_XDG_DATA_HOME), else ~/.local/share/Trash.
std::wstring WineTrashFolder() {
  if (Kernel32<UnixNameFn>("wine_get_unix_file_name") == nullptr) return {};
  for (const wchar_t* name : {L"WINE_HOST_XDG_DATA_HOME", L"XDG_DATA_HOME"}) {
    std::wstring folder = Variable(name);
    if (folder.empty() || folder[0] != L'/') continue;
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    return L"\\\\?\\unix" + folder + L"\\Trash";
  }
  std::wstring home = Variable(L"WINEHOMEDIR");  // "\??\Z:\home\user" and the like
  if (home.size() < 5 || home.compare(0, 4, L"\\??\\") != 0) return {};
  home[1] = L'\\';
  std::replace(home.begin(), home.end(), L'/', L'\\');
  return home + L"\\.local\\share\\Trash";
}

// C:\Users\NAME~1 and C:\Users\name are one folder: paths compare in the long form.
std::wstring LongPath(const std::wstring& path) {
  std::vector<wchar_t> buffer(32768, L'\0');
  const DWORD units = ::GetLongPathNameW(path.c_str(), buffer.data(), buffer.size());
  return units > 0 && units < buffer.size() ? std::wstring(buffer.data(), units) : path;
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// IFileOperation where COM may run in this thread. Where it is missing or fails (Wine 8 has only
// its stubs) and the file is still there, SHFileOperation tries next.
void RecycleThroughShell(const std::wstring& path) {
  const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (SUCCEEDED(init)) {
    IFileOperation* operation = nullptr;
    IShellItem* item = nullptr;
    HRESULT hr =
        ::CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&operation));
    if (SUCCEEDED(hr)) {
      hr = operation->SetOperationFlags(FOF_NO_UI | FOF_ALLOWUNDO | FOFX_RECYCLEONDELETE);
    }
    if (SUCCEEDED(hr)) {
      hr = ::SHCreateItemFromParsingName(path.c_str(), nullptr, IID_PPV_ARGS(&item));
    }
    if (SUCCEEDED(hr)) hr = operation->DeleteItem(item, nullptr);
    if (SUCCEEDED(hr)) operation->PerformOperations();
    if (item != nullptr) item->Release();
    if (operation != nullptr) operation->Release();
    ::CoUninitialize();
  }
  if (!Exists(path)) return;
  std::wstring from = path;
  from.push_back(L'\0');  // the list ends with an empty name
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_ALLOWUNDO | FOF_NO_UI;
  ::SHFileOperationW(&operation);
}

}  // namespace

WindowsRecycleBin::WindowsRecycleBin() : sid_(UserSid()), wineTrash_(WineTrashFolder()) {}

std::string WindowsRecycleBin::HostName(const std::wstring& path) const {
  const auto unixName = Kernel32<UnixNameFn>("wine_get_unix_file_name");
  char* name = unixName != nullptr ? unixName(path.c_str()) : nullptr;
  if (name == nullptr) return {};
  std::string result = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

std::optional<WindowsRecycleBin::Entry> WindowsRecycleBin::ReadEntry(
    const std::wstring& info) const {
  const std::optional<std::vector<std::uint8_t>> bytes = ReadSmall(info);
  if (!bytes) return std::nullopt;
  const std::wstring folder = Folder(info);
  const std::wstring name = NamePart(info);
  constexpr std::wstring_view kSuffix = L".trashinfo";
  if (name.size() > 2 && name.compare(0, 2, L"$I") == 0) {
    const std::optional<RecycleBinInfo> record = ParseRecycleBinInfo(*bytes);
    if (!record) return std::nullopt;
    wchar_t when[20];
    std::swprintf(when, 20, L"%016llx", static_cast<unsigned long long>(record->deletionTime));
    // The file is gone; its folder tells the long form.
    const std::wstring original = Wide(record->path);
    const std::wstring longPath = LongPath(Folder(original)) + L"\\" + NamePart(original);
    return Entry{info, folder + L"\\$R" + name.substr(2), Narrow(longPath), Narrow(when), false};
  }
  if (name.size() > kSuffix.size() && name.ends_with(kSuffix) && NamePart(folder) == L"info") {
    const std::optional<TrashInfo> record = ParseTrashInfo(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (!record) return std::nullopt;
    return Entry{info, Folder(folder) + L"\\files\\" + name.substr(0, name.size() - kSuffix.size()),
                 record->path, record->deletionDate, true};
  }
  return std::nullopt;
}

bool WindowsRecycleBin::Names(const Entry& entry, const std::wstring& path) const {
  const std::string name = entry.hostPath ? HostName(path) : Narrow(path);
  return !name.empty() && CompareNoCase(entry.original, name) == 0;
}

std::vector<WindowsRecycleBin::Entry> WindowsRecycleBin::EntriesOf(const std::wstring& path) const {
  std::vector<std::wstring> patterns;
  wchar_t volume[MAX_PATH + 1] = {};
  if (!sid_.empty() && ::GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1)) {
    std::wstring root = volume;
    if (!root.empty() && root.back() != L'\\') root.push_back(L'\\');
    patterns.push_back(root + L"$Recycle.Bin\\" + sid_ + L"\\$I*");
  }
  // Wine names a record after the file, with a number after it when the name is taken.
  if (!wineTrash_.empty()) patterns.push_back(wineTrash_ + L"\\info\\" + NamePart(path) + L"*");
  std::vector<Entry> found;
  for (const std::wstring& pattern : patterns) {
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::wstring info = Folder(pattern) + L"\\" + data.cFileName;
      if (std::optional<Entry> entry = ReadEntry(info); entry && Names(*entry, path)) {
        found.push_back(std::move(*entry));
      }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  return found;
}

long WindowsRecycleBin::Recycle(std::string_view path, TrashedFile& trashed) const {
  const std::wstring given = Wide(path);
  // A pattern would let the name found below be another file's.
  if (given.find_first_of(L"*?") != std::wstring::npos) return ERROR_INVALID_NAME;
  std::vector<wchar_t> buffer(32768, L'\0');
  const DWORD units = ::GetFullPathNameW(given.c_str(), buffer.size(), buffer.data(), nullptr);
  if (units == 0 || units >= buffer.size()) return ERROR_INVALID_NAME;
  std::wstring full(buffer.data(), units);
  // The name as it is on the disk, which the bin records and the file comes back with.
  WIN32_FIND_DATAW data{};
  const HANDLE find = ::FindFirstFileW(full.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return ERROR_FILE_NOT_FOUND;
  ::FindClose(find);
  full = Folder(full) + L"\\" + data.cFileName;
  full = LongPath(full);
  if (data.dwFileAttributes &
      (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT)) {
    return ERROR_ACCESS_DENIED;
  }

  const std::vector<Entry> before = EntriesOf(full);
  const std::wstring keeper = full + L".tovalin-" + std::to_wstring(::GetCurrentProcessId()) +
                              L"-" + std::to_wstring(::GetTickCount64());
  if (!::CreateHardLinkW(keeper.c_str(), full.c_str(), nullptr) &&
      !::CopyFileW(full.c_str(), keeper.c_str(), TRUE)) {
    return static_cast<long>(::GetLastError());
  }
  RecycleThroughShell(full);
  if (Exists(full)) {
    ::DeleteFileW(keeper.c_str());
    return ERROR_ACCESS_DENIED;
  }
  std::optional<Entry> newest;
  for (Entry& entry : EntriesOf(full)) {
    const bool known = std::any_of(before.begin(), before.end(),
                                   [&](const Entry& old) { return old.info == entry.info; });
    if (!known && (!newest || entry.deleted > newest->deleted)) newest = std::move(entry);
  }
  if (!newest || !Exists(newest->trashed)) {
    // Gone for good, or to a bin this does not know: the second name puts it back.
    ::MoveFileExW(keeper.c_str(), full.c_str(), 0);
    return ERROR_NOT_SUPPORTED;
  }
  ::DeleteFileW(keeper.c_str());
  trashed = TrashedFile{Narrow(full), Narrow(newest->trashed), Narrow(newest->info)};
  return ERROR_SUCCESS;
}

long WindowsRecycleBin::Restore(const TrashedFile& trashed) const {
  const std::wstring target = Wide(trashed.path);
  if (Exists(target)) return ERROR_FILE_EXISTS;
  const std::wstring longTarget = LongPath(Folder(target)) + L"\\" + NamePart(target);
  const std::wstring file = Wide(trashed.trashed);
  const DWORD attributes = ::GetFileAttributesW(file.c_str());
  if (trashed.trashed.empty() || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return ERROR_FILE_NOT_FOUND;
  }
  // The record must still be the one of this file: the bin may have given the name to another.
  const std::optional<Entry> entry = ReadEntry(Wide(trashed.info));
  if (!entry || CompareNoCase(Narrow(entry->trashed), trashed.trashed) != 0 ||
      !Names(*entry, longTarget)) {
    return ERROR_FILE_NOT_FOUND;
  }
  // Wine's bin may lie on another drive than the file.
  if (!::MoveFileExW(file.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED)) {
    const long error = static_cast<long>(::GetLastError());
    return error == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : error;
  }
  ::DeleteFileW(entry->info.c_str());
  return ERROR_SUCCESS;
}

}  // namespace tovalin
