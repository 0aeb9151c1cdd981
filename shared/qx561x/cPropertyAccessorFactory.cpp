#include "shared/qx561x/cPropertyAccessorFactory.h"

#include <boost/filesystem/path.hpp>

#include "platform/qxqpxi/DynamicQPXILibrary.h"
#include "shared/qx561x/cDevicePropertyAccessor.h"
#include "shared/qx561x/cEnumeratorFactory.h"
#include "shared/qx561x/cPortPropertyAccessor.h"

namespace qx561x {
namespace {

constexpr const char kDriverDirectoryPrefix[] = "/proc/driver/qx/pci:";

}  // namespace

std::unique_ptr<iDevicePropertyAccessor> cPropertyAccessorFactory::createDevicePropertyAccessor(
    const std::string& devicePath) {
    const std::string interfacePath =
        kDriverDirectoryPrefix + boost::filesystem::path(devicePath).filename().string();
    // The accessor copes with a library that could not be loaded.
    auto library = std::make_unique<qxqpxi::DynamicQPXILibrary>();
    return std::make_unique<cDevicePropertyAccessor>(devicePath, interfacePath, std::move(library));
}

std::unique_ptr<iPortPropertyAccessor> cPropertyAccessorFactory::createPortPropertyAccessor(
    const std::string& portName) {
    boost::filesystem::path devicePath(portName);
    devicePath.remove_filename().remove_filename();
    auto device = createDevicePropertyAccessor(devicePath.string());
    return std::make_unique<cPortPropertyAccessor>(std::move(device), portName,
                                                   std::make_unique<cEnumeratorFactory>());
}

}  // namespace qx561x
