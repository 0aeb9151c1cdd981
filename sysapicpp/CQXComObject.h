// SPDX-License-Identifier: MIT
#pragma once
// The COM-like object layer: reference counts, QueryInterface by interface map, and
// the concrete counted form of a class.

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "sysapicpp/HostInterfaces.h"

// One entry per interface a class answers: the identifier and where that interface
// lives inside the object. A map ends with a null identifier; its first entry also
// answers IID_IUnknown.
struct QXInterfaceMapEntry {
    const IID* iid;
    std::ptrdiff_t offset;
};

// Offset of the Base subobject inside a Derived object (Base a non-virtual base).
template <class Base, class Derived>
std::ptrdiff_t qxOffsetOfClass() {
    // Any suitably aligned non-null address will do; the object is never touched.
    constexpr std::uintptr_t kProbe = 0x10000;
    auto* derived = reinterpret_cast<Derived*>(kProbe);
    return static_cast<std::ptrdiff_t>(
        reinterpret_cast<std::uintptr_t>(static_cast<Base*>(derived)) - kProbe);
}

class CQXComObjectRootBase {
public:
    virtual ~CQXComObjectRootBase() = default;
    CQXComObjectRootBase(const CQXComObjectRootBase&) = delete;
    CQXComObjectRootBase& operator=(const CQXComObjectRootBase&) = delete;

protected:
    CQXComObjectRootBase() = default;

    // Both change the count under the process-wide reference-count mutex and return
    // the new count.
    uint32_t internalAddRef();
    uint32_t internalRelease();

    // object: the start of the class whose map is given.
    static sysapicpp::HRESULT internalQueryInterface(void* object,
                                                      const QXInterfaceMapEntry* map,
                                                      const IID& iid, void** out);

private:
    int32_t refCount_ = 0;
};

struct CQXComMultiThreadModelNoCS {};

template <class ThreadModel>
class CQXComObjectRootEx : public CQXComObjectRootBase {};

// T derives from its interfaces and virtually from CQXComObjectRootEx, and supplies
// `static const QXInterfaceMapEntry* interfaceMap()`.
template <class T>
class CQXComObject final : public T {
public:
    template <class... Args>
    explicit CQXComObject(Args&&... args) : T(std::forward<Args>(args)...) {}

    sysapicpp::HRESULT QueryInterface(const IID& iid, void** out) override {
        return CQXComObjectRootBase::internalQueryInterface(static_cast<T*>(this),
                                                            T::interfaceMap(), iid, out);
    }
    uint32_t AddRef() override { return this->internalAddRef(); }
    uint32_t Release() override {
        const uint32_t count = this->internalRelease();
        if (count == 0) delete this;  // outside the count mutex: destructors release others
        return count;
    }

    // A new object holding no reference; null when it cannot be created (memory, or
    // a lock the system refuses).
    template <class... Args>
    static CQXComObject* createInstance(Args&&... args) {
        try {
            return new CQXComObject(std::forward<Args>(args)...);
        } catch (...) {
            return nullptr;
        }
    }
};

// A counted interface pointer for the framework's own use.
template <class I>
class QXComPtr {
public:
    QXComPtr() = default;
    explicit QXComPtr(I* p, bool addRef = true) : p_(p) {
        if (p_ && addRef) p_->AddRef();
    }
    QXComPtr(const QXComPtr& other) : QXComPtr(other.p_) {}
    QXComPtr(QXComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    QXComPtr& operator=(QXComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~QXComPtr() { reset(); }

    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    // Hands the reference over to the caller.
    I* detach() { return std::exchange(p_, nullptr); }
    // For out parameters: releases the current reference first.
    I** receive() {
        reset();
        return &p_;
    }
    I* get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    I* p_ = nullptr;
};
