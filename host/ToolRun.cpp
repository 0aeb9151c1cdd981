// SPDX-License-Identifier: MIT
#include "host/ToolRun.h"

#include <cstring>

#include "host/StopRequest.h"
#include "platform/qxafa/ToolRunner.h"
#include "shared/qx561x/ConfigurationTool.h"

namespace qxhost {
namespace {

using Ending = qxafa::ToolRunner::Ending;

constexpr std::size_t kReportLimit = 64 * 1024;

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string withReason(const std::string& report, const std::string& reason) {
    return report.empty() ? reason : report + "\n" + reason;
}

std::string signalText(int signal) {
    const char* name = ::sigabbrev_np(signal);
    return "qxserialconfig was ended by signal " + std::to_string(signal) +
           (name ? std::string(" (SIG") + name + ")" : "");
}

}  // namespace

ToolRun runTool(const std::string& portPath, const StopRequest& stop) {
    constexpr std::chrono::milliseconds timeLimit = qx561x::kConfigurationToolTimeLimit;
    qxafa::ToolRunner runner(timeLimit, qxafa::ToolRunner::Output::Captured);
    runner.captureAtMost(kReportLimit).giveUpWhen([&stop] { return stop.requested(); });
    const qxafa::ToolRunner::Result run = runner.run(
        qx561x::configurationToolArguments(qx561x::kConfigurationToolPath, portPath, kConfigurationPath));
    const std::string report = trimmed(run.output);
    switch (run.ending) {
    case Ending::Exited:
        return {run.value, report};
    case Ending::NotStarted:
        return {std::nullopt, std::string("qxserialconfig could not be started: ") + std::strerror(run.value)};
    case Ending::Signalled:
        return {std::nullopt, withReason(report, signalText(run.value))};
    case Ending::TimedOut:
        return {std::nullopt, withReason(report, "qxserialconfig did not end within " +
                                                     std::to_string(timeLimit.count() / 1000) + " s and was killed")};
    case Ending::Lost:
        return {std::nullopt, withReason(report, "qxserialconfig was lost")};
    case Ending::GivenUp:
        break;
    }
    throw Stopped{};
}

}  // namespace qxhost
