// SPDX-License-Identifier: MIT
// The INI store. The input gives a main file, a defaults file and a run of settings
// (identifier, key, value). The store's reader makes of each file the tree Boost's INI
// reader makes, or fails with its message and line. Loading refuses exactly the files the
// INI reader refuses and
// otherwise every getter agrees with a plain reading of the two trees; saving either
// refuses and leaves the file as it was, or writes a file that reads back as the old
// entries plus the new values. Identifiers of the form real ones have are never refused.

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <boost/property_tree/ini_parser.hpp>

#include "platform/qxerr/Exception.h"
#include "shared/qx561x/IniReader.h"
#include "shared/qx561x/cIniDataStore.h"
#include "tests/fuzz/Fuzz.h"
#include "tests/support/TempDir.h"

namespace {

using boost::property_tree::ptree;
using qx561x::cIniDataStore;
using qxfuzz::Input;

struct Key {
    const char* name;
    uint32_t builtIn;
    uint32_t (cIniDataStore::*get)(const std::string&) const;
    void (cIniDataStore::*set)(const std::string&, uint32_t);
};
const Key kKeys[] = {
    {"FifoRxDepth", 64, &cIniDataStore::getFifoRxDepth, &cIniDataStore::setFifoRxDepth},
    {"FifoTxDepth", 128, &cIniDataStore::getFifoTxDepth, &cIniDataStore::setFifoTxDepth},
    {"Rs485TransceiverMode", 3, &cIniDataStore::getRs485TransceiverMode,
     &cIniDataStore::setRs485TransceiverMode},
};

const qxtest::TempDir& directory() {
    static const qxtest::TempDir dir(qxtest::TempDir::memoryBackedBase());
    return dir;
}
const std::string& mainPath() {
    static const std::string path = directory().file("configuration.ini");
    return path;
}
const std::string& defaultsPath() {
    static const std::string path = directory().file("configuration_defaults.ini");
    return path;
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::optional<std::string>& text) {
    ::unlink(path.c_str());
    if (text) std::ofstream(path, std::ios::binary) << *text;
}

std::optional<ptree> parse(const std::optional<std::string>& text) {
    if (!text) return ptree();
    // The store skips a UTF-8 byte-order mark at the start.
    const std::string kMark = "\xEF\xBB\xBF";
    std::istringstream in(text->compare(0, kMark.size(), kMark) == 0 ? text->substr(kMark.size())
                                                                     : *text);
    ptree tree;
    try {
        boost::property_tree::ini_parser::read_ini(in, tree);
    } catch (const boost::property_tree::ini_parser_error&) {
        return std::nullopt;
    }
    return tree;
}

// The store's reader against Boost's, on the whole text.
bool readsAsBoost(const std::string& text) {
    using boost::property_tree::ini_parser_error;
    std::optional<ptree> expected, got;
    std::string expectedError, gotError;
    try {
        std::istringstream in(text);
        ptree tree;
        boost::property_tree::ini_parser::read_ini(in, tree);
        expected = tree;
    } catch (const ini_parser_error& e) {
        expectedError = e.message() + "@" + std::to_string(e.line());
    }
    try {
        got = qx561x::readIni(text);
    } catch (const ini_parser_error& e) {
        gotError = e.message() + "@" + std::to_string(e.line());
    }
    return got == expected && gotError == expectedError;
}

// Blanks around, an optional '+', decimal digits, at most 32 bits.
std::optional<uint32_t> number(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    if (begin < end && text[begin] == '+') ++begin;
    if (begin == end) return std::nullopt;
    uint64_t value = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
        value = value * 10 + uint64_t(text[i] - '0');
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return uint32_t(value);
}

// The text at section / key, names taken whole.
std::optional<std::string> entry(const ptree& tree, const std::string& section,
                                 const std::string& key) {
    const auto s = tree.find(section);
    if (s == tree.not_found()) return std::nullopt;
    const auto k = s->second.find(key);
    if (k == s->second.not_found()) return std::nullopt;
    return k->second.data();
}

uint32_t expectedValue(const ptree& main, const ptree& defaults, const std::string& id,
                       const Key& key) {
    if (const auto text = entry(main, id, key.name))
        if (const auto value = number(*text)) return *value;
    if (const auto text = entry(defaults, "defaults", key.name))
        if (const auto value = number(*text)) return *value;
    return key.builtIn;
}

// Entries in file order: keys at file level, then each section's keys.
struct Entry {
    bool fileLevel;
    std::string section;
    std::string key;
    std::string value;
    bool operator==(const Entry& o) const {
        return fileLevel == o.fileLevel && section == o.section && key == o.key && value == o.value;
    }
    bool operator<(const Entry& o) const {
        return std::tie(fileLevel, section, key, value) <
               std::tie(o.fileLevel, o.section, o.key, o.value);
    }
};
using Entries = std::vector<Entry>;

Entries entriesOf(const ptree& tree) {
    Entries entries;
    for (const auto& [name, node] : tree)
        if (node.empty()) entries.push_back({true, "", name, node.data()});
    for (const auto& [name, node] : tree)
        for (const auto& [key, value] : node) entries.push_back({false, name, key, value.data()});
    return entries;
}

// A value set in place, or a key added after its section's last one, or a section after
// all others.
void put(Entries& entries, const std::string& section, const std::string& key,
         const std::string& value) {
    auto end = entries.end();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->fileLevel || it->section != section) continue;
        if (it->key == key) {
            it->value = value;
            return;
        }
        end = it + 1;
    }
    entries.insert(end, Entry{false, section, key, value});
}

