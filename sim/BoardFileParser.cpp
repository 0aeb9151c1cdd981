// SPDX-License-Identifier: MIT
#include "sim/BoardFileParser.h"

#include "platform/qxafa/UniqueFd.h"
#include "shared/qx561x/ProductTable.h"
#include "sim/ErrnoNames.h"
#include "sim/TreeBuilder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <regex>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace qxsim {

namespace {

constexpr uint32_t kMaxPorts = 256;
constexpr uint32_t kMaxPortIndex = 99999;
constexpr uint32_t kMaxFiller = 1000000;
// A board file is a few kilobytes; anything far larger is not one.
constexpr off_t kMaxFileSize = 1 << 20;
// Room for the state directory in front, within the length of a path.
constexpr size_t kMaxParentLength = 2048;
constexpr size_t kMaxParentElements = 32;
const char kDefaultModel[] = "PCIe-5611/8 (RS-485) Interface";

const std::set<std::string>& propertyPaths() {
    static const std::set<std::string> paths = {
        "busProperties",
        "busProperties/pciVendorID",
        "busProperties/pciDeviceID",
        "busProperties/pciBusNumber",
        "busProperties/pciDeviceNumber",
        "busProperties/pciFunctionNumber",
        "busProperties/pciSlotPath",
        "deviceProperties",
        "deviceProperties/serialNumber",
    };
    return paths;
}

const std::set<std::string>& boardKeys() {
    static const std::set<std::string> keys = {
        "model", "device-id", "vendor-id", "address", "parent", "slot-path", "serial",
        "first-port", "ports", "missing", "hold", "refuse", "present", "bus-link"};
    return keys;
}

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// A comment starts a line or follows white space, so values may still hold ';' or '#'.
std::string stripComment(const std::string& line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if ((line[i] == ';' || line[i] == '#') && (i == 0 || std::isspace(uint8_t(line[i - 1]))))
            return line.substr(0, i);
    }
    return line;
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string word; in >> word;) result.push_back(word);
    return result;
}

int digitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    const char lower = char(std::tolower(uint8_t(c)));
    return hex && lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// Strict: the whole text must be the number ("0x" prefix for hexadecimal), no sign.
std::optional<uint64_t> parseUnsigned(const std::string& text, uint64_t max) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 16) return std::nullopt;
    const uint64_t base = hex ? 16 : 10;
    uint64_t value = 0;
    for (char c : digits) {
        const int digit = digitValue(c, hex);
        if (digit < 0 || value > (max - digit) / base) return std::nullopt;
        value = value * base + digit;
    }
    return value;
}

std::vector<std::string> elementsOf(const std::string& path) {
    std::vector<std::string> elements;
    std::stringstream in(path);
    for (std::string element; std::getline(in, element, '/');) elements.push_back(element);
    return elements;
}

// Letters, digits and the punctuation given; not empty. (A std::regex would recurse once
// per character, and a long name would overflow the stack.)
bool isNameOf(const std::string& text, std::string_view punctuation) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               punctuation.find(c) != std::string_view::npos;
    });
}

// Elements made of ordinary name characters; no "." or ".." escapes the board directory.
bool isSafeRelativePath(const std::string& path, size_t maxElements) {
    const std::vector<std::string> elements = elementsOf(path);
    if (elements.empty() || elements.size() > maxElements || path.back() == '/') return false;
    return std::all_of(elements.begin(), elements.end(), [](const std::string& e) {
        return e != "." && e != ".." && isNameOf(e, "_.:+-");
    });
}

// The name in a "board <name>" header; empty when the header is not one.
std::string boardNameOf(const std::string& header) {
    const std::string keyword = "board";
    if (header.compare(0, keyword.size(), keyword) != 0) return "";
    const auto name = header.find_first_not_of(" \t", keyword.size());
    if (name == keyword.size() || name == std::string::npos) return "";
    const std::string rest = header.substr(name);
    return isNameOf(rest, "_.-") ? rest : "";
}

// What keeps a path that is safe from being created: "" when nothing does.
std::string lengthProblem(const std::string& path) {
    for (const std::string& element : elementsOf(path))
        if (element.size() > NAME_MAX)
            return "has an element longer than " + std::to_string(NAME_MAX) + " bytes";
    return "";
}

