// The Office model: everything detected about the installed Office products, built once by the
// constructor and never rescanned (only the registered user information is re-read).
//
// The methods are split over several files by concern: products (ZelMsoProducts.cpp),
// applications (ZelMsoApps.cpp), user information (ZelMsoUserInfo.cpp), item catalogue
// (ZelMsoItems.cpp), Office repairs (ZelMsoOffice.cpp), Windows switches (ZelMsoWindows.cpp),
// shell switches (ZelMsoShell.cpp) and process control (ZelMsoProcess.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/ZelVersionInfo.h"
#include "support/action/ActionHistory.h"
#include "support/action/PlanningPlatform.h"
#include "support/platform/Platform.h"

namespace tovalin {

class TZelRegistry;

using TArrayDword = std::vector<std::uint32_t>;

// One row of the application table.
struct TZelMsoApp {
  const char* AppName;
  const char* ExeName;
  const char* Extension;
};
inline constexpr int kAppCount = 6;
extern const std::array<TZelMsoApp, kAppCount> kMsoApps;

// One entry of a product-code table: flag "0" lists the product, "1" skips it.
struct TZelCodeEntry {
  const char* Flag;
  const char* Code;
};
using TZelCodeTable = std::vector<TZelCodeEntry>;
extern const TZelCodeTable kCodeTable110;
extern const TZelCodeTable kCodeTable100;
extern const TZelCodeTable kCodeTable90;
extern const TZelCodeTable kCodeTable120;

// A row of the product-code catalogue.
struct TZelCatalogueRow {
  const char* Ending;
  const char* Version;
  int CodePosition;  // 0: characters 4-5; 1: characters 11-14
  const TZelCodeTable* Table;
};
extern const std::array<TZelCatalogueRow, 4> kCatalogue;

struct TZelMsoVersion {
  std::string Version;
  std::string DisplayName;
  std::string DisplayVersion;
  std::string ProductCode;
  std::string ProductId;
};

struct TZelMsoAppFileList {
  std::string Version;
  std::string FileName;
};

struct TZelMsoItem {
  std::int32_t Kind = 0;  // 0 information, 1 setting, 2 trouble
  std::string Title;
  std::string Description;
  std::vector<std::string> Captions;
  std::int32_t ItemId = 0;
};

// An owned icon: handle 0 means none.
class TIcon {
 public:
  explicit TIcon(IIcons& icons) : icons_(&icons) {}
  ~TIcon() { SetHandle(0); }
  TIcon(const TIcon&) = delete;
  TIcon& operator=(const TIcon&) = delete;
  IconHandle Handle() const { return handle_; }
  // Takes ownership of the new handle and destroys the old one.
  void SetHandle(IconHandle handle) {
    if (handle_ != 0 && handle_ != handle) icons_->DestroyIcon(handle_);
    handle_ = handle;
  }
  // The icon as .ico bytes; empty when there is none.
  std::vector<std::uint8_t> Data() const {
    return handle_ != 0 ? icons_->IconData(handle_) : std::vector<std::uint8_t>{};
  }

 private:
  IIcons* icons_;
  IconHandle handle_ = 0;
};

class TZelMsoInfo {
 public:
  explicit TZelMsoInfo(Platform& platform) : VersionInfo(platform), Icon(platform.Icons()) {}

  std::string AppName;
  std::string Title;
  std::string FileName;
  TZelVersionInfo VersionInfo;
  TIcon Icon;
  std::string DisplayVersion;
  std::vector<TZelMsoItem> Items;
  std::vector<TZelMsoAppFileList> AppFiles;
};

// The 32-character packed form of a braced product code.
std::string PackGuid(std::string_view guid);

class TZelMso {
 public:
  // Runs every scan, in order: products, applications, user information, item catalogue.
  explicit TZelMso(Platform& platform);
  ~TZelMso();
  TZelMso(const TZelMso&) = delete;
  TZelMso& operator=(const TZelMso&) = delete;

