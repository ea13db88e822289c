// The Wine prefixes of a user, from the places Wine and the tools around it keep them. Each is
// only glanced at (its hive files read as text, no registry built) so that a long list comes up
// at once; opening one is OpenWinePrefix's work.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovalin {

enum class WinePrefixSource {
  Environment,     // $WINEPREFIX
  Default,         // ~/.wine
  Winetricks,      // ~/.local/share/wineprefixes/*
  PlayOnLinux,     // ~/.PlayOnLinux/wineprefix/*
  CrossOver,       // ~/.cxoffice/*
  Bottles,         // ~/.local/share/bottles/bottles/*
  BottlesFlatpak,  // ~/.var/app/com.usebottles.bottles/data/bottles/bottles/*
  Lutris,          // ~/Games/*
  Added,           // a folder the user named
};

// A stable word for scripts ("environment", "winetricks", …).
const char* SourceKey(WinePrefixSource source);
const char* SourceLabelJa(WinePrefixSource source);
const char* SourceLabelEn(WinePrefixSource source);

struct PrefixOfficeProduct {
  std::string version;  // "9.0" … "12.0"
  std::string productCode;
  std::string displayName;  // empty when the key has none
};

struct FoundWinePrefix {
  std::string path;  // as it was reached
  std::string name;
  WinePrefixSource source = WinePrefixSource::Added;
  std::string arch;  // "win32" or "win64"; empty when system.reg could not be read
  // Why the prefix cannot be opened (a missing or unreadable hive, a link to nothing…), as a
  // sentence naming the file; empty when both hives look sound.
  std::string problem;
  std::vector<PrefixOfficeProduct> office;  // newest version first
  bool serverRunning = false;

  bool Usable() const { return problem.empty(); }
};

// The Office version under which the product scan would list an uninstall key of this name, or
// nothing when it would not list it. The catalogue lives with the Office model, above this
// library, hence a function rather than a call.
using OfficeVersionOfProduct = std::function<std::optional<std::string>(std::string_view)>;

struct WinePrefixSearch {
  std::string home;
  std::string winePrefix;  // $WINEPREFIX; empty when unset
  std::vector<std::string> addedFolders;
  OfficeVersionOfProduct officeVersionOf;  // empty: no Office looked for
};

// $WINEPREFIX first, then ~/.wine, the tools' folders (each sorted by name) and the added
// folders. A folder reached twice is listed once, where it was first met. Folders in the tools'
// folders that hold neither hive are not prefixes and left out; the named ones (WINEPREFIX,
// ~/.wine, added) are listed whatever they hold, with the reason when they cannot be opened.
// Throws nothing for any one prefix.
std::vector<FoundWinePrefix> FindWinePrefixes(const WinePrefixSearch& search);

// Every folder FindWinePrefixes looks at or into, in its order, for telling the user where no
// prefix was found.
std::vector<std::string> WinePrefixPlaces(const WinePrefixSearch& search);

// One folder as the list shows it.
FoundWinePrefix ExamineWinePrefix(const std::string& path, WinePrefixSource source,
                                  const OfficeVersionOfProduct& officeVersionOf);

// What the window does at start without asking: $WINEPREFIX is opened whatever it holds; else
// the prefix chosen last time while it still has Office, else the only prefix with Office.
// Otherwise (several, or none) the user is asked. Prefixes are matched by path as listed.
struct PrefixToOpen {
  enum class Kind { Open, Ask };
  Kind kind = Kind::Ask;
  std::string path;  // for Open

  bool operator==(const PrefixToOpen&) const = default;
};
PrefixToOpen ChoosePrefixToOpen(const std::vector<FoundWinePrefix>& found,
                                std::string_view winePrefix, std::string_view remembered);

}  // namespace tovalin
