// SPDX-License-Identifier: MIT
#pragma once
// The models as people read them: one line per board, port, property, change or problem.

#include <string>

#include "host/Model.h"

namespace qxhost {

std::string toText(const ListModel& model);
std::string toText(const ShowModel& model);
std::string toText(const SetModel& model);
std::string toText(const ApplyModel& model);
std::string toText(const WatchEvent& event);
std::string toText(const CheckModel& model);
// Lines for standard error, each starting "qxhost: ".
std::string toText(const Warning& warning);
std::string toText(const ErrorReport& error);

}  // namespace qxhost
