// SPDX-License-Identifier: MIT
#pragma once
// Writes the simulated machine: the driver's per-board directories (seen as
// /proc/driver/qx), the device tree (seen as /sys/devices), the kernel's links from PCI
// addresses to it (seen as /sys/bus/pci/devices) and one plain file per port node (bound
// into /dev).

#include "sim/Board.h"

#include <string>
#include <utility>
#include <vector>

namespace qxsim {

class TreeBuilder {
public:
    explicit TreeBuilder(const BoardSet& boards);

    // Creates root/proc (for /proc/driver), root/sys (for /sys/devices) and root/bus (for
    // /sys/bus/pci/devices), with the directories and links of the boards that start
    // plugged in.
    void buildTrees(const std::string& root) const;

    // Replaces the contents of dir with one empty file per port, named as in /dev.
    void buildPortNodes(const std::string& dir) const;

    // Where a board's directories lie below the root of buildTrees.
    static std::string driverDirectory(const std::string& root, const Board& board);
    static std::string deviceDirectory(const std::string& root, const Board& board);
    static std::string busLinkDirectory(const std::string& root);
    // What a board's link holds: as the kernel writes it, relative to its own directory,
    // unless the board file says otherwise.
    static std::string busLinkTarget(const Board& board);

    // Fill dir (made as needed) with a board's driver files, or with its device files.
    static void buildDriverDirectory(const std::string& dir, const Board& board);
    static void buildDeviceDirectory(const std::string& dir, const Board& board);

    // Makes the held files in a board's driver directory dir ordinary files again, and gives
    // their content to a reader that waits on one (whoever holds it open for writing must
    // close it after). Files no longer held are left as they are.
    static void releaseHeld(const std::string& dir, const Board& board);

    // The files of a board's device directory, relative to it, with their contents.
    static std::vector<std::pair<std::string, std::string>> deviceFiles(const Board& board);

private:
    void buildFiller(const std::string& sys) const;

    const BoardSet& boards_;
};

}  // namespace qxsim
