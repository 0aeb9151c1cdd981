// SPDX-License-Identifier: MIT
// qxsim: runs a command in a private view of the system in which simulated boards stand in
// for the serial driver, and answers the driver's requests itself.

#include "platform/qxerr/Status.h"
#include "sim/BoardFileParser.h"
#include "sim/CommandProcess.h"
#include "sim/DefaultBoards.h"
#include "sim/Driver.h"
#include "sim/Hotplug.h"
#include "sim/LockFile.h"
#include "sim/PortNodes.h"
#include "sim/PortTable.h"
#include "sim/Sandbox.h"
#include "sim/StateDir.h"
#include "sim/Supervisor.h"
#include "sim/SystemError.h"
#include "sim/SystemLog.h"
#include "sim/TreeBuilder.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qxsim;

const char qxerr::kComponent[] = "qxsim";

namespace {

constexpr int kUsageError = 2;

const char kUsage[] = R"(usage: qxsim [--boards FILE] [--state DIR] [--tool PATH] [--plugin PATH] -- COMMAND [ARG...]
       qxsim ports   [--state DIR]
       qxsim journal [--state DIR]
       qxsim log     [--state DIR]
       qxsim plug    NAME [--state DIR]
       qxsim unplug  NAME [--state DIR]
       qxsim release NAME [--state DIR]

Runs COMMAND in a private mount namespace (inside a user namespace when not root) in which
/proc/driver/qx, /sys/devices, /sys/bus/pci/devices and /dev show simulated boards, and
answers the driver's requests (RX and TX FIFO levels, TIOCSRS485) on the simulated port
nodes, and keeps what is sent to the system log (/dev/log) inside.

  --boards FILE  board file (INI); without it a built-in set of three boards is used.
                 Sections "[board NAME]" with keys address (required), model or
                 device-id, vendor-id, parent, slot-path, serial, first-port, ports,
                 missing, hold (property files that hold a reader: see below),
                 bytes.<property path>, refuse (e.g. "tx:EIO rs485:ENOTTY"),
                 present (yes, or no to start unplugged), bus-link (none to
                 leave out the board's /sys/bus/pci/devices link, or the target
                 it holds instead of the board's directory); "[tree]" with filler
                 (extra directories under /sys/devices).
                 parent elements may hold any byte but '/' and NUL (never "." or
                 ".."); in its value write a line break as \n, a tab as \t, a
                 backslash as \\ and any byte as \xHH, e.g. \x3b for a ';' after
                 a blank (which would start a comment) or \x20 for a blank at an end.
                 A held property file is a FIFO: a read of it waits until something
                 opens it for writing (which waits for the reader: "exec 3>FILE" in
                 a shell returns once a reader is held) and gets what that writes,
                 or its usual content from "qxsim release".
  --state DIR    state directory: port nodes, /etc changes (so /etc/qxserial
                 survives between runs), port table, journal and system log.
                 Default: /tmp/qxsim-<uid>, kept between runs. qxsim marks the
                 directories it makes (or finds empty) as its own and refuses any
                 other: it never deletes what it did not make.
  --tool PATH    program shown at /usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig.
                 Default: ../qxserialconfig/qxserialconfig beside qxsim, if built.
  --plugin PATH  library shown at /usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so.
                 Default: ../qx561xsae/libqx561xsae.so beside qxsim, if built.

  ports    prints each simulated port: NAME board=B rx=N tx=N rs485=0xF requests=N
           ("-" for a value never set; requests counts refused ones too)
  journal  prints each request, oldest first: NAME rx|tx LEVEL RESULT, or
           NAME rs485 W0,W1,...,W7 RESULT (RESULT is "ok" or the errno name)
  log      prints each message sent to /dev/log inside, oldest first: FACILITY.SEVERITY
           then the message as sent after its priority (control bytes as \xHH)
  plug     makes board NAME of the running simulation appear: its /proc/driver/qx
           directory, its device tree, its /sys/bus/pci/devices link and then its
           /dev nodes, as the kernel adds them (inotify on /dev inside sees them);
           unplug makes them vanish, the /dev nodes last.
  release  makes the held property files of board NAME ordinary files again and
           gives their content to a reader that waits on one (a shell that holds
           one open for writing closes it after).
           Run these inside the simulation or outside it, while it runs (exit
           status 1 when none runs). Nothing in /etc/qxserial changes.

Exit status: COMMAND's (128 + N when signal N ended it); 2 for a bad command line,
board file or state directory; 125 when the simulation cannot be set up; 126/127 when
COMMAND cannot run.
)";

struct Options {
    enum class Mode { Run, Ports, Journal, Log, Plug, Unplug, Release, Help } mode = Mode::Run;
    std::optional<std::string> board;  // plug, unplug and release
    std::optional<std::string> boards;
    std::optional<std::string> state;
    std::optional<std::string> tool;
    std::optional<std::string> plugin;
    std::vector<std::string> command;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct NoSuchBoard : std::runtime_error {
    using std::runtime_error::runtime_error;
};

Options parseArguments(const std::vector<std::string>& args) {
    Options options;
    static const std::map<std::string, Options::Mode> commands = {
        {"ports", Options::Mode::Ports}, {"journal", Options::Mode::Journal}, {"log", Options::Mode::Log},
        {"plug", Options::Mode::Plug}, {"unplug", Options::Mode::Unplug}, {"release", Options::Mode::Release}};
    size_t i = 0;
    if (!args.empty() && commands.count(args[0])) options.mode = commands.at(args[i++]);
    const bool takesBoard = options.mode == Options::Mode::Plug || options.mode == Options::Mode::Unplug ||
                            options.mode == Options::Mode::Release;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.mode = Options::Mode::Help;
            return options;
        }
        if (arg == "--" && options.mode == Options::Mode::Run) {
            options.command.assign(args.begin() + long(i) + 1, args.end());
            break;
        }
        if (takesBoard && !options.board && arg.rfind("-", 0) != 0) {
            options.board = arg;
            continue;
        }
        std::optional<std::string>* target = arg == "--state" ? &options.state : nullptr;
        if (options.mode == Options::Mode::Run && arg == "--boards") target = &options.boards;
        if (options.mode == Options::Mode::Run && arg == "--tool") target = &options.tool;
        if (options.mode == Options::Mode::Run && arg == "--plugin") target = &options.plugin;
        if (!target) throw UsageError("unexpected argument '" + arg + "'");
        if (++i == args.size()) throw UsageError(arg + " needs a value");
        *target = args[i];
    }
    if (options.mode == Options::Mode::Run && options.command.empty()) throw UsageError("no command given after --");
    if (takesBoard && !options.board) throw UsageError("no board name given");
    return options;
}

