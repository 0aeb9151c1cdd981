// SPDX-License-Identifier: MIT
#pragma once
// What the plug-in has to tell the host's administrator that no result code can say: one
// line on the platform's trace (standard error).

#include <string>

namespace qx561xsae {

// Writes "qx561xsae: " + text + "\n", however long the text.
void traceLine(const std::string& text);

}  // namespace qx561xsae
