// SPDX-License-Identifier: MIT
#pragma once
// Symbolic errno names as they appear in board files and the journal.

#include <optional>
#include <string>

namespace qxsim {

// "EINVAL" for EINVAL; "E<number>" for a value without a name.
std::string errnoName(int error);

// EINVAL for "EINVAL"; nothing for a name that is not an errno.
std::optional<int> errnoFromName(const std::string& name);

}  // namespace qxsim
