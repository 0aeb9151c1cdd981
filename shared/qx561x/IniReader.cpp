// SPDX-License-Identifier: MIT
#include "shared/qx561x/IniReader.h"

#include <algorithm>
#include <locale>
#include <string>

#include <boost/property_tree/ini_parser.hpp>

namespace qx561x {
namespace {

using boost::property_tree::ptree;

// The stream's reader trims every line, key and value through a locale facet looked up for
// each character, in strings of their own; a listing reads a file with a line per setting.
class Blanks {
public:
    Blanks() : ctype_(std::use_facet<std::ctype<char>>(locale_)) {}

    std::string_view trimmed(std::string_view text) const {
        std::size_t first = 0;
        while (first < text.size() && isSpace(text[first])) ++first;
        if (first == text.size()) return {};
        std::size_t last = text.size() - 1;
        while (isSpace(text[last])) --last;
        return text.substr(first, last + 1 - first);
    }

private:
    bool isSpace(char c) const { return ctype_.is(std::ctype_base::space, c); }

    const std::locale locale_;
    const std::ctype<char>& ctype_;
};

[[noreturn]] void fail(const char* message, unsigned long line) {
    throw boost::property_tree::ini_parser_error(message, "", line);
}

}  // namespace

ptree readIni(std::string_view text, tIniLines* lines) {
    const Blanks blanks;
    ptree local;
    ptree* section = nullptr;
    std::string sectionName;
    unsigned long lineNumber = 0;
    for (std::size_t start = 0; start <= text.size();) {
        ++lineNumber;
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = blanks.trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            // A section left empty is dropped again.
            if (section && section->empty()) local.pop_back();
            const std::size_t close = line.find(']');
            if (close == std::string_view::npos) fail("unmatched '['", lineNumber);
            std::string name(blanks.trimmed(line.substr(1, close - 1)));
            if (local.find(name) != local.not_found()) fail("duplicate section name", lineNumber);
            if (lines) {
                lines->sections.emplace(name, lineNumber);
                sectionName = name;
            }
            section = &local.push_back(ptree::value_type(std::move(name), ptree()))->second;
            continue;
        }
        ptree& container = section ? *section : local;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) fail("'=' character not found in line", lineNumber);
        if (equals == 0) fail("key expected", lineNumber);
        std::string key(blanks.trimmed(line.substr(0, equals)));
        if (container.find(key) != container.not_found()) fail("duplicate key name", lineNumber);
        if (lines) lines->keys.emplace(std::make_pair(sectionName, key), lineNumber);
        ptree value(std::string(blanks.trimmed(line.substr(equals + 1))));
        container.push_back(ptree::value_type(std::move(key), std::move(value)));
    }
    if (section && section->empty()) local.pop_back();
    return local;
}

}  // namespace qx561x
