// SPDX-License-Identifier: MIT
#pragma once
// A walk over a directory tree as the enumerators need it: depth first, each directory's
// entries in the order the file system lists them, a directory before its contents,
// symbolic links listed but not followed. It costs what find costs: one open and a few
// reads per directory, no stat unless the file system leaves the entry type open.

#include <functional>
#include <string>

namespace qx561x {

// The entry's full path (the root, "/" unless the root ends in one, the names below it)
// and the offset of its own name within that path.
using DeviceTreeVisitor = std::function<void(const std::string& path, std::size_t nameOffset)>;

// Throws qxerr::Exception (qxapalerr_osFault, with the errno) when the root or a
// directory below it cannot be opened or read; the entries visited before stay visited.
// Exceptions of the visitor end the walk and pass through.
void walkDeviceTree(const std::string& root, const DeviceTreeVisitor& visit);

}  // namespace qx561x
