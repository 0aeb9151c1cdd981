// SPDX-License-Identifier: MIT
#pragma once
// The simulated driver's answer to a request on one of its ports, and the trace it leaves:
// the port table and one journal line per request, both under the state lock because
// several processes may send requests at once and "qxsim ports" may read meanwhile.

#include "sim/Board.h"
#include "sim/StateDir.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace qxsim {

struct PortRecord;
using Rs485Record = std::array<uint32_t, 8>;  // serial_rs485 as eight 32-bit words

class Driver {
public:
    static constexpr uint64_t kMinLevel = 1;
    static constexpr uint64_t kMaxLevel = 128;

    explicit Driver(const StateDir& state);

    // Each returns 0 for success or the errno the request fails with.
    int setLevel(const PortRef& port, Request request, uint64_t level);
    int setRs485(const PortRef& port, const Rs485Record& record);
    // The record could not be read from the caller (error is e.g. EFAULT).
    int rs485Unreadable(const PortRef& port, int error);

private:
    void record(const PortRef& port, const std::string& line,
                const std::function<void(PortRecord&)>& update);

    StateDir state_;
};

}  // namespace qxsim
