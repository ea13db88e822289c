// The Windows shell requests, run under Wine: the desktop starts the program registered for an
// address, and the update page opens in Internet Explorer on the system drive, or in the default
// browser when there is none. A recorder stands in for those programs and writes down the command
// line it was given.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/gui/ShellRequests.h"
#include "support/platform/memory/MemoryPlatform.h"

namespace tovalin {
namespace {

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

QString ProgramFolder() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return QFileInfo(QString::fromStdWString(path)).absolutePath();
}

void SetDefault(HKEY root, const std::wstring& path, const std::wstring& text) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

class WindowsShell : public testing::Test {
 protected:
  void SetUp() override {
    // The test replaces the machine's mail handler and browser: only in a throwaway Wine prefix.
    if (!UnderWine()) GTEST_SKIP() << "changes the machine's handlers; runs under Wine only";
    ASSERT_TRUE(folder_.isValid());
    record_ = folder_.filePath(QStringLiteral("record.txt"));
    SetEnvironmentVariableW(L"TOVALIN_RECORD_FILE",
                            QDir::toNativeSeparators(record_).toStdWString().c_str());
    recorder_ =
        QDir::toNativeSeparators(ProgramFolder() + QStringLiteral("/tovalin_test_recorder.exe"));
    ASSERT_TRUE(QFile::exists(recorder_));
  }

  // Waits for the recorder's line.
  QString Recorded() {
    for (int i = 0; i < 100 && !QFile::exists(record_); ++i) QTest::qWait(100);
    QTest::qWait(200);
    QFile file(record_);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).trimmed();
  }

  QTemporaryDir folder_;
  QString record_;
  QString recorder_;
  MemoryPlatform platform_;
};

TEST_F(WindowsShell, MailAddressGoesToTheRegisteredMailProgramUnchanged) {
  const std::wstring command = L"\"" + recorder_.toStdWString() + L"\" \"%1\"";
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    SetDefault(root, L"Software\\Classes\\mailto\\shell\\open\\command", command);
  }
  // As the report dialog forms it: UTF-8, percent-encoded.
  const QString address = QStringLiteral(
      "mailto:report@example.com?subject=%E6%9C%AA%E7%99%BB%E9%8C%B2&body=%7B9011%7D%0D%0A");
  NativeShell(platform_)->OpenAddress(nullptr, address);
  EXPECT_TRUE(Recorded().contains(address)) << Recorded().toStdString();
}

// Internet Explorer on the system drive, as Windows 10 has it.
std::wstring InternetExplorerFolder() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(1, system[0]) + L":\\Program Files\\Internet Explorer";
}

TEST_F(WindowsShell, UpdatePageOpensInInternetExplorerOnTheSystemDrive) {
  CreateDirectoryW(InternetExplorerFolder().c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(recorder_.toStdWString().c_str(),
                        (InternetExplorerFolder() + L"\\IEXPLORE.EXE").c_str(), FALSE));
  const QString address = QStringLiteral("http://update.example.com/officeupdate/default.aspx");
  NativeShell(platform_)->OpenUpdatePage(nullptr, address);
  const QString recorded = Recorded();
  EXPECT_TRUE(recorded.contains(QStringLiteral("\"") + address + QStringLiteral("\"")))
      << recorded.toStdString();
  EXPECT_TRUE(recorded.contains(QStringLiteral("IEXPLORE.EXE"), Qt::CaseInsensitive));
}

TEST_F(WindowsShell, UpdatePageGoesToTheDefaultBrowserWithoutInternetExplorer) {
  DeleteFileW((InternetExplorerFolder() + L"\\IEXPLORE.EXE").c_str());
  const std::wstring command = L"\"" + recorder_.toStdWString() + L"\" \"%1\"";
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    SetDefault(root, L"Software\\Classes\\http\\shell\\open\\command", command);
  }
  const QString address = QStringLiteral("http://update.example.com/officeupdate/default.aspx");
  NativeShell(platform_)->OpenUpdatePage(nullptr, address);
  const QString recorded = Recorded();
  EXPECT_TRUE(recorded.contains(address)) << recorded.toStdString();
  EXPECT_FALSE(recorded.contains(QStringLiteral("IEXPLORE.EXE"), Qt::CaseInsensitive));
}

}  // namespace
}  // namespace tovalin
#endif
