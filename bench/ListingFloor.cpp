// SPDX-License-Identifier: MIT
#include "bench/ListingFloor.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <unordered_map>

#include "shared/qx561x/ProductTable.h"

namespace qxbench {
namespace {

constexpr char kDriverRoot[] = "/proc/driver/qx";
constexpr char kTreeRoot[] = "/sys/devices";
constexpr char kIndex[] = "/sys/bus/pci/devices/";
constexpr char kPortPrefix[] = "ttyQX561xPort";
constexpr std::size_t kPrefixLength = sizeof kPortPrefix - 1;

std::string readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

uint32_t readWord(const std::string& directory, const char* name) {
    const std::string bytes = readFile(directory + "/busProperties/" + name);
    uint32_t value = 0;
    std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof value));
    return value;
}

std::string readText(const std::string& path) {
    const std::string bytes = readFile(path);
    return bytes.substr(0, bytes.find('\0'));
}

std::vector<FloorBoard> readBoards() {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(kDriverRoot)) {
        while (const dirent* entry = ::readdir(dir))
            if (std::strncmp(entry->d_name, "pci:", 4) == 0) names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    std::vector<FloorBoard> boards;
    for (const std::string& name : names) {
        const std::string directory = std::string(kDriverRoot) + "/" + name;
        if (readWord(directory, "pciVendorID") != qx561x::kPciVendorId) continue;
        FloorBoard board;
        board.deviceId = readWord(directory, "pciDeviceID");
        qx561x::ProductInfo product;
        if (!qx561x::lookupProduct(static_cast<int32_t>(board.deviceId), product)) continue;
        board.rs232 = product.isRs232;
        board.address = name.substr(4);
        board.bus = readWord(directory, "pciBusNumber");
        board.device = readWord(directory, "pciDeviceNumber");
        board.function = readWord(directory, "pciFunctionNumber");
        board.slotPath = readText(directory + "/busProperties/pciSlotPath");
        board.serial = readText(directory + "/deviceProperties/serialNumber");
        boards.push_back(std::move(board));
    }
    return boards;
}

// The tree read as cheaply as it can be: one open and a few reads per directory.
struct Walk {
    std::vector<FloorBoard>& boards;
    std::vector<std::vector<std::pair<std::size_t, std::string>>>& portsOf;
    std::vector<std::size_t> sought;  // the boards whose directories the walk looks for
    std::vector<std::unique_ptr<char[]>> buffers;

    // inBoard: the board whose directory holds this one, or npos.
    void directory(int fd, const std::string& path, std::size_t inBoard, std::size_t depth) {
        constexpr std::size_t kSize = 32 * 1024;
        while (buffers.size() <= depth) buffers.push_back(std::make_unique<char[]>(kSize));
        char* buffer = buffers[depth].get();
        for (;;) {
            const ssize_t size = ::getdents64(fd, buffer, kSize);
            if (size <= 0) break;
            for (ssize_t offset = 0; offset < size;) {
                const auto& entry = *reinterpret_cast<const dirent64*>(buffer + offset);
                offset += entry.d_reclen;
                const char* name = entry.d_name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
                std::size_t board = inBoard;
                const auto found = std::find_if(sought.begin(), sought.end(), [&](std::size_t b) {
                    return std::strcmp(name, boards[b].address.c_str()) == 0;
                });
                if (found != sought.end()) {
                    board = *found;
                    boards[board].path = path + "/" + name;
                } else if (inBoard != std::string::npos && std::strstr(name, kPortPrefix)) {
                    std::size_t index = 0;
                    if (std::strncmp(name, kPortPrefix, kPrefixLength) == 0)
                        std::sscanf(name + kPrefixLength, "%zu", &index);
                    portsOf[inBoard].emplace_back(index, path + "/" + name);
                }
                if (entry.d_type != DT_DIR) continue;
                const int child = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (child >= 0) directory(child, path + "/" + name, board, depth + 1);
            }
        }
        ::close(fd);
    }
};

using Values = std::array<std::optional<uint32_t>, 3>;
constexpr const char* kKeys[] = {"FifoRxDepth", "FifoTxDepth", "Rs485TransceiverMode"};
constexpr uint32_t kBuiltIn[] = {64, 128, 3};

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::optional<uint32_t> number(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10)
        return std::nullopt;
    const unsigned long long value = std::stoull(text);
    if (value > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(value);
}

