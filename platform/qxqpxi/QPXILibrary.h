// SPDX-License-Identifier: MIT
#pragma once
// The PXI query library's C interface and the abstract wrapper around it.

#include <cstdint>

#include "platform/qxerr/Status.h"

namespace qxqpxi {

// Every object of the library and every iterator position is an opaque 64-bit value.
using Handle = uint64_t;
using Position = uint64_t;

struct PciAddress {
    uint32_t segment;
    uint32_t bus;
    uint32_t device;
    uint32_t function;
};
static_assert(sizeof(PciAddress) == 16, "PciAddress is passed to the library as 16 bytes");

// Container kinds and containing-item kinds the wrapper asks for.
enum : uint32_t {
    kChassisContainer = 0,
    kChassisItem = 1,
    kSlotItem = 2,
    kSlotContainer = 0x1000,
    kTriggerBridgeContainer = 0x1001,
    kDeviceContainer = 0x2000,
};

// Device attributes.
enum : uint32_t {
    kAttrPciBus = 0x3000,
    kAttrPciDevice = 0x3001,
    kAttrPciFunction = 0x3002,
    kAttrDescription = 0x3003,
};

// The library's exported functions, in the order the wrapper resolves them.
extern "C" {
using OpenPXISessionFn = Handle (*)(uint32_t value, qxerr::Status* status);
using OpenChassisByNumberFn = Handle (*)(Handle session, uint32_t number, qxerr::Status* status);
using OpenSlotByNumberFn = Handle (*)(Handle handle, uint32_t number, qxerr::Status* status);
using OpenDeviceByAddrFn = Handle (*)(Handle session, const PciAddress* address,
                                      qxerr::Status* status);
using OpenContainingItemFn = Handle (*)(Handle handle, uint32_t kind, qxerr::Status* status);
using GetU32AttributeFn = uint32_t (*)(Handle handle, uint32_t attribute, qxerr::Status* status);
using GetStringAttributeFn = const char* (*)(Handle handle, uint32_t attribute,
                                             qxerr::Status* status);
using GetItemContainerFn = Handle (*)(Handle handle, uint32_t kind, qxerr::Status* status);
using DuplicateItemContainerFn = Handle (*)(Handle container, qxerr::Status* status);
using ItemIteratorBeginFn = Position (*)(Handle container, qxerr::Status* status);
using ItemIteratorNextItemFn = Handle (*)(Handle container, Position* position,
                                          qxerr::Status* status);
using ItemIteratorEndFn = Position (*)(Handle container, qxerr::Status* status);
using DestroyItemContainerFn = void (*)(Handle container);
using DuplicateFn = Handle (*)(Handle handle, qxerr::Status* status);
using CloseFn = void (*)(Handle handle);
using WaitForSessionInvalidationFn = uint32_t (*)(Handle session, uint32_t value,
                                                  qxerr::Status* status);
using CancelWaitForInvalidationFn = void (*)(Handle session);
}

// One operation per library function; each passes its arguments through unchanged.
class QPXILibrary {
public:
    virtual ~QPXILibrary() = default;
    virtual Handle openPXISession(uint32_t value, qxerr::Status* status) = 0;
    virtual Handle openChassisByNumber(Handle session, uint32_t number, qxerr::Status* status) = 0;
    virtual Handle openSlotByNumber(Handle handle, uint32_t number, qxerr::Status* status) = 0;
    virtual Handle openDeviceByAddr(Handle session, const PciAddress* address,
                                    qxerr::Status* status) = 0;
    virtual Handle openContainingItem(Handle handle, uint32_t kind, qxerr::Status* status) = 0;
    virtual uint32_t getU32Attribute(Handle handle, uint32_t attribute, qxerr::Status* status) = 0;
    virtual const char* getStringAttribute(Handle handle, uint32_t attribute,
                                           qxerr::Status* status) = 0;
    virtual Handle getItemContainer(Handle handle, uint32_t kind, qxerr::Status* status) = 0;
    virtual Handle duplicateItemContainer(Handle container, qxerr::Status* status) = 0;
    virtual Position itemIteratorBegin(Handle container, qxerr::Status* status) = 0;
    virtual Handle itemIteratorNextItem(Handle container, Position* position,
                                        qxerr::Status* status) = 0;
    virtual Position itemIteratorEnd(Handle container, qxerr::Status* status) = 0;
    virtual void destroyItemContainer(Handle container) = 0;
    virtual Handle duplicate(Handle handle, qxerr::Status* status) = 0;
    virtual void close(Handle handle) = 0;
    virtual uint32_t waitForSessionInvalidation(Handle session, uint32_t value,
                                                qxerr::Status* status) = 0;
    virtual void cancelWaitForInvalidation(Handle session) = 0;
};

}  // namespace qxqpxi
