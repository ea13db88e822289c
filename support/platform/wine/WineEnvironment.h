// The environment a 32-bit Windows program gets in the prefix, made the way Wine makes it from
// the prefix's registry: never the Linux host's own variables.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/platform/Platform.h"
#include "support/platform/wine/WineRegistry.h"

namespace tovalin {

class WineEnvironment : public IEnvironment {
 public:
  explicit WineEnvironment(WineRegistry& registry) : registry_(registry) {}

  std::optional<std::string> GetVariable(std::string_view name) override;
  // Every variable as name and value, by name without regard to case.
  std::vector<std::pair<std::string, std::string>> Variables();

 private:
  struct Variable {
    std::string name;  // as spelled where it was set
    std::string value;
  };
  void Rebuild();
  void Set(std::string_view name, std::string value);
  std::optional<std::string> Get(std::string_view name) const;
  // Windows' expansion: "%NAME%" of a set variable replaced, anything else kept as written.
  std::string Expand(std::string_view text) const;
  // The string values of a key: plain ones first, then the expandable ones, expanded.
  void SetFromKey(WineHiveId hive, std::string_view path, bool appendPath);

  WineRegistry& registry_;
  std::optional<std::uint64_t> builtAt_;
  std::map<std::string, Variable> vars_;  // by upper-cased name
};

}  // namespace tovalin
