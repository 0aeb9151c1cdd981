// SPDX-License-Identifier: MIT
#include "shared/qx561x/cPortPropertyAccessor.h"

#include <boost/filesystem/path.hpp>

#include <cstdio>
#include <vector>

#include "platform/qxerr/Exception.h"

namespace qx561x {
namespace {

constexpr const char* kModule = "shared/qx561x/cPortPropertyAccessor";
constexpr qxerr::SourceLocation kNoDevice{kModule, 21, qxerr::kComponent,
                                          "qxapalerr_invalidParameter"};
constexpr qxerr::SourceLocation kUnknownProduct{kModule, 26, qxerr::kComponent,
                                                "qxapalerr_invalidParameter"};
constexpr qxerr::SourceLocation kNoFactory{kModule, 31, qxerr::kComponent,
                                           "qxapalerr_invalidParameter"};
constexpr qxerr::SourceLocation kPortNotOnBoard{kModule, 67, qxerr::kComponent,
                                                "qxapalerr_softwareFaultAPALInternalUseOnly"};

}  // namespace

cPortPropertyAccessor::cPortPropertyAccessor(std::unique_ptr<iDevicePropertyAccessor> device,
                                             const std::string& portName,
                                             std::unique_ptr<iEnumeratorFactory> enumeratorFactory)
    : device_(std::move(device)),
      portName_(portName),
      enumeratorFactory_(std::move(enumeratorFactory)) {
    if (!device_) qxerr::raise(qxerr::qxapalerr_invalidParameter, kNoDevice);
    if (!lookupProduct(static_cast<int32_t>(device_->getPciDeviceId()), product_))
        qxerr::raise(qxerr::qxapalerr_invalidParameter, kUnknownProduct);
    if (!enumeratorFactory_) qxerr::raise(qxerr::qxapalerr_invalidParameter, kNoFactory);
}

std::string cPortPropertyAccessor::getDevicePath() { return device_->getDevicePath(); }

std::string cPortPropertyAccessor::getPortDevicePath() {
    return "/dev/" + boost::filesystem::path(portName_).filename().string();
}

std::size_t cPortPropertyAccessor::getPortNumber() {
    const std::vector<std::string> ports =
        enumeratorFactory_->createPortEnumerator()->enumeratePorts(device_->getDevicePath());
    // The walk names each entry once, so the name as listed is the usual match; compared by
    // elements otherwise, so a doubled separator in the name still matches.
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (ports[i] == portName_) return i + 1;
    const boost::filesystem::path wanted(portName_);
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (boost::filesystem::path(ports[i]) == wanted) return i + 1;
    qxerr::raise(qxerr::qxapalerr_softwareFaultAPALInternalUseOnly, kPortNotOnBoard);
}

std::string cPortPropertyAccessor::getPortIdentifier() {
    const std::size_t number = getPortNumber();
    const std::string slotPath = device_->getPciSlotPath();
    const uint32_t deviceId = device_->getPciDeviceId();
    // Formatted without a stream: a listing asks this of every port.
    char deviceText[16];
    std::snprintf(deviceText, sizeof deviceText, "%x", static_cast<unsigned>(deviceId));
    return "qx561x:" + std::string(deviceText) + ":" + slotPath + ":" + std::to_string(number);
}

}  // namespace qx561x
