// SPDX-License-Identifier: MIT
#include "host/Runner.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "host/Commands.h"
#include "host/ConfigurationCheck.h"
#include "host/HostError.h"
#include "host/JsonPrinter.h"
#include "host/TextPrinter.h"
#include "platform/qxafa/UniqueFd.h"
#include "sysapicpp/HResultException.h"

namespace qxhost {
namespace {

// Long enough for an orderly shutdown of an idle plug-in, short enough for the promise of
// one second on a busy machine.
constexpr std::chrono::milliseconds kShutdownGrace{250};
// The command's thread tells the first one it has ended.
constexpr int kWakeSignal = SIGUSR1;
constexpr int kUsageStatus = 2;
constexpr char kOwnCall[] = "qxhost";

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

void printError(Output& output, ErrorReport report) {
    const std::string foreign = trimmed(output.takeForeignErrors());
    if (!foreign.empty()) report.message += " (the plug-in's standard error: " + foreign + ")";
    output.diagnostic(output.json() ? jsonLine(toJson(report)) : toText(report));
}

ErrorReport reportOf(const std::optional<std::string>& operation, const HostError& error) {
    return ErrorReport{operation, error.call(), error.code(), error.message(), error.name()};
}

// What others wrote to standard error while the JSON was being made stays visible.
void passOnForeignErrors(Output& output) {
    const std::string foreign = trimmed(output.takeForeignErrors());
    if (!foreign.empty()) output.diagnostic(jsonLine(toJson(Warning{std::nullopt, std::nullopt, foreign})));
}

// The plug-in lists no port while a configuration file cannot be read: say so.
void explainMissingItem(Output& output, HostError& error) {
    if (error.code() != sysapicpp::E_SYSAPI_ITEM_NOT_EXIST) return;
    for (const Warning& warning : configurationWarnings()) {
        if (output.json()) {
            error.appendMessage("; " + *warning.file + (warning.line ? ":" + std::to_string(*warning.line) : "") +
                                ": " + warning.message);
        } else {
            output.diagnostic(toText(warning));
        }
    }
}

// Standard descriptors that are closed are opened on /dev/null, so that no file or pipe
// opened later takes one's place (the JSON document went into a pipe meant for the
// plug-in's messages). Standard output is opened read-only: writing to it still fails.
// Says whether standard output was closed.
bool reserveStandardDescriptors() {
    bool outputClosed = false;
    for (int fd : {0, 1, 2}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        qxafa::UniqueFd null(::open("/dev/null", fd == 2 ? O_WRONLY : O_RDONLY));
        if (null && null.get() != fd) ::dup2(null.get(), fd);
        if (null.get() == fd) null.release();
        outputClosed = outputClosed || fd == 1;
    }
    return outputClosed;
}

int dispatch(const Verb& verb, const CommandContext& context) {
    if (!verb.loadsPlugin()) return verb.runAlone(context);
    PluginSession session(context.options.plugin);
    context.stop.check();
    return verb.run(session, context);
}

int execute(const Options& options, Output& output, const StopRequest& stop) {
    const std::optional<std::string> operation = options.command;
    const Verb& verb = *findVerb(options.command);
    try {
        const int status = dispatch(verb, CommandContext{options, output, stop});
        passOnForeignErrors(output);
        return status;
    } catch (const Stopped&) {
        return 1;  // the first thread decides the status
    } catch (const HostFailures& failures) {
        if (output.json()) printError(output, reportOf(operation, failures.whole()));
        else
            for (const HostError& error : failures.each()) printError(output, reportOf(operation, error));
    } catch (HostError& error) {
        if (verb.loadsPlugin()) explainMissingItem(output, error);
        printError(output, reportOf(operation, error));
    } catch (const sysapicpp::HResultException& error) {
        printError(output, ErrorReport{operation, kCallProperty, error.getCode(), "a property cannot be read",
                                       std::nullopt});
    } catch (const std::bad_alloc&) {
        printError(output, ErrorReport{operation, kOwnCall, std::nullopt, "out of memory", std::nullopt});
    } catch (const std::exception& error) {
        printError(output, ErrorReport{operation, kOwnCall, std::nullopt, error.what(), std::nullopt});
    }
    return 1;
}

int usageError(const Options& partial, const UsageError& error) {
    Output output(partial.json);
    const std::optional<std::string> operation =
        partial.command.empty() ? std::nullopt : std::optional<std::string>(partial.command);
    const ErrorReport report{operation, kCallUsage, std::nullopt, error.what(), std::nullopt};
    output.diagnostic(partial.json ? jsonLine(toJson(report))
                                   : toText(report) + "Run 'qxhost --help' for usage.\n");
    return kUsageStatus;
}

}  // namespace

int runQxhost(const std::vector<std::string>& arguments) {
    const bool outputClosed = reserveStandardDescriptors();
    Options options;
    try {
        options = parseCommandLine(arguments, options);
    } catch (const UsageError& error) {
        return usageError(options, error);
    }
    // Output to a closed pipe becomes an error to report, not a death.
    ::signal(SIGPIPE, SIG_IGN);
    if (outputClosed) {
        // Nothing is done that could not be reported.
        Output output(options.json);
        const std::optional<std::string> operation =
            options.help ? std::nullopt : std::optional<std::string>(options.command);
        printError(output, ErrorReport{operation, kCallOutput, std::nullopt, "standard output is closed", std::nullopt});
        return 1;
    }
    if (options.help) {
        Output output(false);
        try {
            output.result(usage());
            return 0;
        } catch (const HostError& error) {
            printError(output, ErrorReport{std::nullopt, error.call(), error.code(), error.message(), error.name()});
            return 1;
        }
    }

    // Blocked before any other thread exists, so that all of them, the plug-in's included,
    // leave these signals to the first thread.
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, kWakeSignal}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    Output output(options.json);
    output.catchForeignErrors();
    StopRequest stop;
    struct Outcome {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        int status = 1;
    } outcome;
    const pthread_t first = pthread_self();
    std::thread command([&] {
        const int status = execute(options, output, stop);
        {
            std::lock_guard<std::mutex> guard(outcome.mutex);
            outcome.status = status;
            outcome.done = true;
        }
        outcome.ended.notify_all();
        pthread_kill(first, kWakeSignal);
    });

    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) continue;
        if (signal == kWakeSignal) {
            std::lock_guard<std::mutex> guard(outcome.mutex);
            if (outcome.done) break;
            continue;
        }
        output.stop();
        stop.request();
        {
            std::unique_lock<std::mutex> guard(outcome.mutex);
            // Everything printed so far went out whole: each write is flushed at once.
            if (!outcome.ended.wait_for(guard, kShutdownGrace, [&] { return outcome.done; })) ::_exit(128 + signal);
        }
        command.join();
        return 128 + signal;
    }
    command.join();
    return outcome.status;
}

}  // namespace qxhost
