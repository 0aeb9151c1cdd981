// SPDX-License-Identifier: MIT
#include "shared/qx561x/cIniDataStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/property_tree/ini_parser.hpp>

#include "platform/qxafa/FileLockGuard.h"
#include "platform/qxafa/UniqueFd.h"
#include "platform/qxerr/Exception.h"
#include "platform/qxsysq/stdpath.h"
#include "shared/qx561x/IniReader.h"
#include "shared/qx561x/PortSettings.h"

namespace qx561x {
namespace {

using boost::property_tree::ptree;

constexpr const char* kModule = "shared/qx561x/cIniDataStore";
constexpr qxerr::SourceLocation kFileNotFound{kModule, 85, qxerr::kComponent,
                                              "qxapalerr_resourceNotFound"};
constexpr qxerr::SourceLocation kFileFault{kModule, 87, qxerr::kComponent,
                                           "qxapalerr_osFault"};
// A name the file could not carry back; the site is ours, so is its line.
constexpr qxerr::SourceLocation kUnwritableName{kModule, 301, qxerr::kComponent,
                                                "qxapalerr_invalidParameter"};
// A path that names a device, a pipe where none is allowed, a socket: reading it could
// block for ever or never end.
constexpr qxerr::SourceLocation kNotRegularFile{kModule, 91, qxerr::kComponent,
                                                "qxapalerr_invalidParameter"};
constexpr qxerr::SourceLocation kTooLarge{kModule, 96, qxerr::kComponent,
                                          "qxapalerr_fileReadFailed"};

constexpr const char* kFifoRxDepth = cIniDataStore::kFifoRxDepthKey;
constexpr const char* kFifoTxDepth = cIniDataStore::kFifoTxDepthKey;
constexpr const char* kRs485TransceiverMode = cIniDataStore::kRs485TransceiverModeKey;
constexpr const char* kIniSuffix = ".ini";
constexpr const char* kDefaultsSuffix = "_defaults.ini";
constexpr const char* kConfigurationFile = "/qxserial/configuration.ini";
// Editors on other systems start a UTF-8 file with it; the reader would take it for part
// of the first line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// Replacement files are ".<name>.tmp-XXXXXX" beside the file.
constexpr const char* kTemporaryMarker = ".tmp-";
constexpr std::size_t kTemporaryRandomLength = 6;

// Serialises every store's file access within the process; the file lock does it
// across processes.
std::mutex gFileMutex;

// errno 2 is a missing file; anything else a fault.
int32_t failureCode(int error) {
    return error == ENOENT ? qxerr::qxapalerr_resourceNotFound : qxerr::qxapalerr_osFault;
}
const qxerr::SourceLocation& failureSite(int error) {
    return error == ENOENT ? kFileNotFound : kFileFault;
}

// A file that cannot be opened or read: reports without an operating-system part, as
// every reader of the file knows them, naming the file.
[[noreturn]] void raiseUnreadable(int error, const std::string& path) {
    qxerr::Raise(failureCode(error), failureSite(error)).add("path", path.c_str()).raise();
}

[[noreturn]] void raiseNotRegularFile(const std::string& path) {
    qxerr::Raise(qxerr::qxapalerr_invalidParameter, kNotRegularFile)
        .add("path", path.c_str())
        .message("not a regular file")
        .raise();
}

[[noreturn]] void raiseTooLarge(const std::string& path) {
    qxerr::Raise(qxerr::qxapalerr_fileReadFailed, kTooLarge)
        .add("path", path.c_str())
        .message("larger than 16 MiB")
        .raise();
}

// What may stand at a configuration path. A directory keeps the report of a file that
// cannot be read, as it always had.
void checkKind(const struct stat& status, bool pipeAllowed, const std::string& path) {
    if (S_ISREG(status.st_mode) || (pipeAllowed && S_ISFIFO(status.st_mode))) return;
    if (S_ISDIR(status.st_mode)) raiseUnreadable(EISDIR, path);
    raiseNotRegularFile(path);
}

bool hasIniSuffix(const std::string& path) {
    const std::size_t length = std::strlen(kIniSuffix);
    return path.size() >= length && path.compare(path.size() - length, length, kIniSuffix) == 0;
}

// The steps of replacing the file: the errno says why (a full disk, a read-only file
// system).
[[noreturn]] void raiseFromErrno(int error) {
    qxerr::raiseOsError(failureCode(error), failureSite(error), error);
}

// The descriptor is fresh, so reading starts at the beginning; a pipe cannot be read
// any other way.
std::string readAll(int fd, const std::string& path) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            raiseUnreadable(errno, path);
        }
        if (n == 0) {
            return text;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > cIniDataStore::kMaxFileSize) raiseTooLarge(path);
    }
}

void writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            raiseFromErrno(errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

ptree parseIni(const std::string& text, tIniLines* lines = nullptr) {
    std::string_view rest(text);
    if (rest.substr(0, kByteOrderMark.size()) == kByteOrderMark) rest.remove_prefix(kByteOrderMark.size());
    return readIni(rest, lines);
}

// Section and key are one tree level each, found by their whole names: a PXI slot path
// such as "4.15" is part of the section name, and so is any other byte a file can hold
// (a tree path would split the name at its separator, and that section could never be
// read).
const ptree* childNamed(const ptree& parent, const std::string& name) {
    const auto found = parent.find(name);
    return found == parent.not_found() ? nullptr : &found->second;
}

ptree& childNamed(ptree& parent, const std::string& name) {
    const auto found = parent.find(name);
    return found == parent.not_found() ? parent.push_back(ptree::value_type(name, ptree()))->second
                                       : found->second;
}

std::optional<uint32_t> readValue(const ptree& tree, const std::string& section,
                                  const char* key) {
    const ptree* sectionNode = childNamed(tree, section);
    const ptree* value = sectionNode ? childNamed(*sectionNode, key) : nullptr;
    if (!value) {
        return std::nullopt;
    }
    return cIniDataStore::parseValue(value->data());
}

// Looked at before opening, so that no device is ever opened, and again after, for what
// was opened. Opening never waits (a FIFO without a writer would make it wait for ever);
// reading a pipe, once allowed, waits for its writer as usual.
// Returns true when what was read is a pipe.
bool readFileInto(const std::string& path, ptree& target, bool pipeAllowed,
                  tIniLines* lines = nullptr) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) checkKind(status, pipeAllowed, path);
    const qxafa::UniqueFd file(
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file) {
        if (errno == ENOENT) {
            target.clear();
            return false;
        }
        raiseUnreadable(errno, path);
    }
    if (::fstat(file.get(), &status) != 0) raiseUnreadable(errno, path);
    checkKind(status, pipeAllowed, path);
    ptree tree;
    if (S_ISFIFO(status.st_mode)) {
        // Opened without waiting, a FIFO may have no writer yet, and a read would end at once
        // with nothing: wait for the writer's first bytes, or its end.
        pollfd ready{file.get(), POLLIN, 0};
        while (::poll(&ready, 1, -1) < 0) {
            if (errno != EINTR) raiseUnreadable(errno, path);
        }
        // Nobody saves into a pipe: there is nothing to lock against.
        const int flags = ::fcntl(file.get(), F_GETFL);
        if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
            raiseUnreadable(errno, path);
        parseIni(readAll(file.get(), path), lines).swap(tree);
    } else {
        if (static_cast<std::size_t>(status.st_size) > cIniDataStore::kMaxFileSize)
            raiseTooLarge(path);
        std::lock_guard<std::mutex> guard(gFileMutex);
        const qxafa::FileLockGuard lock(file.get(), qxafa::FileLockGuard::Mode::Shared);
        parseIni(readAll(file.get(), path), lines).swap(tree);
    }
    // Swapped: this tree has no move, and assigning copies every node.
    target.swap(tree);
    return S_ISFIFO(status.st_mode);
}