  std::string ProductCode;
  std::string Company;
  std::string Owner;
  std::string Initials;
  std::string OfficeVersion;
  std::string UnrecognisedProducts;
  std::array<std::unique_ptr<TZelMsoInfo>, kAppCount> Slots;
  std::vector<TZelMsoVersion> Versions;
  // Values of a type their read does not take, met since the model was built, each once with
  // key and value named. They counted as absent; a setter that writes one gives it its type.
  std::vector<std::string> Warnings;

  // --- products ---
  void ScanInstalledProducts();
  int MatchProductCode(std::string_view productCode, const TZelCodeTable& codeTable,
                       int codePosition);
  static void SortVersions(std::vector<TZelMsoVersion>& list);

  // --- applications ---
  void ScanApplications();
  void ScanAppFiles(int appIndex);
  static void SortAppFiles(std::vector<TZelMsoAppFileList>& list);
  void DetectSuite();

  // --- registered user ---
  void ReadUserInfo();
  void WriteUserInfo(std::string_view company, std::string_view owner, std::string_view initials);

  // --- items ---
  void BuildItemCatalogue();
  std::int32_t GetItemState(std::int32_t itemId);
  bool SetItemState(std::int32_t itemId, std::int32_t state, IActionJournal* journal = nullptr);
  // Why the last GetItemState, or a SetItemState that did not take effect, could not tell the
  // state or change it: the first key or value missed, as regedit names it, or the key that
  // would not open for the change. The read may still have told a state from what it found (no
  // document class counts as no read-only verb), so this serves where the state is not the one
  // asked for. Empty when nothing was missed.
  const std::string& ItemStateReason() const { return itemStateReason_; }
  // Kept by the reads and changes behind the items; only the first reason counts.
  void NoteItemStateReason(std::string reason);
  void NoteMissingKey(const TZelRegistry& reg, std::string_view path);
  // A value the read found missing, empty or of a type it does not take.
  void NoteUnreadValue(TZelRegistry& reg, std::string_view name, bool text);
  // A key the change could not open: missing, or not granting the change.
  void NoteUnwritableKey(TZelRegistry& reg, std::string_view path);
  // What a repair did: files removed, files that would not go and links left alone; `Skipped`
  // says why a repair that removes files looked at none. Registry repairs leave them all empty.
  struct TRepairResult {
    bool RemovesFiles = false;
    int Removed = 0;
    int Failed = 0;
    int LinksKept = 0;
    // Of those removed, the ones no trash would take.
    int RemovedForGood = 0;
    std::string Skipped;
    bool Succeeded() const { return Failed == 0 && LinksKept == 0 && Skipped.empty(); }
    // What the user is told: the reason it was skipped, or the files removed and left; empty
    // for a registry repair.
    std::string Summary() const;
  };
  TRepairResult RunRepair(std::int32_t itemId, IActionJournal* journal = nullptr);

  // --- actions ---
  // What an action will do, learned by running its code against the planning view of the
  // machine: nothing is written. `Repair` is the repair's result as planned (Skipped says why it
  // would touch nothing; Removed counts the files it would remove).
  struct TActionPlan {
    ActionPlan Changes;
    TRepairResult Repair;
  };
  TActionPlan PlanItemState(std::int32_t itemId, std::int32_t state);
  TActionPlan PlanRepair(std::int32_t itemId);
  // The state a setting would read after the change, worked out on the planning view of the
  // machine: nothing is written.
  std::int32_t PredictItemState(std::int32_t itemId, std::int32_t state);
  TActionPlan PlanUserInfo(std::string_view company, std::string_view owner,
                           std::string_view initials);
  // The registered-user update as the window and tovalin-cli make it: a field left blank is
  // stored as a full-width space, so that it reads back empty. After ReadUserInfo,
  // UserInfoReads tells whether the information reads back as asked.
  TActionPlan PlanUserInfoUpdate(std::string_view company, std::string_view owner,
                                 std::string_view initials);
  bool UserInfoReads(std::string_view company, std::string_view owner,
                     std::string_view initials) const;
  // Makes a planned action's changes as one action: the machine must still hold what the plan
  // found, the rights for every write are checked before the first, the registry is saved once,
  // and then the files go to the trash (removed for good only where no trash takes them). A
  // refusal raises ERegistryRefusedException with nothing changed; a machine changed since the
  // plan raises ERegistryException. The journal, when given, keeps the action's record.
  TRepairResult Perform(const TActionPlan& plan, IActionJournal* journal = nullptr);
  // What an action on an item, or on the registered user, is called in the history.
  ActionInfo ItemActionInfo(std::int32_t itemId, std::int32_t state) const;
  static ActionInfo UserInfoActionInfo();

