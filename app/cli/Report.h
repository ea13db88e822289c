// What the model found, as JSON for scripts and as text for people.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

#include "office/ZelMso.h"

namespace tovalin::cli {

// Keys are the model's field names with a lower-case first letter; slots that are absent are left
// out. Settings carry their current state, which is read from the machine now; the warnings are
// the values the scans and those reads took as absent for their type.
nlohmann::ordered_json ReportJson(TZelMso& mso);

void PrintReport(TZelMso& mso, std::ostream& out);

}  // namespace tovalin::cli
