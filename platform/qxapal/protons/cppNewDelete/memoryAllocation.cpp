// SPDX-License-Identifier: MIT
#include "platform/qxapal/protons/cppNewDelete/memoryAllocation.h"

#include <cstdlib>

namespace qxapal {
namespace {

constexpr qxerr::SourceLocation kNoMemory{"qxapal/protons/cppNewDelete/memoryAllocation", 329,
                                          qxerr::kComponent, "qxapalerr_memoryFull"};

}  // namespace

void* allocate(std::size_t size, tStatus* status) {
    if (status != nullptr && status->isFatal()) {
        return nullptr;
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        setCodeWithFileLine(status, qxerr::qxapalerr_memoryFull, kNoMemory);
    }
    return block;
}

void deallocate(void* block) { std::free(block); }

}  // namespace qxapal
