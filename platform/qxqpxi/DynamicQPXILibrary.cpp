// SPDX-License-Identifier: MIT
#include "platform/qxqpxi/DynamicQPXILibrary.h"

#include <dlfcn.h>

#include "platform/qxdynlib/dynload.h"

namespace qxqpxi {
namespace {

constexpr const char* kLibraryName = "libqxqpxi.so.1";
constexpr int kLoadFlags = RTLD_NOW | RTLD_GLOBAL;
static_assert(kLoadFlags == 258, "loader flags");

template <typename Fn>
void resolve(void* library, const char* name, Fn& target, qxerr::Status& status) {
    target = reinterpret_cast<Fn>(qxdynlib::getSymbol(library, name, status));
}

// An operation whose function is absent fails without calling anything.
bool available(const void* function, const char* name, qxerr::Status* status) {
    if (function) {
        return true;
    }
    if (status && qxerr::setCode(*status, qxerr::qxapalerr_resourceNotFound)) {
        char* cursor = qxerr::reportOpen(*status);
        if (cursor) qxerr::reportAddString(*status, cursor, "qxqpxi_unavailable", name);
    }
    return false;
}

}  // namespace

DynamicQPXILibrary::DynamicQPXILibrary(qxerr::Status& status) { load(status); }

DynamicQPXILibrary::DynamicQPXILibrary() {
    qxerr::Status ignored;
    load(ignored);
}

DynamicQPXILibrary::~DynamicQPXILibrary() { qxdynlib::unloadLibrary(library_); }

void DynamicQPXILibrary::load(qxerr::Status& status) {
    if (status.isFatal()) {
        return;
    }
    library_ = qxdynlib::loadLibrary(kLibraryName, kLoadFlags, status);
    if (!library_) {
        return;
    }
    // After a failed lookup the status holds an error and the rest stay null.
    resolve(library_, "qxqpxi_openPXISession", openPXISession_, status);
    resolve(library_, "qxqpxi_openChassisByNumber", openChassisByNumber_, status);
    resolve(library_, "qxqpxi_openSlotByNumber", openSlotByNumber_, status);
    resolve(library_, "qxqpxi_openDeviceByAddr", openDeviceByAddr_, status);
    resolve(library_, "qxqpxi_openContainingItem", openContainingItem_, status);
    resolve(library_, "qxqpxi_getU32Attribute", getU32Attribute_, status);
    resolve(library_, "qxqpxi_getStringAttribute", getStringAttribute_, status);
    resolve(library_, "qxqpxi_getItemContainer", getItemContainer_, status);
    resolve(library_, "qxqpxi_duplicateItemContainer", duplicateItemContainer_, status);
    resolve(library_, "qxqpxi_ItemIterator_begin", itemIteratorBegin_, status);
    resolve(library_, "qxqpxi_ItemIterator_nextItem", itemIteratorNextItem_, status);
    resolve(library_, "qxqpxi_ItemIterator_end", itemIteratorEnd_, status);
    resolve(library_, "qxqpxi_destroyItemContainer", destroyItemContainer_, status);
    resolve(library_, "qxqpxi_duplicate", duplicate_, status);
    resolve(library_, "qxqpxi_close", close_, status);
    resolve(library_, "qxqpxi_waitForSessionInvalidation", waitForSessionInvalidation_, status);
    resolve(library_, "qxqpxi_cancelWaitForInvalidation", cancelWaitForInvalidation_, status);
}

Handle DynamicQPXILibrary::openPXISession(uint32_t value, qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(openPXISession_), "qxqpxi_openPXISession",
                   status)) {
        return 0;
    }
    return openPXISession_(value, status);
}

Handle DynamicQPXILibrary::openChassisByNumber(Handle session, uint32_t number,
                                               qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(openChassisByNumber_),
                   "qxqpxi_openChassisByNumber", status)) {
        return 0;
    }
    return openChassisByNumber_(session, number, status);
}

Handle DynamicQPXILibrary::openSlotByNumber(Handle handle, uint32_t number,
                                            qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(openSlotByNumber_), "qxqpxi_openSlotByNumber",
                   status)) {
        return 0;
    }
    return openSlotByNumber_(handle, number, status);
}

Handle DynamicQPXILibrary::openDeviceByAddr(Handle session, const PciAddress* address,
                                            qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(openDeviceByAddr_), "qxqpxi_openDeviceByAddr",
                   status)) {
        return 0;
    }
    return openDeviceByAddr_(session, address, status);
}

Handle DynamicQPXILibrary::openContainingItem(Handle handle, uint32_t kind,
                                              qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(openContainingItem_),
                   "qxqpxi_openContainingItem", status)) {
        return 0;
    }
    return openContainingItem_(handle, kind, status);
}

uint32_t DynamicQPXILibrary::getU32Attribute(Handle handle, uint32_t attribute,
                                             qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(getU32Attribute_), "qxqpxi_getU32Attribute",
                   status)) {
        return 0;
    }
    return getU32Attribute_(handle, attribute, status);
}

const char* DynamicQPXILibrary::getStringAttribute(Handle handle, uint32_t attribute,
                                                   qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(getStringAttribute_),
                   "qxqpxi_getStringAttribute", status)) {
        return nullptr;
    }
    return getStringAttribute_(handle, attribute, status);
}

Handle DynamicQPXILibrary::getItemContainer(Handle handle, uint32_t kind, qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(getItemContainer_), "qxqpxi_getItemContainer",
                   status)) {
        return 0;
    }
    return getItemContainer_(handle, kind, status);
}

Handle DynamicQPXILibrary::duplicateItemContainer(Handle container, qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(duplicateItemContainer_),
                   "qxqpxi_duplicateItemContainer", status)) {
        return 0;
    }
    return duplicateItemContainer_(container, status);
}

Position DynamicQPXILibrary::itemIteratorBegin(Handle container, qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(itemIteratorBegin_), "qxqpxi_ItemIterator_begin",
                   status)) {
        return 0;
    }
    return itemIteratorBegin_(container, status);
}

Handle DynamicQPXILibrary::itemIteratorNextItem(Handle container, Position* position,
                                                qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(itemIteratorNextItem_),
                   "qxqpxi_ItemIterator_nextItem", status)) {
        return 0;
    }
    return itemIteratorNextItem_(container, position, status);
}

Position DynamicQPXILibrary::itemIteratorEnd(Handle container, qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(itemIteratorEnd_), "qxqpxi_ItemIterator_end",
                   status)) {
        return 0;
    }
    return itemIteratorEnd_(container, status);
}

void DynamicQPXILibrary::destroyItemContainer(Handle container) {
    if (destroyItemContainer_) {
        destroyItemContainer_(container);
    }
}

Handle DynamicQPXILibrary::duplicate(Handle handle, qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(duplicate_), "qxqpxi_duplicate", status)) {
        return 0;
    }
    return duplicate_(handle, status);
}

void DynamicQPXILibrary::close(Handle handle) {
    if (close_) {
        close_(handle);
    }
}

uint32_t DynamicQPXILibrary::waitForSessionInvalidation(Handle session, uint32_t value,
                                                        qxerr::Status* status) {
    if (!available(reinterpret_cast<const void*>(waitForSessionInvalidation_),
                   "qxqpxi_waitForSessionInvalidation", status)) {
        return 0;
    }
    return waitForSessionInvalidation_(session, value, status);
}

void DynamicQPXILibrary::cancelWaitForInvalidation(Handle session) {
    if (cancelWaitForInvalidation_) {
        cancelWaitForInvalidation_(session);
    }
}

}  // namespace qxqpxi
