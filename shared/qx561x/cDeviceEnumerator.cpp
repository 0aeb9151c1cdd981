#include "shared/qx561x/cDeviceEnumerator.h"

#include <boost/filesystem.hpp>

#include <cstdio>
#include <exception>

#include "platform/qxerr/Exception.h"
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
    std::vector<std::string> result;
    for (; !iterator->atEnd(); iterator->next()) {
        try {
            appendBoardDirectories(*iterator, result);
        } catch (const std::exception&) {
            // One unreadable board must not hide the others.
        }
    }
    return result;
}

void cDeviceEnumerator::appendBoardDirectories(iDeviceIterator& iterator,
                                               std::vector<std::string>& result) const {
    if (readNumericProperty(iterator, "pciVendorID") != vendorId_) return;
    ProductInfo product;
    if (!lookupProduct(readNumericProperty(iterator, "pciDeviceID"), product)) return;

    const boost::filesystem::path address(pciAddress(interfaceName(iterator)));
    // Symbolic links are listed but not followed, so the walk stays a tree walk.
    boost::filesystem::recursive_directory_iterator entry(rootPath_);
    for (const boost::filesystem::recursive_directory_iterator end; entry != end; ++entry) {
        if (entry->path().filename() == address) result.push_back(entry->path().string());
    }
}

}  // namespace qx561x
