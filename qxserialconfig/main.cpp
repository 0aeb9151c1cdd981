// qxserialconfig --port port-name --config-file config-file-path
//
// Applies the stored configuration of one serial port to the driver. Every message goes to
// standard error; the exit status is 0 when every request was applied and 1 otherwise.

#include <exception>
#include <iostream>
#include <memory>
#include <string>

#include "platform/qxerr/Status.h"
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

struct Arguments {
    std::string portName;
    std::string configPath;
};

// Options are matched whole and case-sensitively; the next argument is always the value.
bool parseArguments(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc;) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--port" && hasValue) {
            args.portName = argv[i + 1];
        } else if (option == "--config-file" && hasValue) {
            args.configPath = argv[i + 1];
        } else {
            usageError("Incorrect argument.");
            return false;
        }
        i += 2;
    }
    if (args.portName.empty() || args.configPath.empty()) {
        usageError("Insufficient arguments.");
        return false;
    }
    return true;
}

int run(int argc, char** argv) {
    Arguments args;
    if (!parseArguments(argc, argv, args)) {
        return 1;
    }

    // The port is resolved before the files are read, so an unknown port is what gets
    // reported even when the configuration path is wrong too.
    std::unique_ptr<qx561x::iPortPropertyAccessor> accessor =
        qx561x::cPropertyAccessorFactory().createPortPropertyAccessor(args.portName);
    qx561x::cIniDataStore store(args.configPath);

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
