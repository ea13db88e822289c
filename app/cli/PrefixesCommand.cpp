// tovalin-cli prefixes: the user's Wine prefixes and the Office in each (Linux only).
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/cli/Commands.h"
#include "office/OfficeProductCodes.h"
#include "support/platform/wine/WinePrefixes.h"

namespace tovalin::cli {

namespace {

nlohmann::ordered_json PrefixesJson(const std::vector<FoundWinePrefix>& prefixes) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const FoundWinePrefix& prefix : prefixes) {
    nlohmann::ordered_json office = nlohmann::ordered_json::array();
    for (const PrefixOfficeProduct& product : prefix.office) {
      office.push_back({{"version", product.version},
                        {"productCode", product.productCode},
                        {"displayName", product.displayName}});
    }
    list.push_back({{"path", prefix.path},
                    {"name", prefix.name},
                    {"source", SourceKey(prefix.source)},
                    {"sourceLabel", SourceLabelJa(prefix.source)},
                    {"sourceLabelEn", SourceLabelEn(prefix.source)},
                    {"arch", prefix.arch},
                    {"usable", prefix.Usable()},
                    {"problem", prefix.problem},
                    {"serverRunning", prefix.serverRunning},
                    {"office", office}});
  }
  return list;
}

void PrintPrefixes(const std::vector<FoundWinePrefix>& prefixes, std::ostream& out) {
  out << "Wine プレフィックス (Wine prefixes): " << prefixes.size() << "\n";
  for (const FoundWinePrefix& prefix : prefixes) {
    const std::string ja = SourceLabelJa(prefix.source);
    const std::string en = SourceLabelEn(prefix.source);
    out << "  " << prefix.name << "  [" << ja << (ja == en ? "" : " / " + en) << "]\n";
    out << "      パス (Path): " << prefix.path << "\n";
    out << "      アーキテクチャ (Arch): " << (prefix.arch.empty() ? "-" : prefix.arch) << "\n";
    out << "      wineserver: " << (prefix.serverRunning ? "実行中 (running)" : "停止 (stopped)")
        << "\n";
    if (!prefix.Usable()) out << "      問題 (Problem): " << prefix.problem << "\n";
    out << "      Office:" << (prefix.office.empty() ? " -" : "") << "\n";
    for (const PrefixOfficeProduct& product : prefix.office) {
      out << "        " << product.version << "  "
          << (product.displayName.empty() ? product.productCode : product.displayName) << "\n";
    }
  }
}

}  // namespace

Command AddPrefixes(CLI::App& app) {
  struct Options {
    std::vector<std::string> added;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub =
      app.add_subcommand("prefixes",
                         "List the Wine prefixes of the user ($WINEPREFIX, ~/.wine, winetricks, "
                         "PlayOnLinux, CrossOver, Bottles, Lutris) and the Office found in each");
  sub->add_option("--add", options->added, "Look at these folders as well")
      ->type_name("DIR")
      ->expected(1, -1);
  sub->add_flag("--json", options->json, "Print JSON instead of text");
  return {sub, [options] {
            WinePrefixSearch search;
            if (const char* home = std::getenv("HOME")) search.home = home;
            if (const char* prefix = std::getenv("WINEPREFIX")) search.winePrefix = prefix;
            search.addedFolders = options->added;
            search.officeVersionOf = ListedOfficeVersion;
            const std::vector<FoundWinePrefix> prefixes = FindWinePrefixes(search);
            if (options->json) {
              std::cout << JsonText(PrefixesJson(prefixes)) << "\n";
            } else {
              PrintPrefixes(prefixes, std::cout);
            }
            return 0;
          }};
}

}  // namespace tovalin::cli
