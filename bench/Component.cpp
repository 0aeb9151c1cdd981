// SPDX-License-Identifier: MIT
#include "platform/qxerr/Status.h"

// Reports raised in the benchmarks' own processes name them.
const char qxerr::kComponent[] = "qxbench";
