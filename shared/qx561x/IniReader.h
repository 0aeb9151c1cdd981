// SPDX-License-Identifier: MIT
#pragma once
// The INI reader of Boost's property tree, without its stream: the same tree and the same
// errors (boost::property_tree::ini_parser_error, with the reader's message and line) for
// every text. Blanks are what the global locale calls spaces, as for a string stream.

#include <map>
#include <string>
#include <string_view>
#include <utility>

#include <boost/property_tree/ptree.hpp>

namespace qx561x {

// Where each section and key of a text stands, from line 1; keys outside any section are
// under section "".
struct tIniLines {
    std::map<std::string, unsigned long> sections;
    std::map<std::pair<std::string, std::string>, unsigned long> keys;
};

// lines, when given, receives where each section and key stands.
boost::property_tree::ptree readIni(std::string_view text, tIniLines* lines = nullptr);

}  // namespace qx561x
