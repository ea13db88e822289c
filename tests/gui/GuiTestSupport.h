// An in-memory machine with Office-shaped registry entries, and message boxes that answer from
// a script, for driving the main window.
#pragma once

#include <QImage>
#include <QString>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/gui/MessageBoxes.h"
#include "support/platform/memory/MemoryPlatform.h"

namespace tovalin {
class MainWindow;
}  // namespace tovalin

namespace tovalin::test {

struct ShownBox {
  QString text;
  MsgIcon icon;
  MsgButtons buttons;
};

class ScriptedBoxes : public IMessageBoxes {
 public:
  MsgResult Show(const QString& text, MsgIcon icon, MsgButtons buttons) override;
  int Choose(const QString& text, MsgIcon icon, const QStringList& buttons) override;

  // Answers for the next questions, in order; a question without a scripted answer gets No.
  std::deque<MsgResult> answers;
  // Buttons pressed in the next boxes of several buttons; without one the box is closed (-1).
  std::deque<int> choices;
  // Runs while a box is open (the user taking time to answer).
  std::function<void(const ShownBox&)> whileOpen;
  std::vector<ShownBox> shown;
};

// Registry paths as the programs write them.
inline constexpr const char* kUninstallPath =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char* kOfficePath = "SOFTWARE\\Microsoft\\Office";

// Product codes the catalogue lists.
inline constexpr const char* kOffice2003Code = "{90110411-6000-11D3-8CFE-0150048383C9}";
inline constexpr const char* kOfficeXpCode = "{90110411-6000-11D3-8CFE-0050048383C9}";

class OfficeMachine {
 public:
  void AddProduct(const std::string& code, const std::string& displayName,
                  const std::string& displayVersion, const std::string& productId = "");
  // Registers an application of an Office version (index 1..5 of the application table) with
  // its executable under C:\Office<major>\; an empty file version leaves the file without a
  // version resource. Returns the executable's path.
  std::string AddApp(int appIndex, const std::string& version, const std::string& title,
                     const std::string& fileVersion);
  void SetIcon(const std::string& exePath, const QImage& image);
  // The AppData and Local Settings folders of the current user.
  void SetShellFolders(const std::string& appData, const std::string& localSettings);
  std::uint32_t StartProcess(const std::string& imagePath);
  void StopProcess(std::uint32_t pid);
  bool Running(std::uint32_t pid);

  MemoryPlatform platform;

 private:
  std::uint32_t nextPid_ = 4000;
};

// A typical installation: Office 2003 with Outlook, Excel and Word.
void InstallOffice2003(OfficeMachine& machine);

// Picks an application in the main window's list as a click on its row does; a test failure when
// the list has no such row.
void SelectApplication(MainWindow& form, const QString& appName);

}  // namespace tovalin::test
