// SPDX-License-Identifier: MIT
#pragma once
// One open port device and the three driver requests that configure it.

#include <cstdint>
#include <string>

#include "platform/qxafa/UniqueFd.h"

namespace qxserialconfig {

class Port {
public:
    // Opens the device node; throws qxerr::Exception when it cannot.
    explicit Port(const std::string& devicePath);

    void setRxFifoTriggerLevel(uint32_t level);
    void setTxFifoFillLevel(uint32_t level);
    // A mode of the model's table, sent as its flags word; anything else is refused without
    // reaching the driver.
    void setRs485WireMode(uint32_t mode);

private:
    qxafa::UniqueFd fd;
};

}  // namespace qxserialconfig
