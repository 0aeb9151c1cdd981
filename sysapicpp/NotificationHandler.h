// SPDX-License-Identifier: MIT
#pragma once
// Where change notifications go: the host's sink directly, or through the task queue.

#include <cstdint>
#include <string>
#include <vector>

#include "sysapicpp/HResult.h"

namespace sysapicpp {

class NotificationHandler {
public:
    virtual ~NotificationHandler() = default;                                         // 0, 1
    // type: a ChangeType. The result is the sink's, or S_OK when nothing was delivered.
    virtual HRESULT notify(int32_t type, const std::string& name) {                   // 2
        return notify(type, std::vector<std::string>{name});
    }
    virtual HRESULT notify(int32_t type, const std::vector<std::string>& names) = 0;  // 3
    virtual bool isListening() = 0;                                                   // 4
};

}  // namespace sysapicpp
