// SPDX-License-Identifier: MIT
#pragma once
// The filter that hands the driver's three requests to the supervisor. It is inherited by
// every child of the command, shells included.

#include "platform/qxafa/UniqueFd.h"

#include <cstdint>

namespace qxsim {

constexpr uint32_t kRequestRxLevel = 0x40046E02;
constexpr uint32_t kRequestTxLevel = 0x40046E04;
constexpr uint32_t kRequestRs485 = 0x542F;  // TIOCSRS485

class SeccompFilter {
public:
    // Sets no-new-privileges, loads the filter into the calling process and returns the
    // listener on which the requests arrive.
    static qxafa::UniqueFd install();
};

}  // namespace qxsim
