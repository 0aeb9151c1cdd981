#pragma once
// The text library's host strings, UTF-8 conversion and time conversion.

#include "sysapicpp/detail/StandIns.h"

namespace sysapicpp {
namespace dsc = standin::dsc;
}
