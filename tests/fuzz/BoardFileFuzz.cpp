// SPDX-License-Identifier: MIT
// The simulator's board-file parser. Any text is either refused with a BoardFileError
// naming the file and a line that exists, or read into boards that a simulator can build
// (unique names and addresses, port ranges apart, parents that stay below /sys/devices);
// such boards, written back as a board file with every key spelled out, read back the same.

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "sim/BoardFileParser.h"
#include "sim/ErrnoNames.h"
#include "tests/fuzz/Fuzz.h"

namespace {

using namespace qxsim;

const char kFile[] = "boards.ini";

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

// Bytes a path element may not hold as they are come as \xHH.
std::string escaped(const std::string& path) {
    std::string out;
    for (const char c : path) {
        if (std::isalnum(static_cast<unsigned char>(c)) ||
            std::string("_.:+/-").find(c) != std::string::npos) {
            out += c;
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned char>(c));
            out += code;
        }
    }
    return out;
}

std::string write(const BoardSet& set) {
    static const char* const kRequests[] = {"rx", "tx", "rs485"};
    std::ostringstream out;
    for (const Board& b : set.boards) {
        out << "[board " << b.name << "]\n"
            << "device-id=" << hex(b.deviceId) << "\nvendor-id=" << hex(b.vendorId) << "\n"
            << "address=" << b.address << "\nparent=" << escaped(b.parent) << "\n"
            << "slot-path=" << b.slotPath << "\nserial=" << b.serial << "\n"
            << "first-port=" << b.firstPort << "\nports=" << b.ports << "\nmissing=";
        for (const std::string& path : b.missing) out << path << " ";
        out << "\nrefuse=";
        for (const auto& [request, error] : b.refuse)
            out << kRequests[int(request)] << ":" << errnoName(error) << " ";
        out << "\n";
        for (const auto& [path, bytes] : b.bytes) {
            out << "bytes." << path << "=";
            for (const uint8_t byte : bytes) out << hex(byte).substr(2) << " ";
            out << "\n";
        }
    }
    out << "[tree]\nfiller=" << set.filler << "\n";
    return out.str();
}

bool same(const Board& a, const Board& b) {
    return a.name == b.name && a.vendorId == b.vendorId && a.deviceId == b.deviceId &&
           a.isRs232 == b.isRs232 && a.address == b.address && a.bus == b.bus &&
           a.device == b.device && a.function == b.function && a.parent == b.parent &&
           a.slotPath == b.slotPath && a.serial == b.serial && a.firstPort == b.firstPort &&
           a.ports == b.ports && a.missing == b.missing && a.bytes == b.bytes &&
           a.refuse == b.refuse;
}

std::string lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A path the simulator can make below its own directory, and nowhere else.
bool containedPath(const std::string& path) {
    if (path.empty() || path.size() > 2048 || path.front() == '/' || path.back() == '/' ||
        path.find('\0') != std::string::npos)
        return false;
    std::size_t elements = 0;
    std::istringstream in(path);
    for (std::string element; std::getline(in, element, '/'); ++elements)
        if (element.empty() || element == "." || element == ".." || element.size() > NAME_MAX)
            return false;
    return elements <= 32;
}

void checkBuildable(const BoardSet& set) {
    FUZZ_CHECK(set.filler <= 1000000);
    std::set<std::string> names, addresses;
    for (const Board& b : set.boards) {
        FUZZ_CHECK(names.insert(b.name).second && addresses.insert(lower(b.address)).second);
        FUZZ_CHECK(b.address.size() == 12 && b.bus < 256 && b.device < 32 && b.function < 8);
        FUZZ_CHECK(b.ports <= 256 && b.firstPort + b.ports <= 100000);
        FUZZ_CHECK(containedPath(b.parent));
        for (const auto& entry : b.bytes) FUZZ_CHECK(containedPath(entry.first));
        for (const Board& o : set.boards) {
            const bool apart = &o == &b || !b.ports || !o.ports ||
                               b.firstPort + b.ports <= o.firstPort ||
                               o.firstPort + o.ports <= b.firstPort;
            FUZZ_CHECK(apart);
        }
    }
}

void checkRefusal(const BoardFileError& error, const std::string& text) {
    const std::string message = error.what();
    const std::string prefix = std::string(kFile) + ":";
    FUZZ_CHECK(message.compare(0, prefix.size(), prefix) == 0);
    if (message[prefix.size()] == ' ') return;  // about the whole file
    std::size_t end = 0;
    const unsigned long line = std::stoul(message.substr(prefix.size()), &end);
    std::size_t lines = 0;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) ++lines;
    FUZZ_CHECK(line >= 1 && line <= lines && message.compare(prefix.size() + end, 2, ": ") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    BoardSet set;
    try {
        set = BoardFileParser(kFile).parse(text);
    } catch (const BoardFileError& error) {
        checkRefusal(error, text);
        return 0;
    }
    checkBuildable(set);
    const std::string again = write(set);
    BoardSet back;
    try {
        back = BoardFileParser(kFile).parse(again);
    } catch (const BoardFileError& error) {
        std::fprintf(stderr, "%s\n%s", error.what(), again.c_str());
        qxfuzz::fail("a board set read from a file is written back and read again", __FILE__,
                     __LINE__);
    }
    FUZZ_CHECK(back.filler == set.filler && back.boards.size() == set.boards.size());
    for (std::size_t i = 0; i < set.boards.size(); ++i)
        FUZZ_CHECK(same(back.boards[i], set.boards[i]));
    return 0;
}
