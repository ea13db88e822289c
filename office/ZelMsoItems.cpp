// The per-application repair and setting items, and the dispatch of item ids to the operations
// behind them.
#include <array>
#include <string>

#include "office/ZelMso.h"
#include "support/Text.h"
#include "support/ZelRegistry.h"

namespace tovalin {

namespace {

constexpr const char* kTitleClipboard = "Officeクリップボードの使用可否";
constexpr const char* kTitleLogonIme = "ログオン画面でのIME表示可否";
constexpr const char* kTitleScriptHost = "Windows Script Host の使用可否";
constexpr const char* kTitleMenuBar = "トラブル：メニューバーが消えました。";
constexpr const char* kTitleFileLock = "トラブル：ファイルが編集出来ません。";
constexpr const char* kTitleBrowser = "InternetExplorerとの連携可否";
constexpr const char* kTitleReadOnly = "読み取り専用メニューの追加可否";
constexpr const char* kTitleViewMode = "編集モードの使用可否";

constexpr const char* kClipboardText =
    "Officeクリップボードを使うとクリップボードに複数のオブジェクトを保存しておけますが、この機能が"
    "不要な人には煩わしいものです。\r\n"
    "Officeクリップボードを使用しないようにすれば、通常のクリップボードを使用することが出来ます。";

constexpr const char* kLogonImeText =
    "Windowsのユーザー名に日本語などの全角文字を使用するのは御法度です。\r\n"
    "ユーザー名に半角英数字しか使用しないのにログオン画面にIMEが表示されているのは不恰好ですし、誤"
    "操作が懸念されます。\r\n"
    "IMEが不要なら表示しないようにしておきましょう。\r\n"
    "\r\n"
    "[ユーザー名に全角文字を使用してはいけない理由]\r\n"
    "ユーザー名に日本語等の全角文字を使用していると、海外製のソフトが使えない場合が出てきます。\r\n"
    "これはデータフォルダ等のパスにユーザー名が含まれているような場合に全角文字が考慮されていないた"
    "め内部的に文字化けを起こし、フォルダのパスが正しく取得出来なくなるためです。\r\n"
    "日本語版として売られているソフトの中にも、このような現象を起こすものがあります。（表示のみ日本"
    "語化しているためです。）\r\n"
    "デスクトップに対しファイルの保存や読み込みを行なった際にエラーが発生するソフトは、これに該当す"
    "ると思って間違いありません。\r\n"
    "不要なトラブルを引き起こさない為にも、ユーザー名は半角英数字のみにしておきましょう。";

constexpr const char* kScriptHostText =
    "Windows Script Host(WSH) "
    "を使うとVBScriptやJScriptで記述したプログラムを実行することが出来ますが、同時にWSHは "
    "VBS.LoveLetter.A に代表されるようなマクロウイルス（ワーム）の動作環境にもなっています。\r\n"
    "少しでもマクロウイルスの被害を防ごうと思うのであればWSHは使用しないようにしておく方が良いでし"
    "ょう。\r\n"
    "※Symantec社が無償で配布している Noscript.exe 互換の動作をします。";

constexpr const char* kMenuBarText =
    "何かの拍子にメニューバーが消えてしまうことがあります。\r\n"
    "そのような場合にメニューバーの再表示を試みます。\r\n"
    "※メニューバーやツールバーの配置が初期化されます。";

constexpr const char* kFileLockText =
    "編集中にフリーズしたような場合に、それまで編集していたファイルが編集出来なくなることがあります"
    "。\r\n"
    "そのような場合にファイルのロック解除を試みます。\r\n"
    "※ファイル自体が壊れている場合の修復ではありません。";

constexpr const char* kBrowserText =
    "InternetExplorer(IE)使用時にリンク先が%0:sのファイルだった場合、IEの中で%0:sが開かれます。\r\n"
    "そのような連携を行なうか、IEとは別に%0:sで開くかどうかを設定します。";

constexpr const char* kReadOnlyText =
    "ファイルの右クリックメニューに「読み取り専用で開く」を追加するかどうかを設定します。\r\n"
    "編集が不要なファイルを開く場合に、読み取り専用で開いておけば間違ってデータを消してしまったり上"
    "書きしてしまう失敗を未然に防ぐ事が出来ます。\r\n"
    "また企業内など複数人で同じファイルを開くような場合にも参照するだけの場合は読み取り専用で開いて"
    "おくと他の人の作業の邪魔になりませんし、前述のような失敗をしてトラブルになるのを回避する事が出"
    "来ます。";

constexpr const char* kViewModeText =
    "InternetExplorer(IE)から%0:sが開かれる場合に編集モードで開くかどうかを設定します。";

constexpr std::array<const char*, 2> kCaptionsUse = {"使用する", "使用しない"};
constexpr std::array<const char*, 2> kCaptionsShow = {"表示する", "表示しない"};
constexpr std::array<const char*, 2> kCaptionsRedisplay = {"再表示", nullptr};
constexpr std::array<const char*, 2> kCaptionsRepair = {"修復", nullptr};
constexpr std::array<const char*, 2> kCaptionsLink = {"連携させる", "連携させない"};
constexpr std::array<const char*, 2> kCaptionsViewMode = {"プレビュー", "編集モード"};
constexpr std::array<const char*, 2> kCaptionsAdd = {"追加する", "追加しない"};

using Kind = TZelItemKind;

// Every item, in the order the page lists an application's items. A setting has Get and Set, a
// repair has Repair; "%0:s" in a description stands for the application's name.
constexpr TZelItemRow kItems[] = {
    {51, Kind::Setting, kTitleClipboard, kCaptionsUse, kClipboardText,
     [](TZelMso& m) { return m.GetOfficeClipboardState(); },
     [](TZelMso& m, std::int32_t s) { m.SetOfficeClipboardState(s); }, nullptr},
    {52, Kind::Setting, kTitleLogonIme, kCaptionsShow, kLogonImeText,
     [](TZelMso& m) { return m.GetLogonImeState(); },
     [](TZelMso& m, std::int32_t s) { m.SetLogonImeState(s); }, nullptr},
    {151, Kind::Setting, kTitleScriptHost, kCaptionsUse, kScriptHostText,
     [](TZelMso& m) { return m.GetScriptHostState(); },
     [](TZelMso& m, std::int32_t s) { m.SetScriptHostState(s); }, nullptr},
    {201, Kind::Trouble, kTitleMenuBar, kCaptionsRedisplay, kMenuBarText, nullptr, nullptr,
     [](TZelMso& m) { return m.DeleteToolbarFiles(2, "xlb"); }},
    {202, Kind::Trouble, kTitleFileLock, kCaptionsRepair, kFileLockText, nullptr, nullptr,
     [](TZelMso& m) { return m.DeleteTempLockFiles(); }},
    {251, Kind::Setting, kTitleBrowser, kCaptionsLink, kBrowserText,
     [](TZelMso& m) { return m.GetBrowserIntegrationState(2); },
     [](TZelMso& m, std::int32_t s) { m.SetBrowserIntegrationState(2, s); }, nullptr},
    {252, Kind::Setting, kTitleReadOnly, kCaptionsAdd, kReadOnlyText,
     [](TZelMso& m) { return m.GetReadOnlyVerbState(2); },
     [](TZelMso& m, std::int32_t s) { m.SetReadOnlyVerbState(2, s); }, nullptr},
    {301, Kind::Trouble, kTitleMenuBar, kCaptionsRedisplay, kMenuBarText, nullptr, nullptr,
     [](TZelMso& m) {
       m.DeleteOfficeAppKey(3, "%s\\%s\\%s\\Data");
       return TZelMso::TRepairResult{};
     }},
    {302, Kind::Trouble, kTitleFileLock, kCaptionsRepair, kFileLockText, nullptr, nullptr,
     [](TZelMso& m) { return m.DeleteTempLockFiles(); }},
    {351, Kind::Setting, kTitleBrowser, kCaptionsLink, kBrowserText,
     [](TZelMso& m) { return m.GetBrowserIntegrationState(3); },
     [](TZelMso& m, std::int32_t s) { m.SetBrowserIntegrationState(3, s); }, nullptr},
    {401, Kind::Trouble, kTitleMenuBar, kCaptionsRedisplay, kMenuBarText, nullptr, nullptr,
     [](TZelMso& m) {
       m.DeleteOfficeAppKey(4, "%s\\%s\\%s\\Settings\\CommandBars");
       return TZelMso::TRepairResult{};
     }},
    {402, Kind::Trouble, kTitleFileLock, kCaptionsRepair, kFileLockText, nullptr, nullptr,
     [](TZelMso& m) { return m.DeleteTempLockFiles(); }},
    {501, Kind::Trouble, kTitleMenuBar, kCaptionsRedisplay, kMenuBarText, nullptr, nullptr,
     [](TZelMso& m) { return m.DeleteToolbarFiles(5, "pcb"); }},
    {502, Kind::Trouble, kTitleFileLock, kCaptionsRepair, kFileLockText, nullptr, nullptr,
     [](TZelMso& m) { return m.DeleteTempLockFiles(); }},
    {551, Kind::Setting, kTitleBrowser, kCaptionsLink, kBrowserText,
     [](TZelMso& m) { return m.GetBrowserIntegrationState(5); },
     [](TZelMso& m, std::int32_t s) { m.SetBrowserIntegrationState(5, s); }, nullptr},
    {552, Kind::Setting, kTitleViewMode, kCaptionsViewMode, kViewModeText,
     [](TZelMso& m) { return m.GetEditModeState(5); },
     [](TZelMso& m, std::int32_t s) { m.SetEditModeState(5, s); }, nullptr},
};

}  // namespace

const TZelItemRow* FindItemRow(std::int32_t itemId) {
  for (const TZelItemRow& row : kItems) {
    if (row.ItemId == itemId) return &row;
  }
  return nullptr;
}

void TZelMso::BuildItemCatalogue() {
  for (const TZelItemRow& row : kItems) {
    const int appIndex = ItemApplication(row.ItemId);
    if (!Slots[appIndex]) continue;
    TZelMsoItem item;
    item.Kind = static_cast<std::int32_t>(row.Kind);
    item.Title = row.Title;
    item.Description = FormatArg0(row.Description, kMsoApps[appIndex].AppName);
    for (const char* caption : row.Captions) {
      if (caption != nullptr) item.Captions.emplace_back(caption);
    }
    item.ItemId = row.ItemId;
    Slots[appIndex]->Items.push_back(std::move(item));
  }
}

std::int32_t TZelMso::GetItemState(std::int32_t itemId) {
  itemStateReason_.clear();
  const TZelItemRow* row = FindItemRow(itemId);
  return row != nullptr && row->Get != nullptr ? row->Get(*this) : -1;
}

bool TZelMso::SetItemState(std::int32_t itemId, std::int32_t state, IActionJournal* journal) {
  itemStateReason_.clear();
  const TZelItemRow* row = FindItemRow(itemId);
  if (row == nullptr || row->Set == nullptr || row->Get == nullptr) return false;
  Perform(PlanItemState(itemId, state), journal);
  // What the change missed comes before what the read back misses.
  const bool tookEffect = row->Get(*this) == state;
  if (tookEffect) itemStateReason_.clear();
  return tookEffect;
}

void TZelMso::NoteItemStateReason(std::string reason) {
  if (itemStateReason_.empty()) itemStateReason_ = std::move(reason);
}

void TZelMso::NoteMissingKey(const TZelRegistry& reg, std::string_view path) {
  NoteItemStateReason("キー " + reg.KeyName(path) + " がありません。");
}

void TZelMso::NoteUnreadValue(TZelRegistry& reg, std::string_view name, bool text) {
  TRegDataInfo info;
  const std::string value = RegistryValueName(name);
  if (!reg.ValueKind(name, info)) {
    NoteItemStateReason("キー " + reg.KeyName() + " に値 " + value + " がありません。");
  } else if (text &&
             (info.type == TRegDataType::String || info.type == TRegDataType::ExpandString)) {
    NoteItemStateReason("キー " + reg.KeyName() + " の値 " + value + " が空です。");
  } else {
    NoteItemStateReason(RegistryDataTypeMessage(reg.KeyName(), name) + "。");
  }
}

void TZelMso::NoteUnwritableKey(TZelRegistry& reg, std::string_view path) {
  if (!reg.HasKey(path)) {
    NoteMissingKey(reg, path);
  } else {
    NoteItemStateReason("キー " + reg.KeyName(path) + " を変更する権限がありません。");
  }
}

TZelMso::TRepairResult TZelMso::RunRepair(std::int32_t itemId, IActionJournal* journal) {
  const TZelItemRow* row = FindItemRow(itemId);
  if (row == nullptr || row->Repair == nullptr) return {};
  const TActionPlan plan = PlanRepair(itemId);
  if (!plan.Repair.Skipped.empty()) return plan.Repair;
  return Perform(plan, journal);
}

TZelMso::TActionPlan TZelMso::PlanItemState(std::int32_t itemId, std::int32_t state) {
  const TZelItemRow* row = FindItemRow(itemId);
  if (row == nullptr || row->Set == nullptr) return {};
  return Planned([&] {
    row->Set(*this, state);
    return TRepairResult{};
  });
}

ActionInfo TZelMso::ItemActionInfo(std::int32_t itemId, std::int32_t state) const {
  ActionInfo info;
  info.itemId = itemId;
  const TZelItemRow* row = FindItemRow(itemId);
  if (row == nullptr) return info;
  info.title = row->Title;
  info.application = kMsoApps[static_cast<std::size_t>(ItemApplication(itemId))].AppName;
  const std::size_t caption =
      row->Kind == TZelItemKind::Setting ? static_cast<std::size_t>(state) : 0;
  if (caption < row->Captions.size() && row->Captions[caption] != nullptr) {
    info.what = row->Captions[caption];
  }
  return info;
}

ActionInfo TZelMso::UserInfoActionInfo() {
  ActionInfo info;
  info.userInfo = true;
  info.title = "登録情報";
  info.what = "会社名・ユーザー名・頭文字";
  return info;
}

std::int32_t TZelMso::PredictItemState(std::int32_t itemId, std::int32_t state) {
  itemStateReason_.clear();
  const TZelItemRow* row = FindItemRow(itemId);
  if (row == nullptr || row->Set == nullptr || row->Get == nullptr) return -1;
  std::int32_t predicted = -1;
  Planned([&] {
    row->Set(*this, state);
    predicted = row->Get(*this);
    return TRepairResult{};
  });
  if (predicted == state) itemStateReason_.clear();
  return predicted;
}

TZelMso::TActionPlan TZelMso::PlanRepair(std::int32_t itemId) {
  const TZelItemRow* row = FindItemRow(itemId);
  if (row == nullptr || row->Repair == nullptr) return {};
  return Planned([&] { return row->Repair(*this); });
}

}  // namespace tovalin
