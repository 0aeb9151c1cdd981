// SPDX-License-Identifier: MIT
#pragma once
// One port: where it lives, its key in the configuration file and its FIFO bounds.

#include <cstddef>
#include <cstdint>
#include <string>

namespace qx561x {

class iPortPropertyAccessor {
public:
    virtual ~iPortPropertyAccessor() = default;

    virtual std::string getDevicePath() = 0;
    virtual std::string getPortDevicePath() = 0;
    virtual std::string getPortIdentifier() = 0;
    // Position on the board, counted from 1.
    virtual std::size_t getPortNumber() = 0;
    virtual uint32_t getRxFifoDepthMin() = 0;
    virtual uint32_t getRxFifoDepthMax() = 0;
    virtual uint32_t getRxFifoDepthDefault() = 0;
    virtual uint32_t getTxFifoDepthMin() = 0;
    virtual uint32_t getTxFifoDepthMax() = 0;
    virtual uint32_t getTxFifoDepthDefault() = 0;
    virtual bool isRs232() = 0;
};

}  // namespace qx561x
