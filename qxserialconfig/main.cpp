// SPDX-License-Identifier: MIT
// qxserialconfig --port port-name --config-file config-file-path
//
// Applies the stored configuration of one serial port to the driver. Every message goes to
// standard error; the exit status is 0 when every request was applied and 1 otherwise. Each
// run that gets past its command line also leaves one line in the system log.

#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "platform/qxerr/Status.h"
#include "qxserialconfig/Application.h"
#include "qxserialconfig/Arguments.h"
#include "qxserialconfig/Port.h"
#include "shared/qx561x/cIniDataStore.h"
#include "shared/qx561x/cPropertyAccessorFactory.h"

const char qxerr::kComponent[] = "qxserialconfig";

namespace {

constexpr const char* kUsage =
    "Usage: qxserialconfig --port port-name --config-file config-file-path";

void writeLine(const char* text) { std::cerr << text << std::endl; }

void usageError(const char* message) {
    writeLine(message);
    writeLine(kUsage);
}

using qx561x::cIniDataStore;

int run(int argc, char** argv, std::optional<qxserialconfig::Application>& application) {
    qxserialconfig::Arguments args;
    if (const char* error = qxserialconfig::parseArguments(argc, argv, args)) {
        usageError(error);
        return 1;
    }
    application.emplace(args.portName);

    // The port is resolved before the files are read, so an unknown port is what gets
    // reported even when the configuration path is wrong too.
    std::unique_ptr<qx561x::iPortPropertyAccessor> accessor =
        qx561x::cPropertyAccessorFactory().createPortPropertyAccessor(args.portName);
    // A pipe is a fair configuration file for one run: --config-file <(printf ...).
    cIniDataStore store(args.configPath, cIniDataStore::Source::RegularFileOrPipe);

    const std::string identifier = accessor->getPortIdentifier();
    const std::string node = accessor->getPortDevicePath();
    application->resolved(node, identifier);
    qxserialconfig::Port port(node);

    const uint32_t rx = store.getFifoRxDepth(identifier);
    application->sending(cIniDataStore::kFifoRxDepthKey, rx);
    port.setRxFifoTriggerLevel(rx);
    const uint32_t tx = store.getFifoTxDepth(identifier);
    application->sending(cIniDataStore::kFifoTxDepthKey, tx);
    port.setTxFifoFillLevel(tx);
    if (!accessor->isRs232()) {
        const uint32_t mode = store.getRs485TransceiverMode(identifier);
        application->sending(cIniDataStore::kRs485TransceiverModeKey, mode);
        port.setRs485WireMode(mode);
    }
    return 0;
}

}  // namespace

// The system log hears of the outcome after standard error has, and changes neither it
// nor the exit status.
int main(int argc, char** argv) {
    std::optional<qxserialconfig::Application> application;
    try {
        const int status = run(argc, argv, application);
        if (application) application->logApplied();
        return status;
    } catch (const std::exception& e) {
        writeLine(e.what());
        if (application) application->logFailed(e.what());
    } catch (...) {
        if (application) application->logFailed("");
    }
    return 1;
}
