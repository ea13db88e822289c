#!/usr/bin/env bash
# Makes the download for Windows users: dist/tovalin-<version>-windows-x64.zip holding tovalin.exe,
# tovalin-cli.exe and everything they need beside them (Qt's DLLs and plugins, the compiler's
# runtime DLLs, Qt's Japanese translation, a short README.txt), our LICENSE and, in licenses/, the
# licences of what it bundles. Builds Qt for Windows first when it
# is not cached (scripts/build-qt-windows.sh). Prints the zip's path on its last line.
# Usage: package-windows.sh [--no-build]   (--no-build: package the mingw build as it is)
# TOVALIN_MINGW_BUILD names that build's folder (build/mingw), TOVALIN_DIST_DIR where the zip goes
# (dist/).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"

build=1
[ "${1:-}" = "--no-build" ] && build=0

qt="$(bash scripts/build-qt-windows.sh | tail -n 1)"
if [ "$build" = 1 ]; then
  bash scripts/setup-deps.sh
  # The icon of the Windows build is drawn by the host build's tool.
  cmake --preset default >/dev/null
  cmake --build --preset default --target tovalin-art >/dev/null
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw --target tovalin tovalin-cli
fi

builddir="${TOVALIN_MINGW_BUILD:-$repo/build/mingw}"
dist="${TOVALIN_DIST_DIR:-$repo/dist}"
version=$(sed -n 's/^project(Tovalin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="tovalin-$version-windows-x64"
stage="$dist/$name"
rm -rf "$stage" "$dist/$name.zip"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/imageformats" "$stage/translations"

cp "$builddir/app/gui/tovalin.exe" "$builddir/app/cli/tovalin-cli.exe" "$stage/"
# The plugins the window loads: the Windows platform, the native style, and the .ico reader for
# the applications' icons.
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
cp "$qt/plugins/imageformats/qico.dll" "$stage/imageformats/"
# Standard buttons and menus in Japanese (.qm files are the same on every platform).
cp /usr/share/qt6/translations/qtbase_ja.qm "$stage/translations/"

# Every DLL the programs and plugins import that is not part of Windows: Qt's own and the
# compiler's runtime, found by following the import tables.
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
search=("$qt/bin" "$gcc_dir" /usr/x86_64-w64-mingw32/lib)
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
queue=("$stage"/*.exe "$stage"/*/*.dll)
declare -A seen=()
while [ ${#queue[@]} -gt 0 ]; do
  file=${queue[0]}
  queue=("${queue[@]:1}")
  for dll in $(imports "$file"); do
    key=${dll,,}
    [ -n "${seen[$key]:-}" ] && continue
    seen[$key]=1
    for dir in "${search[@]}"; do
      found=$(find "$dir" -maxdepth 1 -iname "$dll" -print -quit 2>/dev/null)
      if [ -n "$found" ]; then
        cp "$found" "$stage/"
        queue+=("$stage/$(basename "$found")")
        break
      fi
    done
  done
done
for needed in Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll; do
  [ -f "$stage/$needed" ] || { echo "package-windows: $needed was not found" >&2; exit 1; }
done
# Debian's runtime DLLs carry their symbols (libstdc++ is 24 MB with them, 2 MB without).
find "$stage" -iname '*.dll' -o -iname '*.exe' | while read -r file; do
  x86_64-w64-mingw32-strip --strip-unneeded "$file"
done

# Our licence, and the licences and sources of what the zip bundles (packaging/licenses/README.txt.in
# names each file and where its source comes from, with the versions filled in here).
cp LICENSE "$stage/LICENSE"
mkdir -p "$stage/licenses/qt-build"
cp packaging/licenses/*.txt "$stage/licenses/"
cp scripts/build-qt-windows.sh cmake/mingw-w64-x86_64.cmake "$stage/licenses/qt-build/"
source_version() {  # the Debian source version of an installed package
  dpkg-query -W -f='${source:Version}' "$1"
}
translations_source=$(source_version qt6-translations-l10n)
gcc_source=$(source_version gcc-mingw-w64-x86-64-posix-runtime)
mingw_source=$(source_version mingw-w64-x86-64-dev)
qt_version=$(sed -n 's/^qt_version=//p' scripts/build-qt-windows.sh)
# The Debian revision the Qt build fetched, from the source package it left beside the cache.
qt_source=$(find "$(dirname "$qt")" -maxdepth 2 -name "qt6-base_$qt_version*.dsc" 2>/dev/null |
  sed -n 's/.*qt6-base_\(.*\)\.dsc$/\1/p' | sort -V | tail -n 1)
sed -e "s/@VERSION@/$version/g" -e "s/@QT_VERSION@/$qt_version/g" \
  -e "s/@QT_SOURCE_VERSION@/${qt_source:-$qt_version}/g" \
  -e "s/@QT_TRANSLATIONS_VERSION@/$translations_source/g" \
  -e "s/@GCC_SOURCE_VERSION@/$gcc_source/g" -e "s/@MINGW_SOURCE_VERSION@/$mingw_source/g" \
  packaging/licenses/README.txt.in >"$stage/licenses/README.txt"

# A short README in Japanese, with Windows line ends and a byte order mark for older editors.
{
  printf '\xef\xbb\xbf'
  sed 's/$/\r/' <<EOF
Tovalin $version — Microsoft Office トラブル解決ユーティリティ

Microsoft Office 9.0～12.0 (2000～2007) の製品とアプリケーションを検出し、
バージョン、実行ファイル、プロダクト ID、登録ユーザーを表示します。
アプリケーションごとの設定の切り替えと、よくあるトラブルの修復ができます。

■ 動作環境
  Windows 10 以降 (64 ビット)。
  使用している Qt 6 が Windows 10 以降を必要とするため、それより前の Windows では動作しません。

■ 使い方
  この ZIP を任意のフォルダーに展開し、tovalin.exe を実行してください。
  インストールは不要です。フォルダー内のファイルはすべて実行に必要なので、まとめて置いてください。

■ コマンドライン版
  tovalin-cli.exe report          検出結果を表示します (--json で JSON 形式)。
  tovalin-cli.exe get 項目番号     設定の状態を表示します。
  tovalin-cli.exe set 項目番号 0|1 設定を切り替えます。
  tovalin-cli.exe repair 項目番号  修復を実行します。
  tovalin-cli.exe user-info       登録ユーザーを表示します (--company、--owner、--initials で変更)。
  tovalin-cli.exe --help          すべてのコマンドとオプションを表示します。

■ 注意
  設定の切り替えと修復はレジストリとファイルを変更します。実行前に確認が表示されます。

■ 管理者の権限
  Windows 10/11 では、管理者のアカウントでもプログラムは通常、管理者の権限なしで動作します
  (ユーザー アカウント制御)。次の変更はコンピューター全体の設定を書き換えるため、
  管理者の権限が必要です。
  ・ログオン画面でのIME表示可否 (HKEY_USERS\.DEFAULT)
  ・Windows Script Host の使用可否 (HKEY_LOCAL_MACHINE のスクリプトのクラス登録)
  ・InternetExplorerとの連携可否、読み取り専用メニューの追加可否、編集モードの使用可否
    (HKEY_LOCAL_MACHINE の文書のクラス登録。ユーザー自身のクラス登録にある場合は不要)
  ・登録ユーザー (HKEY_LOCAL_MACHINE にある Office のアンインストール情報とインストーラーの
    プロパティ。ユーザー自身のキーも合わせて変更します)
  次の変更はユーザー自身の設定だけを書き換えるため、管理者の権限は不要です。
  ・Officeクリップボードの使用可否 (HKEY_CURRENT_USER)
  ・トラブルの修復 (ユーザー プロファイル内のファイルと、Office のユーザーごとの設定)

  管理者の権限なしで実行しているときは、管理者の権限が必要な変更のボタンに盾のアイコンが
  表示されます。実行すると、その部分だけを tovalin-cli.exe が管理者として実行します
  (ユーザー アカウント制御の確認が表示されます)。ユーザー自身の設定はウィンドウが変更し、
  管理者として実行することはありません。確認を取り消すと、何も変更しません。

  コマンドライン版は管理者の権限を求めません。コンピューター全体の変更は、管理者として実行した
  コマンド プロンプトから実行してください。管理者の権限がないと、何も変更せずに、変更できなかった
  キーを表示して終了コード 5 で終了します。

■ ライセンス
  Tovalin は MIT ライセンスで提供しています (LICENSE)。同梱している Qt、GCC のランタイム、
  winpthreads のライセンスと、それぞれのソースの入手先は licenses フォルダーにあります
  (licenses\README.txt)。
EOF
} >"$stage/README.txt"

(cd "$dist" && zip -qr -9 "$name.zip" "$name")
echo "$dist/$name.zip"
