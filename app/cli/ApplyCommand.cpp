// tovalin-cli apply: the registry changes of a plan file made as one action. The window hands the
// machine-wide part of a change to it, started elevated, when it runs without administrator
// rights; the digest on the command line makes sure the file is the one the window wrote.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "app/cli/Commands.h"
#include "support/Sha256.h"
#include "support/ZelRegistry.h"
#include "support/action/ActionJson.h"

namespace tovalin::cli {

namespace {

// A UTF-8 path, which on Windows the streams would otherwise read in the ANSI code page.
std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// What happened, for the program that started this one: its standard error is not seen when
// it runs elevated.
void WriteResult(const std::string& path, int exitCode, const std::string& message) {
  if (path.empty()) return;
  const nlohmann::ordered_json result = {{"exitCode", exitCode}, {"message", message}};
  std::ofstream(PathOf(path), std::ios::binary | std::ios::trunc) << JsonText(result) << "\n";
}

}  // namespace

Command AddApply(CLI::App& app) {
  struct Options {
    MachineOptions machine;
    std::string file;
    std::string sha256;
    std::string result;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub = app.add_subcommand(
      "apply",
      "Make the registry changes of a plan file as one action, after checking that the registry "
      "still holds what the plan expects (the window hands its machine-wide changes to this "
      "command, started elevated)");
  sub->add_option("FILE", options->file, "The plan, as JSON")->required();
  sub->add_option("--sha256", options->sha256, "Refuse the file unless it has this SHA-256 digest")
      ->type_name("HEX");
  sub->add_option("--result", options->result,
                  "Write {\"exitCode\", \"message\"} to this file as well")
      ->type_name("FILE");
  AddMachineOptions(*sub, options->machine);
  return {sub, [options] {
            int code = 1;
            std::string message;
            try {
              RequireSavedMachine(options->machine);
              std::ifstream in(PathOf(options->file), std::ios::binary);
              std::stringstream text;
              text << in.rdbuf();
              if (!in) throw std::runtime_error(options->file + " を読めません。");
              if (!options->sha256.empty() && Sha256Hex(text.str()) != options->sha256) {
                throw std::runtime_error(options->file +
                                         " は渡されたときから変わっているため、変更しません。");
              }
              nlohmann::json json;
              try {
                json = nlohmann::json::parse(text.str());
              } catch (const nlohmann::json::exception&) {
                throw std::runtime_error(options->file + " は変更の計画ではありません。");
              }
              const ActionPlan plan = PlanFromJson(json);
              if (!plan.files.empty()) {
                throw std::runtime_error("ファイルの削除はこのコマンドでは行いません。");
              }
              std::unique_ptr<Platform> platform = OpenMachine(options->machine, true);
              PerformChanges(platform->Registry(), plan.registry,
                             [&platform](long error) { return platform->ErrorText(error); });
              code = 0;
            } catch (const ERegistryRefusedException& e) {
              code = e.NeedsAdministrator() ? kExitNeedsAdministrator : 1;
              message = e.what();
            } catch (const std::exception& e) {
              message = e.what();
            }
            WriteResult(options->result, code, message);
            if (!message.empty()) std::cerr << "tovalin-cli: " << message << "\n";
            return code;
          }};
}

}  // namespace tovalin::cli
