// The per-application repair and setting items, and the dispatch of item ids to the operations
// behind them.
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

#define TOVALIN_CAPTIONS_USE \
  { "使用する", "使用しない" }
#define TOVALIN_CAPTIONS_SHOW \
  { "表示する", "表示しない" }
#define TOVALIN_CAPTIONS_REDISPLAY \
  { "再表示" }
#define TOVALIN_CAPTIONS_REPAIR \
  { "修復" }
#define TOVALIN_CAPTIONS_LINK \
  { "連携させる", "連携させない" }
#define TOVALIN_CAPTIONS_VIEW_MODE \
  { "プレビュー", "編集モード" }
#define TOVALIN_CAPTIONS_ADD \
  { "追加する", "追加しない" }

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

constexpr int kSetting = 1;
constexpr int kTrouble = 2;

void AddAppItems(TZelMsoInfo& info, int appIndex) {
  const std::string_view app = kMsoApps[appIndex].AppName;
  const auto formatted = [&](const char* text) { return FormatArg0(text, app); };
  switch (appIndex) {
    case 0:
      AddItem(info, kSetting, kTitleClipboard, 51, TOVALIN_CAPTIONS_USE, formatted(kClipboardText));
      AddItem(info, kSetting, kTitleLogonIme, 52, TOVALIN_CAPTIONS_SHOW, formatted(kLogonImeText));
      break;
    case 1:
      AddItem(info, kSetting, kTitleScriptHost, 151, TOVALIN_CAPTIONS_USE, kScriptHostText);
      break;
    case 2:
      AddItem(info, kTrouble, kTitleMenuBar, 201, TOVALIN_CAPTIONS_REDISPLAY, kMenuBarText);
      AddItem(info, kTrouble, kTitleFileLock, 202, TOVALIN_CAPTIONS_REPAIR, kFileLockText);
      AddItem(info, kSetting, kTitleBrowser, 251, TOVALIN_CAPTIONS_LINK, formatted(kBrowserText));
      AddItem(info, kSetting, kTitleReadOnly, 252, TOVALIN_CAPTIONS_ADD, kReadOnlyText);
      break;
    case 3:
      AddItem(info, kTrouble, kTitleMenuBar, 301, TOVALIN_CAPTIONS_REDISPLAY, kMenuBarText);
      AddItem(info, kTrouble, kTitleFileLock, 302, TOVALIN_CAPTIONS_REPAIR, kFileLockText);
      AddItem(info, kSetting, kTitleBrowser, 351, TOVALIN_CAPTIONS_LINK, formatted(kBrowserText));
      break;
    case 4:
      AddItem(info, kTrouble, kTitleMenuBar, 401, TOVALIN_CAPTIONS_REDISPLAY, kMenuBarText);
      AddItem(info, kTrouble, kTitleFileLock, 402, TOVALIN_CAPTIONS_REPAIR, kFileLockText);
      break;
    case 5:
      AddItem(info, kTrouble, kTitleMenuBar, 501, TOVALIN_CAPTIONS_REDISPLAY, kMenuBarText);
      AddItem(info, kTrouble, kTitleFileLock, 502, TOVALIN_CAPTIONS_REPAIR, kFileLockText);
      AddItem(info, kSetting, kTitleBrowser, 551, TOVALIN_CAPTIONS_LINK, formatted(kBrowserText));
      AddItem(info, kSetting, kTitleViewMode, 552, TOVALIN_CAPTIONS_VIEW_MODE,
              formatted(kViewModeText));
      break;
    default:
      break;
  }
}

#undef TOVALIN_CAPTIONS_USE
#undef TOVALIN_CAPTIONS_SHOW
#undef TOVALIN_CAPTIONS_REDISPLAY
#undef TOVALIN_CAPTIONS_REPAIR
#undef TOVALIN_CAPTIONS_LINK
#undef TOVALIN_CAPTIONS_VIEW_MODE
#undef TOVALIN_CAPTIONS_ADD

struct TZelSetting {
  std::int32_t ItemId;
  std::int32_t (*Get)(TZelMso&);
  void (*Set)(TZelMso&, std::int32_t);
};

constexpr TZelSetting kSettings[] = {
    {51, [](TZelMso& m) { return m.GetOfficeClipboardState(); },
     [](TZelMso& m, std::int32_t s) { m.SetOfficeClipboardState(s); }},
    {52, [](TZelMso& m) { return m.GetLogonImeState(); },
     [](TZelMso& m, std::int32_t s) { m.SetLogonImeState(s); }},
    {151, [](TZelMso& m) { return m.GetScriptHostState(); },
     [](TZelMso& m, std::int32_t s) { m.SetScriptHostState(s); }},
    {251, [](TZelMso& m) { return m.GetBrowserIntegrationState(2); },
     [](TZelMso& m, std::int32_t s) { m.SetBrowserIntegrationState(2, s); }},
    {252, [](TZelMso& m) { return m.GetReadOnlyVerbState(2); },
     [](TZelMso& m, std::int32_t s) { m.SetReadOnlyVerbState(2, s); }},
    {351, [](TZelMso& m) { return m.GetBrowserIntegrationState(3); },
     [](TZelMso& m, std::int32_t s) { m.SetBrowserIntegrationState(3, s); }},
    {551, [](TZelMso& m) { return m.GetBrowserIntegrationState(5); },
     [](TZelMso& m, std::int32_t s) { m.SetBrowserIntegrationState(5, s); }},
    {552, [](TZelMso& m) { return m.GetEditModeState(5); },
     [](TZelMso& m, std::int32_t s) { m.SetEditModeState(5, s); }},
};

const TZelSetting* FindSetting(std::int32_t itemId) {
  for (const TZelSetting& setting : kSettings) {
    if (setting.ItemId == itemId) return &setting;
  }
  return nullptr;
}

}  // namespace

void TZelMso::BuildItemCatalogue() {
  for (int appIndex = 0; appIndex < kAppCount; ++appIndex) {
    if (Slots[appIndex]) AddAppItems(*Slots[appIndex], appIndex);
  }
}

std::int32_t TZelMso::GetItemState(std::int32_t itemId) {
  const TZelSetting* setting = FindSetting(itemId);
  return setting != nullptr ? setting->Get(*this) : -1;
}

bool TZelMso::SetItemState(std::int32_t itemId, std::int32_t state) {
  const TZelSetting* setting = FindSetting(itemId);
  if (setting == nullptr) return false;
  TZelChanges changes(platform_.Registry());
  setting->Set(*this, state);
  changes.Commit();
  return GetItemState(itemId) == state;
}

TZelMso::TRepairResult TZelMso::RunRepair(std::int32_t itemId) {
  switch (itemId) {
    case 201:
      return DeleteToolbarFiles(2, "xlb");
    case 501:
      return DeleteToolbarFiles(5, "pcb");
    case 202:
    case 302:
    case 402:
    case 502:
      return DeleteTempLockFiles();
    default:
      break;
  }
  TZelChanges changes(platform_.Registry());
  if (itemId == 301) DeleteOfficeAppKey(3, "%s\\%s\\%s\\Data");
  if (itemId == 401) DeleteOfficeAppKey(4, "%s\\%s\\%s\\Settings\\CommandBars");
  changes.Commit();
  return {};
}

}  // namespace tovalin
