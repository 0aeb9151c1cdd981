#pragma once
// Writes the simulated machine: the driver's per-board directories (seen as
// /proc/driver/qx), the device tree (seen as /sys/devices) and one plain file per port node
// (bound into /dev).

#include "sim/Board.h"

#include <string>
#include <utility>
#include <vector>

namespace qxsim {

class TreeBuilder {
public:
    explicit TreeBuilder(const BoardSet& boards);

    // Creates root/proc (for /proc/driver) and root/sys (for /sys/devices).
    void buildTrees(const std::string& root) const;

    // Replaces the contents of dir with one empty file per port, named as in /dev.
    void buildPortNodes(const std::string& dir) const;

    // The files of a board's device directory (paths below /sys/devices) with their contents.
    static std::vector<std::pair<std::string, std::string>> deviceFiles(const Board& board);

private:
    void buildDriverDirectory(const std::string& proc, const Board& board) const;
    void buildDeviceDirectory(const std::string& sys, const Board& board) const;
    void buildFiller(const std::string& sys) const;

    const BoardSet& boards_;
};

}  // namespace qxsim
