// SPDX-License-Identifier: MIT
#include "shared/qx561x/cDeviceEnumerator.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include "platform/qxerr/Exception.h"
#include "shared/qx561x/DeviceTreeWalk.h"
#include "shared/qx561x/ProductTable.h"

namespace qx561x {
namespace {

constexpr qxerr::SourceLocation kNullFactory{"shared/qx561x/cDeviceEnumerator", 33,
                                             qxerr::kComponent, "qxapalerr_invalidParameter"};

int32_t readNumericProperty(iDeviceIterator& iterator, const char* name) {
    int32_t value = 0;
    qxapal::tStatus status;
    iterator.readBusProperty(name, &value, sizeof value, nullptr, &status);
    qxapal::throwIfFatal(status);
    return value;
}

std::string interfaceName(iDeviceIterator& iterator) {
    qxapal::tBasicString name;
    qxapal::tStatus status;
    iterator.getInterfaceName(name, &status);
    qxapal::throwIfFatal(status);
    return name.c_str();
}

// "pci:0000:03:00.0" -> "0000:03:00.0"; a name of another form is used whole.
std::string pciAddress(const std::string& name) {
    std::string scratch(name.size() + 1, '\0');
    if (std::sscanf(name.c_str(), "pci:%s", &scratch[0]) == 1) return scratch.c_str();
    return name;
}

}  // namespace

cDeviceEnumerator::cDeviceEnumerator(std::unique_ptr<iDeviceIteratorFactory> iteratorFactory,
                                     const std::string& rootPath)
    : vendorId_(static_cast<int32_t>(kPciVendorId)),
      iteratorFactory_(std::move(iteratorFactory)),
      rootPath_(rootPath) {
    if (!iteratorFactory_) qxerr::raise(qxerr::qxapalerr_invalidParameter, kNullFactory);
}

std::vector<std::string> cDeviceEnumerator::enumerateDevices() {
    std::unique_ptr<iDeviceIterator> iterator = iteratorFactory_->createDeviceIterator();
    std::vector<Board> boards;
    for (; !iterator->atEnd(); iterator->next()) {
        try {
            std::string address;
            if (acceptedAddress(*iterator, address)) boards.push_back({std::move(address), {}});
        } catch (const std::exception&) {
            // One unreadable board must not hide the others.
        }
    }
    findBoardDirectories(boards);
    std::vector<std::string> result;
    for (Board& board : boards)
        result.insert(result.end(), std::make_move_iterator(board.directories.begin()),
                      std::make_move_iterator(board.directories.end()));
    return result;
}

bool cDeviceEnumerator::acceptedAddress(iDeviceIterator& iterator, std::string& address) const {
    if (readNumericProperty(iterator, "pciVendorID") != vendorId_) return false;
    ProductInfo product;
    if (!lookupProduct(readNumericProperty(iterator, "pciDeviceID"), product)) return false;
    address = pciAddress(interfaceName(iterator));
    return true;
}

// One walk serves every board: each board gets the entries named like its address, in the
// order the walk meets them. A walk that fails leaves every board with what was found
// before the failure, as a walk of its own would have. An address holds no "/", so
// comparing names is comparing them as paths.
void cDeviceEnumerator::findBoardDirectories(std::vector<Board>& boards) const {
    if (boards.empty()) return;
    try {
        walkDeviceTree(rootPath_, [&boards](const std::string& path, std::size_t nameOffset) {
            const char* name = path.c_str() + nameOffset;
            for (Board& board : boards)
                if (std::strcmp(name, board.address.c_str()) == 0) board.directories.push_back(path);
        });
    } catch (const std::exception&) {
        // The boards keep what the walk found.
    }
}

}  // namespace qx561x
