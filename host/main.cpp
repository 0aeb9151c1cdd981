// SPDX-License-Identifier: MIT
// qxhost: loads the serial plug-in as a host framework does and gives people its boards and
// ports on the command line.

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/Commands.h"
#include "host/HostError.h"
#include "sysapicpp/HResultException.h"

const char qxerr::kComponent[] = "qxhost";

namespace {

using namespace qxhost;

constexpr char kUsage[] =
    "usage: qxhost [--plugin PATH] list [--json]\n"
    "       qxhost [--plugin PATH] show NAME... [--json]\n"
    "       qxhost [--plugin PATH] set NAME KEY=VALUE... [--dry-run]\n"
    "       qxhost [--plugin PATH] watch [--count N] [--timeout SECONDS] [--json]\n"
    "NAME: an item name, a port node (/dev/ttyQX561xPort4), a device-tree path, or a board's\n"
    "PCI address. KEY: rx (RxFifoDepth), tx (TxFifoDepth), mode (Rs485TransceiverMode).\n"
    "Exit status: 0 success, 1 a plug-in call failed, 2 a bad command line.\n";

std::string optionValue(int argc, char** argv, int& i) {
    if (i + 1 >= argc) throw UsageError(std::string(argv[i]) + " needs a value");
    return argv[++i];
}

// Whole text as a number of the type, or a usage error naming the option.
template <class T>
T parseNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    const bool whole = std::is_integral<T>::value ? text.find_first_not_of("0123456789") == std::string::npos
                                                  : true;
    if (text.empty() || *end != '\0' || errno != 0 || value < 0 || !whole || value > 1e12)
        throw UsageError(option + " needs a non-negative number, got \"" + text + "\"");
    return static_cast<T>(value);
}

Options parse(int argc, char** argv) {
    Options options;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument == "--plugin") {
            options.plugin = optionValue(argc, argv, i);
        } else if (!optionsEnded && argument == "--json") {
            options.json = true;
        } else if (!optionsEnded && argument == "--dry-run") {
            options.dryRun = true;
        } else if (!optionsEnded && argument == "--count") {
            options.count = parseNumber<int64_t>(argument, optionValue(argc, argv, i));
        } else if (!optionsEnded && argument == "--timeout") {
            options.timeout = parseNumber<double>(argument, optionValue(argc, argv, i));
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            throw UsageError("unknown option " + argument);
        } else if (options.command.empty()) {
            options.command = argument;
        } else {
            options.arguments.push_back(argument);
        }
    }
    const std::string& c = options.command;
    if (c.empty()) throw UsageError("no command");
    if (c != "list" && c != "show" && c != "set" && c != "watch")
        throw UsageError("unknown command " + c);
    if (options.dryRun && c != "set") throw UsageError("--dry-run belongs to set");
    if ((options.count >= 0 || options.timeout >= 0) && c != "watch")
        throw UsageError("--count and --timeout belong to watch");
    if (options.json && c == "set") throw UsageError("--json does not apply to set");
    if (c == "list" && !options.arguments.empty()) throw UsageError("list takes no NAME");
    return options;
}

int run(const Options& options, const sigset_t& stopSignals) {
    PluginSession session(options.plugin);
    if (options.command == "list") return runList(session, options);
    if (options.command == "show") return runShow(session, options);
    if (options.command == "set") return runSet(session, options);
    return runWatch(session, options, stopSignals);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options options;
    try {
        options = parse(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "qxhost: %s\nRun 'qxhost --help' for usage.\n", e.what());
        return 2;
    }
    // Stop signals wait until the plug-in has been shut down in order; the plug-in's threads
    // inherit the mask. Output to a closed pipe becomes an error, not a death.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, signal);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    int status = 1;
    try {
        status = run(options, stopSignals);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "qxhost: %s\n", e.what());
        status = 2;
    } catch (const HostError& e) {
        std::fprintf(stderr, "qxhost: %s\n", e.what());
    } catch (const sysapicpp::HResultException& e) {
        std::fprintf(stderr, "qxhost: reading a property failed: %s\n", describeResult(e.getCode()).c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qxhost: %s\n", e.what());
    }
    // A stop signal during any other command is honoured once the plug-in is shut down.
    const timespec noWait{0, 0};
    const int pending = ::sigtimedwait(&stopSignals, nullptr, &noWait);
    if (pending > 0 && options.command != "watch") status = 128 + pending;
    return status;
}
