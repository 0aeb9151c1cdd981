// SPDX-License-Identifier: MIT
#pragma once
// The machine simulated when no board file is given.

namespace qxsim {

// Board-file text: an RS-485 board, an RS-232 board and a PXI board behind a bridge,
// with a gap in the port indices so that index and port number differ.
const char* defaultBoardsText();

constexpr char kDefaultBoardsName[] = "<default boards>";

}  // namespace qxsim
