#include "support/platform/windows/WindowsPlatform.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "support/FileNames.h"
#include "support/IcoFile.h"
#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/platform/windows/Win32.h"
#include "support/platform/windows/Win32Text.h"
#include "support/platform/windows/WindowsElevation.h"
#include "support/platform/windows/WindowsRecycleBin.h"

namespace tovalin {

namespace {

// --- text and handles at the API boundary ---

template <typename T>
std::uint64_t ToNumber(T handle) {
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
}

template <typename T>
T FromNumber(std::uint64_t number) {
  return reinterpret_cast<T>(static_cast<std::uintptr_t>(number));
}

// GetProcAddress hands back a generic function pointer; copying it avoids a cast between
// unrelated function types.
template <typename F>
F LookUp(HMODULE module, const char* name) {
  F function = nullptr;
  if (module == nullptr) return function;
  const FARPROC address = ::GetProcAddress(module, name);
  static_assert(sizeof(function) == sizeof(address));
  std::memcpy(&function, &address, sizeof(function));
  return function;
}

// --- registry ---

#ifdef _WIN64
// The 32-bit view: what 32-bit Office reads and writes on 64-bit Windows.
constexpr REGSAM kView = KEY_WOW64_32KEY;
#else
constexpr REGSAM kView = 0;
#endif

// Registry paths reach the API without empty components, as every backend reads them.
std::wstring KeyPath(std::string_view path) {
  std::string joined;
  for (const std::string& part : SplitPath(path)) {
    if (!joined.empty()) joined.push_back('\\');
    joined += part;
  }
  return Wide(joined);
}

// NtQueryKey's KeyNameInformation: the key's own name in the kernel's namespace
// ("\REGISTRY\MACHINE\SOFTWARE\WOW6432Node\..."), every redirection and link resolved.
using NtQueryKeyFn = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
constexpr int kKeyNameInformation = 3;
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005);
constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023);

std::string KernelKeyName(HKEY key) {
  static const auto query = LookUp<NtQueryKeyFn>(::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey");
  if (query == nullptr) return {};
  std::vector<ULONG> buffer(256);
  for (int attempt = 0; attempt < 4; ++attempt) {
    ULONG needed = 0;
    const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(ULONG));
    const LONG status = query(key, kKeyNameInformation, buffer.data(), size, &needed);
    if (status == kStatusBufferOverflow || status == kStatusBufferTooSmall) {
      buffer.resize(needed / sizeof(ULONG) + 2);
      continue;
    }
    if (status < 0) return {};
    // KEY_NAME_INFORMATION: the name's length in bytes, then the name without a terminator.
    const std::size_t bytes = std::min<std::size_t>(buffer[0], size - sizeof(ULONG));
    return Narrow(reinterpret_cast<const wchar_t*>(buffer.data() + 1), bytes / sizeof(wchar_t));
  }
  return {};
}