StateDir openState(const Options& options) {
    StateDir state(options.state.value_or(StateDir::defaultRoot()));
    state.create();
    return state;
}

int printTable(const Options& options) {
    // Reading must not leave a directory behind where nothing was simulated.
    StateDir state(options.state.value_or(StateDir::defaultRoot()));
    state.open();
    LockFile lock(state.lockFile(), LockFile::Mode::Shared);
    if (options.mode == Options::Mode::Ports) {
        std::cout << PortTable::load(state.portsFile()).format();
    } else {
        std::ifstream kept(options.mode == Options::Mode::Log ? state.systemLogFile() : state.journalFile());
        if (kept) std::cout << kept.rdbuf();
    }
    return std::cout.flush() ? 0 : 1;
}

// With the state locked throughout, so that two of them, or a starting simulation, never meet.
int changeRunningBoard(const Options& options) {
    StateDir state(options.state.value_or(StateDir::defaultRoot()));
    try {
        state.open();
    } catch (const std::runtime_error&) {
        throw NotRunning("no simulation is running in " + state.root());
    }
    LockFile lock(state.lockFile(), LockFile::Mode::Exclusive);
    const BoardSet boards = BoardFileParser::parseFile(state.boardsFile());
    const auto board = std::find_if(boards.boards.begin(), boards.boards.end(),
                                    [&](const Board& b) { return b.name == *options.board; });
    if (board == boards.boards.end())
        throw NoSuchBoard("the running simulation has no board '" + *options.board + "'");
    joinSimulation(state);
    if (options.mode == Options::Mode::Plug) {
        plugBoard(state, *board);
    } else if (options.mode == Options::Mode::Unplug) {
        unplugBoard(state, *board);
    } else {
        TreeBuilder::releaseHeld(TreeBuilder::driverDirectory(state.treesDir(), *board), *board);
    }
    return 0;
}

// A file given on the command line, or else the one built beside qxsim, if any.
std::optional<std::string> resolveBuilt(const std::optional<std::string>& given, const char* option,
                                        const char* beside) {
    if (given) {
        if (!fs::is_regular_file(*given)) throw UsageError(std::string(option) + " " + *given + ": no such file");
        return fs::canonical(*given).string();
    }
    const fs::path built = fs::read_symlink("/proc/self/exe").parent_path() / beside;
    if (!fs::is_regular_file(built)) return std::nullopt;
    return fs::canonical(built).string();
}

