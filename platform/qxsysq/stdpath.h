// SPDX-License-Identifier: MIT
#pragma once
// The installation's standard directories: fixed defaults that an optional relocation
// library may move. Built once per process.

#include <string>

#include "platform/qxerr/Status.h"

namespace qxsysq {

// The "sysconfdir" path. Throws qxerr::Exception when building the table failed or
// the key is missing.
std::string getSysconfDir();

// Copies the key's path into target. Does nothing when the status already holds an
// error; a missing key sets qxapalerr_osFault.
void lookupStandardPath(const char* key, std::string& target, qxerr::Status& status);

}  // namespace qxsysq
