// SPDX-License-Identifier: MIT
#pragma once
// Reads one of the driver's small per-board property files.

#include <cstddef>

#include "platform/qxapal/tStatus.h"

namespace qxapal {

// The most a property read returns; longer files are cut.
constexpr std::size_t kPropertyFileMax = 4096;

// Writes the file's length (at most kPropertyFileMax) to byteCount and, when buffer holds
// that many bytes, copies them without a terminator. No buffer or a short one sets
// qxapalerr_bufferTooSmall with the length still written. Does nothing once status holds an error.
void readPropertyFile(const char* path, void* buffer, std::size_t bufferSize,
                      std::size_t* byteCount, tStatus* status);

}  // namespace qxapal
