// Desktop requests kept for the test to look at instead of reaching the desktop.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "app/gui/ShellRequests.h"

namespace tovalin::test {

class RecordingShell : public IShellRequests {
 public:
  struct Request {
    std::string kind;  // "address", "folder", "properties", "update", "clipboard"
    QString target;
  };

  void OpenAddress(QWidget*, const QString& address) override { Add("address", address); }
  void OpenFolder(QWidget*, const std::string& folder) override {
    Add("folder", QString::fromStdString(folder));
  }
  void ShowProperties(QWidget*, const std::string& file) override {
    Add("properties", QString::fromStdString(file));
  }
  void OpenUpdatePage(QWidget*, const QString& address) override { Add("update", address); }
  void SetClipboardText(const QString& text) override { Add("clipboard", text); }

  std::vector<Request> requests;

 private:
  void Add(const char* kind, const QString& target) { requests.push_back({kind, target}); }
};

}  // namespace tovalin::test