#ifdef _WIN64
bool RunsOnWine() {
  return LookUp<void (*)()>(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}
#endif

class WindowsRegistry : public IRegistry {
 public:
  WindowsRegistry() {
#ifdef _WIN64
    // Wine redirects every class of HKEY_CLASSES_ROOT for 32-bit programs, but a 64-bit
    // program's HKEY_CLASSES_ROOT lists the 64-bit classes even in the 32-bit view, while it
    // looks names up among the 32-bit ones. The key 32-bit programs get as their root there is
    // the 32-bit view of HKLM\Software\Classes; with it, listing and lookup agree.
    if (RunsOnWine()) {
      HKEY classes = nullptr;
      for (REGSAM access : {KEY_ALL_ACCESS, KEY_READ}) {
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, access | kView,
                            &classes) == ERROR_SUCCESS) {
          classesRoot_ = classes;
          break;
        }
      }
    }
#endif
  }
  ~WindowsRegistry() override {
    if (classesRoot_ != HKEY_CLASSES_ROOT) ::RegCloseKey(classesRoot_);
  }
  WindowsRegistry(const WindowsRegistry&) = delete;
  WindowsRegistry& operator=(const WindowsRegistry&) = delete;

  RegHandle Root(RootKey root) override {
    switch (root) {
      case RootKey::ClassesRoot:
        return ToNumber(classesRoot_);
      case RootKey::CurrentUser:
        return ToNumber(HKEY_CURRENT_USER);
      case RootKey::LocalMachine:
        return ToNumber(HKEY_LOCAL_MACHINE);
      case RootKey::Users:
        return ToNumber(HKEY_USERS);
    }
    return 0;
  }

  long OpenKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
               RegHandle& result) override {
    result = 0;
    HKEY key = nullptr;
    const long rc = ::RegOpenKeyExW(FromNumber<HKEY>(parent), KeyPath(subPath).c_str(), 0,
                                    access | kView, &key);
    if (rc == ERROR_SUCCESS) result = ToNumber(key);
    return rc;
  }

  long CreateKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
                 RegHandle& result) override {
    result = 0;
    HKEY key = nullptr;
    DWORD disposition = 0;
    const long rc =
        ::RegCreateKeyExW(FromNumber<HKEY>(parent), KeyPath(subPath).c_str(), 0, nullptr,
                          REG_OPTION_NON_VOLATILE, access | kView, nullptr, &key, &disposition);
    if (rc == ERROR_SUCCESS) result = ToNumber(key);
    return rc;
  }

  long CloseKey(RegHandle key) override {
    if (key == 0) return ERROR_INVALID_HANDLE;
    if (key == ToNumber(classesRoot_)) return ERROR_SUCCESS;  // a root stays open
    return ::RegCloseKey(FromNumber<HKEY>(key));
  }

  long EnumKey(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
               std::string& name) override {
    std::vector<wchar_t> buffer(std::max<std::uint32_t>(maxUnits, 1), L'\0');
    DWORD units = maxUnits;
    const long rc = ::RegEnumKeyExW(FromNumber<HKEY>(key), index, buffer.data(), &units, nullptr,
                                    nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) name = Narrow(buffer.data(), std::min<std::size_t>(units, maxUnits));
    return rc;
  }

  long EnumValue(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
                 std::string& name) override {
    std::vector<wchar_t> buffer(std::max<std::uint32_t>(maxUnits, 1), L'\0');
    DWORD units = maxUnits;
    const long rc = ::RegEnumValueW(FromNumber<HKEY>(key), index, buffer.data(), &units, nullptr,
                                    nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) name = Narrow(buffer.data(), std::min<std::size_t>(units, maxUnits));
    return rc;
  }

  long QueryInfoKey(RegHandle key, std::uint32_t& subKeys, std::uint32_t& values) override {
    DWORD keys = 0;
    DWORD valueCount = 0;
    const long rc =
        ::RegQueryInfoKeyW(FromNumber<HKEY>(key), nullptr, nullptr, nullptr, &keys, nullptr,
                           nullptr, &valueCount, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) {
      subKeys = keys;
      values = valueCount;
    }
    return rc;
  }

  long QueryValue(RegHandle key, std::string_view name, std::uint32_t& type,
                  std::vector<std::uint8_t>* data) override {
    const HKEY hkey = FromNumber<HKEY>(key);
    const std::wstring valueName = Wide(name);
    DWORD valueType = 0;
    DWORD size = 0;
    long rc = ::RegQueryValueExW(hkey, valueName.c_str(), nullptr, &valueType, nullptr, &size);
    if (rc != ERROR_SUCCESS) return rc;
    type = valueType;
    if (data == nullptr) return ERROR_SUCCESS;
    // Another program may grow the value between the two calls: ask again with the new size.
    for (int attempt = 0; attempt < 8; ++attempt) {
      std::vector<std::uint8_t> buffer(std::max<DWORD>(size, 1));
      DWORD got = size;
      rc = ::RegQueryValueExW(hkey, valueName.c_str(), nullptr, &valueType, buffer.data(), &got);
      if (rc == ERROR_MORE_DATA) {
        size = got;
        continue;
      }
      if (rc != ERROR_SUCCESS) return rc;
      buffer.resize(std::min(got, size));
      type = valueType;
      *data = std::move(buffer);
      return ERROR_SUCCESS;
    }
    return rc;
  }

  long SetValue(RegHandle key, std::string_view name, std::uint32_t type,
                const std::vector<std::uint8_t>& data) override {
    // For text types the registry adds a NUL unit the caller left out when one follows the
    // data in memory, reading past the data to see it. Non-zero bytes after the data keep it
    // exactly as given and that read inside the buffer.
    std::vector<std::uint8_t> buffer(data);
    buffer.insert(buffer.end(), 3, 0xFF);
    return ::RegSetValueExW(FromNumber<HKEY>(key), Wide(name).c_str(), 0, type, buffer.data(),
                            static_cast<DWORD>(data.size()));
  }

  long DeleteValue(RegHandle key, std::string_view name) override {
    return ::RegDeleteValueW(FromNumber<HKEY>(key), Wide(name).c_str());
  }

  std::string NativeKeyName(RootKey root, std::string_view path) override {
    const std::vector<std::string> parts = SplitPath(path);
    // The nearest key along the path that exists names the rest: a key made below it lands
    // there, in the same view.
    for (std::size_t have = parts.size() + 1; have-- > 0;) {
      std::string prefix;
      for (std::size_t i = 0; i < have; ++i) prefix += (i == 0 ? "" : "\\") + parts[i];
      HKEY key = nullptr;
      if (::RegOpenKeyExW(FromNumber<HKEY>(Root(root)), Wide(prefix).c_str(), 0,
                          MAXIMUM_ALLOWED | kView, &key) != ERROR_SUCCESS) {
        continue;
      }
      const std::string kernel = KernelKeyName(key);
      if (key != FromNumber<HKEY>(Root(root))) ::RegCloseKey(key);
      std::string name = RegeditName(kernel);
      if (name.empty()) return name;
      for (std::size_t i = have; i < parts.size(); ++i) name += "\\" + parts[i];
      return name;
    }
    return {};
  }

  long DeleteKey(RegHandle parent, std::string_view subPath) override {
    const std::wstring path = KeyPath(subPath);
    // An empty path would name the parent itself; the callers never mean that.
    if (path.empty()) return ERROR_ACCESS_DENIED;
#ifdef _WIN64
    return ::RegDeleteKeyExW(FromNumber<HKEY>(parent), path.c_str(), kView, 0);
#else
    return ::RegDeleteKeyW(FromNumber<HKEY>(parent), path.c_str());
#endif
  }

 private:
  // "\REGISTRY\MACHINE\..." and "\REGISTRY\USER\<SID>\..." as regedit names them: the
  // user's own hive and classes under HKEY_CURRENT_USER, other users' under HKEY_USERS.
  std::string RegeditName(std::string_view kernel) {
    if (!currentUser_) {
      HKEY user = nullptr;
      currentUser_.emplace();
      if (::RegOpenCurrentUser(KEY_READ, &user) == ERROR_SUCCESS) {
        const std::vector<std::string> parts = SplitPath(KernelKeyName(user));
        if (parts.size() == 3) *currentUser_ = parts[2];
        ::RegCloseKey(user);
      }
    }
    const std::vector<std::string> parts = SplitPath(kernel);
    if (parts.size() < 2 || !EqualsNoCase(parts[0], "REGISTRY")) return {};
    std::string name;
    std::size_t next = 2;
    if (EqualsNoCase(parts[1], "MACHINE")) {
      name = "HKEY_LOCAL_MACHINE";
    } else if (!EqualsNoCase(parts[1], "USER")) {
      return {};
    } else if (parts.size() > 2 && !currentUser_->empty() &&
               EqualsNoCase(parts[2], *currentUser_)) {
      name = "HKEY_CURRENT_USER";
      next = 3;
    } else if (parts.size() > 2 && !currentUser_->empty() &&
               EqualsNoCase(parts[2], *currentUser_ + "_Classes")) {
      name = "HKEY_CURRENT_USER\\Software\\Classes";
      next = 3;
    } else {
      name = "HKEY_USERS";
    }
    for (std::size_t i = next; i < parts.size(); ++i) name += "\\" + parts[i];
    return name;
  }

  HKEY classesRoot_ = HKEY_CLASSES_ROOT;
  std::optional<std::string> currentUser_;  // its SID, once asked for
};

