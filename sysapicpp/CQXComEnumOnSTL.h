// SPDX-License-Identifier: MIT
#pragma once
// Enumerators over standard containers, handed to the host: item names and tags.

#include <cstdint>
#include <iterator>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/qx/dsc/HostString.h"
#include "sysapicpp/CQXComObject.h"

// Copy policies: how an element of a collection becomes an element the host owns.
struct QXCopyPropertyTag {
    static sysapicpp::HRESULT copy(uint32_t* to, const uint32_t& from) {
        *to = from;
        return sysapicpp::S_OK;
    }
    static void destroy(uint32_t*) {}
};

struct QXCopyHostString {
    static sysapicpp::HRESULT copy(wchar_t** to, const std::wstring& from) {
        try {
            *to = qx::dsc::allocHostString(from.c_str(), from.size());
        } catch (const std::bad_alloc&) {
            *to = nullptr;
        }
        return *to ? sysapicpp::S_OK : sysapicpp::E_OUTOFMEMORY;
    }
    static void destroy(wchar_t** p) {
        qx::dsc::freeHostString(*p);
        *p = nullptr;
    }
};

// Next, Skip and Reset over a collection that someone else keeps alive: either the
// enumerator itself (owner null) or the counted owner.
template <class Base, class Element, class Copy, class Collection>
class IQXEnumOnSTLImpl : public Base {
public:
    sysapicpp::HRESULT Next(uint32_t count, Element* array, uint32_t* fetched) override {
        if (!array || (!fetched && count != 1)) return sysapicpp::E_POINTER;
        if (!collection_) return sysapicpp::E_FAIL;
        uint32_t copied = 0;
        auto it = position_;
        for (; copied < count && it != collection_->end(); ++it, ++copied) {
            const sysapicpp::HRESULT hr = Copy::copy(&array[copied], *it);
            if (sysapicpp::failed(hr)) {
                // Nothing was handed out, so the position stays where it was.
                for (uint32_t i = 0; i < copied; ++i) Copy::destroy(&array[i]);
                if (fetched) *fetched = 0;
                return hr;
            }
        }
        position_ = it;
        if (fetched) *fetched = copied;
        return copied == count ? sysapicpp::S_OK : sysapicpp::S_FALSE;
    }

    sysapicpp::HRESULT Skip(uint32_t count) override {
        if (!collection_) return sysapicpp::E_FAIL;
        for (; count > 0; --count, ++position_) {
            if (position_ == collection_->end()) return sysapicpp::S_FALSE;
        }
        return sysapicpp::S_OK;
    }

    sysapicpp::HRESULT Reset() override {
        if (!collection_) return sysapicpp::E_FAIL;
        position_ = collection_->begin();
        return sysapicpp::S_OK;
    }

protected:
    IQXEnumOnSTLImpl() = default;
    ~IQXEnumOnSTLImpl() {
        if (owner_) owner_->Release();
    }

    // owner: counted while this enumerator lives; null when the enumerator owns the
    // collection itself.
    void init(IUnknown* owner, const Collection* collection,
              typename Collection::const_iterator position) {
        if (owner) owner->AddRef();
        if (owner_) owner_->Release();
        owner_ = owner;
        collection_ = collection;
        position_ = position;
    }

    IUnknown* owner_ = nullptr;
    const Collection* collection_ = nullptr;
    typename Collection::const_iterator position_{};
};

template <class Base, const IID* piid, class Element, class Copy, class Collection>
class CQXComEnumOnSTL : public IQXEnumOnSTLImpl<Base, Element, Copy, Collection>,
                        public virtual CQXComObjectRootEx<CQXComMultiThreadModelNoCS> {
public:
    static const QXInterfaceMapEntry* interfaceMap() {
        static const QXInterfaceMapEntry map[] = {
            {piid, qxOffsetOfClass<Base, CQXComEnumOnSTL>()},
            {nullptr, 0},
        };
        return map;
    }

    // Over a collection kept alive by owner (counted here).
    sysapicpp::HRESULT Init(IUnknown* owner, const Collection& collection) {
        this->init(owner, &collection, collection.begin());
        return sysapicpp::S_OK;
    }

    sysapicpp::HRESULT Clone(Base** out) override {
        if (!out) return sysapicpp::E_POINTER;
        *out = nullptr;
        auto* copy = CQXComObject<CQXComEnumOnSTL>::createInstance();
        if (!copy) return sysapicpp::E_OUTOFMEMORY;
        IUnknown* owner = this->owner_ ? this->owner_ : static_cast<Base*>(this);
        copy->init(owner, this->collection_, this->position_);
        copy->AddRef();
        *out = copy;
        return sysapicpp::S_OK;
    }
};

// An enumerator that owns its collection, positioned at the first element.
template <class Base, const IID* piid, class Element, class Copy, class Collection>
class CQXComEnumOwning : public CQXComEnumOnSTL<Base, piid, Element, Copy, Collection> {
public:
    explicit CQXComEnumOwning(Collection items) : items_(std::move(items)) {
        this->init(nullptr, &items_, items_.begin());
    }

    // A new enumerator with one reference for the caller.
    static sysapicpp::HRESULT create(Collection items, Base** out) {
        if (!out) return sysapicpp::E_POINTER;
        *out = nullptr;
        try {
            auto* object = CQXComObject<CQXComEnumOwning>::createInstance(std::move(items));
            if (!object) return sysapicpp::E_OUTOFMEMORY;
            object->AddRef();
            *out = object;
            return sysapicpp::S_OK;
        } catch (const std::bad_alloc&) {
            return sysapicpp::E_OUTOFMEMORY;
        }
    }

private:
    Collection items_;
};

template <class Collection = std::vector<std::wstring>>
using CcxSysEnumItemNamesSTL = CQXComEnumOwning<IcxSysEnumStringList, &IID_IcxSysEnumStringList,
                                                wchar_t*, QXCopyHostString, Collection>;

template <class Collection = std::set<uint32_t>>
using CcxSysEnumPropertyTagsSTL =
    CQXComEnumOwning<IcxSysEnumPropertyTag, &IID_IcxSysEnumPropertyTag, uint32_t,
                     QXCopyPropertyTag, Collection>;
