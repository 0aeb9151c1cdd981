// SPDX-License-Identifier: MIT
#pragma once
// The PXI query library loaded at run time when it is present.

#include "platform/qxqpxi/QPXILibrary.h"

namespace qxqpxi {

class DynamicQPXILibrary final : public QPXILibrary {
public:
    // Never throws: a missing library or symbol is left in the status, and the
    // operations concerned then fail with qxapalerr_resourceNotFound.
    explicit DynamicQPXILibrary(qxerr::Status& status);
    // For owners that do not look at how loading went.
    DynamicQPXILibrary();
    ~DynamicQPXILibrary() override;

    DynamicQPXILibrary(const DynamicQPXILibrary&) = delete;
    DynamicQPXILibrary& operator=(const DynamicQPXILibrary&) = delete;

    bool isLoaded() const { return library_ != nullptr; }

    Handle openPXISession(uint32_t value, qxerr::Status* status) override;
    Handle openChassisByNumber(Handle session, uint32_t number, qxerr::Status* status) override;
    Handle openSlotByNumber(Handle handle, uint32_t number, qxerr::Status* status) override;
    Handle openDeviceByAddr(Handle session, const PciAddress* address,
                            qxerr::Status* status) override;
    Handle openContainingItem(Handle handle, uint32_t kind, qxerr::Status* status) override;
    uint32_t getU32Attribute(Handle handle, uint32_t attribute, qxerr::Status* status) override;
    const char* getStringAttribute(Handle handle, uint32_t attribute,
                                   qxerr::Status* status) override;
    Handle getItemContainer(Handle handle, uint32_t kind, qxerr::Status* status) override;
    Handle duplicateItemContainer(Handle container, qxerr::Status* status) override;
    Position itemIteratorBegin(Handle container, qxerr::Status* status) override;
    Handle itemIteratorNextItem(Handle container, Position* position,
                                qxerr::Status* status) override;
    Position itemIteratorEnd(Handle container, qxerr::Status* status) override;
    void destroyItemContainer(Handle container) override;
    Handle duplicate(Handle handle, qxerr::Status* status) override;
    void close(Handle handle) override;
    uint32_t waitForSessionInvalidation(Handle session, uint32_t value,
                                        qxerr::Status* status) override;
    void cancelWaitForInvalidation(Handle session) override;

private:
    void load(qxerr::Status& status);

    void* library_ = nullptr;
    OpenPXISessionFn openPXISession_ = nullptr;
    OpenChassisByNumberFn openChassisByNumber_ = nullptr;
    OpenSlotByNumberFn openSlotByNumber_ = nullptr;
    OpenDeviceByAddrFn openDeviceByAddr_ = nullptr;
    OpenContainingItemFn openContainingItem_ = nullptr;
    GetU32AttributeFn getU32Attribute_ = nullptr;
    GetStringAttributeFn getStringAttribute_ = nullptr;
    GetItemContainerFn getItemContainer_ = nullptr;
    DuplicateItemContainerFn duplicateItemContainer_ = nullptr;
    ItemIteratorBeginFn itemIteratorBegin_ = nullptr;
    ItemIteratorNextItemFn itemIteratorNextItem_ = nullptr;
    ItemIteratorEndFn itemIteratorEnd_ = nullptr;
    DestroyItemContainerFn destroyItemContainer_ = nullptr;
    DuplicateFn duplicate_ = nullptr;
    CloseFn close_ = nullptr;
    WaitForSessionInvalidationFn waitForSessionInvalidation_ = nullptr;
    CancelWaitForInvalidationFn cancelWaitForInvalidation_ = nullptr;
};

}  // namespace qxqpxi