// --- files and environment ---

class WindowsFileSystem : public IFileSystem {
 public:
  std::uint32_t GetFileAttributes(std::string_view path) override {
    return ::GetFileAttributesW(Wide(path).c_str());
  }

  std::vector<FindEntry> FindFiles(std::string_view pattern) override {
    std::vector<FindEntry> found;
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileW(Wide(pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return found;
    const std::string mask = FileNamePart(pattern);
    do {
      const std::string name = Narrow(data.cFileName, ::wcsnlen(data.cFileName, MAX_PATH));
      if (name == "." || name == "..") continue;
      // Windows also matches the 8.3 alias: "*.xlb" finds "book.xlbak" through "BOOK~1.XLB".
      // Callers delete what they find, so an entry counts only when its own name matches.
      if (data.cAlternateFileName[0] != L'\0' && !MatchFileMask(mask, name)) continue;
      found.push_back(FindEntry{name, data.dwFileAttributes});
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return found;
  }

  bool DeleteFile(std::string_view path) override {
    return ::DeleteFileW(Wide(path).c_str()) != FALSE;
  }

  std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view path) override {
    const HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<std::uint8_t> content;
    std::optional<std::vector<std::uint8_t>> result;
    LARGE_INTEGER size{};
    // Executables and icon files are what the program reads; a file beyond 1 GiB is none.
    if (::GetFileSizeEx(file, &size) && size.QuadPart <= (1LL << 30)) {
      content.reserve(static_cast<std::size_t>(size.QuadPart));
      std::vector<std::uint8_t> chunk(1 << 16);
      for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
          break;
        }
        if (got == 0) {
          result = std::move(content);
          break;
        }
        content.insert(content.end(), chunk.begin(), chunk.begin() + got);
      }
    }
    ::CloseHandle(file);
    return result;
  }

