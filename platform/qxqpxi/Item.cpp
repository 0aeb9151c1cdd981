// SPDX-License-Identifier: MIT
#include "platform/qxqpxi/Item.h"

#include <exception>
#include <utility>

#include "platform/qxerr/Exception.h"

namespace qxqpxi {
namespace {

void throwIfFailed(qxerr::Status& status) {
    if (status.isFatal() && std::uncaught_exceptions() == 0) {
        throw qxerr::Exception(std::move(status));
    }
}

// Destroys a container on every way out of a listing.
class ContainerGuard {
public:
    ContainerGuard(QPXILibrary& library, Handle container)
        : library_(library), container_(container) {}
    ~ContainerGuard() { library_.destroyItemContainer(container_); }
    ContainerGuard(const ContainerGuard&) = delete;
    ContainerGuard& operator=(const ContainerGuard&) = delete;

private:
    QPXILibrary& library_;
    Handle container_;
};

}  // namespace

Item::~Item() {
    if (handle_ != 0) {
        library_->close(handle_);
    }
}

Item::Item(const Item& other) : library_(other.library_), handle_(0) {
    if (other.handle_ != 0) {
        qxerr::Status status;
        const Handle copy = library_->duplicate(other.handle_, &status);
        throwIfFailed(status);
        handle_ = copy;
    }
}

Item& Item::operator=(const Item& other) {
    if (this != &other) {
        Item copy(other);
        std::swap(library_, copy.library_);
        std::swap(handle_, copy.handle_);
    }
    return *this;
}

Item::Item(Item&& other) noexcept : library_(other.library_), handle_(other.handle_) {
    other.handle_ = 0;
}

Item& Item::operator=(Item&& other) noexcept {
    if (this != &other) {
        std::swap(library_, other.library_);
        std::swap(handle_, other.handle_);
    }
    return *this;
}

uint32_t Item::getU32Attribute(uint32_t attribute) const {
    qxerr::Status status;
    const uint32_t value = library_->getU32Attribute(handle_, attribute, &status);
    throwIfFailed(status);
    return value;
}

const char* Item::getStringAttribute(uint32_t attribute) const {
    qxerr::Status status;
    const char* value = library_->getStringAttribute(handle_, attribute, &status);
    throwIfFailed(status);
    return value;
}

std::vector<Item> Item::getItems(uint32_t kind) const { return listItems<Item>(kind); }

template <typename T>
std::vector<T> Item::listItems(uint32_t kind) const {
    qxerr::Status status;
    const Handle container = library_->getItemContainer(handle_, kind, &status);
    throwIfFailed(status);
    // Declared before the list, so that on a failure the handles collected so far are
    // closed first and the container is destroyed after them.
    ContainerGuard guard(*library_, container);
    std::vector<T> items;
    Position position = library_->itemIteratorBegin(container, &status);
    throwIfFailed(status);
    for (;;) {
        const Position end = library_->itemIteratorEnd(container, &status);
        throwIfFailed(status);
        if (position == end) {
            break;
        }
        const Handle handle = library_->itemIteratorNextItem(container, &position, &status);
        throwIfFailed(status);
        T item(*library_, handle);
        items.push_back(std::move(item));
    }
    return items;
}

Handle Item::openContaining(uint32_t kind) const {
    qxerr::Status status;
    const Handle handle = library_->openContainingItem(handle_, kind, &status);
    throwIfFailed(status);
    return handle;
}

std::vector<Slot> Chassis::getSlots() const { return listItems<Slot>(kSlotContainer); }

std::vector<TriggerBridge> Chassis::getTriggerBridges() const {
    return listItems<TriggerBridge>(kTriggerBridgeContainer);
}

std::vector<Device> Slot::getDevices() const { return listItems<Device>(kDeviceContainer); }

Chassis Slot::getChassis() const { return Chassis(*library_, openContaining(kChassisItem)); }

Chassis TriggerBridge::getChassis() const {
    return Chassis(*library_, openContaining(kChassisItem));
}

Slot Device::getSlot() const { return Slot(*library_, openContaining(kSlotItem)); }

Chassis Device::getChassis() const { return Chassis(*library_, openContaining(kChassisItem)); }

PciAddress Device::getPciAddress() const {
    PciAddress address{};
    address.function = getU32Attribute(kAttrPciFunction);
    address.device = getU32Attribute(kAttrPciDevice);
    address.bus = getU32Attribute(kAttrPciBus);
    return address;
}

Session::Session(uint32_t value, QPXILibrary& library) : Item(library) {
    qxerr::Status status;
    const Handle handle = library_->openPXISession(value, &status);
    throwIfFailed(status);
    handle_ = handle;
}

Device Session::openDeviceByAddr(const PciAddress& address) const {
    qxerr::Status status;
    const Handle handle = library_->openDeviceByAddr(handle_, &address, &status);
    throwIfFailed(status);
    return Device(*library_, handle);
}

Chassis Session::openChassisByNumber(uint32_t number) const {
    qxerr::Status status;
    const Handle handle = library_->openChassisByNumber(handle_, number, &status);
    throwIfFailed(status);
    return Chassis(*library_, handle);
}

std::vector<Chassis> Session::getChassis() const { return listItems<Chassis>(kChassisContainer); }

uint32_t Session::waitForInvalidation(uint32_t value) const {
    qxerr::Status status;
    const uint32_t result = library_->waitForSessionInvalidation(handle_, value, &status);
    throwIfFailed(status);
    return result;
}

void Session::cancelWaitForInvalidation() const { library_->cancelWaitForInvalidation(handle_); }

}  // namespace qxqpxi
