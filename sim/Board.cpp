// SPDX-License-Identifier: MIT
#include "sim/Board.h"

namespace qxsim {

std::string portName(uint32_t index) { return "ttyQX561xPort" + std::to_string(index); }

}  // namespace qxsim
