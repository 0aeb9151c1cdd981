// SPDX-License-Identifier: MIT
#include "sim/TreeBuilder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/qxafa/UniqueFd.h"

namespace fs = std::filesystem;

namespace qxsim {

namespace {

// Character devices in the range the kernel leaves for local use.
constexpr int kPortMajor = 240;
constexpr uint32_t kFillerPerDirectory = 100;

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.flush();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string rawWord(uint32_t value) {
    std::string bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);  // host byte order, as the driver keeps it
    return bytes;
}

std::string hexId(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x\n", value);
    return text;
}

}  // namespace

TreeBuilder::TreeBuilder(const BoardSet& boards) : boards_(boards) {}

void TreeBuilder::buildTrees(const std::string& root) const {
    const std::string proc = root + "/proc", sys = root + "/sys";
    fs::create_directories(proc + "/qx");
    fs::create_directories(sys);
    fs::create_directories(busLinkDirectory(root));
    for (const Board& board : boards_.boards) {
        if (!board.present) continue;
        buildDriverDirectory(driverDirectory(root, board), board);
        buildDeviceDirectory(deviceDirectory(root, board), board);
        if (board.busLink)
            fs::create_symlink(busLinkTarget(board), busLinkDirectory(root) + "/" + board.address);
    }
    buildFiller(sys);
}

std::string TreeBuilder::driverDirectory(const std::string& root, const Board& board) {
    return root + "/proc/qx/pci:" + board.address;
}

std::string TreeBuilder::deviceDirectory(const std::string& root, const Board& board) {
    return root + "/sys/" + board.parent + "/" + board.address;
}

std::string TreeBuilder::busLinkDirectory(const std::string& root) { return root + "/bus"; }

std::string TreeBuilder::busLinkTarget(const Board& board) {
    if (!board.busLinkTarget.empty()) return board.busLinkTarget;
    return "../../../devices/" + board.parent + "/" + board.address;
}

namespace {

std::vector<std::pair<std::string, std::string>> driverFiles(const Board& board) {
    std::vector<std::pair<std::string, std::string>> files = {
        {"busProperties/pciVendorID", rawWord(board.vendorId)},
        {"busProperties/pciDeviceID", rawWord(board.deviceId)},
        {"busProperties/pciBusNumber", rawWord(board.bus)},
        {"busProperties/pciDeviceNumber", rawWord(board.device)},
        {"busProperties/pciFunctionNumber", rawWord(board.function)},
        {"busProperties/pciSlotPath", board.slotPath + '\0'},
        {"deviceProperties/serialNumber", board.serial + '\0'},
    };
    for (const auto& [path, content] : board.bytes) files.emplace_back(path, std::string(content.begin(), content.end()));
    return files;
}

}  // namespace

void TreeBuilder::buildDriverDirectory(const std::string& driverDir, const Board& board) {
    const fs::path dir(driverDir);
    fs::create_directories(dir);
    for (const auto& [path, content] : driverFiles(board)) writeFile(dir / path, content);
    for (const std::string& path : board.missing) fs::remove_all(dir / path);
    for (const std::string& path : board.held) {
        fs::remove(dir / path);
        if (::mkfifo((dir / path).c_str(), 0644) != 0)
            throw std::runtime_error("cannot make " + (dir / path).string() + ": " + std::strerror(errno));
    }
}

void TreeBuilder::releaseHeld(const std::string& driverDir, const Board& board) {
    for (const auto& [path, content] : driverFiles(board)) {
        if (!board.held.count(path)) continue;
        const fs::path file = fs::path(driverDir) / path;
        // Read and write ends at once: opening never waits, and the content stays in the
        // FIFO for the reader after this end closes.
        const qxafa::UniqueFd fifo(::open(file.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
        struct stat info {};
        if (!fifo || ::fstat(fifo.get(), &info) != 0 || !S_ISFIFO(info.st_mode)) continue;
        const fs::path released = file.string() + ".released";
        writeFile(released, content);
        fs::rename(released, file);
        if (::write(fifo.get(), content.data(), content.size()) != static_cast<ssize_t>(content.size()))
            throw std::runtime_error("cannot give " + file.string() + " to its reader: " + std::strerror(errno));
    }
}

std::vector<std::pair<std::string, std::string>> TreeBuilder::deviceFiles(const Board& board) {
    std::vector<std::pair<std::string, std::string>> files = {
        {"vendor", hexId(board.vendorId)},
        {"device", hexId(board.deviceId)},
        {"uevent", "DRIVER=qx561x\nPCI_SLOT_NAME=" + board.address + "\n"},
    };
    for (uint32_t index = board.firstPort; index < board.firstPort + board.ports; ++index) {
        const std::string port = "tty/" + portName(index);
        const std::string major = std::to_string(kPortMajor), minor = std::to_string(index);
        files.push_back({port + "/dev", major + ":" + minor + "\n"});
        files.push_back({port + "/uevent", "MAJOR=" + major + "\nMINOR=" + minor + "\nDEVNAME=" + portName(index) + "\n"});
    }
    return files;
}

void TreeBuilder::buildDeviceDirectory(const std::string& dir, const Board& board) {
    fs::create_directories(dir);
    for (const auto& [path, content] : deviceFiles(board)) writeFile(fs::path(dir) / path, content);
}

void TreeBuilder::buildPortNodes(const std::string& dir) const {
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const Board& board : boards_.boards) {
        for (uint32_t index = board.firstPort; index < board.firstPort + board.ports; ++index) {
            const fs::path node = fs::path(dir) / portName(index);
            writeFile(node, "");
            fs::permissions(node, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                      fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
        }
    }
}

// Unrelated devices, so that walks over the tree cost what they cost on a real machine.
void TreeBuilder::buildFiller(const std::string& sys) const {
    const fs::path root = fs::path(sys) / "virtual" / "misc";
    for (uint32_t i = 0; i < boards_.filler; ++i) {
        fs::create_directories(root / ("group" + std::to_string(i / kFillerPerDirectory)) /
                               ("node" + std::to_string(i)));
    }
}

}  // namespace qxsim
