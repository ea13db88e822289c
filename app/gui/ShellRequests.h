// What the windows ask of the desktop around the program: opening a web page or a mail address,
// showing a folder or a file's properties, starting the browser for the Office update page and
// writing the clipboard. The windows make these requests through this interface so that tests can
// record them; none of them reports a result.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "support/platform/Platform.h"

class QWidget;

namespace tovalin {

class IShellRequests {
 public:
  virtual ~IShellRequests() = default;
  // A web page or a "mailto:" address, handed to the desktop's handler for it.
  virtual void OpenAddress(QWidget* owner, const QString& address) = 0;
  // A folder of the machine (a Windows path), shown in the file manager.
  virtual void OpenFolder(QWidget* owner, const std::string& folder) = 0;
  // The properties of a file of the machine (a Windows path).
  virtual void ShowProperties(QWidget* owner, const std::string& file) = 0;
  // The Office update page, in the browser it is made for where that still shows pages, else in
  // the default browser.
  virtual void OpenUpdatePage(QWidget* owner, const QString& address) = 0;
  // Qt's clipboard, which is the system's on every platform.
  virtual void SetClipboardText(const QString& text);
};

// The real desktop: the Windows shell on Windows; elsewhere the desktop's default handlers, with
// the machine's paths turned into host paths, and a details dialog in place of the property sheet.
std::unique_ptr<IShellRequests> NativeShell(Platform& platform);

// Whether Internet Explorer shows pages itself on the Windows of this build number (0: not known).
// From Windows 11 (build 22000) on it is gone, or IEXPLORE.EXE only hands the page over to Edge.
bool InternetExplorerShowsPages(std::uint32_t windowsBuild);

// The command line that opens an address in Internet Explorer on the drive of the system folder:
// "\"D:\Program Files\Internet Explorer\IEXPLORE.EXE\" \"<address>\"". "" when the system folder
// is unknown.
std::string InternetExplorerCommandLine(std::string_view systemDirectory, std::string_view address);

}  // namespace tovalin
