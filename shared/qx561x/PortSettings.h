// SPDX-License-Identifier: MIT
#pragma once
// The built-in port settings: what the configuration store yields when no file gives a
// value, and what a port publishes as its defaults.

#include <cstdint>

namespace qx561x {

constexpr uint32_t kBuiltInFifoRxDepth = 64;
constexpr uint32_t kBuiltInFifoTxDepth = 128;
constexpr uint32_t kBuiltInRs485TransceiverMode = 3;

}  // namespace qx561x
