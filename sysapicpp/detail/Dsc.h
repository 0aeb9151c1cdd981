#pragma once
// The text library's host strings, UTF-8 conversion and time conversion.

#include "platform/qx/dsc/AbsTime.h"
#include "platform/qx/dsc/HostString.h"
#include "platform/qx/dsc/Utf8.h"

namespace sysapicpp {
namespace dsc = ::qx::dsc;
}
