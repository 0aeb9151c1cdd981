// SPDX-License-Identifier: MIT
#include "sim/PortNodes.h"

#include "sim/SystemError.h"

#include <string>
#include <sys/stat.h>

namespace qxsim {

PortNodes::PortNodes(const BoardSet& boards, const StateDir& state) {
    for (const Board& board : boards.boards) {
        for (uint32_t index = board.firstPort; index < board.firstPort + board.ports; ++index) {
            const std::string node = state.devDir() + "/" + portName(index);
            struct stat info {};
            check(::stat(node.c_str(), &info), "inspect " + node);
            nodes_[{info.st_dev, info.st_ino}] = PortRef{index, &board};
        }
    }
}

std::optional<PortRef> PortNodes::lookup(pid_t pid, int fd) const {
    if (fd < 0) return std::nullopt;
    // The magic link leads to the open file itself, even across mount namespaces.
    const std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
    struct stat info {};
    if (::stat(link.c_str(), &info) < 0) return std::nullopt;
    const auto found = nodes_.find({info.st_dev, info.st_ino});
    if (found == nodes_.end()) return std::nullopt;
    return found->second;
}

}  // namespace qxsim