  long TrashFile(std::string_view path, TrashedFile& trashed) override {
    return bin_.Recycle(path, trashed);
  }
  long RestoreFile(const TrashedFile& trashed) override { return bin_.Restore(trashed); }

 private:
  WindowsRecycleBin bin_;
};

class WindowsEnvironment : public IEnvironment {
 public:
  std::optional<std::string> GetVariable(std::string_view name) override {
    const std::wstring wideName = Wide(name);
    std::vector<wchar_t> buffer(260);
    for (int attempt = 0; attempt < 4; ++attempt) {
      ::SetLastError(ERROR_SUCCESS);
      const DWORD units = ::GetEnvironmentVariableW(wideName.c_str(), buffer.data(),
                                                    static_cast<DWORD>(buffer.size()));
      if (units == 0) {
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
      }
      if (units < buffer.size()) return Narrow(buffer.data(), units);
      buffer.assign(units + 1, L'\0');  // too small: units is the size it needs
    }
    return std::nullopt;
  }
};

// --- version resources ---

bool IsStringQuery(std::string_view subBlock) {
  const std::vector<std::string> parts = SplitPath(subBlock);
  return parts.size() == 3 && EqualsNoCase(parts[0], "StringFileInfo");
}

class WindowsVersionResources : public IVersionResources {
 public:
  std::vector<std::uint8_t> GetFileVersionInfo(std::string_view path) override {
    const std::wstring file = Wide(path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<std::uint8_t> block(size);
    if (!::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return {};
    return block;
  }

  bool QueryValue(const std::vector<std::uint8_t>& block, std::string_view subBlock,
                  std::vector<std::uint8_t>& value) override {
    // The walk trusts the lengths inside the block; check the outermost one before letting it.
    if (block.size() < 6) return false;
    const std::size_t declared = LoadLe16(block.data());
    if (declared < 6 || declared > block.size()) return false;
    // The walk may use the block's spare area, so it works on a copy.
    std::vector<std::uint8_t> copy(block);
    void* pointer = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(copy.data(), Wide(subBlock).c_str(), &pointer, &length) ||
        pointer == nullptr) {
      return false;
    }
    const auto* start = static_cast<const std::uint8_t*>(pointer);
    if (start < copy.data() || start > copy.data() + copy.size()) return false;
    const std::size_t available = static_cast<std::size_t>(copy.data() + copy.size() - start);
    if (IsStringQuery(subBlock)) {
      // Text lengths are counted in UTF-16 units and may include the terminator.
      std::size_t units = std::min<std::size_t>(length, available / 2);
      for (std::size_t i = 0; i < units; ++i) {
        if (start[2 * i] == 0 && start[2 * i + 1] == 0) {
          units = i;
          break;
        }
      }
      value.assign(start, start + 2 * units);
    } else {
      value.assign(start, start + std::min<std::size_t>(length, available));
    }
    return true;
  }
};

// --- icons ---

class WindowsIcons : public IIcons {
 public:
  IconHandle ExtractIcon(std::string_view path, std::uint32_t index) override {
    const HICON icon = ::ExtractIconW(::GetModuleHandleW(nullptr), Wide(path).c_str(), index);
    // 1 means "not a file with icons", not an icon.
    if (ToNumber(icon) <= 1) return 0;
    return ToNumber(icon);
  }

