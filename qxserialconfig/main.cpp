// SPDX-License-Identifier: MIT
// qxserialconfig --port port-name --config-file config-file-path
//
// Applies the stored configuration of one serial port to the driver. Every message goes to
// standard error; the exit status is 0 when every request was applied and 1 otherwise.

#include <exception>
#include <iostream>
#include <memory>
#include <string>

#include "platform/qxerr/Status.h"
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

int run(int argc, char** argv) {
    qxserialconfig::Arguments args;
    if (const char* error = qxserialconfig::parseArguments(argc, argv, args)) {
        usageError(error);
        return 1;
    }

    // The port is resolved before the files are read, so an unknown port is what gets
    // reported even when the configuration path is wrong too.
    std::unique_ptr<qx561x::iPortPropertyAccessor> accessor =
        qx561x::cPropertyAccessorFactory().createPortPropertyAccessor(args.portName);
    // A pipe is a fair configuration file for one run: --config-file <(printf ...).
    qx561x::cIniDataStore store(args.configPath, qx561x::cIniDataStore::Source::RegularFileOrPipe);

    const std::string identifier = accessor->getPortIdentifier();
    qxserialconfig::Port port(accessor->getPortDevicePath());

    port.setRxFifoTriggerLevel(store.getFifoRxDepth(identifier));
    port.setTxFifoFillLevel(store.getFifoTxDepth(identifier));
    if (!accessor->isRs232()) {
        port.setRs485WireMode(store.getRs485TransceiverMode(identifier));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        writeLine(e.what());
    } catch (...) {
    }
    return 1;
}
