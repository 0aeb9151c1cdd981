// SPDX-License-Identifier: MIT
#include "sysapicpp/propbag/TagIterator.h"

#include "platform/qxerr/Status.h"
#include "sysapicpp/HResultException.h"

namespace sysapicpp {
namespace {

constexpr char kModule[] = "sysapicpp/propbag/TagIterator";
constexpr qxerr::SourceLocation kNextFailed{kModule, 35, qxerr::kComponent, "hr"};

}  // namespace

TagIterator::TagIterator(IcxSysEnumPropertyTag* tags) : tags_(tags) {
    if (tags_) fetch();
}

void TagIterator::fetch() {
    uint32_t fetched = 0;
    const HRESULT hr = tags_->Next(1, &current_, &fetched);
    if (failed(hr)) {
        tags_.reset();
        throw HResultException(hr, kNextFailed.file, kNextFailed.line, kNextFailed.component);
    }
    if (hr != S_OK || fetched == 0) tags_.reset();
}

}  // namespace sysapicpp