  void DestroyIcon(IconHandle icon) override {
    if (icon != 0) ::DestroyIcon(FromNumber<HICON>(icon));
  }

  // A single-image .ico file: 32-bit colour with alpha, and the AND mask.
  std::vector<std::uint8_t> IconData(IconHandle icon) override {
    if (icon == 0) return {};
    ICONINFO info{};
    if (!::GetIconInfo(FromNumber<HICON>(icon), &info)) return {};
    std::vector<std::uint8_t> ico;
    BITMAP mask{};
    if (info.hbmMask != nullptr && ::GetObjectW(info.hbmMask, sizeof(mask), &mask) != 0) {
      ico = Encode(info, mask);
    }
    if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
    return ico;
  }

 private:
  // Reads a bitmap as a bottom-up DIB of the given depth; empty on failure.
  static std::vector<std::uint8_t> Bits(HDC dc, HBITMAP bitmap, int width, int height,
                                        int bitCount) {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colors[2];
    } format{};
    format.header.biSize = sizeof(BITMAPINFOHEADER);
    format.header.biWidth = width;
    format.header.biHeight = height;
    format.header.biPlanes = 1;
    format.header.biBitCount = static_cast<WORD>(bitCount);
    format.header.biCompression = BI_RGB;
    const std::size_t stride = ((static_cast<std::size_t>(width) * bitCount + 31) / 32) * 4;
    std::vector<std::uint8_t> bits(stride * static_cast<std::size_t>(height));
    if (::GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), bits.data(),
                    reinterpret_cast<BITMAPINFO*>(&format), DIB_RGB_COLORS) != height) {
      return {};
    }
    return bits;
  }

  static std::vector<std::uint8_t> Encode(const ICONINFO& info, const BITMAP& maskInfo) {
    const int width = maskInfo.bmWidth;
    // A monochrome icon keeps its AND and XOR masks one above the other in the mask bitmap.
    const int height = info.hbmColor != nullptr ? maskInfo.bmHeight : maskInfo.bmHeight / 2;
    if (width <= 0 || height <= 0 || width > 1024 || height > 1024) return {};
    const HDC dc = ::CreateCompatibleDC(nullptr);
    if (dc == nullptr) return {};
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::size_t maskStride = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
    std::vector<std::uint8_t> color;
    std::vector<std::uint8_t> andMask;
    if (info.hbmColor != nullptr) {
      color = Bits(dc, info.hbmColor, width, height, 32);
      andMask = Bits(dc, info.hbmMask, width, height, 1);
    } else {
      // Bottom-up rows: the lower half of the DIB is the XOR mask, the upper the AND mask.
      const std::vector<std::uint8_t> both = Bits(dc, info.hbmMask, width, 2 * height, 1);
      if (!both.empty()) {
        const std::size_t half = maskStride * static_cast<std::size_t>(height);
        andMask.assign(both.begin() + half, both.end());
        color.assign(pixels * 4, 0);
        for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
          for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
            const bool white = (both[y * maskStride + x / 8] >> (7 - x % 8)) & 1;
            std::uint8_t* p = &color[(y * width + x) * 4];
            p[0] = p[1] = p[2] = white ? 0xFF : 0x00;
          }
        }
      }
    }
    ::DeleteDC(dc);
    if (color.size() != pixels * 4 || andMask.size() != maskStride * height) return {};

    // Icons without an alpha channel are opaque wherever the AND mask is clear.
    bool hasAlpha = false;
    for (std::size_t i = 0; i < pixels; ++i) hasAlpha = hasAlpha || color[i * 4 + 3] != 0;
    if (!hasAlpha) {
      for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
        for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
          const bool transparent = (andMask[y * maskStride + x / 8] >> (7 - x % 8)) & 1;
          color[(y * width + x) * 4 + 3] = transparent ? 0x00 : 0xFF;
        }
      }
    }

    // BITMAPINFOHEADER (its height counts both masks), the colours, the transparency mask.
    IcoImage image;
    image.entry = IcoEntry(width, height);
    std::vector<std::uint8_t>& bmp = image.data;
    bmp.reserve(40 + color.size() + andMask.size());
    AppendLe32(bmp, 40);
    AppendLe32(bmp, static_cast<std::uint32_t>(width));
    AppendLe32(bmp, static_cast<std::uint32_t>(2 * height));
    AppendLe16(bmp, 1);
    AppendLe16(bmp, 32);
    AppendLe32(bmp, BI_RGB);
    AppendLe32(bmp, static_cast<std::uint32_t>(color.size() + andMask.size()));
    AppendLe32(bmp, 0);
    AppendLe32(bmp, 0);
    AppendLe32(bmp, 0);
    AppendLe32(bmp, 0);
    bmp.insert(bmp.end(), color.begin(), color.end());
    bmp.insert(bmp.end(), andMask.begin(), andMask.end());
    return WriteIco({image});
  }
};

