// SPDX-License-Identifier: MIT
#include "shared/qx561x/cPropertyAccessorFactory.h"

#include <boost/filesystem/path.hpp>

#include "platform/qxqpxi/DynamicQPXILibrary.h"
#include "shared/qx561x/cDevicePropertyAccessor.h"
#include "shared/qx561x/cEnumeratorFactory.h"
#include "shared/qx561x/cPortPropertyAccessor.h"

namespace qx561x {
namespace {

constexpr const char kDriverDirectoryPrefix[] = "/proc/driver/qx/pci:";

std::unique_ptr<cDevicePropertyAccessor> boardAccessor(
    const std::string& devicePath, std::unique_ptr<qxqpxi::QPXILibrary> library) {
    const std::string interfacePath =
        kDriverDirectoryPrefix + boost::filesystem::path(devicePath).filename().string();
    return std::make_unique<cDevicePropertyAccessor>(devicePath, interfacePath, std::move(library));
}

}  // namespace

std::unique_ptr<iDevicePropertyAccessor> cPropertyAccessorFactory::createDevicePropertyAccessor(
    const std::string& devicePath) {
    // The accessor copes with a library that could not be loaded, and with none.
    return boardAccessor(devicePath, pxiLibrary());
}

// Where the library is not installed, every attempt searches the whole library path: a
// listing would pay that once for every board. A miss is believed for a while, so a
// library installed meanwhile is still found without a restart.
std::unique_ptr<qxqpxi::QPXILibrary> cPropertyAccessorFactory::pxiLibrary() {
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> guard(missingMutex_);
        if (missingSince_ && now - *missingSince_ < kMissingLibraryBelieved) return nullptr;
    }
    auto library = std::make_unique<qxqpxi::DynamicQPXILibrary>();
    std::lock_guard<std::mutex> guard(missingMutex_);
    if (library->isLoaded()) missingSince_.reset();
    else missingSince_ = now;
    return library;
}

// A port asks its board only for its path, device ID and slot path, never for the
// description the PXI library gives: looking the library up for every port (a search of
// the library path when it is absent) would change nothing.
std::unique_ptr<iPortPropertyAccessor> cPropertyAccessorFactory::createPortPropertyAccessor(
    const std::string& portName) {
    const BoardAccessorSource board = [](const std::string&, const auto& make) { return make(); };
    return createPortPropertyAccessor(portName, board, std::make_unique<cEnumeratorFactory>());
}

std::unique_ptr<iPortPropertyAccessor> cPropertyAccessorFactory::createPortPropertyAccessor(
    const std::string& portName, const BoardAccessorSource& board,
    std::unique_ptr<iEnumeratorFactory> enumerators) {
    boost::filesystem::path devicePath(portName);
    devicePath.remove_filename().remove_filename();
    const std::string path = devicePath.string();
    auto device = board(path, [&path] {
        return std::unique_ptr<iDevicePropertyAccessor>(boardAccessor(path, nullptr));
    });
    return std::make_unique<cPortPropertyAccessor>(std::move(device), portName,
                                                   std::move(enumerators));
}

}  // namespace qx561x