// Existing nodes keep their place; new ones are appended after their siblings.
void merge(ptree& target, const ptree& source) {
    target.data() = source.data();
    for (const auto& [key, child] : source) {
        auto found = target.find(key);
        ptree& node = found == target.not_found()
                          ? target.push_back(ptree::value_type(key, ptree()))->second
                          : found->second;
        merge(node, child);
    }
}

bool namesSameFile(int fd, const std::string& path) {
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        raiseFromErrno(errno);
    }
    struct stat current {};
    if (::stat(path.c_str(), &current) != 0) {
        if (errno == ENOENT) {
            return false;
        }
        raiseFromErrno(errno);
    }
    return opened.st_dev == current.st_dev && opened.st_ino == current.st_ino;
}

// The lock goes before the descriptor closes.
struct LockedFile {
    qxafa::UniqueFd file;
    qxafa::FileLockGuard lock;
};

// Another saver may have renamed a new file over the path while we waited for the
// lock; saving into the old one would lose its update.
LockedFile openLockedForWriting(const std::string& path) {
    for (;;) {
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0) checkKind(status, false, path);
        qxafa::UniqueFd file(::open(
            path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666));
        if (!file) {
            raiseUnreadable(errno, path);
        }
        if (::fstat(file.get(), &status) != 0) raiseUnreadable(errno, path);
        checkKind(status, false, path);
        qxafa::FileLockGuard lock(file.get(), qxafa::FileLockGuard::Mode::Exclusive);
        if (namesSameFile(file.get(), path)) {
            return LockedFile{std::move(file), std::move(lock)};
        }
    }
}

// Savers of one file take turns on the directory its replacement files are made in. The
// lock on the file alone is not enough: whoever renames a new file over it (an editor as
// much as another saver) hands the next saver a file nobody holds, and that saver would
// take the first one's replacement file for a dead saver's and remove it.
struct SaversTurn {
    qxafa::UniqueFd directory;
    std::optional<qxafa::FileLockGuard> lock;
};

SaversTurn takeSaversTurn(const std::string& directory, const std::string& path) {
    SaversTurn turn;
    turn.directory.reset(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!turn.directory) {
        if (errno == ENOENT) raiseUnreadable(errno, path);
        // A directory that may be written but not read: saving worked before turns did.
        return turn;
    }
    turn.lock.emplace(turn.directory.get(), qxafa::FileLockGuard::Mode::Exclusive);
    return turn;
}

bool holdsAny(const std::string& text, const char* characters) {
    return text.find_first_of(characters) != std::string::npos;
}

[[noreturn]] void raiseUnwritable(const std::string& name, const char* message) {
    qxerr::Raise(qxerr::qxapalerr_invalidParameter, kUnwritableName)
        .add("name", name.c_str())
        .message(message)
        .raise();
}

// The white space the reader trims from both ends of a name.
bool blankAtAnEnd(const std::string& name) {
    constexpr std::string_view kBlanks = " \t\n\v\f\r";
    return !name.empty() && (kBlanks.find(name.front()) != std::string_view::npos ||
                             kBlanks.find(name.back()) != std::string_view::npos);
}

// The reader splits lines at a line break, ends a section name at its first ']' and trims
// it: such a name would come back as another or make every later load fail.
void refuseUnwritableNames(const ptree& configuration) {
    constexpr const char* kLineBreak = "\n";
    constexpr const char* kKeyMessage = "a key or value must not hold a line break";
    for (const auto& [name, node] : configuration) {
        if (node.empty()) {  // a key at file level
            if (holdsAny(name, kLineBreak) || holdsAny(node.data(), kLineBreak))
                raiseUnwritable(name, kKeyMessage);
            continue;
        }
        const std::string why = cIniDataStore::whyUnwritableSection(name);
        if (!why.empty()) raiseUnwritable(name, why.c_str());
        for (const auto& [key, value] : node) {
            if (holdsAny(key, kLineBreak) || holdsAny(value.data(), kLineBreak))
                raiseUnwritable(key, kKeyMessage);
        }
    }
}

