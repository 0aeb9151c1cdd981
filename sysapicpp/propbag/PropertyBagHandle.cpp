// SPDX-License-Identifier: MIT
#include "sysapicpp/propbag/PropertyBagHandle.h"

#include <algorithm>

#include "platform/qx/dsc/HostString.h"
#include "platform/qx/dsc/Utf8.h"
#include "platform/qxerr/Status.h"
#include "sysapicpp/HResultException.h"
#include "sysapicpp/propbag/CcxDynamicPropertyBag.h"

namespace sysapicpp {
namespace {

constexpr char kModule[] = "sysapicpp/propbag/PropertyBagHandle";
constexpr qxerr::SourceLocation kNoBag{kModule, 39, qxerr::kComponent, "E_UNEXPECTED"};
constexpr qxerr::SourceLocation kSetFailed{kModule, 285, qxerr::kComponent, "hr"};
constexpr qxerr::SourceLocation kGetFailed{kModule, 298, qxerr::kComponent, "hr"};

[[noreturn]] void raiseNoBag() {
    throw UnexpectedException(kNoBag.file, kNoBag.line, kNoBag.component);
}

}  // namespace

PropertyBagHandle PropertyBagHandle::fromObject(IUnknown* object) {
    if (!object) raiseNoBag();
    IcxSysPropertyBag4* bag = nullptr;
    if (failed(object->QueryInterface(IID_IcxSysPropertyBag4, reinterpret_cast<void**>(&bag))) ||
        !bag) {
        raiseNoBag();
    }
    PropertyBagHandle handle;
    handle.bag_ = QXComPtr<IcxSysPropertyBag4>(bag, false);
    return handle;
}

PropertyBagHandle PropertyBagHandle::createEmpty() {
    IcxSysPropertyBag4* bag = nullptr;
    checkSet(CcxDynamicPropertyBag::createInstance(&bag));
    PropertyBagHandle handle;
    handle.bag_ = QXComPtr<IcxSysPropertyBag4>(bag, false);
    return handle;
}

IcxSysPropertyBag4& PropertyBagHandle::bag() const {
    if (!bag_) raiseNoBag();
    return *bag_.get();
}

void PropertyBagHandle::checkSet(HRESULT hr) {
    if (failed(hr)) throw HResultException(hr, kSetFailed.file, kSetFailed.line, kSetFailed.component);
}

void PropertyBagHandle::checkGet(HRESULT hr) {
    if (failed(hr)) throw HResultException(hr, kGetFailed.file, kGetFailed.line, kGetFailed.component);
}

bool PropertyBagHandle::hasProperty(uint32_t tag) const {
    const HRESULT hr = bag().HasProperty(tag);
    checkGet(hr);
    return hr == S_OK;
}

int32_t PropertyBagHandle::getPropertyType(uint32_t tag) const {
    int32_t type = 0;
    checkGet(bag().GetPropertyType(tag, &type));
    return type;
}

void PropertyBagHandle::removeProperty(uint32_t tag) const { checkSet(bag().RemoveProperty(tag)); }
void PropertyBagHandle::removeAll() const { checkSet(bag().RemoveAll()); }

bool PropertyBagHandle::getBool(uint32_t tag) const {
    int32_t value = 0;
    checkGet(bag().GetBool(tag, &value));
    return value != 0;
}

int32_t PropertyBagHandle::getInt32(uint32_t tag) const {
    int32_t value = 0;
    checkGet(bag().GetInt32(tag, &value));
    return value;
}

uint32_t PropertyBagHandle::getUInt32(uint32_t tag) const {
    uint32_t value = 0;
    checkGet(bag().GetUInt32(tag, &value));
    return value;
}

double PropertyBagHandle::getDouble(uint32_t tag) const {
    double value = 0;
    checkGet(bag().GetDouble(tag, &value));
    return value;
}

GUID PropertyBagHandle::getGuid(uint32_t tag) const {
    GUID value{};
    checkGet(bag().GetGuid(tag, &value));
    return value;
}

std::wstring PropertyBagHandle::getWideString(uint32_t tag) const {
    qx::dsc::HostStringHolder text;
    checkGet(bag().GetString(tag, text.receive()));
    return std::wstring(text.view());
}

std::string PropertyBagHandle::getString(uint32_t tag) const {
    qx::dsc::HostStringHolder text;
    checkGet(bag().GetString(tag, text.receive()));
    return qx::dsc::toUtf8(text.view());
}

cxSysAttrTimestampUTC PropertyBagHandle::getTimestamp(uint32_t tag) const {
    cxSysAttrTimestampUTC value{};
    checkGet(bag().GetTimestamp(tag, &value));
    return value;
}

void PropertyBagHandle::setBool(uint32_t tag, bool value) const {
    checkSet(bag().SetBool(tag, value ? 1 : 0));
}
void PropertyBagHandle::setInt32(uint32_t tag, int32_t value) const {
    checkSet(bag().SetInt32(tag, value));
}
void PropertyBagHandle::setUInt32(uint32_t tag, uint32_t value) const {
    checkSet(bag().SetUInt32(tag, value));
}
void PropertyBagHandle::setDouble(uint32_t tag, double value) const {
    checkSet(bag().SetDouble(tag, value));
}
void PropertyBagHandle::setGuid(uint32_t tag, const GUID& value) const {
    checkSet(bag().SetGuid(tag, &value));
}
void PropertyBagHandle::setWideString(uint32_t tag, const std::wstring& value) const {
    checkSet(bag().SetString(tag, value.c_str()));
}
void PropertyBagHandle::setString(uint32_t tag, std::string_view utf8) const {
    // An item sets a handful of names and paths on every fill: a short text is widened on
    // the stack rather than in a string of its own.
    constexpr std::size_t kShortText = 256;
    if (utf8.size() >= kShortText) {
        setWideString(tag, qx::dsc::toWide(utf8));
        return;
    }
    wchar_t wide[kShortText];
    std::size_t length = 0;
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        for (char c : utf8) wide[length++] = static_cast<wchar_t>(c);
    } else {
        length = qx::dsc::utf8ToWide(utf8.data(), utf8.data() + utf8.size(), wide, wide + kShortText - 1);
    }
    wide[length] = L'\0';
    checkSet(bag().SetString(tag, wide));
}
void PropertyBagHandle::setTimestamp(uint32_t tag, const cxSysAttrTimestampUTC& value) const {
    checkSet(bag().SetTimestamp(tag, &value));
}

}  // namespace sysapicpp
