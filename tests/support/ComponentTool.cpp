// SPDX-License-Identifier: MIT
#include "platform/qxerr/Status.h"
const char qxerr::kComponent[] = "qxserialconfig";
