#include "platform/qxerr/Status.h"
const char qxerr::kComponent[] = "qxserialconfig";
