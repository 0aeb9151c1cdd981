// SPDX-License-Identifier: MIT
#include "qxserialconfig/Application.h"

#include "platform/qxapal/trace/tSystemLog.h"

namespace qxserialconfig {

void Application::resolved(std::string node, std::string identifier) {
    node_ = std::move(node);
    identifier_ = std::move(identifier);
}

void Application::logApplied() const noexcept { log(true, nullptr); }

void Application::logFailed(const char* reason) const noexcept { log(false, reason); }

void Application::log(bool applied, const char* reason) const noexcept {
    try {
        qxapal::tLogLine line(applied ? "Port settings applied" : "Port settings not applied");
        line.field("event", "applied").field("port", portName_);
        if (!node_.empty()) line.field("node", node_).field("section", identifier_);
        for (const auto& [key, value] : values_) line.field(key, value);
        line.field("result", applied ? "ok" : "failed");
        if (!applied) line.field("reason", reason ? reason : "");
        line.requester();
        qxapal::writeSystemLog(applied ? qxapal::tLogSeverity::info : qxapal::tLogSeverity::error,
                               line);
    } catch (...) {
        // The trail is an addition: without it the run's outcome stands as it is.
    }
}

}  // namespace qxserialconfig