// --- processes and the token ---

using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32W*);
using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using ModuleFileNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, wchar_t*, DWORD);

class WindowsProcesses : public IProcesses {
 public:
  WindowsProcesses() {
    // The snapshot functions are missing from older NT kernels and psapi.dll from Windows 9x:
    // both are looked up, and a method whose functions are missing finds nothing.
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    createSnapshot_ = LookUp<CreateSnapshotFn>(kernel, "CreateToolhelp32Snapshot");
    first_ = LookUp<ProcessWalkFn>(kernel, "Process32FirstW");
    next_ = LookUp<ProcessWalkFn>(kernel, "Process32NextW");
    psapi_ = ::LoadLibraryW(L"psapi.dll");
    enumProcesses_ = LookUp<EnumProcessesFn>(psapi_, "EnumProcesses");
    moduleFileName_ = LookUp<ModuleFileNameFn>(psapi_, "GetModuleFileNameExW");
  }
  ~WindowsProcesses() override {
    if (psapi_ != nullptr) ::FreeLibrary(psapi_);
  }
  WindowsProcesses(const WindowsProcesses&) = delete;
  WindowsProcesses& operator=(const WindowsProcesses&) = delete;

  std::uint32_t PlatformId() override {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    return ::GetVersionExW(&version) ? version.dwPlatformId : 0;
  }

  bool Snapshot(std::vector<ProcessEntry>& entries) override {
    entries.clear();
    if (createSnapshot_ == nullptr || first_ == nullptr || next_ == nullptr) return false;
    const HANDLE snapshot = createSnapshot_(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = first_(snapshot, &entry); more; more = next_(snapshot, &entry)) {
      entries.push_back(ProcessEntry{
          entry.th32ProcessID, Narrow(entry.szExeFile, ::wcsnlen(entry.szExeFile, MAX_PATH))});
      entry.dwSize = sizeof(entry);
    }
    ::CloseHandle(snapshot);
    return true;
  }

  bool EnumProcesses(std::vector<std::uint32_t>& ids, std::size_t capacity,
                     std::size_t& neededBytes, long& lastError) override {
    capacity = std::min<std::size_t>(capacity, MAXDWORD / sizeof(DWORD));
    ids.assign(capacity, 0);
    neededBytes = 0;
    if (enumProcesses_ == nullptr) {
      lastError = ERROR_PROC_NOT_FOUND;
      return false;
    }
    std::vector<DWORD> buffer(std::max<std::size_t>(capacity, 1), 0);
    DWORD needed = 0;
    ::SetLastError(ERROR_SUCCESS);
    const BOOL ok =
        enumProcesses_(buffer.data(), static_cast<DWORD>(capacity * sizeof(DWORD)), &needed);
    lastError = ok ? ERROR_SUCCESS : static_cast<long>(::GetLastError());
    neededBytes = std::min<std::size_t>(needed, capacity * sizeof(DWORD));
    std::copy_n(buffer.begin(), capacity, ids.begin());
    return ok != FALSE;
  }

  ProcessHandle OpenProcess(std::uint32_t access, std::uint32_t pid) override {
    return ToNumber(::OpenProcess(access, FALSE, pid));
  }

