// SPDX-License-Identifier: MIT
#include "qx561xsae/PluginTrace.h"

#include <algorithm>

#include "platform/qxapal/trace/tTrace.h"
#include "platform/qxerr/Status.h"

namespace qx561xsae {
namespace {

// The trace cuts a single write at 511 characters; a path can be longer.
constexpr std::size_t kPiece = 511;

}  // namespace

void traceLine(const std::string& text) {
    const std::string line = std::string(qxerr::kComponent) + ": " + text + "\n";
    qxapal::tTrace& trace = qxapal::tTrace::instance();
    for (std::size_t done = 0; done < line.size(); done += kPiece)
        trace.write(line.data() + done, std::min(kPiece, line.size() - done));
}

}  // namespace qx561xsae
