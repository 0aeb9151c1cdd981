// SPDX-License-Identifier: MIT
#include "host/TextPrinter.h"

#include <cstdio>

#include "host/Format.h"
#include "host/HostError.h"
#include "sysapicpp/propbag/CcxPropertyValue.h"

namespace qxhost {
namespace {

std::string number(const std::optional<uint32_t>& value) { return value ? std::to_string(*value) : "-"; }

// Messages from programs may span lines; an error stays one line, and shows whatever else
// it holds visibly.
std::string oneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return visible(text);
}

// What follows a mode's number: its name, or, for the value the plug-in reports for a
// stored value that is no mode, that it is none.
std::string modeWords(const std::optional<std::string>& name) {
    return " (" + (name ? *name : std::string("out of range")) + ")";
}

std::string portLine(const PortRow& port) {
    std::string line = "  " + quoted(port.node) + (port.rs232 ? "  RS-232" : "  RS-485");
    line += " rx=" + std::to_string(port.rx) + " tx=" + std::to_string(port.tx);
    if (port.mode) line += " mode=" + std::to_string(*port.mode) + modeWords(port.modeName);
    return line + "\n";
}

std::string valueText(const PropertyRow& property) {
    struct Visitor {
        int32_t type;
        std::string operator()(bool value) const { return value ? "true" : "false"; }
        std::string operator()(int32_t value) const { return std::to_string(value); }
        std::string operator()(uint32_t value) const { return std::to_string(value); }
        std::string operator()(double value) const {
            char text[32];
            std::snprintf(text, sizeof text, "%.17g", value);
            return text;
        }
        std::string operator()(const std::string& value) const {
            return type == kPropertyTypeString ? quotedString(value) : visible(value);
        }
    };
    return std::visit(Visitor{property.type}, property.value);
}

std::string location(const std::string& file, const std::optional<uint64_t>& line) {
    return line ? visible(file) + ":" + std::to_string(*line) : visible(file);
}

}  // namespace

std::string toText(const ListModel& model) {
    std::string out;
    for (const BoardRow& board : model.boards) {
        out += quoted(board.address) + "  model=" + quoted(board.model) +
               " slot=" + (board.slot ? quoted(*board.slot) : "-") + " serial=" + quoted(board.serial) +
               " ports=" + std::to_string(board.portCount) + "\n";
        for (const PortRow& port : board.ports) out += portLine(port);
    }
    if (!model.unlistedBoardPorts.empty()) {
        out += "(ports of boards that could not be described)\n";
        for (const PortRow& port : model.unlistedBoardPorts) out += portLine(port);
    }
    return out;
}

std::string toText(const ShowModel& model) {
    std::string out;
    for (const ShowItem& item : model.items) {
        out += quoted(item.item) + "\n";
        for (const PropertyRow& property : item.properties) {
            char line[96];
            std::snprintf(line, sizeof line, "  %s  %-22s %-9s ", tagHex(property.tag).c_str(),
                          property.name.empty() ? "-" : property.name.c_str(),
                          typeName(property.type).c_str());
            out += line + valueText(property);
            if (property.isMode) out += modeWords(property.modeName);
            out += "\n";
        }
    }
    return out;
}

std::string toText(const SetModel& model) {
    std::string out;
    for (const SetPort& port : model.ports) {
        for (const Change& change : port.changes) {
            out += quoted(port.node) + " " + change.name + " " + number(change.before) + " -> " +
                   number(change.after) + (model.dryRun ? " (valid, not applied)" : "") + "\n";
        }
    }
    return out;
}

std::string toText(const ApplyModel& model) {
    std::string out;
    for (const ApplyPort& port : model.ports) {
        out += quoted(port.node);
        if (port.applied()) out += " applied\n";
        else if (port.status) out += " not applied: qxserialconfig exit status " + std::to_string(*port.status) + "\n";
        else out += " not applied: qxserialconfig did not exit\n";
    }
    return out;
}

std::string toText(const WatchEvent& event) {
    if (!event.kind) return event.change + " " + quoted(event.item) + "\n";
    const std::optional<std::string>& personName = *event.kind == "port" ? event.node : event.address;
    return event.change + " " + *event.kind + " " + quoted(personName ? *personName : event.item) + "\n";
}

std::string toText(const CheckModel& model) {
    std::string out;
    for (const Problem& problem : model.problems)
        out += location(problem.file, problem.line) + ": " + oneLine(problem.message) + "\n";
    return out;
}

std::string toText(const Warning& warning) {
    std::string line = "qxhost: warning: ";
    if (warning.file) line += location(*warning.file, warning.line) + ": ";
    return line + oneLine(warning.message) + "\n";
}

std::string toText(const ErrorReport& error) {
    std::string line = "qxhost: ";
    if (error.call == kCallLoad) {
        // The loader's text usually begins with the path already.
        const std::string prefix = error.name ? *error.name + ": " : "";
        std::string text = error.message;
        if (!prefix.empty() && text.rfind(prefix, 0) == 0) text.erase(0, prefix.size());
        return line + "cannot load plug-in " + (error.name ? quoted(*error.name) + ": " : "") + oneLine(text) + "\n";
    }
    if (error.name) line += quoted(*error.name) + ": ";
    if (error.code) {
        const std::optional<std::string> symbol = resultSymbol(*error.code);
        line += error.call + " failed: " + resultHex(*error.code) + (symbol ? " " + *symbol : "") + ": ";
    } else if (error.call == kCallTool) {
        line += "qxserialconfig failed: ";
    }
    return line + oneLine(error.message) + "\n";
}

}  // namespace qxhost
