// SPDX-License-Identifier: MIT
#include "qx561xsae/AuditLog.h"

#include "platform/qxapal/trace/tSystemLog.h"
#include "shared/qx561x/cIniDataStore.h"

namespace qx561xsae {
namespace {

using qx561x::cIniDataStore;
using qxapal::tLogLine;

tLogLine portLine(const char* sentence, const char* event, const tAuditedPort& port) {
    tLogLine line(sentence);
    line.field("event", event).field("port", port.portName);
    if (!port.node.empty()) line.field("node", port.node);
    if (!port.identifier.empty()) line.field("section", port.identifier);
    return line;
}

}  // namespace

void logStoredChanges(const char* socketPath, const tAuditedPort& port,
                      const std::optional<tStoredSettings>& before,
                      const tPortInfo& after) noexcept try {
    const struct {
        const char* key;
        uint32_t tStoredSettings::*was;
        uint32_t now;
    } settings[] = {
        {cIniDataStore::kFifoRxDepthKey, &tStoredSettings::rxFifoDepth, after.rxFifoDepth},
        {cIniDataStore::kFifoTxDepthKey, &tStoredSettings::txFifoDepth, after.txFifoDepth},
        {cIniDataStore::kRs485TransceiverModeKey, &tStoredSettings::rs485TransceiverMode,
         after.rs485TransceiverMode},
    };
    for (const auto& setting : settings) {
        if (before && (*before).*(setting.was) == setting.now) continue;
        tLogLine line = portLine("Port setting changed", "changed", port);
        line.field("key", setting.key);
        if (before) {
            line.field("before", (*before).*(setting.was));
        } else {
            line.field("before", "unknown");
        }
        line.field("after", setting.now).requester();
        qxapal::writeSystemLog(qxapal::tLogSeverity::notice, line, socketPath);
    }
} catch (...) {
}

void logRefusedChange(const char* socketPath, const tAuditedPort& port,
                      const tRefusal& refusal) noexcept try {
    tLogLine line = portLine("Port setting refused", "refused", port);
    line.field("key", refusal.key)
        .field("value", refusal.value)
        .field("reason", refusal.reason)
        .field("request", refusal.checkOnly ? "check" : "change")
        .requester();
    qxapal::writeSystemLog(qxapal::tLogSeverity::notice, line, socketPath);
} catch (...) {
}

}  // namespace qx561xsae
