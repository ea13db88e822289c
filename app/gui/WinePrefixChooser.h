// The Wine prefix the window shows (Linux): found among the user's prefixes, opened by itself
// when the choice is clear, otherwise chosen in a small dialog, and remembered for next time.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "app/gui/MachineSource.h"
#include "support/platform/wine/WinePrefixes.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace tovalin {

// The prefixes to choose from. Those that cannot be opened or hold no Office are listed greyed
// with the reason; with nothing to choose the dialog names the places it looked at and how to
// open another prefix.
class TPrefixChooser : public QDialog {
  Q_OBJECT
 public:
  TPrefixChooser(std::vector<FoundWinePrefix> found, const std::vector<std::string>& places,
                 const std::string& current, QWidget* parent = nullptr);

  // The path of the prefix chosen, once accepted.
  const std::string& Chosen() const { return chosen_; }
  // Asks for a folder; the toolkit's folder dialog unless set. An empty answer picks nothing.
  std::function<QString(QWidget*)> pickFolder;
  // Told of a picked folder that is a prefix, before the dialog closes with it.
  std::function<void(const std::string&)> folderAdded;
  // A picked folder that is no prefix is explained here.
  IMessageBoxes* boxes = nullptr;

  void BtnFolderClick();

  QLabel* LblIntro = nullptr;
  QTreeWidget* LvwPrefixes = nullptr;
  QPushButton* BtnFolder = nullptr;
  QPushButton* BtnOpen = nullptr;
  QPushButton* BtnCancel = nullptr;

 private:
  void AddRow(const FoundWinePrefix& prefix, const std::string& current);
  void UpdateOpenButton();
  void OpenSelected();

  std::vector<FoundWinePrefix> found_;
  std::string chosen_;
};

// What the prefixes are looked for with, and where the choice is kept.
struct WinePrefixSettings {
  std::string home;
  std::string winePrefix;  // $WINEPREFIX; empty when unset
  // An INI file holding the last choice and the folders the user added.
  std::string configFile;

  // $HOME, $WINEPREFIX and $XDG_CONFIG_HOME (else ~/.config) /tovalin/tovalin.conf.
  static WinePrefixSettings FromEnvironment();
};

class WinePrefixMachines : public IMachineSource {
 public:
  WinePrefixMachines(WinePrefixSettings settings, IMessageBoxes& boxes);

  std::unique_ptr<Platform> OpenFirst() override;
  std::unique_ptr<Platform> OpenAnother(QWidget* parent) override;
  void Shown() override;
  QString Describe() const override;
  bool CanSwitch() const override { return true; }
  std::string MachineName() const override { return open_.path; }

  // Runs a chooser to its end and returns its QDialog result; exec() unless set (tests drive
  // the dialog from here).
  std::function<int(TPrefixChooser&)> runChooser;
  std::function<QString(QWidget*)> pickFolder;

  const std::string& OpenPath() const { return open_.path; }

 private:
  std::vector<FoundWinePrefix> Find() const;
  std::unique_ptr<Platform> Choose(QWidget* parent, const std::vector<FoundWinePrefix>& found);
  std::unique_ptr<Platform> Open(const std::string& path,
                                 const std::vector<FoundWinePrefix>& found);

  WinePrefixSettings settings_;
  IMessageBoxes& boxes_;
  FoundWinePrefix open_;
  // Opened, its window not yet started; `chosen` when the user picked it in the chooser.
  FoundWinePrefix opening_;
  bool chosen_ = false;
};

}  // namespace tovalin