// \\, \n, \t and \xHH; anything else after a backslash is a mistake.
std::optional<std::string> unescape(const std::string& text, std::string& problem) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            result += text[i];
            continue;
        }
        const char kind = i + 1 < text.size() ? text[i + 1] : '\0';
        if (kind == '\\' || kind == 'n' || kind == 't') {
            result += kind == 'n' ? '\n' : kind == 't' ? '\t' : '\\';
            ++i;
            continue;
        }
        const auto byte = kind == 'x' ? parseUnsigned("0x" + text.substr(i + 2, 2), 0xFF) : std::nullopt;
        if (!byte || i + 4 > text.size()) {
            problem = "has an unknown escape '" + text.substr(i, kind == 'x' ? 4 : 2) +
                      "' (write \\\\, \\n, \\t or \\xHH)";
            return std::nullopt;
        }
        result += char(*byte);
        i += 3;
    }
    return result;
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = char(std::tolower(uint8_t(c)));
    return text;
}

}  // namespace

BoardFileError::BoardFileError(const std::string& file, int line, const std::string& message)
    : std::runtime_error(line > 0 ? file + ":" + std::to_string(line) + ": " + message
                                  : file + ": " + message) {}

BoardFileParser::BoardFileParser(std::string fileName) : fileName_(std::move(fileName)) {}

BoardSet BoardFileParser::parseFile(const std::string& path) { return BoardFileParser(path).parse(readFile(path)); }

// A FIFO or a device would make the read hang or never end, so only a regular file of a
// sane size is read.
std::string BoardFileParser::readFile(const std::string& path) {
    const qxafa::UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) < 0)
        throw BoardFileError(path, 0, std::string("cannot be read: ") + std::strerror(errno));
    if (!S_ISREG(info.st_mode)) throw BoardFileError(path, 0, "is not a regular file");
    const std::string tooLarge = "is larger than " + std::to_string(kMaxFileSize >> 20) + " MiB";
    if (info.st_size > kMaxFileSize) throw BoardFileError(path, 0, tooLarge);
    std::string text(size_t(kMaxFileSize) + 1, '\0');
    size_t length = 0;
    while (length < text.size()) {
        const ssize_t got = ::read(file.get(), text.data() + length, text.size() - length);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw BoardFileError(path, 0, std::string("cannot be read: ") + std::strerror(errno));
        if (got == 0) break;
        length += size_t(got);
    }
    if (length > size_t(kMaxFileSize)) throw BoardFileError(path, 0, tooLarge);  // it grew meanwhile
    if (length == 0) throw BoardFileError(path, 0, "holds no section");
    text.resize(length);
    return text;
}

BoardSet BoardFileParser::parse(const std::string& text) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        ++lineNumber_;
        parseLine(line);
    }
    finishSection();
    if (!sawSection_) fail(0, "holds no section (write an empty [tree] section for a machine without boards)");
    return std::move(result_);
}

void BoardFileParser::parseLine(const std::string& rawLine) {
    const std::string line = trim(stripComment(rawLine));
    if (line.empty()) return;
    if (line.front() == '[') {
        if (line.back() != ']') fail(lineNumber_, "section header without ']'");
        startSection(trim(line.substr(1, line.size() - 2)));
        return;
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos) fail(lineNumber_, "expected 'key = value'");
    if (kind_ == Kind::None) fail(lineNumber_, "key outside a section");
    addKey(trim(line.substr(0, equals)), trim(line.substr(equals + 1)));
}

void BoardFileParser::startSection(const std::string& header) {
    finishSection();
    sawSection_ = true;
    section_.clear();
    sectionLine_ = lineNumber_;
    if (header == "tree") {
        if (sawTree_) fail(lineNumber_, "second [tree] section");
        sawTree_ = true;
        kind_ = Kind::Tree;
    } else if (const std::string name = boardNameOf(header); !name.empty()) {
        kind_ = Kind::Board;
        sectionName_ = name;
        for (const Board& other : result_.boards)
            if (other.name == sectionName_)
                fail(lineNumber_, "board '" + sectionName_ + "' is defined twice");
    } else {
        fail(lineNumber_, "unknown section [" + header + "] (expected [board <name>] or [tree])");
    }
}

