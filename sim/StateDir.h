// SPDX-License-Identifier: MIT
#pragma once
// The directory that holds a simulated machine: the port nodes, the upper layers of the
// overlays (so /etc/qxserial survives between runs), the port table, the journal and the
// system log. The
// driver's trees are rebuilt by every run on a tmpfs mounted over trees/ inside the
// namespace, so the host's disk never holds (or has to delete) tens of thousands of them.

#include <stdexcept>
#include <string>

namespace qxsim {

// A state directory that qxsim did not make and will not touch (exit status 2).
class StateDirError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class StateDir {
public:
    explicit StateDir(std::string root);

    // Per user, in /tmp, so that "qxsim ports" after a run finds that run's state.
    static std::string defaultRoot();

    // Creates the directory if needed and marks it as the simulator's own; takes an empty
    // one over the same way, and refuses (StateDirError) any other directory without the
    // mark, so that nothing qxsim did not make is ever deleted. Refuses a default
    // directory that belongs to someone else. Makes the root absolute.
    void create();

    // For readers: an existing, marked directory, or std::runtime_error.
    void open();

    const std::string& root() const { return root_; }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    std::string markFile() const { return path(".qxsim-state"); }
    std::string lockFile() const { return path("lock"); }
    std::string runLockFile() const { return path("run.lock"); }
    std::string portsFile() const { return path("ports"); }
    std::string boardsFile() const { return path("boards.ini"); }  // the running simulation's boards
    std::string runFile() const { return path("run"); }            // where its namespaces are held
    std::string journalFile() const { return path("journal"); }
    std::string systemLogFile() const { return path("syslog"); }  // what was sent to /dev/log
    std::string treesDir() const { return path("trees"); }
    std::string devDir() const { return path("dev"); }
    std::string hostDevDir() const { return path("host-dev"); }
    std::string etcUpper() const { return path("etc/upper"); }
    std::string etcWork() const { return path("etc/work"); }
    std::string libUpper() const { return path("lib/upper"); }
    std::string libWork() const { return path("lib/work"); }

private:
    bool isMarked() const;
    void mark() const;

    std::string root_;
};

}  // namespace qxsim
