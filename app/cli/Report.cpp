#include "app/cli/Report.h"

#include <string>
#include <vector>

namespace tovalin::cli {

namespace {

nlohmann::ordered_json ItemJson(TZelMso& mso, const TZelMsoItem& item) {
  nlohmann::ordered_json json;
  json["itemId"] = item.ItemId;
  json["kind"] = item.Kind;
  json["title"] = item.Title;
  json["captions"] = item.Captions;
  if (item.Kind == static_cast<std::int32_t>(TZelItemKind::Setting))
    json["state"] = mso.GetItemState(item.ItemId);
  return json;
}

nlohmann::ordered_json SlotJson(TZelMso& mso, int index, const TZelMsoInfo& slot) {
  nlohmann::ordered_json json;
  json["index"] = index;
  json["appName"] = slot.AppName;
  json["title"] = slot.Title;
  json["fileName"] = slot.FileName;
  json["fileVersion"] = slot.VersionInfo.GetFileVersion();
  json["displayVersion"] = slot.DisplayVersion;
  json["appFiles"] = nlohmann::ordered_json::array();
  for (const TZelMsoAppFileList& file : slot.AppFiles) {
    json["appFiles"].push_back({{"version", file.Version}, {"fileName", file.FileName}});
  }
  json["items"] = nlohmann::ordered_json::array();
  for (const TZelMsoItem& item : slot.Items) json["items"].push_back(ItemJson(mso, item));
  return json;
}

const char* KindName(std::int32_t kind) {
  switch (static_cast<TZelItemKind>(kind)) {
    case TZelItemKind::Information:
      return "情報";
    case TZelItemKind::Setting:
      return "設定";
    case TZelItemKind::Trouble:
      return "トラブル";
  }
  return "?";
}

std::string StateText(const TZelMsoItem& item, std::int32_t state) {
  if ((state == 0 || state == 1) && static_cast<std::size_t>(state) < item.Captions.size()) {
    return item.Captions[static_cast<std::size_t>(state)];
  }
  if (state == -1) return "不明 (undetermined)";
  return "不明 (undetermined, " + std::to_string(state) + ")";
}

// "label: value", or "label: -" when there is nothing to show.
void Field(std::ostream& out, const char* indent, const char* label, const std::string& value) {
  out << indent << label << ": " << (value.empty() ? "-" : value) << "\n";
}

void PrintProducts(const TZelMso& mso, std::ostream& out) {
  out << "インストールされているバージョン (Installed products): " << mso.Versions.size() << "\n";
  for (const TZelMsoVersion& version : mso.Versions) {
    out << "  " << version.Version << "  "
        << (version.DisplayName.empty() ? "(製品名なし / no name)" : version.DisplayName) << "\n";
    Field(out, "        ", "GUID", version.ProductCode);
    Field(out, "        ", "DisplayVersion", version.DisplayVersion);
    Field(out, "        ", "ProductID", version.ProductId);
  }
}

void PrintSlot(TZelMso& mso, int index, const TZelMsoInfo& slot, std::ostream& out) {
  // The version shown beside the title: the product's for the suite, the file's otherwise.
  const std::string version =
      slot.DisplayVersion.empty() ? slot.VersionInfo.GetFileVersion() : slot.DisplayVersion;
  out << "  [" << index << "] " << slot.AppName << ": " << slot.Title;
  if (!version.empty()) out << "  " << version;
  out << "\n";
  if (!slot.FileName.empty()) Field(out, "      ", "ファイル (File)", slot.FileName);
  if (!slot.AppFiles.empty()) {
    out << "      実行ファイル (Executables):\n";
    for (const TZelMsoAppFileList& file : slot.AppFiles) {
      out << "        " << (file.Version.empty() ? "-" : file.Version) << "  " << file.FileName
          << "\n";
    }
  }
  if (!slot.Items.empty()) {
    out << "      項目 (Items):\n";
    for (const TZelMsoItem& item : slot.Items) {
      out << "        " << item.ItemId << "  [" << KindName(item.Kind) << "] " << item.Title;
      if (item.Kind == static_cast<std::int32_t>(TZelItemKind::Setting)) {
        out << "  → " << StateText(item, mso.GetItemState(item.ItemId));
      }
      out << "\n";
    }
  }
}

}  // namespace

nlohmann::ordered_json ReportJson(TZelMso& mso) {
  nlohmann::ordered_json json;
  json["officeVersion"] = mso.OfficeVersion;
  json["productCode"] = mso.ProductCode;
  json["company"] = mso.Company;
  json["owner"] = mso.Owner;
  json["initials"] = mso.Initials;
  json["unrecognisedProducts"] = mso.UnrecognisedProducts;
  json["versions"] = nlohmann::ordered_json::array();
  for (const TZelMsoVersion& v : mso.Versions) {
    json["versions"].push_back({{"version", v.Version},
                                {"displayName", v.DisplayName},
                                {"displayVersion", v.DisplayVersion},
                                {"productCode", v.ProductCode},
                                {"productId", v.ProductId}});
  }
  json["slots"] = nlohmann::ordered_json::array();
  for (int index = 0; index < kAppCount; ++index) {
    if (mso.Slots[index]) json["slots"].push_back(SlotJson(mso, index, *mso.Slots[index]));
  }
  // Last, so that what the item states met is in.
  json["warnings"] = mso.Warnings;
  return json;
}

void PrintReport(TZelMso& mso, std::ostream& out) {
  out << "Microsoft Office: " << (mso.OfficeVersion.empty() ? "-" : mso.OfficeVersion) << "\n";
  Field(out, "", "製品コード (Product code)", mso.ProductCode);
  out << "\n登録情報 (Registered user)\n";
  Field(out, "  ", "会社名 (Company)", mso.Company);
  Field(out, "  ", "ユーザー名 (Owner)", mso.Owner);
  Field(out, "  ", "頭文字 (Initials)", mso.Initials);
  out << "\n";
  PrintProducts(mso, out);

  out << "\nアプリケーション (Applications)\n";
  bool any = false;
  for (int index = 0; index < kAppCount; ++index) {
    if (!mso.Slots[index]) continue;
    PrintSlot(mso, index, *mso.Slots[index], out);
    any = true;
  }
  if (!any) out << "  Microsoft Office を検出出来ませんでした。\n";

  if (!mso.UnrecognisedProducts.empty()) {
    out << "\n未登録の製品 (Unrecognised products)\n";
    // The report's own line breaks are CR LF; a terminal wants LF. Blocks stay apart.
    std::vector<std::string> lines;
    const std::string& report = mso.UnrecognisedProducts;
    for (std::string::size_type start = 0; start < report.size();) {
      std::string::size_type end = report.find("\r\n", start);
      if (end == std::string::npos) end = report.size();
      lines.push_back(report.substr(start, end - start));
      start = end + 2;
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    for (const std::string& line : lines) {
      if (line.empty()) {
        out << "\n";
      } else {
        out << "  " << line << "\n";
      }
    }
  }

  if (!mso.Warnings.empty()) {
    out << "\n警告 (Warnings)\n";
    for (const std::string& warning : mso.Warnings) out << "  " << warning << "\n";
  }
}

}  // namespace tovalin::cli
