// Faults a Wine hive and a regedit export share, worded once so that both read alike. Each is
// the part of a RegFileError's message after the file and line.
#pragma once

#include <string>

namespace tovalin::regfile_fault {

inline constexpr const char* kValueOutsideKey = "キーより前に値があります。";
inline constexpr const char* kUnrecognisedLine = "解釈できない行です。";
inline constexpr const char* kUnexpectedAfterKey = "キー名の後に余分な文字があります。";
inline constexpr const char* kUnexpectedAfterValue = "値の後に余分な文字があります。";
inline constexpr const char* kMissingEquals = "値の名前の後に = がありません。";
inline constexpr const char* kBadDword = "dword の値が正しくありません（16 進数 8 桁まで）。";
inline constexpr const char* kBadHexType = "hex( の型番号が正しくありません。";
inline constexpr const char* kUnknownValueType = "値の形式が不明です。";
inline constexpr const char* kBadHexData = "16 進数のデータが正しくありません。";
inline constexpr const char* kHexPastEnd =
    "16 進数のデータが次の行へ続くはずのところでファイルが終わっています。";
inline constexpr const char* kHexByOtherText =
    "16 進数のデータの続きのはずの行に別の内容があります。";

inline std::string Unterminated(char close) {
  return std::string("文字列の終わりの ") + close + " がありません。";
}

inline std::string BadEscape(char escape) {
  // A byte that is not printable ASCII (half a character, a control) is named by its value.
  if (escape > ' ' && escape < 0x7F)
    return std::string("不明なエスケープ \\") + escape + " があります。";
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto byte = static_cast<unsigned char>(escape);
  return std::string("\\ の後に不明なバイト 0x") + kHex[byte >> 4] + kHex[byte & 0xF] +
         " があります。";
}

}  // namespace tovalin::regfile_fault
