#include "support/ErrorText.h"

#include <array>
#include <utility>

#include "support/platform/Platform.h"

namespace tovalin {

std::string Win32ErrorText(long code) {
  static constexpr std::array<std::pair<long, const char*>, 17> kTexts = {{
      {win::kSuccess, "この操作を正しく終了しました。"},
      {win::kFileNotFound, "指定されたファイルが見つかりません。"},
      {win::kPathNotFound, "指定されたパスが見つかりません。"},
      {win::kAccessDenied, "アクセスが拒否されました。"},
      {win::kInvalidHandle, "ハンドルが無効です。"},
      {win::kWriteFault, "システムは指定されたデバイスに書き込みできません。"},
      {win::kLockViolation,
       "プロセスはファイルにアクセスできません。別のプロセスがファイルの一部をロックしています。"},
      {win::kNotSupported, "要求はサポートされていません。"},
      {win::kFileExists, "ファイルが存在します。"},
      {win::kInvalidParameter, "パラメーターが間違っています。"},
      {win::kDiskFull, "ディスクに十分な空き領域がありません。"},
      {win::kBusy, "要求されたリソースは使用中です。"},
      {win::kRegistryIoFailed, "レジストリの入出力操作が回復不可能なエラーで失敗しました。"},
      {win::kKeyDeleted,
       "削除の対象としてマークされたレジストリ キーに対して無効な操作を試みました。"},
      {win::kNotAllAssigned,
       "参照された特権またはグループの一部がクライアントに割り当てられていません。"},
      {win::kCancelled, "操作はユーザーによって取り消されました。"},
      {win::kTimeout, "タイムアウト期間が経過したため、この操作は終了しました。"},
  }};
  for (const auto& [known, text] : kTexts) {
    if (known == code) return text;
  }
  return "エラー " + std::to_string(code);
}

std::string Platform::ErrorText(long code) {
  return Win32ErrorText(code);
}

}  // namespace tovalin
