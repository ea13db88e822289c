// The about dialog: the program's name, version and copyright from its own version resource, in
// Japanese or English by the user's locale, with the maker's mark and a link to the maker's site.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/gui/ShellRequests.h"
#include "support/platform/Platform.h"

class QFrame;
class QLabel;
class QPushButton;

namespace tovalin {

// The user's default locale identifier: GetUserDefaultLCID on Windows. Elsewhere the user's
// locale (LC_ALL, LC_MESSAGES, LANG, in that order of precedence) gives 0x0411 for ja_JP and
// 0x0409 for anything else, the only distinction the program makes.
std::uint32_t UserDefaultLcid();
std::uint32_t LcidFromLocaleName(std::string_view name);
// Exactly Japanese (Japan) with the default sort order.
bool IsJapaneseLcid(std::uint32_t lcid);

class TFrmAboutDialog : public QDialog {
  Q_OBJECT
 public:
  // programFile is read for its version resource on `platform`.
  TFrmAboutDialog(Platform& platform, std::string programFile, std::uint32_t lcid,
                  IShellRequests& shell, QWidget* parent = nullptr);

  // --- handlers ---
  void BtnOkClick();
  void LblOfficialSiteMouseMove();
  void LblOfficialSiteMouseLeave();
  void LblOfficialSiteClick();

  // --- components ---
  QLabel* ImgIcon = nullptr;
  QLabel* LblAppName = nullptr;
  QLabel* LblAppVersion = nullptr;
  QLabel* LblCopyright = nullptr;
  QFrame* Bevel1 = nullptr;
  QLabel* ImgMark = nullptr;
  QLabel* LblCompanyName = nullptr;
  QLabel* LblOfficialSite = nullptr;
  QPushButton* BtnOk = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void CreateComponents();
  void FormCreate(Platform& platform, std::uint32_t lcid);
  void SetLinkColour(const QColor& colour);

  std::string programFile_;
  IShellRequests& shell_;
  bool centred_ = false;
};

}  // namespace tovalin
