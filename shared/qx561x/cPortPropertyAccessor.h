// SPDX-License-Identifier: MIT
#pragma once
// One port, named by its entry in the kernel's device tree, described through its board.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "shared/qx561x/PortSettings.h"
#include "shared/qx561x/ProductTable.h"
#include "shared/qx561x/iDevicePropertyAccessor.h"
#include "shared/qx561x/iEnumeratorFactory.h"
#include "shared/qx561x/iPortPropertyAccessor.h"

namespace qx561x {

class cPortPropertyAccessor : public iPortPropertyAccessor {
public:
    // Throws qxerr::Exception (qxapalerr_invalidParameter) for a missing board accessor or
    // factory, or a board that is not in the product table. The port name is not checked.
    cPortPropertyAccessor(std::unique_ptr<iDevicePropertyAccessor> device,
                          const std::string& portName,
                          std::unique_ptr<iEnumeratorFactory> enumeratorFactory);
    cPortPropertyAccessor(const cPortPropertyAccessor&) = delete;
    cPortPropertyAccessor& operator=(const cPortPropertyAccessor&) = delete;

    std::string getDevicePath() override;
    std::string getPortDevicePath() override;
    // "qx561x:<device ID in lower-case hex>:<slot path>:<port number>"
    std::string getPortIdentifier() override;
    // The port's position in its board's port list; every call walks the tree again.
    std::size_t getPortNumber() override;
    uint32_t getRxFifoDepthMin() override { return 1; }
    uint32_t getRxFifoDepthMax() override { return 127; }
    uint32_t getRxFifoDepthDefault() override { return kBuiltInFifoRxDepth; }
    uint32_t getTxFifoDepthMin() override { return 1; }
    uint32_t getTxFifoDepthMax() override { return 128; }
    uint32_t getTxFifoDepthDefault() override { return kBuiltInFifoTxDepth; }
    bool isRs232() override { return product_.isRs232; }

private:
    std::unique_ptr<iDevicePropertyAccessor> device_;
    ProductInfo product_{};
    std::string portName_;
    std::unique_ptr<iEnumeratorFactory> enumeratorFactory_;
};

}  // namespace qx561x
