#include "tests/gui/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include "app/gui/MainWindow.h"
#include "office/ZelMso.h"
#include "tests/VersionBlockBuilder.h"

namespace tovalin::test {

MsgResult ScriptedBoxes::Show(const QString& text, MsgIcon icon, MsgButtons buttons) {
  shown.push_back({text, icon, buttons});
  if (whileOpen) whileOpen(shown.back());
  if (buttons == MsgButtons::Ok) return MsgResult::Ok;
  if (answers.empty()) return MsgResult::No;
  const MsgResult answer = answers.front();
  answers.pop_front();
  return answer;
}

int ScriptedBoxes::Choose(const QString& text, MsgIcon icon, const QStringList&) {
  shown.push_back({text, icon, MsgButtons::Choice});
  if (whileOpen) whileOpen(shown.back());
  if (choices.empty()) return -1;
  const int choice = choices.front();
  choices.pop_front();
  return choice;
}

void OfficeMachine::AddProduct(const std::string& code, const std::string& displayName,
                               const std::string& displayVersion, const std::string& productId) {
  const std::string key = std::string(kUninstallPath) + "\\" + code;
  platform.registry.SetString(RootKey::LocalMachine, key, "DisplayName", displayName);
  platform.registry.SetString(RootKey::LocalMachine, key, "DisplayVersion", displayVersion);
  if (!productId.empty()) {
    platform.registry.SetString(RootKey::LocalMachine, key, "ProductID", productId);
  }
}

std::string OfficeMachine::AddApp(int appIndex, const std::string& version,
                                  const std::string& title, const std::string& fileVersion) {
  const TZelMsoApp& app = kMsoApps[static_cast<std::size_t>(appIndex)];
  const std::string folder = "C:\\Office" + version.substr(0, version.find('.')) + "\\";
  const std::string exe = folder + app.ExeName;
  platform.files.AddFile(exe);
  if (!fileVersion.empty()) {
    platform.versions.SetBlock(exe, BuildVersionBlock({{"FileVersion", fileVersion},
                                                       {"ProductVersion", fileVersion},
                                                       {"ProductName", title}}));
  }
  const std::string officeKey = std::string(kOfficePath) + "\\" + version + "\\" + app.AppName;
  platform.registry.SetString(RootKey::LocalMachine, officeKey + "\\InstallRoot", "Path", folder);
  const std::string classId =
      "{0000" + std::to_string(appIndex) + "000-0000-0000-C000-000000000046}";
  const std::string progId = std::string(app.AppName) + ".Application";
  platform.registry.SetString(RootKey::ClassesRoot, progId, "", title + " アプリケーション");
  platform.registry.SetString(RootKey::ClassesRoot, progId + "\\CLSID", "", classId);
  platform.registry.SetString(RootKey::ClassesRoot, "CLSID\\" + classId, "", title);
  platform.registry.SetString(RootKey::ClassesRoot, "CLSID\\" + classId + "\\LocalServer32", "",
                              "\"" + exe + "\" /automation");
  return exe;
}

void OfficeMachine::SetIcon(const std::string& exePath, const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "ICO");
  platform.icons.SetIcon(exePath, 0, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

void OfficeMachine::SetShellFolders(const std::string& appData, const std::string& localSettings) {
  const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  platform.registry.SetString(RootKey::CurrentUser, key, "AppData", appData);
  platform.registry.SetString(RootKey::CurrentUser, key, "Local Settings", localSettings);
  // Both lie in the user's profile folder, where repairs may delete.
  platform.environment.Set("USERPROFILE", appData.substr(0, appData.find_last_of('\\')));
}

std::uint32_t OfficeMachine::StartProcess(const std::string& imagePath) {
  platform.files.AddFile(imagePath);
  return platform.processes.Add(nextPid_ += 4, imagePath).pid;
}

void OfficeMachine::StopProcess(std::uint32_t pid) {
  if (FakeProcess* process = platform.processes.Find(pid)) {
    process->running = false;
    process->exitCode = 0;
  }
}

bool OfficeMachine::Running(std::uint32_t pid) {
  const FakeProcess* process = platform.processes.Find(pid);
  return process != nullptr && process->running;
}

void InstallOffice2003(OfficeMachine& machine) {
  machine.AddProduct(kOffice2003Code, "Microsoft Office Professional Edition 2003", "11.0.5614.0",
                     "12345-678-9012345-67890");
  machine.AddApp(1, "11.0", "Microsoft Outlook", "11.0.5510.0");
  machine.AddApp(2, "11.0", "Microsoft Excel", "11.0.5612.0");
  machine.AddApp(3, "11.0", "Microsoft Word", "11.0.5604.0");
}

void SelectApplication(MainWindow& form, const QString& appName) {
  for (int i = 0; i < form.GlbMenu->count(); ++i) {
    if (form.GlbMenu->item(i)->text() == appName) {
      form.GlbMenu->SetItemIndex(i);
      form.GlbMenuClick();
      return;
    }
  }
  ADD_FAILURE() << "no row " << appName.toStdString();
}

}  // namespace tovalin::test
