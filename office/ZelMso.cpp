#include "office/ZelMso.h"

#include <algorithm>

#include "support/ZelRegistry.h"

namespace tovalin {

const std::array<TZelMsoApp, kAppCount> kMsoApps = {{
    {"Office", "", ""},
    {"Outlook", "OUTLOOK.EXE", ""},
    {"Excel", "EXCEL.EXE", "xls"},
    {"Word", "WINWORD.EXE", "doc"},
    {"Access", "MSACCESS.EXE", "mdb"},
    {"Powerpoint", "POWERPNT.EXE", "ppt"},
}};

const TZelCodeTable kCodeTable110 = {
    {"0", "11"}, {"0", "12"}, {"0", "13"}, {"0", "14"}, {"0", "15"}, {"0", "16"}, {"0", "17"},
    {"0", "18"}, {"0", "19"}, {"0", "1A"}, {"0", "1B"}, {"0", "1C"}, {"1", "1E"}, {"1", "1F"},
    {"1", "23"}, {"1", "24"}, {"1", "26"}, {"1", "2E"}, {"0", "44"}, {"1", "83"}, {"1", "92"},
    {"1", "93"}, {"0", "A1"}, {"1", "A4"}, {"1", "A5"}, {"1", "AA"}, {"1", "AB"}, {"1", "AC"},
    {"1", "AD"}, {"1", "AE"}, {"0", "CA"}, {"1", "D0"}, {"1", "DC"}, {"0", "E0"}, {"0", "E3"},
    {"0", "FD"}, {"1", "FF"}, {"1", "F8"}, {"0", "3A"}, {"0", "3B"}, {"0", "32"}, {"0", "51"},
    {"0", "53"}, {"1", "5E"},
};

const TZelCodeTable kCodeTable100 = {
    {"0", "11"}, {"0", "12"}, {"0", "13"}, {"0", "14"}, {"0", "15"}, {"0", "16"}, {"0", "17"},
    {"0", "18"}, {"0", "19"}, {"0", "1A"}, {"0", "1B"}, {"0", "1C"}, {"1", "1D"}, {"1", "1E"},
    {"1", "1F"}, {"1", "20"}, {"1", "22"}, {"1", "23"}, {"1", "24"}, {"1", "25"}, {"1", "26"},
    {"0", "27"}, {"0", "28"}, {"0", "29"}, {"0", "2A"}, {"0", "2B"}, {"0", "2F"}, {"0", "30"},
    {"1", "31"}, {"1", "32"}, {"0", "33"}, {"0", "34"}, {"0", "35"}, {"0", "3A"}, {"0", "3B"},
    {"0", "51"}, {"0", "53"},
};

const TZelCodeTable kCodeTable90 = {
    {"0", "00"}, {"0", "01"}, {"0", "02"}, {"0", "03"}, {"0", "04"}, {"0", "05"}, {"1", "06"},
    {"1", "07"}, {"1", "08"}, {"1", "09"}, {"1", "0A"}, {"1", "0B"}, {"1", "0C"}, {"1", "0D"},
    {"1", "0E"}, {"1", "0F"}, {"0", "10"}, {"0", "11"}, {"0", "12"}, {"0", "13"}, {"0", "14"},
    {"1", "15"}, {"0", "16"}, {"0", "17"}, {"0", "18"}, {"1", "19"}, {"0", "1A"}, {"1", "1B"},
    {"1", "1C"}, {"1", "1D"}, {"1", "1E"}, {"1", "1F"}, {"1", "2"},  {"1", "3"},  {"0", "40"},
    {"1", "41"}, {"0", "42"}, {"0", "43"}, {"0", "44"}, {"0", "45"}, {"1", "46"}, {"0", "47"},
    {"0", "48"}, {"0", "49"}, {"0", "4F"},
};

const TZelCodeTable kCodeTable120 = {
    {"0", "0011"}, {"0", "0012"}, {"0", "0013"}, {"0", "0014"}, {"0", "0015"}, {"0", "0016"},
    {"0", "0017"}, {"0", "0018"}, {"0", "0019"}, {"0", "001A"}, {"0", "001B"}, {"0", "001C"},
    {"1", "0020"}, {"0", "0029"}, {"0", "002B"}, {"0", "002E"}, {"0", "002F"}, {"0", "0030"},
    {"0", "0037"}, {"0", "003A"}, {"0", "003B"}, {"0", "0044"}, {"0", "0051"}, {"1", "0052"},
    {"0", "0053"}, {"0", "00A1"}, {"0", "00A3"}, {"1", "00A7"}, {"0", "00A9"}, {"0", "00AF"},
    {"1", "00B0"}, {"1", "00B1"}, {"1", "00B2"}, {"0", "00BA"}, {"0", "00CA"}, {"0", "00E0"},
    {"0", "10D7"}, {"0", "110D"},
};

const std::array<TZelCatalogueRow, 4> kCatalogue = {{
    {"-6000-11D3-8CFE-0150048383C9}", "11.0", 0, &kCodeTable110},
    {"-6000-11D3-8CFE-0050048383C9}", "10.0", 0, &kCodeTable100},
    {"-78E1-11D2-B60F-006097C998E7}", "9.0", 0, &kCodeTable90},
    {"000000FF1CE}", "12.0", 1, &kCodeTable120},
}};

namespace {

void Warn(std::vector<std::string>& warnings, std::string text) {
  if (std::find(warnings.begin(), warnings.end(), text) == warnings.end()) {
    warnings.push_back(std::move(text));
  }
}

}  // namespace

std::string ScanText(TZelRegistry& reg, std::string_view name, std::vector<std::string>& warnings) {
  try {
    return reg.ReadText(name);
  } catch (const ERegistryDataTypeException& error) {
    Warn(warnings, error.what());
    return {};
  }
}

std::optional<std::int32_t> ScanDword(TZelRegistry& reg, std::string_view name,
                                      std::vector<std::string>& warnings) {
  TRegDataInfo info;
  if (!reg.ValueKind(name, info)) return std::nullopt;
  // Checked here, as the integer read blames the size, not the type, of a longer text.
  if (info.type != TRegDataType::Integer || info.size > 4) {
    Warn(warnings, RegistryDataTypeMessage(reg.KeyName(), name));
    return std::nullopt;
  }
  return reg.ReadDword(name);
}

std::string FormatPath(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string out;
  auto arg = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      if (arg != args.end()) out.append(*arg++);
      ++i;
    } else {
      out.push_back(format[i]);
    }
  }
  return out;
}

std::string PackGuid(std::string_view guid) {
  // {12345678-ABCD-EF01-2345-6789ABCDEF01}: groups at 1, 10, 15, 20, 25.
  if (guid.size() != 38) return {};
  std::string out;
  out.reserve(32);
  auto reversed = [&](std::size_t at, std::size_t count) {
    for (std::size_t i = count; i-- > 0;) out.push_back(guid[at + i]);
  };
  auto swappedPairs = [&](std::size_t at, std::size_t count) {
    for (std::size_t i = 0; i + 1 < count; i += 2) {
      out.push_back(guid[at + i + 1]);
      out.push_back(guid[at + i]);
    }
  };
  reversed(1, 8);
  reversed(10, 4);
  reversed(15, 4);
  swappedPairs(20, 4);
  swappedPairs(25, 12);
  return out;
}

TZelMso::TZelMso(Platform& platform) : machine_(platform), acting_(platform), platform_(acting_) {
  ScanInstalledProducts();
  ScanApplications();
  ReadUserInfo();
  BuildItemCatalogue();
}

TZelMso::~TZelMso() {
  for (auto& slot : Slots) slot.reset();
}

}  // namespace tovalin