  // Office-side
  std::int32_t GetOfficeClipboardState();
  void SetOfficeClipboardState(std::int32_t state);
  TRepairResult DeleteToolbarFiles(int appIndex, std::string_view extension);
  void DeleteOfficeAppKey(int appIndex, std::string_view keyFormat);
  TRepairResult DeleteTempLockFiles();

  // Windows-side
  std::int32_t GetLogonImeState();
  void SetLogonImeState(std::int32_t state);
  std::int32_t GetScriptHostState();
  void SetScriptHostState(std::int32_t state);

  // Shell integration
  std::int32_t GetBrowserIntegrationState(int appIndex);
  void SetBrowserIntegrationState(int appIndex, std::int32_t state);
  std::int32_t GetReadOnlyVerbState(int appIndex);
  void SetReadOnlyVerbState(int appIndex, std::int32_t state);
  std::int32_t GetEditModeState(int appIndex);
  void SetEditModeState(int appIndex, std::int32_t state);

  // Process control
  void FindRunningProcesses(std::string_view exeName, TArrayDword& pids);
  void FindProcessesByToolhelp(std::string_view exeName, TArrayDword& pids);
  void FindProcessesByPsapi(std::string_view exeName, TArrayDword& pids);
  void TerminateRunningProcess(std::uint32_t pid);

  Platform& GetPlatform() { return platform_; }

 private:
  TActionPlan Planned(const std::function<TRepairResult()>& body);
  void WriteUserInfoKeys(std::string_view company, std::string_view owner,
                         std::string_view initials);

  // The machine itself, and what the model's code acts on: the machine, or while an action is
  // planned, the planning view of it.
  Platform& machine_;
  SwitchPlatform acting_;
  Platform& platform_;
  std::string itemStateReason_;
};

// Reads for the scans and item states. A value of another type than the read takes counts as
// absent, so that one odd value on a machine stops neither the scan nor the item; its
// description is added to `warnings` unless already there.
std::string ScanText(TZelRegistry& reg, std::string_view name, std::vector<std::string>& warnings);
std::optional<std::int32_t> ScanDword(TZelRegistry& reg, std::string_view name,
                                      std::vector<std::string>& warnings);

// --- the item catalogue ---

enum class TZelItemKind : std::int32_t { Information = 0, Setting = 1, Trouble = 2 };

// One item: what the page shows and what it does. A setting has Get and Set, a repair Repair.
struct TZelItemRow {
  std::int32_t ItemId;
  TZelItemKind Kind;
  const char* Title;
  std::array<const char*, 2> Captions;  // a repair has one
  const char* Description;              // "%0:s" stands for the application's name
  std::int32_t (*Get)(TZelMso&);
  void (*Set)(TZelMso&, std::int32_t);
  TZelMso::TRepairResult (*Repair)(TZelMso&);
};

// The row of an item id; nullptr for an id no item has.
const TZelItemRow* FindItemRow(std::int32_t itemId);
// The application (index into kMsoApps) an item belongs to.
constexpr int ItemApplication(std::int32_t itemId) {
  return itemId / 100;
}

// Formats "%s" placeholders in order (the registry path formats of the model).
std::string FormatPath(std::string_view format, std::initializer_list<std::string_view> args);

// Registry paths the model forms.
inline constexpr const char* kOfficeRoot = "\\SOFTWARE\\Microsoft\\Office";
inline constexpr const char* kUninstallKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char* kInstallerUserData =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData";

}  // namespace tovalin
