// Plans and change records as JSON: the file an elevated process is handed, and the history's
// records. Data is kept as hexadecimal bytes with its type, so every value comes back exactly.
#pragma once

#include <nlohmann/json.hpp>

#include "support/action/PlanningPlatform.h"
#include "support/action/RegChanges.h"

namespace tovalin {

nlohmann::ordered_json ChangesToJson(const RegChangeSet& changes);
// Throws std::runtime_error (in words for the user) when the JSON is not such a record.
RegChangeSet ChangesFromJson(const nlohmann::json& json);

nlohmann::ordered_json PlanToJson(const ActionPlan& plan);
ActionPlan PlanFromJson(const nlohmann::json& json);

// A name as JSON: a string when it is valid UTF-8, else {"hex": "..."} of its bytes (a name with
// a lone surrogate, kept in generalised UTF-8), so that it comes back byte for byte.
nlohmann::ordered_json NameToJson(const std::string& name);
std::string NameFromJson(const nlohmann::json& json);

}  // namespace tovalin
