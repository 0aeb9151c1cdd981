// SPDX-License-Identifier: MIT
#pragma once
// Objects of a PXI system, each owning one handle of the PXI query library.

#include <cstdint>
#include <vector>

#include "platform/qxqpxi/QPXILibrary.h"

namespace qxqpxi {

class Chassis;
class Device;
class Slot;
class TriggerBridge;

// Every operation throws qxerr::Exception with the library's status when the library
// reports a failure. The library must outlive every item made from it.
class Item {
public:
    // Takes over the handle and closes it on destruction.
    Item(QPXILibrary& library, Handle handle) : library_(&library), handle_(handle) {}
    virtual ~Item();
    Item(const Item& other);
    Item& operator=(const Item& other);
    Item(Item&& other) noexcept;
    Item& operator=(Item&& other) noexcept;

    virtual uint32_t getU32Attribute(uint32_t attribute) const;
    // The library's own string; copy it before the item goes away.
    virtual const char* getStringAttribute(uint32_t attribute) const;
    virtual std::vector<Item> getItems(uint32_t kind) const;

    Handle handle() const { return handle_; }

protected:
    explicit Item(QPXILibrary& library) : library_(&library), handle_(0) {}
    template <typename T>
    std::vector<T> listItems(uint32_t kind) const;
    Handle openContaining(uint32_t kind) const;

    QPXILibrary* library_;
    Handle handle_;
};

class Chassis : public Item {
public:
    using Item::Item;
    std::vector<Slot> getSlots() const;
    std::vector<TriggerBridge> getTriggerBridges() const;
};

class Slot : public Item {
public:
    using Item::Item;
    std::vector<Device> getDevices() const;
    Chassis getChassis() const;
};

class TriggerBridge : public Item {
public:
    using Item::Item;
    Chassis getChassis() const;
};

class Device : public Item {
public:
    using Item::Item;
    Slot getSlot() const;
    Chassis getChassis() const;
    // Segment 0 and the device's bus, device and function attributes.
    PciAddress getPciAddress() const;
};

class Session : public Item {
public:
    // Opens a session of the library with the given value.
    Session(uint32_t value, QPXILibrary& library);
    Device openDeviceByAddr(const PciAddress& address) const;
    Chassis openChassisByNumber(uint32_t number) const;
    std::vector<Chassis> getChassis() const;
    uint32_t waitForInvalidation(uint32_t value) const;
    void cancelWaitForInvalidation() const;
};

}  // namespace qxqpxi
