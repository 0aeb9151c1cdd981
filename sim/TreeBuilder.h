#pragma once
// Writes the simulated machine into the state directory: the driver's per-board
// directories (later seen as /proc/driver/qx), the device tree (later /sys/devices) and one
// plain file per port node (later bound into /dev).

#include "sim/Board.h"
#include "sim/StateDir.h"

#include <string>
#include <vector>

namespace qxsim {

class TreeBuilder {
public:
    TreeBuilder(const BoardSet& boards, const StateDir& state);

    // Replaces whatever an earlier run left.
    void build() const;

private:
    void buildDriverDirectory(const Board& board) const;
    void buildDeviceDirectory(const Board& board) const;
    void buildPortNodes(const Board& board) const;
    void buildFiller() const;

    const BoardSet& boards_;
    const StateDir& state_;
};

}  // namespace qxsim