void BoardFileParser::addKey(const std::string& key, const std::string& value) {
    const bool known = kind_ == Kind::Tree
                           ? key == "filler"
                           : boardKeys().count(key) || key.rfind("bytes.", 0) == 0;
    if (!known) fail(lineNumber_, "unknown key '" + key + "'");
    if (section_.count(key)) fail(lineNumber_, "duplicate key '" + key + "'");
    section_[key] = Key{value, lineNumber_};
}

void BoardFileParser::finishSection() {
    if (kind_ == Kind::Board) finishBoard();
    if (kind_ == Kind::Tree) finishTree();
    kind_ = Kind::None;
}

void BoardFileParser::finishTree() {
    const auto filler = section_.find("filler");
    if (filler == section_.end()) return;
    const auto value = parseUnsigned(filler->second.value, kMaxFiller);
    if (!value) fail(filler->second.line, "filler must be a number from 0 to " + std::to_string(kMaxFiller));
    result_.filler = uint32_t(*value);
}

namespace {

// Resolves a long name, or a short name that only one model carries.
std::optional<int32_t> findModel(const std::string& name, std::string& problem) {
    std::vector<int32_t> shortMatches;
    for (const auto& [id, info] : qx561x::productTable()) {
        if (info.longName == name) return id;
        if (info.shortName == name) shortMatches.push_back(id);
    }
    if (shortMatches.size() == 1) return shortMatches.front();
    problem = shortMatches.empty() ? "unknown model '" + name + "'"
                                   : "short name '" + name + "' is ambiguous; use the long name";
    return std::nullopt;
}

}  // namespace

void BoardFileParser::finishBoard() {
    Board board;
    board.name = sectionName_;
    board.line = sectionLine_;
    readAddress(board);
    readIdentity(board);
    readPorts(board);
    readTexts(board);
    readMissing(board);
    readBytes(board);
    readHold(board);
    readRefuse(board);
    readBusLink(board);
    if (const Key* present = find("present")) {
        if (present->value != "yes" && present->value != "no") fail(present->line, "present must be yes or no");
        board.present = present->value == "yes";
    }
    result_.boards.push_back(std::move(board));
}

const BoardFileParser::Key* BoardFileParser::find(const char* key) const {
    const auto found = section_.find(key);
    return found == section_.end() ? nullptr : &found->second;
}

uint32_t BoardFileParser::number(const Key& key, uint64_t max, const char* what) const {
    const auto value = parseUnsigned(key.value, max);
    if (!value) fail(key.line, std::string(what) + " must be a number from 0 to " + std::to_string(max));
    return uint32_t(*value);
}

void BoardFileParser::readAddress(Board& board) const {
    const Key* address = find("address");
    if (!address) fail(sectionLine_, "board '" + board.name + "' has no address");
    static const std::regex pciAddress("([0-9a-fA-F]{4}):([0-9a-fA-F]{2}):([0-1][0-9a-fA-F])\\.([0-7])");
    std::smatch match;
    if (!std::regex_match(address->value, match, pciAddress))
        fail(address->line, "address must look like 0000:03:00.0 (domain:bus:device.function)");
    board.address = address->value;
    board.bus = std::stoul(match[2], nullptr, 16);
    board.device = std::stoul(match[3], nullptr, 16);
    board.function = std::stoul(match[4], nullptr, 16);
    // Hexadecimal digits in either case name the same function.
    for (const Board& other : result_.boards)
        if (lowerCase(other.address) == lowerCase(board.address))
            fail(address->line, "address " + board.address + " is already used by board '" + other.name + "'");
}

void BoardFileParser::readIdentity(Board& board) const {
    const Key* model = find("model");
    const Key* deviceId = find("device-id");
    if (model && deviceId) fail(deviceId->line, "give either model or device-id, not both");
    if (deviceId) {
        board.deviceId = number(*deviceId, 0xFFFFFFFF, "device-id");
    } else {
        std::string problem;
        const auto id = findModel(model ? model->value : kDefaultModel, problem);
        if (!id) fail(model ? model->line : sectionLine_, problem);
        board.deviceId = uint32_t(*id);
    }
    const Key* vendorId = find("vendor-id");
    board.vendorId = vendorId ? number(*vendorId, 0xFFFFFFFF, "vendor-id") : qx561x::kPciVendorId;
    qx561x::ProductInfo product{};
    board.isRs232 = qx561x::lookupProduct(int32_t(board.deviceId), product) && product.isRs232;
}

