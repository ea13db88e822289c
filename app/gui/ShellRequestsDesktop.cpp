// A Linux desktop: addresses go to its default handlers, the machine's folders are shown by their
// host paths, a file's details in a dialog of our own, the update page in the default browser.
#include <QDesktopServices>
#include <QUrl>

#include "app/gui/FileProperties.h"
#include "app/gui/ShellRequests.h"

namespace tovalin {

namespace {

class TDesktopShell : public IShellRequests {
 public:
  explicit TDesktopShell(Platform& platform) : platform_(platform) {}

  void OpenAddress(QWidget*, const QString& address) override {
    if (!address.isEmpty()) QDesktopServices::openUrl(QUrl(address));
  }

  void OpenFolder(QWidget*, const std::string& folder) override {
    // An empty name would open whatever folder happens to be current.
    if (folder.empty()) return;
    const std::string host = platform_.Files().HostPath(folder);
    if (!host.empty()) {
      QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(host)));
    }
  }

  void ShowProperties(QWidget* owner, const std::string& file) override {
    if (file.empty()) return;
    auto* dialog = new TFilePropertiesDialog(platform_, file, owner);
    dialog->show();
  }

  void OpenUpdatePage(QWidget*, const QString& address) override {
    // No Internet Explorer here: the desktop's default browser shows the page.
    QDesktopServices::openUrl(QUrl(address));
  }

 private:
  Platform& platform_;
};

}  // namespace

std::unique_ptr<IShellRequests> NativeShell(Platform& platform) {
  return std::make_unique<TDesktopShell>(platform);
}

}  // namespace tovalin
