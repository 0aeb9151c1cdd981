#pragma once
// The directory that holds a simulated machine: the driver's trees, the port nodes, the
// upper layers of the overlays (so /etc/qxserial survives between runs), the port table and
// the journal.

#include <string>

namespace qxsim {

class StateDir {
public:
    explicit StateDir(std::string root);

    // Per user, in /tmp, so that "qxsim ports" after a run finds that run's state.
    static std::string defaultRoot();

    // Creates the directory if needed; refuses a default directory that belongs to
    // someone else. Makes the root absolute.
    void create();

    const std::string& root() const { return root_; }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    std::string lockFile() const { return path("lock"); }
    std::string runLockFile() const { return path("run.lock"); }
    std::string portsFile() const { return path("ports"); }
    std::string journalFile() const { return path("journal"); }
    std::string procDir() const { return path("proc"); }
    std::string sysDir() const { return path("sys"); }
    std::string devDir() const { return path("dev"); }
    std::string hostDevDir() const { return path("host-dev"); }
    std::string etcUpper() const { return path("etc/upper"); }
    std::string etcWork() const { return path("etc/work"); }
    std::string libUpper() const { return path("lib/upper"); }
    std::string libWork() const { return path("lib/work"); }

private:
    std::string root_;
};

}  // namespace qxsim