void BoardFileParser::readPorts(Board& board) const {
    qx561x::ProductInfo product{};
    const bool known = qx561x::lookupProduct(int32_t(board.deviceId), product);
    const Key* ports = find("ports");
    board.ports = ports ? number(*ports, kMaxPorts, "ports") : (known ? uint32_t(product.portCount) : 0);
    // By default a board's ports follow those of the boards before it, so indices never collide.
    const Key* firstPort = find("first-port");
    uint32_t nextFree = 0;
    for (const Board& other : result_.boards) nextFree = std::max(nextFree, other.firstPort + other.ports);
    board.firstPort = firstPort ? number(*firstPort, kMaxPortIndex, "first-port") : nextFree;
    checkOverlaps(board, firstPort ? firstPort->line : sectionLine_);
}

// Elements may hold any byte but '/' and NUL, so that hostile names can be simulated; the
// escapes carry what an INI line cannot (a line break, a ';' after a blank, blanks at the ends).
void BoardFileParser::readParent(Board& board) const {
    const Key* parent = find("parent");
    const int line = parent ? parent->line : sectionLine_;
    if (!parent) {
        board.parent = "pci" + board.address.substr(0, 4) + ":00";
    } else {
        std::string problem;
        const auto decoded = unescape(parent->value, problem);
        if (!decoded) fail(line, "parent " + problem);
        board.parent = *decoded;
    }
    const std::vector<std::string> elements = elementsOf(board.parent);
    if (board.parent.empty() || board.parent.front() == '/') fail(line, "parent must be a relative path");
    if (board.parent.find('\0') != std::string::npos) fail(line, "parent must not hold a NUL byte");
    if (board.parent.back() == '/' || std::count(elements.begin(), elements.end(), ""))
        fail(line, "parent has an empty element");
    if (std::count(elements.begin(), elements.end(), ".") || std::count(elements.begin(), elements.end(), ".."))
        fail(line, "parent must not have '.' or '..' as an element");
    if (elements.size() > kMaxParentElements)
        fail(line, "parent has more than " + std::to_string(kMaxParentElements) + " elements");
    if (board.parent.size() > kMaxParentLength)
        fail(line, "parent is longer than " + std::to_string(kMaxParentLength) + " bytes");
    if (const std::string problem = lengthProblem(board.parent); !problem.empty())
        fail(line, "parent " + problem);
    checkDeviceTree(board, line);
}

void BoardFileParser::readTexts(Board& board) const {
    readParent(board);
    const Key* slotPath = find("slot-path");
    board.slotPath = slotPath ? slotPath->value : std::to_string(board.bus);
    const Key* serial = find("serial");
    char defaultSerial[16];
    std::snprintf(defaultSerial, sizeof defaultSerial, "%08X",
                  (board.deviceId & 0xFFFF) << 16 | board.bus << 8 | board.device << 3 | board.function);
    board.serial = serial ? serial->value : defaultSerial;
}

void BoardFileParser::readMissing(Board& board) const {
    const Key* missing = find("missing");
    if (!missing) return;
    for (const std::string& path : words(missing->value)) {
        if (!propertyPaths().count(path)) fail(missing->line, "missing names no property file: '" + path + "'");
        board.missing.insert(path);
    }
}

// A held file is a FIFO: a read waits until something opens it for writing, which in turn
// waits for the reader. A test holds a call in the middle that way, on any machine.
void BoardFileParser::readHold(Board& board) const {
    const Key* hold = find("hold");
    if (!hold) return;
    for (const std::string& path : words(hold->value)) {
        if (!propertyPaths().count(path) || path.find('/') == std::string::npos)
            fail(hold->line, "hold names no property file: '" + path + "'");
        const bool leftOut = std::any_of(board.missing.begin(), board.missing.end(), [&](const std::string& gone) {
            return path == gone || path.rfind(gone + "/", 0) == 0;
        });
        if (leftOut || board.bytes.count(path))
            fail(hold->line, "hold names '" + path + "', which missing or bytes. names too");
        board.held.insert(path);
    }
}

