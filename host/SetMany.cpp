// SPDX-License-Identifier: MIT
#include "host/SetMany.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "host/Catalog.h"
#include "host/Commands.h"
#include "host/Format.h"
#include "host/HostError.h"
#include "host/JsonPrinter.h"
#include "host/TextPrinter.h"
#include "host/Shaping.h"
#include "platform/qxafa/UniqueFd.h"
#include "shared/qx561x/PortSettings.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"

namespace qxhost {
namespace {

using sysapicpp::PropertyBagHandle;

// More than any machine's ports could need; a runaway pipe is not read for ever.
constexpr std::size_t kDocumentLimit = 16 * 1024 * 1024;
constexpr char kStandardInput[] = "-";
constexpr char kDocumentShape[] = "{\"ports\": {NAME: {\"rx\": N, \"tx\": N, \"mode\": N}, ...}}";

// A problem of the document as a whole: nothing of it can be trusted.
HostError documentError(const std::string& file, const std::string& message) {
    return HostError(kCallRefused, std::nullopt, message, file == kStandardInput ? "standard input" : file);
}

HostError refusal(const std::string& typed, const std::string& message) {
    return HostError(kCallRefused, std::nullopt, message, typed);
}

std::string readDocument(const std::string& file) {
    qxafa::UniqueFd opened;
    if (file != kStandardInput) {
        opened = qxafa::UniqueFd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
        if (!opened) throw documentError(file, std::string("cannot be read: ") + std::strerror(errno));
    }
    const int fd = opened ? opened.get() : STDIN_FILENO;
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw documentError(file, std::string("cannot be read: ") + std::strerror(errno));
        if (n == 0) return text;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kDocumentLimit) throw documentError(file, "is larger than 16 MiB");
    }
}

// The parser keeps one of two equal keys silently; a port or a setting given twice is
// refused instead, so that no wanted value is dropped unseen.
Json parseDocument(const std::string& text, const std::string& file, std::vector<HostError>& failures) {
    struct Open {
        std::set<std::string> keys;
        std::string lastKey;
    };
    std::vector<Open> open;
    std::optional<std::string> topDuplicate;
    const Json::parser_callback_t noteKeys = [&](int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) open.emplace_back();
        if (event == Json::parse_event_t::object_end && !open.empty()) open.pop_back();
        if (event != Json::parse_event_t::key || open.empty()) return true;
        const std::string key = parsed.get<std::string>();
        Open& object = open.back();
        object.lastKey = key;
        if (object.keys.insert(key).second) return true;
        if (open.size() == 2) failures.push_back(refusal(key, "the port is named twice"));
        else if (open.size() == 3) failures.push_back(refusal(open[1].lastKey, key + " is given twice"));
        else if (!topDuplicate) topDuplicate = key;
        return true;
    };
    Json document;
    try {
        document = Json::parse(text, noteKeys);
    } catch (const Json::exception& error) {
        std::string why = error.what();
        // "[json.exception.parse_error.101] parse error at line 1, column 2: ..."
        if (const auto end = why.find("] "); why.rfind("[json.exception.", 0) == 0 && end != std::string::npos)
            why.erase(0, end + 2);
        throw documentError(file, "is not JSON: " + why);
    }
    if (topDuplicate) throw documentError(file, qxhost::quoted(*topDuplicate) + " is given twice");
    if (!document.is_object()) throw documentError(file, std::string("must be a JSON object ") + kDocumentShape);
    for (const auto& [key, value] : document.items())
        if (key != "ports") throw documentError(file, "unknown key " + qxhost::quoted(key) + " (ports)");
    if (!document.contains("ports") || !document["ports"].is_object())
        throw documentError(file, std::string("must hold \"ports\", an object: ") + kDocumentShape);
    return document;
}