struct PathParts {
    std::string directory;
    std::string name;
};

PathParts splitPath(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::string temporaryPrefix(const PathParts& parts) {
    return "." + parts.name + kTemporaryMarker;
}

// Only the holder of the lock on the current file creates replacement files, so
// any found while holding it were left by a saver that died.
void removeStaleTemporaries(const PathParts& parts) {
    const qxafa::UniqueDir directory = qxafa::openDirectory(parts.directory);
    if (!directory) {
        return;
    }
    const std::string prefix = temporaryPrefix(parts);
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::string name = entry->d_name;
        if (name.size() == prefix.size() + kTemporaryRandomLength &&
            name.compare(0, prefix.size(), prefix) == 0) {
            stale.push_back(name);
        }
    }
    for (const auto& name : stale) {
        ::unlinkat(::dirfd(directory.get()), name.c_str(), 0);
    }
}

// Removes the replacement file unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const PathParts& parts)
        : path_(parts.directory + "/" + temporaryPrefix(parts) + "XXXXXX"),
          file_(::mkostemp(path_.data(), O_CLOEXEC)) {
        if (!file_) {
            raiseFromErrno(errno);
        }
    }
    ~TemporaryFile() {
        if (!committed_) {
            file_.reset();
            ::unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return file_.get(); }
    const std::string& path() const { return path_; }
    void close() {
        if (file_.close() != 0) {
            raiseFromErrno(errno);
        }
    }
    void commit() { committed_ = true; }

private:
    std::string path_;
    qxafa::UniqueFd file_;
    bool committed_ = false;
};

void syncDirectory(const std::string& directory) {
    const qxafa::UniqueFd file(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!file) {
        raiseFromErrno(errno);
    }
    // Some file systems cannot sync a directory; the rename stands regardless.
    if (::fsync(file.get()) != 0 && errno != EINVAL) {
        raiseFromErrno(errno);
    }
}

void replaceFile(const std::string& path, const std::string& text, const struct stat& old) {
    const PathParts parts = splitPath(path);
    removeStaleTemporaries(parts);
    TemporaryFile replacement(parts);
    if (::fchmod(replacement.fd(), old.st_mode & 07777) != 0) {
        raiseFromErrno(errno);
    }
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
        if (::fchown(replacement.fd(), old.st_uid, old.st_gid) != 0) {
            // Only a privileged saver can keep another owner; the file stays ours.
        }
    }
    writeAll(replacement.fd(), text);
    if (::fsync(replacement.fd()) != 0) {
        raiseFromErrno(errno);
    }
    replacement.close();
    if (::rename(replacement.path().c_str(), path.c_str()) != 0) {
        raiseFromErrno(errno);
    }
    replacement.commit();
    syncDirectory(parts.directory);
}

// Where the file's replacements are made: beside the file a link points to, if it can be
// found yet.
std::string replacementDirectory(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            const std::string directory = splitPath(resolved).directory;
            std::free(resolved);
            return directory;
        }
    }
    return splitPath(path).directory;
}

// A link stays a link: the file it points to is the one replaced.
std::string fileBehindLinks(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        raiseFromErrno(errno);
    }
    if (!S_ISLNK(st.st_mode)) {
        return path;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        raiseFromErrno(errno);
    }
    std::string target = resolved;
    std::free(resolved);
    return target;
}

}  // namespace

cIniDataStore::cIniDataStore(const std::string& configurationPath, Source source) {
    const bool pipe =
        readFileInto(configurationPath, configuration_, source == Source::RegularFileOrPipe);
    // A pipe such as /dev/fd/63 has no name to put a defaults file beside.
    if (pipe && !hasIniSuffix(configurationPath)) return;
    readFileInto(defaultsFilePath(configurationPath), defaults_, false);
}

uint32_t cIniDataStore::lookup(const std::string& portIdentifier, const char* key,
                               uint32_t builtIn) const {
    const auto fromDefaults = readValue(defaults_, kDefaultsSection, key);
    const auto fromPort = readValue(configuration_, portIdentifier, key);
    if (fromPort) {
        return *fromPort;
    }
    return fromDefaults ? *fromDefaults : builtIn;
}

