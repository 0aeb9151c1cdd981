// SPDX-License-Identifier: MIT
#pragma once
// Input iteration over a tag enumerator; a failing enumerator raises HResultException.

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "sysapicpp/CQXComObject.h"

namespace sysapicpp {

class TagIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = uint32_t;
    using difference_type = std::ptrdiff_t;
    using pointer = const uint32_t*;
    using reference = const uint32_t&;

    // The end.
    TagIterator() = default;
    // At the enumerator's current tag; a null enumerator is the end.
    explicit TagIterator(IcxSysEnumPropertyTag* tags);

    reference operator*() const { return current_; }
    TagIterator& operator++() {
        if (tags_) fetch();
        return *this;
    }
    // Iterators compare equal only when both are at the end.
    bool operator==(const TagIterator& other) const { return !tags_ && !other.tags_; }
    bool operator!=(const TagIterator& other) const { return !(*this == other); }

private:
    void fetch();

    QXComPtr<IcxSysEnumPropertyTag> tags_;
    uint32_t current_ = 0;
};

// for (uint32_t tag : TagRange(enumerator)) ...
class TagRange {
public:
    explicit TagRange(IcxSysEnumPropertyTag* tags) : tags_(tags) {}
    TagIterator begin() const { return TagIterator(tags_.get()); }
    TagIterator end() const { return TagIterator(); }

private:
    QXComPtr<IcxSysEnumPropertyTag> tags_;
};

}  // namespace sysapicpp
