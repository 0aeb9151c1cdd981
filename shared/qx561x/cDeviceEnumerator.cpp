// SPDX-License-Identifier: MIT
#include "shared/qx561x/cDeviceEnumerator.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
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

// Every link followed, "." and ".." resolved; empty when the path leads nowhere.
std::string canonical(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                               &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

bool isDirectory(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

cDeviceEnumerator::cDeviceEnumerator(std::unique_ptr<iDeviceIteratorFactory> iteratorFactory,
                                     const std::string& rootPath, const std::string& indexPath)
    : vendorId_(static_cast<int32_t>(kPciVendorId)),
      iteratorFactory_(std::move(iteratorFactory)),
      rootPath_(rootPath),
      indexPath_(indexPath) {
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
    const std::string root = indexPath_.empty() || boards.empty() ? "" : canonical(rootPath_);
    std::vector<Board*> unindexed;
    for (Board& board : boards) {
        try {
            if (!root.empty() && findIndexed(root, board)) continue;
        } catch (const std::exception&) {
            // The walk answers instead.
        }
        unindexed.push_back(&board);
    }
    findBoardDirectories(unindexed);
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

// The index links a function's address to its directory. Its answer stands only where it
// is an entry the walk lists for the address:
// - realpath follows every link, so the answer runs through directories only, as the walk
//   does, which follows none (a link into a linked path counts as the path it reaches);
// - it lies strictly below the root, so the walk reaches it; the root itself may be a
//   link, which the walk follows, so the answer is written under the root as given;
// - it is a directory named as the address, the name the walk compares.
// Anything else (no link, a dangling one, one leading outside the root, to a file or to
// another name) is left to the walk. The walk lists more only where a second entry below
// the root carries the address: a function's directory is named by its address, unique on
// its bus, and the kernel gives that name elsewhere only to links back to it (an IOMMU's
// list of its devices), which the walk would list as a second board with its own ports.
bool cDeviceEnumerator::findIndexed(const std::string& canonicalRoot, Board& board) const {
    const std::string target = canonical(indexPath_ + "/" + board.address);
    const std::string below = canonicalRoot == "/" ? canonicalRoot : canonicalRoot + "/";
    if (target.size() <= below.size() || target.compare(0, below.size(), below) != 0) return false;
    if (target.compare(target.rfind('/') + 1, std::string::npos, board.address) != 0) return false;
    if (!isDirectory(target)) return false;
    const bool separated = !rootPath_.empty() && rootPath_.back() == '/';
    board.directories.push_back(rootPath_ + (separated ? "" : "/") + target.substr(below.size()));
    return true;
}

// One walk serves every board: each board gets the entries named like its address, in the
// order the walk meets them. A walk that fails leaves every board with what was found
// before the failure, as a walk of its own would have. An address holds no "/", so
// comparing names is comparing them as paths.
void cDeviceEnumerator::findBoardDirectories(std::vector<Board*>& boards) const {
    if (boards.empty()) return;
    try {
        walkDeviceTree(rootPath_, [&boards](const std::string& path, std::size_t nameOffset) {
            const char* name = path.c_str() + nameOffset;
            for (Board* board : boards)
                if (std::strcmp(name, board->address.c_str()) == 0) board->directories.push_back(path);
        });
    } catch (const std::exception&) {
        // The boards keep what the walk found.
    }
}

}  // namespace qx561x
