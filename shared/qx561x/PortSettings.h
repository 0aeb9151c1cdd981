// SPDX-License-Identifier: MIT
#pragma once
// The port settings as the model defines them: the built-in values (what the configuration
// store yields when no file gives a value, and what a port publishes as its defaults) and
// the RS-485 transceiver modes, each with its name, its meaning and the flags word the
// driver takes for it. Everything that names, bounds or sends a mode reads it here.

#include <linux/serial.h>

#include <array>
#include <cstdint>
#include <string_view>

namespace qx561x {

constexpr uint32_t kBuiltInFifoRxDepth = 64;
constexpr uint32_t kBuiltInFifoTxDepth = 128;
constexpr uint32_t kBuiltInRs485TransceiverMode = 3;

struct tRs485Mode {
    uint32_t value;       // as stored and published
    const char* name;     // as people type it
    const char* meaning;  // in words
    uint32_t flags;       // serial_rs485.flags
};

using tRs485ModeTable = std::array<tRs485Mode, 4>;

// In value order, from 0.
inline constexpr tRs485ModeTable kRs485Modes = {{
    {0, "off", "RS-485 off", 0},
    {1, "rx-during-tx", "enabled, receiver on while sending", SER_RS485_ENABLED | SER_RS485_RX_DURING_TX},
    {2, "enabled", "enabled", SER_RS485_ENABLED},
    {3, "rts-on-send", "enabled, RTS on send", SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND},
}};

constexpr uint32_t kLowestRs485Mode = kRs485Modes.front().value;
constexpr uint32_t kHighestRs485Mode = kRs485Modes.back().value;

// Null for a value that is no mode.
constexpr const tRs485Mode* findRs485Mode(uint32_t value) {
    return value < kRs485Modes.size() ? &kRs485Modes[value] : nullptr;
}

// Null for a name that is no mode's; names are matched exactly.
constexpr const tRs485Mode* findRs485Mode(std::string_view name) {
    for (const tRs485Mode& mode : kRs485Modes)
        if (name == mode.name) return &mode;
    return nullptr;
}

constexpr bool valuesAreIndices() {
    for (uint32_t i = 0; i < kRs485Modes.size(); ++i)
        if (kRs485Modes[i].value != i) return false;
    return true;
}
static_assert(valuesAreIndices(), "a mode's value is its place in the table");
static_assert(kBuiltInRs485TransceiverMode <= kHighestRs485Mode, "the built-in mode is a mode");

}  // namespace qx561x