std::string valueText(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

// The settings of one port's object, in the document's order; problems go to failures.
std::vector<Setting> portSettings(const std::string& typed, const Json& object, std::vector<HostError>& failures) {
    std::vector<Setting> settings;
    if (!object.is_object()) {
        failures.push_back(refusal(typed, "the port's settings must be an object such as {\"rx\": 32}, not " +
                                              valueText(object)));
        return settings;
    }
    for (const auto& [key, value] : object.items()) {
        const std::optional<Setting> known = settingNamed(key, true);
        if (!known) {
            failures.push_back(refusal(typed, "unknown key " + qxhost::quoted(key) + " (" + kSettingKeys + ")"));
            continue;
        }
        if (value.is_null()) continue;  // as a listing has it for an RS-232 port's mode: not managed
        std::optional<uint32_t> number;
        if (value.is_number_unsigned() && value.get<uint64_t>() <= UINT32_MAX) number = value.get<uint32_t>();
        if (value.is_string() && known->tag == sysapicpp::Rs485TransceiverMode)
            if (const qx561x::tRs485Mode* mode = qx561x::findRs485Mode(value.get<std::string>())) number = mode->value;
        if (number) {
            settings.push_back(Setting{known->key, known->tag, *number});
        } else if (value.is_string() && known->tag == sysapicpp::Rs485TransceiverMode) {
            failures.push_back(refusal(typed, "unknown mode " + valueText(value) + " (" + modeNames() + ")"));
        } else {
            const std::string names = known->tag == sysapicpp::Rs485TransceiverMode ? " or a mode's name" : "";
            failures.push_back(refusal(typed, "value of " + key + " must be a number from 0 to 4294967295" + names +
                                                  ", got " + valueText(value)));
        }
    }
    return settings;
}

// The given settings whose value the port does not hold now.
std::vector<Setting> differing(const PropertyBagHandle& port, const std::vector<Setting>& settings) {
    std::vector<Setting> result;
    for (const Setting& setting : settings)
        if (!port.hasProperty(setting.tag) || port.getUInt32(setting.tag) != setting.value) result.push_back(setting);
    return result;
}

struct Wanted {
    std::string typed;
    const CatalogItem* port;
    std::vector<Setting> changes;  // only what differs
};

// The port a NAME of the document means; nothing, with the failure noted, when it means none.
const CatalogItem* findPort(IcxSysExpert2& expert, const Catalog& catalog, const std::string& typed,
                            std::vector<HostError>& failures) {
    const CatalogItem* found = catalog.find(typed);
    if (!found) {
        try {
            // The plug-in says why: no such item, most likely.
            readItem(expert, typed, typed);
            failures.emplace_back("GetAllItemProperties", sysapicpp::E_SYSAPI_ITEM_NOT_EXIST,
                                  "the item was not in the listing", typed);
        } catch (const HostError& error) {
            failures.push_back(error);
        }
        return nullptr;
    }
    if (!found->isPort()) {
        failures.push_back(refusal(typed, "a board has no settings; name one of its ports"));
        return nullptr;
    }
    return found;
}

}  // namespace

int runSetMany(PluginSession& session, const CommandContext& context) {
    const std::string& file = *context.options.from;
    std::vector<HostError> failures;
    const Json document = parseDocument(readDocument(file), file, failures);
    const Catalog catalog = Catalog::read(session, context.stop);
    IcxSysExpert2& expert = session.expert();

    std::vector<Wanted> wanted;
    std::map<std::string, std::string> named;  // item name: the NAME that first meant it
    for (const auto& [typed, object] : document["ports"].items()) {
        context.stop.check();
        const std::vector<Setting> settings = portSettings(typed, object, failures);
        const CatalogItem* port = findPort(expert, catalog, typed, failures);
        if (!port) continue;
        if (const auto [first, fresh] = named.emplace(port->name, typed); !fresh) {
            failures.push_back(refusal(typed, "names the same port as " + qxhost::quoted(first->second)));
            continue;
        }
        Wanted entry{typed, port, differing(port->bag, settings)};
        try {
            if (!entry.changes.empty()) validatePortSettings(expert, port->name, typed, port->bag, entry.changes);
        } catch (const HostError& error) {
            failures.push_back(error);
        }
        wanted.push_back(std::move(entry));
    }
    // Nothing is stored unless every port can be.
    if (!failures.empty()) return reportFailures(failures);

    SetModel model;
    model.dryRun = context.options.dryRun;
    for (const Wanted& port : wanted) {
        const std::string& name = port.port->name;
        const PropertyBagHandle& before = port.port->bag;
        if (port.changes.empty() || model.dryRun) {
            model.ports.push_back(setPort(name, before, nullptr, port.changes));
            continue;
        }
        context.stop.check();  // nothing more is stored after a stop request
        try {
            const PropertyBagHandle after = storePortSettings(expert, name, port.typed, before, port.changes);
            model.ports.push_back(setPort(name, before, &after, port.changes));
        } catch (const HostError& error) {
            // The others were validated too: they go on, and this one is reported.
            failures.push_back(error);
            SetPort failed = setPort(name, before, nullptr, port.changes);
            for (Change& change : failed.changes) change.after = std::nullopt;
            model.ports.push_back(std::move(failed));
        }
    }
    context.output.result(context.output.json() ? jsonLine(toJson(model)) : toText(model));
    return reportFailures(failures);
}

}  // namespace qxhost
