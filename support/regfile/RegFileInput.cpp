#include "support/regfile/RegFileInput.h"

#include <algorithm>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "support/Text.h"
#else
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tovalin {

RegFileError::RegFileError(const std::string& fileName, std::size_t lineNumber,
                           const std::string& what)
    : std::runtime_error(fileName + " の " + std::to_string(lineNumber) + " 行目: " + what),
      file(fileName),
      line(lineNumber) {}

RegFileError::RegFileError(const std::string& fileName, const std::string& sentence)
    : std::runtime_error(sentence), file(fileName) {}

namespace {

std::string TooLargeMessage(const std::string& path) {
  return path + " は大きすぎます（レジストリファイルは 2 GB まで）。";
}

}  // namespace

std::string EmptyRegistryFileMessage(const std::string& path) {
  return path + " は空のファイルです。";
}

#ifdef _WIN32

namespace {

std::string WindowsProblem(const std::string& path, DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return path + " がありません。";
    case ERROR_ACCESS_DENIED:
      return path + " を読む権限がありません（Access denied）。";
    default:
      return path + " を読めません（" + std::system_category().message(static_cast<int>(error)) +
             "）。";
  }
}

}  // namespace

std::string ReadRegistryFile(const std::string& path) {
  const std::u16string wide = Utf8ToUtf16(path);
  const wchar_t* name = reinterpret_cast<const wchar_t*>(wide.c_str());
  const DWORD attributes = GetFileAttributesW(name);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    throw RegFileError(path, WindowsProblem(path, GetLastError()));
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw RegFileError(path, path + " はディレクトリです。");
  }
  const HANDLE file =
      CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw RegFileError(path, WindowsProblem(path, GetLastError()));
  struct Closer {
    HANDLE handle;
    ~Closer() { CloseHandle(handle); }
  } closer{file};
  if (GetFileType(file) != FILE_TYPE_DISK) {
    throw RegFileError(path, path + " は通常のファイルではありません。");
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) throw RegFileError(path, WindowsProblem(path, GetLastError()));
  if (static_cast<std::uint64_t>(size.QuadPart) > kMaxRegistryFileSize) {
    throw RegFileError(path, TooLargeMessage(path));
  }
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file, bytes.data() + done, chunk, &got, nullptr)) {
      throw RegFileError(path, WindowsProblem(path, GetLastError()));
    }
    if (got == 0) break;  // it shrank since
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

#else

std::string FileProblemMessage(const std::string& path, int error) {
  switch (error) {
    case ENOENT: {
      struct stat st {};
      if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        return path + " はシンボリックリンクの先がありません。";
      }
      return path + " がありません。";
    }
    case ELOOP:
      return path + " はシンボリックリンクが循環しています（Too many levels of symbolic links）。";
    case EACCES:
    case EPERM:
      return path + " を読む権限がありません（Permission denied）。";
    case EISDIR:
      return path + " はディレクトリです。";
    case ENOTDIR:
      return path + " の途中にディレクトリでないものがあります（Not a directory）。";
    case EFBIG:
    case EOVERFLOW:
      return TooLargeMessage(path);
    default:
      return path + " を読めません（" + std::generic_category().message(error) + "）。";
  }
}

std::string ReadRegistryFile(const std::string& path) {
  // Non-blocking: opening a FIFO for reading would otherwise wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw RegFileError(path, FileProblemMessage(path, errno));
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  // The opened file itself is judged, not whatever the name points at a moment later.
  struct stat st {};
  if (fstat(fd, &st) != 0) throw RegFileError(path, FileProblemMessage(path, errno));
  if (S_ISDIR(st.st_mode)) throw RegFileError(path, FileProblemMessage(path, EISDIR));
  if (!S_ISREG(st.st_mode)) {
    const char* kind = S_ISFIFO(st.st_mode)                         ? "名前付きパイプ"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "デバイス"
                       : S_ISSOCK(st.st_mode)                       ? "ソケット"
                                                                    : "その他";
    throw RegFileError(path, path + " は通常のファイルではありません（" + kind + "）。");
  }
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > kMaxRegistryFileSize) {
    throw RegFileError(path, TooLargeMessage(path));
  }
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw RegFileError(path, FileProblemMessage(path, errno));
    }
    if (got == 0) break;  // it shrank since
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

#endif

}  // namespace tovalin
