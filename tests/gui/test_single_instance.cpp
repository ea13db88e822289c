// The instance guard: the first copy owns the name, a second asks it to come to the front and
// ends, and a name left behind by a dead copy is taken over.
#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QUuid>
#include <memory>

#include "app/gui/SingleInstance.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#endif

namespace tovalin {
namespace {

QString UniqueKey() {
  return QStringLiteral("tovalin-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

#ifdef _WIN32
// A plain window with the caption the guard looks for, as the running copy's main window.
struct NativeWindow {
  explicit NativeWindow(const std::wstring& title) {
    handle = CreateWindowExW(0, L"STATIC", title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~NativeWindow() { DestroyWindow(handle); }
  HWND handle = nullptr;
};

TEST(InstanceGuard, SecondStartRestoresTheFirstWindow) {
  const QString key = UniqueKey();
  const QString title = UniqueKey();
  NativeWindow window(title.toStdWString());
  ASSERT_NE(window.handle, nullptr);
  ShowWindow(window.handle, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(window.handle));

  auto first = std::make_unique<TInstanceGuard>(key, title);
  ASSERT_EQ(first->Acquire(), TInstanceGuard::Outcome::First);
  EXPECT_NE(GlobalFindAtomW(key.toStdWString().c_str()), 0);
  TInstanceGuard second(key, title);
  EXPECT_EQ(second.Acquire(), TInstanceGuard::Outcome::Another);
  EXPECT_FALSE(IsIconic(window.handle));

  // Another program file name is another name: neither blocks the other.
  TInstanceGuard other(key + QStringLiteral("-copy"), title);
  EXPECT_EQ(other.Acquire(), TInstanceGuard::Outcome::First);

  first.reset();
  EXPECT_EQ(GlobalFindAtomW(key.toStdWString().c_str()), 0);
}

TEST(InstanceGuard, AtomLeftByADeadCopyIsTakenOver) {
  const QString key = UniqueKey();
  // The atom of a copy that died: no window carries the caption.
  ASSERT_NE(GlobalAddAtomW(key.toStdWString().c_str()), 0);
  {
    TInstanceGuard guard(key, UniqueKey());
    EXPECT_EQ(guard.Acquire(), TInstanceGuard::Outcome::First);
  }
  EXPECT_EQ(GlobalFindAtomW(key.toStdWString().c_str()), 0);
}

TEST(InstanceGuard, KeyIsTheProgramFileName) {
  EXPECT_EQ(TInstanceGuard::KeyFor(QStringLiteral("C:\\x\\tovalin.exe")),
            TInstanceGuard::KeyFor(QStringLiteral("D:\\Tools\\tovalin.exe")));
  EXPECT_EQ(TInstanceGuard::KeyFor(QStringLiteral("C:\\x\\tovalin.exe")),
            QStringLiteral("tovalin.exe"));
}
#else
TEST(InstanceGuard, SecondStartAsksTheFirstToComeToTheFront) {
  const QString key = UniqueKey();
  TInstanceGuard first(key);
  ASSERT_EQ(first.Acquire(), TInstanceGuard::Outcome::First);
  QSignalSpy restore(&first, &TInstanceGuard::RestoreRequested);

  TInstanceGuard second(key);
  EXPECT_EQ(second.Acquire(), TInstanceGuard::Outcome::Another);
  EXPECT_TRUE(restore.wait(2000) || restore.count() == 1);
  EXPECT_EQ(restore.count(), 1);

  // Another program file name is another name: neither blocks the other.
  TInstanceGuard other(key + QStringLiteral("-copy"));
  EXPECT_EQ(other.Acquire(), TInstanceGuard::Outcome::First);
}

TEST(InstanceGuard, KeyIsTheProgramFileNameAndTheUser) {
  const QString a = TInstanceGuard::KeyFor(QStringLiteral("/opt/x/tovalin"));
  const QString b = TInstanceGuard::KeyFor(QStringLiteral("/usr/bin/tovalin"));
  const QString c = TInstanceGuard::KeyFor(QStringLiteral("/usr/bin/tovalin2"));
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_TRUE(a.startsWith(QStringLiteral("tovalin-")));
}

TEST(InstanceGuard, NameLeftByADeadCopyIsTakenOver) {
  const QString key = UniqueKey();
  // A socket file nobody listens on any more, as a crashed copy leaves it.
  const QByteArray path = (QDir::tempPath() + QLatin1Char('/') + key).toLocal8Bit();
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.constData(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(fd, 1), 0);
  close(fd);
  ASSERT_TRUE(QFile::exists(QString::fromLocal8Bit(path)));

  TInstanceGuard guard(key);
  EXPECT_EQ(guard.Acquire(), TInstanceGuard::Outcome::First);
  TInstanceGuard later(key);
  EXPECT_EQ(later.Acquire(), TInstanceGuard::Outcome::Another);
}
#endif

}  // namespace
}  // namespace tovalin
