#pragma once
// The platform's lock types as the expert framework uses them.

#include "sysapicpp/detail/StandIns.h"

using CqxCS = sysapicpp::standin::CqxCS;
using CQXMutex = sysapicpp::standin::CQXMutex;
