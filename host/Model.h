// SPDX-License-Identifier: MIT
#pragma once
// What each command found, as plain records: a command builds one, and the text printer
// and the JSON printer render it. Field order follows the published JSON shapes.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "shared/qx561x/PortSettings.h"
#include "sysapicpp/HResult.h"

namespace qxhost {

// Printed as min, max, default and, when there are named values, choices.
struct Limits {
    const qx561x::tRs485ModeTable* choices = nullptr;  // the named values, when it has them
    uint32_t min = 0;
    uint32_t max = 0;
    uint32_t defaultValue = 0;
};

// The RS-485 modes' bounds, as the model's table of modes has them: the plug-in publishes
// none.
constexpr Limits kRs485ModeLimits{&qx561x::kRs485Modes, qx561x::kLowestRs485Mode, qx561x::kHighestRs485Mode,
                                  qx561x::kBuiltInRs485TransceiverMode};

struct PortRow {
    std::string item;
    std::string node;
    std::string path;
    int32_t number = 0;
    bool rs232 = false;
    uint32_t rx = 0;
    uint32_t tx = 0;
    std::optional<uint32_t> mode;  // RS-485 ports only
    std::optional<std::string> modeName;  // a mode with a name
    Limits rxLimits;
    Limits txLimits;
    std::optional<Limits> modeLimits;
};

struct BoardRow {
    std::string item;
    std::string address;
    std::string path;
    std::string model;
    std::optional<std::string> slot;
    std::string serial;
    int32_t portCount = 0;
    std::vector<PortRow> ports;
};

struct ListModel {
    std::vector<BoardRow> boards;
    std::vector<PortRow> unlistedBoardPorts;  // ports whose board could not be described
};

struct PropertyRow {
    uint32_t tag = 0;
    std::string name;  // "" for a tag without one
    int32_t type = 0;
    // string, guid and timestamp values are text
    std::variant<bool, int32_t, uint32_t, double, std::string> value;
    bool isMode = false;  // an RS-485 transceiver mode
    std::optional<std::string> modeName;  // a mode with a name
};

struct ShowItem {
    std::string item;
    std::vector<PropertyRow> properties;
};

struct ShowModel {
    std::vector<ShowItem> items;
};

struct Change {
    std::string key;   // "rx", "tx" or "mode"
    std::string name;  // the property's name
    std::optional<uint32_t> before;
    std::optional<uint32_t> after;
};

struct SetPort {
    std::string item;
    std::string node;
    std::vector<Change> changes;
    bool applied = false;
};

struct SetModel {
    bool dryRun = false;
    std::vector<SetPort> ports;
};

struct ApplyPort {
    std::string item;
    std::string node;
    std::string path;
    std::optional<int> status;  // the tool's exit status; none when it did not exit
    std::string report;         // what the tool wrote
    bool applied() const { return status == 0; }
};

struct ApplyModel {
    std::vector<ApplyPort> ports;
};

struct WatchEvent {
    std::string change;  // "added", "removed" or "changed"
    std::string item;
    std::optional<std::string> kind;     // "port" or "board"
    std::optional<std::string> node;     // ports
    std::optional<std::string> address;  // boards
};

struct CheckedFile {
    std::string path;
    bool exists = false;
};

struct Problem {
    std::string file;
    std::optional<uint64_t> line;
    std::string kind;  // "file", "parse", "key", "value", "range" or "section"
    std::optional<std::string> section;
    std::optional<std::string> key;
    std::string message;
};

struct CheckModel {
    std::vector<CheckedFile> files;
    std::vector<Problem> problems;
};

// Something the user should know that does not change the exit status.
struct Warning {
    std::optional<std::string> file;
    std::optional<uint64_t> line;
    std::string message;
};

struct ErrorReport {
    std::optional<std::string> operation;  // the command, when known
    std::string call;
    std::optional<sysapicpp::HRESULT> code;
    std::string message;
    std::optional<std::string> name;
};

}  // namespace qxhost
