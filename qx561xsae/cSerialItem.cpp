// SPDX-License-Identifier: MIT
#include "qx561xsae/cSerialItem.h"

#include <cstring>

#include "platform/qx/dsc/Guid.h"
#include "qx561xsae/cSerialExpertException.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace qx561xsae {
namespace {

using namespace sysapicpp;

[[noreturn]] void raiseUnimplemented(const char* operation) {
    throw cSerialExpertException(std::string("cSerialItem: Call to unimplemented ") + operation + ".",
                                 E_NOTIMPL);
}

// The item name as GUID text gives the item's GUID; no name of ours is one, so all zero.
// GUID text is ASCII, so the name is read as it is: widened, it would read the same.
GUID guidOfName(const std::string& name) {
    GUID guid{};
    qx::dsc::GUID parsed{};
    if (qx::dsc::tryParseGuid(std::string_view(name), parsed)) std::memcpy(&guid, &parsed, sizeof guid);
    return guid;
}

}  // namespace

cSerialItem::cSerialItem(std::string name, iSerialDataStore* dataStore)
    : name(std::move(name)), dataStore(dataStore), bag(PropertyBagHandle::createEmpty()) {}

int32_t cSerialItem::getTagState(uint32_t) { return kTagStateCurrent; }

void cSerialItem::invalidate() { loaded = false; }

bool cSerialItem::updateTags(const std::vector<uint32_t>&) { return true; }

// An item invalidated between a request's update and this copy still has the values that
// update read; answering with an empty bag would tell the host the item does not exist.
PropertyBagHandle cSerialItem::getPropertyBag() {
    qxapal::CqxCSLock guard(lock);
    if (filled) return bag.clone();
    return tBagAccessor(PropertyBagHandle::createEmpty()).clone();
}

std::string cSerialItem::getName() { return name; }

void cSerialItem::hook() {}

void cSerialItem::renameAlias(const std::string&, bool, std::string& text) {
    text.clear();
    raiseUnimplemented("renameAlias");
}

void cSerialItem::performDeviceReset(int32_t, bool&, std::string&) {
    raiseUnimplemented("performDeviceReset");
}

void cSerialItem::diagnosticSelfTest(int32_t, std::string&) {
    raiseUnimplemented("diagnosticSelfTest");
}

void cSerialItem::diagnosticSelfCalibrate(std::string&) {
    raiseUnimplemented("diagnosticSelfCalibrate");
}

void cSerialItem::fillCommon() {
    if (loaded) return;
    bag.setInt32(Tag0101C000, 1);
    bag.setBool(Tag01001000, true);
    bag.setUInt32(Tag01037000, 0x00170008);
    bag.setBool(Tag01009000, false);
    bag.setInt32(Tag01024000, 1);
    bag.setBool(Tag01054000, false);
    bag.setBool(Tag01028000, false);
    bag.setBool(Tag01038000, false);
    bag.setBool(Tag01020000, false);
    bag.setGuid(ItemGuid, guidOfName(name));
}

}  // namespace qx561xsae
