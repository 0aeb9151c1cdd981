// SPDX-License-Identifier: MIT
#pragma once
// What the plug-in writes to the system log, whichever host asked: every change it stores
// and every change it refuses. (The tool logs its own applications.)

#include <cstdint>
#include <optional>
#include <string>

#include "qx561xsae/iSerialDataStore.h"

namespace qx561xsae {

// A port's three stored settings.
struct tStoredSettings {
    uint32_t rxFifoDepth = 0;
    uint32_t txFifoDepth = 0;
    uint32_t rs485TransceiverMode = 0;
};

// Where the lines name a port: its port name, node and section (may be empty).
struct tAuditedPort {
    std::string portName;
    std::string node;
    std::string identifier;
};

// One line for each setting of after that differs from before; before is empty when it
// could not be read, and every setting is then logged. socketPath: the system log's. The
// lines are an addition: neither throws, whatever becomes of them.
void logStoredChanges(const char* socketPath, const tAuditedPort& port,
                      const std::optional<tStoredSettings>& before,
                      const tPortInfo& after) noexcept;

void logRefusedChange(const char* socketPath, const tAuditedPort& port,
                      const tRefusal& refusal) noexcept;

}  // namespace qx561xsae
