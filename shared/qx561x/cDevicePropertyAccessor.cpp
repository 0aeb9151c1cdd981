// SPDX-License-Identifier: MIT
#include "shared/qx561x/cDevicePropertyAccessor.h"

#include <boost/filesystem/path.hpp>

#include <cstring>
#include <exception>
#include <stdexcept>
#include <vector>

#include "platform/qxapal/protons/enumeration/linuxU/linuxDevEnumHelper.h"
#include "platform/qxerr/Exception.h"
#include "platform/qxqpxi/Item.h"

namespace qx561x {
namespace {

constexpr const char* kModule = "shared/qx561x/cDevicePropertyAccessor";
constexpr qxerr::SourceLocation kUnknownProduct{kModule, 21, qxerr::kComponent,
                                                "qxapalerr_invalidParameter"};
constexpr qxerr::SourceLocation kEmptySerialNumber{kModule, 77, qxerr::kComponent,
                                                   "qxapalerr_invalidParameter"};
constexpr qxerr::SourceLocation kEmptyText{kModule, 160, qxerr::kComponent,
                                           "qxapalerr_invalidParameter"};
constexpr qxerr::SourceLocation kFileLargerThanBuffer{kModule, 183, qxerr::kComponent,
                                                      "qxapalerr_softwareFaultAPALInternalUseOnly"};
constexpr qxerr::SourceLocation kReadFailed{kModule, 189, qxerr::kComponent, "status.getCode()"};

constexpr std::size_t kSerialNumberWidth = 8;

// A size query (no buffer) answers with the byte count instead of failing.
void readProperty(const std::string& path, void* buffer, std::size_t bufferSize,
                  std::size_t* byteCount) {
    qxapal::tStatus status;
    qxapal::readPropertyFile(path.c_str(), buffer, bufferSize, byteCount, &status);
    if (status.code >= 0) return;
    if (status.code != qxerr::qxapalerr_bufferTooSmall)
        qxerr::raise(static_cast<int32_t>(status.code), kReadFailed);
    if (buffer != nullptr)
        qxerr::raise(qxerr::qxapalerr_softwareFaultAPALInternalUseOnly, kFileLargerThanBuffer);
}

std::string joined(const std::string& directory, const char* subdirectory, const char* name) {
    return (boost::filesystem::path(directory) / subdirectory / name).string();
}

}  // namespace

cDevicePropertyAccessor::cDevicePropertyAccessor(const std::string& devicePath,
                                                 const std::string& interfaceDirectory,
                                                 std::unique_ptr<qxqpxi::QPXILibrary> library)
    : devicePath_(devicePath),
      interfaceDirectory_(interfaceDirectory),
      library_(std::move(library)) {
    pciDeviceId_ = readU32(busProperty("pciDeviceID"));
    if (!lookupProduct(static_cast<int32_t>(pciDeviceId_), product_))
        qxerr::raise(qxerr::qxapalerr_invalidParameter, kUnknownProduct);
}

std::string cDevicePropertyAccessor::getDevicePath() { return devicePath_; }

std::string cDevicePropertyAccessor::getPciSlotPath() {
    std::size_t n = 0;
    std::string text = readText(busProperty("pciSlotPath"), n);
    if (n == 0) qxerr::raise(qxerr::qxapalerr_invalidParameter, kEmptyText);
    return text;
}

uint32_t cDevicePropertyAccessor::getPciDeviceId() { return pciDeviceId_; }

uint32_t cDevicePropertyAccessor::getPciBusNumber() { return readU32(busProperty("pciBusNumber")); }

uint32_t cDevicePropertyAccessor::getPciDeviceNumber() {
    return readU32(busProperty("pciDeviceNumber"));
}

uint32_t cDevicePropertyAccessor::getPciFunctionNumber() {
    return readU32(busProperty("pciFunctionNumber"));
}

// Drivers write up to 8 characters plus a terminator; the padding makes those 8 wide.
std::string cDevicePropertyAccessor::getSerialNumber() {
    std::size_t n = 0;
    std::string text = readText(deviceProperty("serialNumber"), n);
    if (n == 0) qxerr::raise(qxerr::qxapalerr_invalidParameter, kEmptySerialNumber);
    if (n > kSerialNumberWidth) return text;
    return std::string(kSerialNumberWidth + 1 - n, '0') + text;
}

std::string cDevicePropertyAccessor::getModelName() { return product_.shortName; }

std::string cDevicePropertyAccessor::getDescription() {
    const std::string ownText = (product_.isRs232 ? "RS-232 SN:" : "RS-485 SN:") + getSerialNumber();
    if (!library_) return ownText;
    try {
        return pxiDescription();
    } catch (const std::exception&) {
        // Without the PXI library's answer the serial-number text still names the board.
        return ownText;
    }
}

int32_t cDevicePropertyAccessor::getPortCount() { return product_.portCount; }

uint32_t cDevicePropertyAccessor::getBusType() { return product_.busType; }

std::string cDevicePropertyAccessor::busProperty(const char* name) const {
    return joined(interfaceDirectory_, "busProperties", name);
}

std::string cDevicePropertyAccessor::deviceProperty(const char* name) const {
    return joined(interfaceDirectory_, "deviceProperties", name);
}

uint32_t cDevicePropertyAccessor::readU32(const std::string& path) const {
    uint32_t value = 0;
    readProperty(path, &value, sizeof value, nullptr);
    return value;
}

std::string cDevicePropertyAccessor::readText(const std::string& path,
                                              std::size_t& byteCount) const {
    byteCount = 0;
    readProperty(path, nullptr, 0, &byteCount);
    if (byteCount == 0) return {};
    std::vector<char> bytes(byteCount, '\0');
    readProperty(path, bytes.data(), bytes.size(), nullptr);
    return std::string(bytes.data(), strnlen(bytes.data(), bytes.size()));
}

std::string cDevicePropertyAccessor::pxiDescription() {
    const uint32_t function = getPciFunctionNumber();
    const uint32_t device = getPciDeviceNumber();
    const uint32_t bus = getPciBusNumber();
    const qxqpxi::Session session(0, *library_);
    const qxqpxi::Device board = session.openDeviceByAddr(qxqpxi::PciAddress{0, bus, device, function});
    const char* text = board.getStringAttribute(qxqpxi::kAttrDescription);
    if (text == nullptr) throw std::runtime_error("no description");
    return text;
}

}  // namespace qx561x
