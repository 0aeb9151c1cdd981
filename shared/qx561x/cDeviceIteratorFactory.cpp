// SPDX-License-Identifier: MIT
#include "shared/qx561x/cDeviceIteratorFactory.h"

#include "platform/qxapal/protons/enumeration/linuxU/tDeviceIterator.h"

namespace qx561x {
namespace {

class cDeviceIterator : public iDeviceIterator {
public:
    explicit cDeviceIterator(qxapal::tStatus* status) : iterator_(status) {}
    cDeviceIterator(const cDeviceIterator&) = delete;
    cDeviceIterator& operator=(const cDeviceIterator&) = delete;

    void readBusProperty(const char* name, void* buffer, std::size_t bufferSize,
                         std::size_t* byteCount, qxapal::tStatus* status) override {
        iterator_.readBusProperty(name, buffer, bufferSize, byteCount, status);
    }
    void readDeviceProperty(const char* name, void* buffer, std::size_t bufferSize,
                            std::size_t* byteCount, qxapal::tStatus* status) override {
        iterator_.readDeviceProperty(name, buffer, bufferSize, byteCount, status);
    }
    void getInterfaceName(qxapal::tBasicString& name, qxapal::tStatus* status) override {
        iterator_.getName(name, status);
    }
    iDeviceIterator& next() override {
        iterator_.next();
        return *this;
    }
    bool atEnd() override { return iterator_.atEnd(); }

private:
    qxapal::tDeviceIterator iterator_;
};

}  // namespace

std::unique_ptr<iDeviceIterator> cDeviceIteratorFactory::createDeviceIterator() {
    qxapal::tStatus status;
    auto iterator = std::make_unique<cDeviceIterator>(&status);
    if (status.isFatal()) {
        iterator.reset();
        qxapal::throwIfFatal(status);
    }
    return iterator;
}

}  // namespace qx561x
