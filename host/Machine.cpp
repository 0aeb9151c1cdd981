// SPDX-License-Identifier: MIT
#include "host/Machine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "host/Catalog.h"
#include "host/Format.h"
#include "platform/qxafa/UniqueFd.h"
#include "shared/qx561x/cIniDataStore.h"
#include "shared/qx561x/cPropertyAccessorFactory.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace qxhost {
namespace {

using namespace sysapicpp;
using Store = qx561x::cIniDataStore;

constexpr char kDriverRoot[] = "/proc/driver/qx";
constexpr char kDriverDirectory[] = "/proc/driver/qx/pci:";
constexpr std::size_t kSlotPathLimit = 4096;

std::string directoryOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

// Why the configuration file cannot be saved by this user: the store rewrites it in place
// and makes its replacement beside it. "" when nothing stands in the way.
std::string unwritableConfiguration(const std::string& path) {
    const std::string directory = directoryOf(path);
    int error = 0;
    if (::access(directory.c_str(), W_OK | X_OK) != 0) error = errno;
    else if (::access(path.c_str(), W_OK) != 0 && errno != ENOENT) error = errno;
    if (error == 0) return "";
    if (error == ENOENT) return "cannot write " + path + ": " + directory + " does not exist";
    std::string reason = std::strerror(error);
    if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    const bool privilege = (error == EACCES || error == EPERM) && ::geteuid() != 0;
    return "cannot write " + path + ": " + reason + (privilege ? "; run as root" : "");
}

// The stored value of a setting in the port's own section, as the store reads it, if it
// holds one.
std::optional<uint32_t> storedSetting(const boost::property_tree::ptree& file, const std::string& section,
                                      uint32_t tag) {
    const char* key = tag == RxFifoDepth   ? Store::kFifoRxDepthKey
                      : tag == TxFifoDepth ? Store::kFifoTxDepthKey
                                           : Store::kRs485TransceiverModeKey;
    const auto found = file.find(section);
    if (found == file.not_found()) return std::nullopt;
    const auto value = found->second.find(key);
    if (value == found->second.not_found()) return std::nullopt;
    return Store::parseValue(value->second.data());
}

}  // namespace

// Read with read(2): a file stream would set up a buffer and a locale for every board.
std::optional<std::string> slotPath(const std::string& address) {
    const std::string path = kDriverDirectory + address + "/busProperties/pciSlotPath";
    const qxafa::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) return std::nullopt;
    char text[kSlotPathLimit];
    std::size_t length = 0;
    while (length < sizeof text) {
        const ssize_t n = ::read(file.get(), text + length, sizeof text - length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        length += static_cast<std::size_t>(n);
    }
    return std::string(text, ::strnlen(text, length));
}

bool driverLoaded() { return present(kDriverRoot); }

bool present(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::optional<DirectoryStamp> directoryStamp(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
    return DirectoryStamp{info.st_dev, info.st_ino, info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
}

std::optional<std::string> whySetFailed(const std::string& portPath, const PropertyBagHandle& port,
                                        const std::vector<Setting>& settings, const std::string& node) {
    const std::string configurationPath = Store::configurationFilePath();
    if (std::string unwritable = unwritableConfiguration(configurationPath); !unwritable.empty()) return unwritable;
    std::string section;
    try {
        section = qx561x::cPropertyAccessorFactory().createPortPropertyAccessor(portPath)->getPortIdentifier();
    } catch (const std::exception&) {
        if (present(portPath)) return std::nullopt;
        return "the board was removed while the settings were stored";
    }
    if (const std::string why = Store::whyUnwritableSection(section); !why.empty()) {
        const std::optional<ItemIdentity> board = identify(port.getString(ParentDevice));
        const std::optional<std::string> slot = board ? slotPath(board->personName) : std::nullopt;
        if (!slot) return "the port's section name " + quoted(section) + " cannot be written in " +
                          configurationPath + " (" + why + ")";
        return "board " + board->personName + ": its slot path " + quotedString(*slot) + " cannot name a section in " +
               configurationPath + " (" + why + ")";
    }
    try {
        const boost::property_tree::ptree file = Store::readFile(configurationPath);
        bool stored = true;
        for (const Setting& setting : settings) stored = stored && storedSetting(file, section, setting.tag) == setting.value;
        if (stored)
            return "the settings were stored, but qxserialconfig could not apply them to the port; 'qxhost apply " +
                   node + "' tries again";
    } catch (const std::exception&) {
        // An unreadable file: the store could not have saved into it either.
    }
    return std::nullopt;
}

}  // namespace qxhost
