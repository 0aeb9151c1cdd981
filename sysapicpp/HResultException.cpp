// SPDX-License-Identifier: MIT
#include "sysapicpp/HResultException.h"

namespace sysapicpp {

HResultException::HResultException(HRESULT code, const char* file, int32_t line,
                                   const char* component) {
    status_.code = code;
    char* cursor = qxerr::reportOpen(status_);
    cursor = qxerr::reportAddString(status_, cursor, "file", file ? file : "");
    cursor = qxerr::reportAddInt(status_, cursor, "line", line);
    if (component && *component) qxerr::reportAddString(status_, cursor, "component", component);
}

}  // namespace sysapicpp