// Shaped like a real port identifier ("qx561x:7a9c:4.15:1").
bool plain(const std::string& id) {
    if (id.empty()) return false;
    for (const char c : id)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != ':' && c != '.' && c != '-' &&
            c != '_')
            return false;
    return true;
}

std::set<std::string> directoryEntries() {
    std::set<std::string> names;
    if (DIR* dir = ::opendir(directory().path().c_str())) {
        while (const dirent* e = ::readdir(dir)) names.insert(e->d_name);
        ::closedir(dir);
    }
    names.erase(".");
    names.erase("..");
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Input in(data, size);
    const uint8_t flags = in.byte();
    std::optional<std::string> mainText, defaultsText;
    if (flags & 1) mainText = in.bytes(in.value<uint16_t>() % 2048);
    if (flags & 2) defaultsText = in.bytes(in.value<uint16_t>() % 1024);
    struct Setting {
        std::string id;
        const Key* key;
        uint32_t value;
    };
    std::vector<Setting> settings;
    while (!in.empty()) {
        std::string id = in.text();
        const Key* key = &kKeys[in.byte() % 3];
        settings.push_back({std::move(id), key, in.value<uint32_t>()});
    }
    for (const auto& text : {mainText, defaultsText})
        if (text) FUZZ_CHECK(readsAsBoost(*text));
    writeFile(mainPath(), mainText);
    writeFile(defaultsPath(), defaultsText);
    const std::set<std::string> files = directoryEntries();

    // Load.
    const auto mainTree = parse(mainText);
    const auto defaultsTree = parse(defaultsText);
    std::optional<cIniDataStore> loaded;
    try {
        loaded.emplace(mainPath());
    } catch (const boost::property_tree::ini_parser_error&) {
    }
    FUZZ_CHECK(loaded.has_value() == (mainTree && defaultsTree));
    if (loaded) {
        std::vector<std::string> ids{"defaults"};
        for (const auto& section : *mainTree) ids.push_back(section.first);
        for (const Setting& s : settings) ids.push_back(s.id);
        for (const std::string& id : ids)
            for (const Key& key : kKeys)
                FUZZ_CHECK(((*loaded).*key.get)(id) ==
                           expectedValue(*mainTree, *defaultsTree, id, key));
    }

    // Save: onto what was loaded, or from an empty store.
    cIniDataStore store = (flags & 4) && loaded ? *loaded : cIniDataStore();
    Entries expected = mainTree ? entriesOf(*mainTree) : Entries();
    bool mustSave = mainTree.has_value();
    bool clashed = false;
    for (const Setting& s : settings) {
        (store.*s.key->set)(s.id, s.value);
        put(expected, s.id, s.key->name, std::to_string(s.value));
        // A file-level key of that name cannot stay beside the section: the merge gives the
        // node the section's empty value, so the key is either refused with its section
        // or taken over by it, in the section's place.
        const bool clash =
            mainTree && mainTree->count(s.id) && mainTree->find(s.id)->second.empty();
        if (clash) {
            clashed = true;
            expected.erase(
                std::remove_if(expected.begin(), expected.end(),
                               [&](const Entry& e) { return e.fileLevel && e.key == s.id; }),
                expected.end());
        }
        mustSave = mustSave && plain(s.id) && !clash;
    }
    bool saved = true;
    try {
        store.save(mainPath());
    } catch (const qxerr::Exception& e) {
        FUZZ_CHECK(e.getCode() == qxerr::qxapalerr_invalidParameter);
        saved = false;
    } catch (const boost::property_tree::ini_parser_error&) {
        saved = false;
    }
    FUZZ_CHECK(saved || !mustSave);
    FUZZ_CHECK(!saved || mainTree);
    std::set<std::string> after = files;
    after.insert("configuration.ini");  // made by a save that refuses late
    FUZZ_CHECK(directoryEntries() == files || directoryEntries() == after);
    const auto written = readFile(mainPath());
    if (!saved) {
        FUZZ_CHECK(written.value_or("") == mainText.value_or(""));
        return 0;
    }
    const auto reread = parse(written);
    FUZZ_CHECK(reread.has_value());
    Entries got = entriesOf(*reread);
    if (clashed) {
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
    }
    FUZZ_CHECK(got == expected);
    writeFile(defaultsPath(), std::nullopt);  // what was saved, alone
    const cIniDataStore back(mainPath());
    for (const Entry& e : expected) {
        for (const Key& key : kKeys)
            if (!e.fileLevel && e.key == key.name)
                FUZZ_CHECK(number(e.value).value_or(key.builtIn) == (back.*key.get)(e.section));
    }
    return 0;
}