void BoardFileParser::readBytes(Board& board) const {
    // The property folders, and the first element of any two-element path, are directories.
    std::set<std::string> directories = {"busProperties", "deviceProperties"};
    for (const auto& [key, value] : section_) {
        const auto slash = key.find('/');
        if (key.rfind("bytes.", 0) == 0 && slash != std::string::npos) directories.insert(key.substr(6, slash - 6));
    }
    for (const auto& [key, value] : section_) {
        if (key.rfind("bytes.", 0) != 0) continue;
        const std::string path = key.substr(6);
        if (!isSafeRelativePath(path, 2)) fail(value.line, "bad property path '" + path + "'");
        if (const std::string problem = lengthProblem(path); !problem.empty())
            fail(value.line, "property path '" + path + "' " + problem);
        if (directories.count(path)) fail(value.line, "bytes." + path + " names a directory, not a property file");
        std::vector<uint8_t> content;
        for (const std::string& byte : words(value.value)) {
            const auto parsed = byte.size() <= 2 ? parseUnsigned("0x" + byte, 0xFF) : std::nullopt;
            if (!parsed) fail(value.line, "bytes must be hexadecimal pairs such as '0a ff', not '" + byte + "'");
            content.push_back(uint8_t(*parsed));
        }
        board.bytes[path] = content;
    }
}

// "none", or the link's target as the link holds it, with the escapes of parent.
void BoardFileParser::readBusLink(Board& board) const {
    const Key* link = find("bus-link");
    if (!link) return;
    if (link->value == "none") {
        board.busLink = false;
        return;
    }
    std::string problem;
    const auto target = unescape(link->value, problem);
    if (!target) fail(link->line, "bus-link " + problem);
    if (target->empty() || target->find('\0') != std::string::npos || target->size() >= PATH_MAX)
        fail(link->line, "bus-link must be none or a link target without NUL bytes, shorter than " +
                             std::to_string(PATH_MAX) + " bytes");
    board.busLinkTarget = *target;
}

void BoardFileParser::readRefuse(Board& board) const {
    const Key* refuse = find("refuse");
    if (!refuse) return;
    static const std::map<std::string, Request> requests = {
        {"rx", Request::Rx}, {"tx", Request::Tx}, {"rs485", Request::Rs485}};
    for (const std::string& item : words(refuse->value)) {
        const auto colon = item.find(':');
        const auto request = requests.find(item.substr(0, colon));
        const auto error = colon == std::string::npos ? std::nullopt : errnoFromName(item.substr(colon + 1));
        if (request == requests.end() || !error)
            fail(refuse->line, "refuse takes items such as rx:EINVAL tx:EIO rs485:ENOTTY, not '" + item + "'");
        board.refuse[request->second] = *error;
    }
}

// A board's directory is made through directories only: a parent that runs through a file
// of another board could not be built.
void BoardFileParser::checkDeviceTree(const Board& board, int line) const {
    const auto throughFileOf = [](const Board& walker, const Board& owner) -> std::string {
        std::set<std::string> files;
        for (const auto& file : TreeBuilder::deviceFiles(owner))
            files.insert(owner.parent + "/" + owner.address + "/" + file.first);
        std::string path;
        for (const std::string& element : elementsOf(walker.parent + "/" + walker.address)) {
            path += (path.empty() ? "" : "/") + element;
            if (files.count(path)) return path;
        }
        return "";
    };
    for (const Board& other : result_.boards) {
        for (const auto& [walker, owner] : {std::pair(&board, &other), std::pair(&other, &board)}) {
            const std::string file = throughFileOf(*walker, *owner);
            if (!file.empty())
                fail(line, "board '" + walker->name + "' would lie below " + file + ", a file of board '" +
                               owner->name + "'");
        }
    }
}

void BoardFileParser::checkOverlaps(const Board& board, int line) const {
    if (board.firstPort + board.ports > kMaxPortIndex + 1)
        fail(line, "port indices above " + std::to_string(kMaxPortIndex));
    for (const Board& other : result_.boards) {
        const bool apart = board.firstPort + board.ports <= other.firstPort ||
                           other.firstPort + other.ports <= board.firstPort;
        if (!apart && board.ports && other.ports)
            fail(line, "ports of board '" + board.name + "' overlap those of board '" + other.name + "'");
    }
}

void BoardFileParser::fail(int line, const std::string& message) const {
    throw BoardFileError(fileName_, line, message);
}

}  // namespace qxsim
