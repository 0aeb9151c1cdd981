// SPDX-License-Identifier: MIT
#pragma once
// The models as the published JSON shapes of qxhost(1), fields in their documented order.

#include <string>

#include <nlohmann/json.hpp>

#include "host/Model.h"

namespace qxhost {

using Json = nlohmann::ordered_json;

Json toJson(const ListModel& model);
Json toJson(const ShowModel& model);
Json toJson(const SetModel& model);
Json toJson(const ApplyModel& model);
Json toJson(const WatchEvent& event);
Json toJson(const CheckModel& model);
Json toJson(const Warning& warning);
Json toJson(const ErrorReport& error);

// One line: the document and a newline. Always valid UTF-8: a byte that is not becomes
// U+FFFD.
std::string jsonLine(const Json& document);

}  // namespace qxhost