// The board file's text, kept in the state directory for plug and unplug.
std::string boardFileText(const Options& options) {
    return options.boards ? BoardFileParser::readFile(*options.boards) : defaultBoardsText();
}

void keepBoardFile(const StateDir& state, const std::string& text) {
    const std::string temporary = state.boardsFile() + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc | std::ios::binary);
        if (!(out << text).flush()) throw std::runtime_error("cannot write " + temporary);
    }
    check(std::rename(temporary.c_str(), state.boardsFile().c_str()), "replace " + state.boardsFile());
}

void resetPortTable(const BoardSet& boards, const StateDir& state) {
    LockFile lock(state.lockFile(), LockFile::Mode::Exclusive);
    PortTable table = PortTable::load(state.portsFile());
    table.adopt(boards);
    table.save(state.portsFile());
}

int runSimulation(const Options& options) {
    const std::string text = boardFileText(options);
    const BoardSet boards = BoardFileParser(options.boards.value_or(kDefaultBoardsName)).parse(text);
    const std::optional<std::string> tool =
        resolveBuilt(options.tool, "--tool", "../qxserialconfig/qxserialconfig");
    const std::optional<std::string> plugin =
        resolveBuilt(options.plugin, "--plugin", "../qx561xsae/libqx561xsae.so");
    StateDir state = openState(options);
    const std::optional<LockFile> running = LockFile::tryExclusive(state.runLockFile());
    if (!running) throw std::runtime_error("state directory " + state.root() + " is in use by another qxsim");

    TreeBuilder(boards).buildPortNodes(state.devDir());
    resetPortTable(boards, state);
    keepBoardFile(state, text);
    const Sandbox sandbox(state, boards, tool, plugin);
    sandbox.prepare();
    const PortNodes nodes(boards, state);
    Driver driver(state);

    // Signals arrive through a descriptor, so the supervisor never runs a handler.
    sigset_t handled, original;
    sigemptyset(&handled);
    for (int signal : {SIGCHLD, SIGTERM, SIGHUP, SIGINT, SIGQUIT}) sigaddset(&handled, signal);
    check(::sigprocmask(SIG_BLOCK, &handled, &original), "block signals");
    qxafa::UniqueFd signals(check(::signalfd(-1, &handled, SFD_NONBLOCK | SFD_CLOEXEC), "create signalfd"));
    check(::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0), "become subreaper");

    // plug and unplug wait for the namespace to be published.
    std::optional<LockFile> setup(std::in_place, state.lockFile(), LockFile::Mode::Exclusive);
    CommandProcess command(sandbox, options.command, original);
    qxafa::UniqueFd listener = command.receiveListener();
    SystemLog log(state, listener ? command.receiveSystemLog() : qxafa::UniqueFd());
    std::optional<NamespaceAnchor> anchor;
    try {
        if (listener) anchor.emplace(state, command.pid());
    } catch (const std::exception& error) {
        std::cerr << "qxsim: warning: boards cannot be plugged or unplugged: " << error.what() << "\n";
    }
    setup.reset();
    command.start();
    return Supervisor(std::move(listener), std::move(signals), command.pid(), nodes, driver, log).run();
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
        switch (options.mode) {
            case Options::Mode::Help: std::cout << kUsage; return 0;
            case Options::Mode::Ports:
            case Options::Mode::Journal:
            case Options::Mode::Log: return printTable(options);
            case Options::Mode::Plug:
            case Options::Mode::Unplug:
            case Options::Mode::Release: return changeRunningBoard(options);
            case Options::Mode::Run: return runSimulation(options);
        }
    } catch (const UsageError& error) {
        std::cerr << "qxsim: " << error.what() << "\n" << kUsage;
        return kUsageError;
    } catch (const BoardFileError& error) {
        std::cerr << "qxsim: " << error.what() << "\n";
        return kUsageError;
    } catch (const StateDirError& error) {
        std::cerr << "qxsim: " << error.what() << "\n";
        return kUsageError;
    } catch (const NoSuchBoard& error) {
        std::cerr << "qxsim: " << error.what() << "\n";
        return kUsageError;
    } catch (const NotRunning& error) {
        std::cerr << "qxsim: " << error.what() << "\n";
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "qxsim: " << error.what() << "\n";
        return CommandProcess::kSetupFailed;
    }
    return CommandProcess::kSetupFailed;
}