void cIniDataStore::set(const std::string& portIdentifier, const char* key, uint32_t value) {
    childNamed(childNamed(configuration_, portIdentifier), key).data() = std::to_string(value);
}

std::string cIniDataStore::whyUnwritableSection(const std::string& name) {
    constexpr const char* kSectionBreaks = "\n]";
    if (holdsAny(name, kSectionBreaks) || blankAtAnEnd(name))
        return "a section name must not hold a line break or ']', nor start or end with white space";
    return "";
}

uint32_t cIniDataStore::getFifoRxDepth(const std::string& portIdentifier) const {
    return lookup(portIdentifier, kFifoRxDepth, kBuiltInFifoRxDepth);
}

uint32_t cIniDataStore::getFifoTxDepth(const std::string& portIdentifier) const {
    return lookup(portIdentifier, kFifoTxDepth, kBuiltInFifoTxDepth);
}

uint32_t cIniDataStore::getRs485TransceiverMode(const std::string& portIdentifier) const {
    return lookup(portIdentifier, kRs485TransceiverMode, kBuiltInRs485TransceiverMode);
}

void cIniDataStore::setFifoRxDepth(const std::string& portIdentifier, uint32_t value) {
    set(portIdentifier, kFifoRxDepth, value);
}

void cIniDataStore::setFifoTxDepth(const std::string& portIdentifier, uint32_t value) {
    set(portIdentifier, kFifoTxDepth, value);
}

void cIniDataStore::setRs485TransceiverMode(const std::string& portIdentifier, uint32_t value) {
    set(portIdentifier, kRs485TransceiverMode, value);
}

void cIniDataStore::save(const std::string& configurationPath) const {
    refuseUnwritableNames(configuration_);
    std::lock_guard<std::mutex> guard(gFileMutex);
    const SaversTurn turn =
        takeSaversTurn(replacementDirectory(configurationPath), configurationPath);
    const LockedFile current = openLockedForWriting(configurationPath);

    struct stat currentStat {};
    if (::fstat(current.file.get(), &currentStat) != 0) {
        raiseFromErrno(errno);
    }
    if (static_cast<std::size_t>(currentStat.st_size) > kMaxFileSize) {
        raiseTooLarge(configurationPath);
    }
    ptree tree = parseIni(readAll(current.file.get(), configurationPath));
    merge(tree, configuration_);
    // The writer refuses some trees; find out before anything on disk changes.
    std::ostringstream text;
    boost::property_tree::ini_parser::write_ini(text, tree);
    replaceFile(fileBehindLinks(configurationPath), text.str(), currentStat);
}

std::string cIniDataStore::defaultsFilePath(const std::string& configurationPath) {
    if (!hasIniSuffix(configurationPath)) {
        throw std::invalid_argument("Invalid file path");
    }
    return configurationPath.substr(0, configurationPath.size() - std::strlen(kIniSuffix)) +
           kDefaultsSuffix;
}

std::string cIniDataStore::configurationFilePath() {
    return qxsysq::getSysconfDir() + kConfigurationFile;
}

ptree cIniDataStore::readFile(const std::string& path, tIniLines* lines) {
    ptree tree;
    readFileInto(path, tree, false, lines);
    return tree;
}

// A minus sign is refused: a stream would wrap "-1" to 4294967295. Read by hand: a listing
// asks three values of every port.
std::optional<uint32_t> cIniDataStore::parseValue(const std::string& text) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    std::size_t i = 0;
    const std::size_t end = text.size();
    while (i < end && blank(text[i])) ++i;
    if (i < end && text[i] == '+') ++i;
    const std::size_t digits = i;
    uint64_t value = 0;
    for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    }
    if (i == digits) return std::nullopt;
    while (i < end && blank(text[i])) ++i;
    if (i != end) return std::nullopt;
    return static_cast<uint32_t>(value);
}

}  // namespace qx561x
