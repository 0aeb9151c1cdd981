// SPDX-License-Identifier: MIT
#pragma once
// Calls an interface's operations by slot number, as the host does: through the
// function table, without the C++ class.

#include <cstddef>

template <class R, class... A>
R callSlot(void* iface, std::size_t slot, A... args) {
    void* const* table = *static_cast<void* const* const*>(iface);
    auto function = reinterpret_cast<R (*)(void*, A...)>(table[slot]);
    return function(iface, args...);
}
