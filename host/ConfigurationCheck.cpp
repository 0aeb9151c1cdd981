// SPDX-License-Identifier: MIT
#include "host/ConfigurationCheck.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>

#include <boost/property_tree/ini_parser.hpp>

#include "host/HostError.h"
#include "platform/qxafa/UniqueFd.h"
#include "platform/qxerr/Exception.h"
#include "shared/qx561x/cEnumeratorFactory.h"
#include "shared/qx561x/cIniDataStore.h"
#include "shared/qx561x/cPropertyAccessorFactory.h"

namespace qxhost {
namespace {

using boost::property_tree::ptree;

using Store = qx561x::cIniDataStore;
constexpr const char* kDefaultsSection = Store::kDefaultsSection;
constexpr const char* kRxKey = Store::kFifoRxDepthKey;
constexpr const char* kTxKey = Store::kFifoTxDepthKey;
constexpr const char* kModeKey = Store::kRs485TransceiverModeKey;

std::optional<uint64_t> lineOf(const std::map<std::pair<std::string, std::string>, unsigned long>& keys,
                               const std::string& section, const std::string& key) {
    const auto found = keys.find({section, key});
    return found == keys.end() ? std::nullopt : std::optional<uint64_t>(found->second);
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The store reads a key only by its exact name: any other is a setting silently ignored.
std::string unknownKey(const std::string& key) {
    for (const char* known : Store::kPortKeys)
        if (equalIgnoringCase(key, known))
            return "unknown key " + key + " is never read; the key is " + known;
    return "unknown key " + key + " is never read; the keys are " + kRxKey + ", " + kTxKey + " and " + kModeKey;
}

std::string range(const Limits& limits) { return std::to_string(limits.min) + ".." + std::to_string(limits.max); }

// What a section's keys may hold: for a port, its own bounds; for the defaults, the bounds
// that every port present shares (no bound for a key that no port present takes).
struct Bounds {
    std::optional<Limits> rx;
    std::optional<Limits> tx;
    std::optional<Limits> mode;
};

Bounds boundsOf(const PresentPort& port) {
    return Bounds{port.rx, port.tx, port.rs232 ? std::nullopt : std::optional<Limits>(kRs485ModeLimits)};
}

void narrow(std::optional<Limits>& shared, const Limits& limits) {
    if (!shared) {
        shared = limits;
        return;
    }
    shared->min = std::max(shared->min, limits.min);
    shared->max = std::min(shared->max, limits.max);
}

Bounds sharedBounds(const std::vector<PresentPort>& ports) {
    Bounds bounds;
    for (const PresentPort& port : ports) {
        narrow(bounds.rx, port.rx);
        narrow(bounds.tx, port.tx);
        if (!port.rs232) narrow(bounds.mode, kRs485ModeLimits);
    }
    return bounds;
}

class FileCheck {
public:
    FileCheck(std::string path, qx561x::tIniLines lines, std::vector<Problem>& problems)
        : path_(std::move(path)), lines_(std::move(lines)), problems_(problems) {}

    void checkSection(const std::string& section, const ptree& keys, const Bounds& bounds) {
        for (const auto& [name, node] : keys) {
            const std::string& key = name;  // a lambda may not take a structured binding
            const std::optional<uint64_t> line = lineOf(lines_.keys, section, key);
            if (std::find_if(Store::kPortKeys.begin(), Store::kPortKeys.end(),
                             [&](const char* known) { return key == known; }) == Store::kPortKeys.end()) {
                add(line, "key", section, key, unknownKey(key));
                continue;
            }
            const std::optional<Limits>& limits = key == kRxKey ? bounds.rx : key == kTxKey ? bounds.tx : bounds.mode;
            const std::optional<uint32_t> value = Store::parseValue(node.data());
            if (!value) {
                add(line, "value", section, key,
                    key + " \"" + node.data() + "\" is not a number; it counts as absent");
            } else if (limits && (*value < limits->min || *value > limits->max)) {
                add(line, "range", section, key, key + " " + std::to_string(*value) + " is outside " + range(*limits));
            }
        }
    }

    void unusedSection(const std::string& section, const std::string& why) {
        const auto found = lines_.sections.find(section);
        add(found == lines_.sections.end() ? std::nullopt : std::optional<uint64_t>(found->second), "section",
            section, std::nullopt, "section [" + section + "] " + why);
    }

    void unusedKey(const std::string& key, const std::string& why) {
        add(lineOf(lines_.keys, "", key), "section", std::nullopt, key, key + " " + why);
    }

private:
    void add(std::optional<uint64_t> line, const char* kind, std::optional<std::string> section,
             std::optional<std::string> key, std::string message) {
        problems_.push_back(Problem{path_, line, kind, std::move(section), std::move(key), std::move(message)});
    }

    std::string path_;
    qx561x::tIniLines lines_;
    std::vector<Problem>& problems_;
};

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The store's reading of one file, or why it has none. A missing file reads as empty.
std::optional<Problem> readWithStore(const std::string& path, ptree& tree, qx561x::tIniLines* lines = nullptr) {
    const auto problem = [&](std::optional<uint64_t> line, const char* kind, std::string message) {
        return Problem{path, line, kind, std::nullopt, std::nullopt, std::move(message)};
    };
    {
        // Opened without blocking: a FIFO in its place must not hang the check.
        const qxafa::UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        struct stat info {};
        if (!file && errno == ENOENT) return std::nullopt;
        if (!file || ::fstat(file.get(), &info) != 0) return problem(std::nullopt, "file", std::strerror(errno));
        if (!S_ISREG(info.st_mode)) return problem(std::nullopt, "file", "not a regular file");
    }
    try {
        tree = Store::readFile(path, lines);
    } catch (const boost::property_tree::ini_parser_error& error) {
        return problem(error.line() ? std::optional<uint64_t>(error.line()) : std::nullopt, "parse", error.message());
    } catch (const qxerr::ExceptionBase& error) {
        return problem(std::nullopt, "file", reportSummary(error.report()));
    } catch (const std::exception& error) {
        return problem(std::nullopt, "file", error.what());
    }
    return std::nullopt;
}

std::optional<ptree> readChecked(const std::string& path, std::vector<Problem>& problems,
                                 qx561x::tIniLines& lines) {
    ptree tree;
    if (std::optional<Problem> problem = readWithStore(path, tree, &lines)) {
        problems.push_back(std::move(*problem));
        return std::nullopt;
    }
    return tree;
}

}  // namespace

std::vector<PresentPort> presentPorts() {
    qx561x::cEnumeratorFactory enumerators;
    qx561x::cPropertyAccessorFactory accessors;
    std::vector<PresentPort> ports;
    for (const std::string& device : enumerators.createDeviceEnumerator()->enumerateDevices()) {
        for (const std::string& name : enumerators.createPortEnumerator()->enumeratePorts(device)) {
            try {
                const auto port = accessors.createPortPropertyAccessor(name);
                ports.push_back(PresentPort{port->getPortIdentifier(), port->isRs232(),
                                            {nullptr, port->getRxFifoDepthMin(), port->getRxFifoDepthMax(),
                                             port->getRxFifoDepthDefault()},
                                            {nullptr, port->getTxFifoDepthMin(), port->getTxFifoDepthMax(),
                                             port->getTxFifoDepthDefault()}});
            } catch (const std::exception&) {
                // A port that cannot be described has no section the plug-in would use.
            }
        }
    }
    return ports;
}

std::optional<Problem> fileProblem(const std::string& path) {
    ptree unused;
    return readWithStore(path, unused);
}

CheckModel checkConfiguration(const std::string& mainPath, const std::string& defaultsPath,
                              const std::vector<PresentPort>& ports) {
    CheckModel model;
    model.files = {{mainPath, exists(mainPath)}, {defaultsPath, exists(defaultsPath)}};
    std::map<std::string, const PresentPort*> byIdentifier;
    for (const PresentPort& port : ports) byIdentifier.emplace(port.identifier, &port);
    const Bounds everyPort = sharedBounds(ports);

    qx561x::tIniLines lines;
    if (const std::optional<ptree> tree = readChecked(mainPath, model.problems, lines)) {
        FileCheck file(mainPath, std::move(lines), model.problems);
        for (const auto& [name, node] : *tree) {
            if (node.empty()) {
                file.unusedKey(name, "stands outside any section and is never read");
                continue;
            }
            const auto port = byIdentifier.find(name);
            if (name == kDefaultsSection) {
                file.unusedSection(name, "is read only from " + defaultsPath);
                file.checkSection(name, node, everyPort);
            } else if (port == byIdentifier.end()) {
                file.unusedSection(name, "names no port present");
                file.checkSection(name, node, everyPort);
            } else {
                file.checkSection(name, node, boundsOf(*port->second));
            }
        }
    }
    lines = {};
    if (const std::optional<ptree> tree = readChecked(defaultsPath, model.problems, lines)) {
        FileCheck file(defaultsPath, std::move(lines), model.problems);
        for (const auto& [name, node] : *tree) {
            if (node.empty()) {
                file.unusedKey(name, "stands outside any section and is never read");
            } else if (name != kDefaultsSection) {
                file.unusedSection(name, "is never read here: only [defaults] is");
                file.checkSection(name, node, everyPort);
            } else {
                file.checkSection(name, node, everyPort);
            }
        }
    }
    return model;
}

std::vector<Warning> configurationWarnings() {
    std::vector<Warning> warnings;
    const std::string mainPath = Store::configurationFilePath();
    for (const std::string& path : {mainPath, Store::defaultsFilePath(mainPath)}) {
        if (const std::optional<Problem> problem = fileProblem(path))
            warnings.push_back(Warning{problem->file, problem->line,
                                       problem->message + "; ports are missing until the file can be read"});
    }
    return warnings;
}

}  // namespace qxhost