  std::string GetModuleFileName(ProcessHandle process) override {
    if (process == 0 || moduleFileName_ == nullptr) return {};
    std::vector<wchar_t> buffer(32768, L'\0');
    const DWORD units = moduleFileName_(FromNumber<HANDLE>(process), nullptr, buffer.data(),
                                        static_cast<DWORD>(buffer.size()));
    return Narrow(buffer.data(), std::min<std::size_t>(units, buffer.size()));
  }

  bool GetExitCode(ProcessHandle process, std::uint32_t& code) override {
    DWORD exitCode = 0;
    if (process == 0 || !::GetExitCodeProcess(FromNumber<HANDLE>(process), &exitCode)) {
      return false;
    }
    code = exitCode;
    return true;
  }

  bool Terminate(ProcessHandle process, std::uint32_t exitCode) override {
    return process != 0 && ::TerminateProcess(FromNumber<HANDLE>(process), exitCode) != FALSE;
  }

  void CloseProcess(ProcessHandle process) override {
    if (process != 0) ::CloseHandle(FromNumber<HANDLE>(process));
  }

  TokenHandle OpenProcessToken(std::uint32_t access) override {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), access, &token)) return 0;
    return ToNumber(token);
  }

  bool LookupPrivilege(std::string_view name) override {
    LUID luid{};
    return ::LookupPrivilegeValueW(nullptr, Wide(name).c_str(), &luid) != FALSE;
  }

  long AdjustPrivilege(TokenHandle token, std::string_view name, bool enable) override {
    if (token == 0) return ERROR_INVALID_HANDLE;
    LUID luid{};
    if (!::LookupPrivilegeValueW(nullptr, Wide(name).c_str(), &luid)) {
      const long error = static_cast<long>(::GetLastError());
      return error != ERROR_SUCCESS ? error : ERROR_NO_SUCH_PRIVILEGE;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = luid;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    TOKEN_PRIVILEGES previous{};
    DWORD previousSize = 0;
    // The call succeeds even when the account does not hold the privilege; only the thread's
    // last error tells (ERROR_NOT_ALL_ASSIGNED).
    ::SetLastError(ERROR_SUCCESS);
    if (!::AdjustTokenPrivileges(FromNumber<HANDLE>(token), FALSE, &privileges, sizeof(previous),
                                 &previous, &previousSize)) {
      const long error = static_cast<long>(::GetLastError());
      return error != ERROR_SUCCESS ? error : ERROR_INVALID_PARAMETER;
    }
    return static_cast<long>(::GetLastError());
  }

  void CloseToken(TokenHandle token) override {
    if (token != 0) ::CloseHandle(FromNumber<HANDLE>(token));
  }

  bool Elevated() override { return ProcessElevated(); }
  long RunElevated(std::string_view program, std::string_view parameters,
                   const std::function<void()>& waiting, std::uint32_t& exitCode) override {
    return RunProgramElevated(program, parameters, waiting, exitCode);
  }

 private:
  CreateSnapshotFn createSnapshot_ = nullptr;
  ProcessWalkFn first_ = nullptr;
  ProcessWalkFn next_ = nullptr;
  HMODULE psapi_ = nullptr;
  EnumProcessesFn enumProcesses_ = nullptr;
  ModuleFileNameFn moduleFileName_ = nullptr;
};

class WindowsPlatform : public Platform {
 public:
  IRegistry& Registry() override { return registry_; }
  IFileSystem& Files() override { return files_; }
  IEnvironment& Environment() override { return environment_; }
  IVersionResources& Versions() override { return versions_; }
  IIcons& Icons() override { return icons_; }
  IProcesses& Processes() override { return processes_; }
  std::string ErrorText(long code) override {
    wchar_t* text = nullptr;
    const DWORD units = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (units == 0 || text == nullptr) return Platform::ErrorText(code);
    std::string words = Narrow(text, units);
    ::LocalFree(text);
    while (!words.empty() &&
           (words.back() == '\n' || words.back() == '\r' || words.back() == ' ')) {
      words.pop_back();
    }
    return words;
  }

 private:
  WindowsRegistry registry_;
  WindowsFileSystem files_;
  WindowsEnvironment environment_;
  WindowsVersionResources versions_;
  WindowsIcons icons_;
  WindowsProcesses processes_;
};

}  // namespace

std::unique_ptr<Platform> OpenWindowsPlatform() {
  return std::make_unique<WindowsPlatform>();
}

}  // namespace tovalin