std::unordered_map<std::string, Values> readIni(const std::string& path) {
    std::unordered_map<std::string, Values> sections;
    std::ifstream in(path);
    std::string line;
    Values* current = nullptr;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            current = &sections[trimmed(line.substr(1, line.find(']') - 1))];
            continue;
        }
        const auto equals = line.find('=');
        if (!current || equals == std::string::npos) continue;
        const std::string key = trimmed(line.substr(0, equals));
        for (std::size_t k = 0; k < 3; ++k)
            if (key == kKeys[k]) (*current)[k] = number(trimmed(line.substr(equals + 1)));
    }
    return sections;
}

std::string defaultsPath(const std::string& configurationPath) {
    return configurationPath.substr(0, configurationPath.size() - 4) + "_defaults.ini";
}

}  // namespace

std::string portIdentifier(const FloorListing& listing, const FloorPort& port) {
    const FloorBoard& board = listing.boards[port.board];
    char text[64];
    std::snprintf(text, sizeof text, "qx561x:%x:", board.deviceId);
    return text + board.slotPath + ":" + std::to_string(port.number);
}

// The board's directory as the index links it: below the tree's root and named as the
// address, as the product takes it; opened, or -1.
int fromIndex(FloorBoard& board) {
    char resolved[PATH_MAX];
    if (!::realpath((kIndex + board.address).c_str(), resolved)) return -1;
    const std::string path = resolved, below = std::string(kTreeRoot) + "/";
    if (path.compare(0, below.size(), below) != 0 || path.size() <= below.size()) return -1;
    if (path.compare(path.rfind('/') + 1, std::string::npos, board.address) != 0) return -1;
    board.path = path;
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

FloorListing listFloor(const std::string& configurationPath) {
    FloorListing listing;
    listing.boards = readBoards();
    std::vector<std::vector<std::pair<std::size_t, std::string>>> portsOf(listing.boards.size());
    Walk walk{listing.boards, portsOf, {}, {}};
    // Each board through the index; one walk of the whole tree for those it lacks.
    for (std::size_t b = 0; b < listing.boards.size(); ++b) {
        const int board = fromIndex(listing.boards[b]);
        if (board >= 0) walk.directory(board, listing.boards[b].path, b, 1);
        else walk.sought.push_back(b);
    }
    if (!walk.sought.empty()) {
        const int root = ::open(kTreeRoot, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (root < 0) throw std::runtime_error("cannot open the device tree");
        walk.directory(root, kTreeRoot, std::string::npos, 0);
    }

    const auto configuration = readIni(configurationPath);
    const auto defaults = readIni(defaultsPath(configurationPath));
    Values fallback;
    if (const auto found = defaults.find("defaults"); found != defaults.end()) fallback = found->second;

    for (std::size_t b = 0; b < portsOf.size(); ++b) {
        auto& ports = portsOf[b];
        std::sort(ports.begin(), ports.end());
        for (std::size_t i = 0; i < ports.size(); ++i) {
            FloorPort port;
            port.board = b;
            port.path = ports[i].second;
            port.node = "/dev/" + port.path.substr(port.path.rfind('/') + 1);
            port.number = static_cast<uint32_t>(i + 1);
            const auto section = configuration.find(portIdentifier(listing, port));
            uint32_t values[3];
            for (std::size_t k = 0; k < 3; ++k) {
                const std::optional<uint32_t> own =
                    section == configuration.end() ? std::nullopt : section->second[k];
                values[k] = own ? *own : fallback[k] ? *fallback[k] : kBuiltIn[k];
            }
            port.rx = values[0];
            port.tx = values[1];
            port.mode = values[2] > 3 ? 4 : values[2];
            listing.ports.push_back(std::move(port));
        }
    }
    return listing;
}

void writeConfiguration(const FloorListing& listing, const std::string& configurationPath) {
    std::ofstream out(configurationPath, std::ios::trunc);
    uint32_t k = 0;
    for (const FloorPort& port : listing.ports) {
        out << "[" << portIdentifier(listing, port) << "]\n"
            << "FifoRxDepth=" << 1 + (k * 37) % 127 << "\n"
            << "FifoTxDepth=" << 1 + (k * 53) % 128 << "\n"
            << "Rs485TransceiverMode=" << k % 4 << "\n";
        ++k;
    }
    std::ofstream defaults(defaultsPath(configurationPath), std::ios::trunc);
    defaults << "[defaults]\nFifoRxDepth=32\n";
    if (!out.flush() || !defaults.flush()) throw std::runtime_error("cannot write " + configurationPath);
}

}  // namespace qxbench
