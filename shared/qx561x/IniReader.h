// SPDX-License-Identifier: MIT
#pragma once
// The INI reader of Boost's property tree, without its stream: the same tree and the same
// errors (boost::property_tree::ini_parser_error, with the reader's message and line) for
// every text. Blanks are what the global locale calls spaces, as for a string stream.

#include <string_view>

#include <boost/property_tree/ptree.hpp>

namespace qx561x {

boost::property_tree::ptree readIni(std::string_view text);

}  // namespace qx561x
