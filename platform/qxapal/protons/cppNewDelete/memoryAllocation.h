// SPDX-License-Identifier: MIT
#pragma once
// The platform layer's allocator: failures go into a status instead of throwing.

#include <cstddef>

#include "platform/qxapal/tStatus.h"

namespace qxapal {

// At least `size` bytes (a zero size still gives a distinct block), or null with
// qxapalerr_memoryFull set in status. Does nothing and returns null once status holds
// an error.
void* allocate(std::size_t size, tStatus* status);
// Releases a block from allocate; null is ignored.
void deallocate(void* block);

}  // namespace qxapal
