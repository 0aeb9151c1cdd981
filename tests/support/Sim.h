// SPDX-License-Identifier: MIT
#pragma once
// Runs commands under qxsim, the simulated serial driver, for system tests.
//
//   qxtest::BoardFile boards;
//   boards.board("a").set("model", "PCIe-5611/8 (RS-485) Interface").set("address", "0000:03:00.0");
//   qxtest::Sim sim(boards);              // own state directory, removed with the object
//   qxtest::RunResult r = sim.run({"/usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig",
//                                  "--port", "/sys/devices/pci0000:00/0000:03:00.0/tty/ttyQX561xPort0",
//                                  "--config-file", "/etc/qxserial/configuration.ini"});
//   EXPECT_EQ(r.status, 0) << r.err;
//   EXPECT_EQ(sim.ports().at("ttyQX561xPort0").rx, "64");
//   EXPECT_EQ(sim.journal().at(0).result, "ok");
//
// Sim() simulates qxsim's default boards; Sim::withFile(QX_TEST_DATA_DIR "/x.ini") a
// scenario file. Runs of one Sim share its state, so /etc/qxserial, the port table and the
// journal carry over from one run to the next. The tool and the plug-in inside are the ones
// built in this build tree unless setTool() or setPlugin() names another file.
//
// Boards come and go while a run is under way: a board set("present", "no") starts
// unplugged; sim.plug("b") and sim.unplug("b"), called from another thread while run()
// waits, make it appear or vanish (inside, a command may run qxsim plug itself).

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace qxtest {

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;  // exit status; 128 + N when signal N ended the process
};

// One line of "qxsim ports"; values as printed, "-" when never set.
struct PortState {
    std::string board;
    std::string rx;
    std::string tx;
    std::string rs485;  // flags word in hexadecimal, e.g. "0x11"
    unsigned requests = 0;
};

// One line of "qxsim journal", e.g. {"ttyQX561xPort4", "rx", "64", "ok"}.
struct JournalLine {
    std::string port;
    std::string request;  // "rx", "tx" or "rs485"
    std::string value;    // the level, or the record as "0x11,0,0,0,0,0,0,0"
    std::string result;   // "ok" or an errno name such as "EINVAL"
};
bool operator==(const JournalLine& a, const JournalLine& b);
std::ostream& operator<<(std::ostream& out, const JournalLine& line);  // as qxsim prints it

// A board file built in a few calls; sections come out in the order they were added.
class BoardFile {
public:
    class Section {
    public:
        Section& set(const std::string& key, const std::string& value);

    private:
        friend class BoardFile;
        std::string header_;
        std::vector<std::pair<std::string, std::string>> keys_;
    };

    Section& board(const std::string& name);
    BoardFile& filler(unsigned directories);
    // Appended as it is: for files that are meant to be wrong.
    BoardFile& raw(const std::string& text);

    std::string text() const;

private:
    std::vector<Section> sections_;
    std::string raw_;
};

class Sim {
public:
    Sim();  // qxsim's default boards
    explicit Sim(const BoardFile& boards);
    static Sim withFile(const std::string& boardFilePath);
    Sim(Sim&& other) noexcept;
    Sim& operator=(Sim&&) = delete;
    Sim(const Sim&) = delete;
    ~Sim();

    void setTool(const std::string& path) { tool_ = path; }
    void setPlugin(const std::string& path) { plugin_ = path; }

    // Runs command under the simulator.
    RunResult run(const std::vector<std::string>& command) const;
    // Runs script with /bin/sh -c under the simulator.
    RunResult shell(const std::string& script) const;

    std::map<std::string, PortState> ports() const;  // by port name
    std::vector<JournalLine> journal() const;         // oldest first
    // What was sent to /dev/log inside, oldest first: "daemon.notice Dec  9 10:29:34
    // qxserial[7]: ..." (qxsim log).
    std::vector<std::string> systemLog() const;

    // Board NAME of the board file appears in, or vanishes from, the simulation running
    // now (qxsim plug / unplug from outside it); throws std::runtime_error when qxsim fails.
    void plug(const std::string& board) const;
    void unplug(const std::string& board) const;

    const std::string& stateDir() const { return stateDir_; }
    const std::string& boardFile() const { return boardFile_; }  // empty for the default boards

    // Runs qxsim itself with exactly these arguments (no state directory added).
    static RunResult qxsim(const std::vector<std::string>& args);
    static std::string qxsimPath();
    static std::string toolPath();  // the tool of this build tree

private:
    Sim(std::string boardFileText, bool useDefault);

    TempDir dir_;
    std::string stateDir_;
    std::string boardFile_;
    std::string tool_;
    std::string plugin_;
};

// A shell function for scripts that start a qxhost watch: "awake FILE NODE" sets the
// receive level of port NODE through $HOST again and again, a new value each time, until
// the watch that writes FILE has printed a line. A watch hears of changes only once its
// plug-in has taken its first listing and its sink is set, and nothing outside shows when
// that is: so the script asks until the watch answers. Lines about NODE may follow.
inline constexpr char kAwakeFunction[] = R"sh(
awake() {
    _i=0
    until [ -s "$1" ]; do
        _i=$((_i % 100 + 1)); $HOST set "$2" rx=$_i > /dev/null
        for _ in 1 2 3 4 5 6 7 8 9 10; do [ -s "$1" ] && break; sleep 0.1; done
    done
}
)sh";

// Runs a program directly (not under the simulator) and collects its output.
RunResult runProgram(const std::vector<std::string>& argv);

}  // namespace qxtest
