#pragma once
// The directory that holds a simulated machine: the port nodes, the upper layers of the
// overlays (so /etc/qxserial survives between runs), the port table and the journal. The
// driver's trees are rebuilt by every run on a tmpfs mounted over trees/ inside the
// namespace, so the host's disk never holds (or has to delete) tens of thousands of them.

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
    std::string treesDir() const { return path("trees"); }
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
