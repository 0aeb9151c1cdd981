// SPDX-License-Identifier: MIT
#include "host/Commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>

#include "host/Catalog.h"
#include "host/ConfigurationCheck.h"
#include "host/Format.h"
#include "host/HostError.h"
#include "host/HostObjects.h"
#include "host/JsonPrinter.h"
#include "host/TextPrinter.h"
#include "host/ToolRun.h"
#include "platform/qx/dsc/Utf8.h"
#include "platform/qxafa/UniqueFd.h"
#include "platform/qxerr/Exception.h"
#include "shared/qx561x/cIniDataStore.h"
#include "shared/qx561x/cPropertyAccessorFactory.h"
#include "sysapicpp/HResultException.h"
#include "sysapicpp/cache/Item.h"
#include "shared/qx561x/PortSettings.h"
#include "sysapicpp/propbag/CcxPropertyValue.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace qxhost {
namespace {

using namespace sysapicpp;

constexpr char kDriverRoot[] = "/proc/driver/qx";
constexpr char kDriverDirectory[] = "/proc/driver/qx/pci:";
constexpr std::size_t kSlotPathLimit = 4096;
constexpr char kConfigurationDirectory[] = "/etc/qxserial";

template <class Model>
void print(const CommandContext& context, const Model& model) {
    context.output.result(context.output.json() ? jsonLine(toJson(model)) : toText(model));
}

void warn(const CommandContext& context, const Warning& warning) {
    context.output.diagnostic(context.output.json() ? jsonLine(toJson(warning)) : toText(warning));
}

// A property the bag lacks is a failure that names the item.
template <class Read>
auto fromBag(const std::string& item, Read read) -> decltype(read()) {
    try {
        return read();
    } catch (const HResultException& error) {
        throw HostError(kCallProperty, error.getCode(), "a property of the item cannot be read", item);
    }
}

// The board's slot as the driver publishes it; nothing when it cannot be read. Read with
// read(2): a file stream would set up a buffer and a locale for every board.
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

std::optional<std::string> modeName(uint32_t mode) {
    const qx561x::tRs485Mode* named = qx561x::findRs485Mode(mode);
    return named ? std::optional<std::string>(named->name) : std::nullopt;
}

Limits limits(const PropertyBagHandle& bag, uint32_t min, uint32_t max, uint32_t defaultValue) {
    return Limits{bag.getUInt32(min), bag.getUInt32(max), bag.getUInt32(defaultValue)};
}

PortRow portRow(const CatalogItem& port) {
    return fromBag(port.name, [&] {
        const PropertyBagHandle& bag = port.bag;
        PortRow row;
        row.item = port.name;
        row.node = bag.getString(PortNode);
        row.path = port.path;
        row.number = bag.getInt32(PortNumber);
        row.rs232 = bag.getBool(IsRs232);
        row.rx = bag.getUInt32(RxFifoDepth);
        row.tx = bag.getUInt32(TxFifoDepth);
        row.rxLimits = limits(bag, RxFifoDepthMin, RxFifoDepthMax, RxFifoDepthDefault);
        row.txLimits = limits(bag, TxFifoDepthMin, TxFifoDepthMax, TxFifoDepthDefault);
        if (!row.rs232 && bag.hasProperty(Rs485TransceiverMode)) {
            row.mode = bag.getUInt32(Rs485TransceiverMode);
            row.modeName = modeName(*row.mode);
            row.modeLimits = kRs485ModeLimits;
        }
        return row;
    });
}

BoardRow boardRow(const CatalogItem& board, const Catalog& catalog) {
    BoardRow row = fromBag(board.name, [&] {
        const PropertyBagHandle& bag = board.bag;
        BoardRow fields;
        fields.item = board.name;
        fields.address = identify(board.name)->personName;
        fields.path = board.path;
        fields.model = bag.getString(ModelName);
        fields.serial = bag.getString(SerialNumber);
        fields.portCount = bag.getInt32(PortCount);
        return fields;
    });
    row.slot = slotPath(row.address);
    const std::vector<const CatalogItem*> ports = catalog.portsOf(board);
    row.ports.reserve(ports.size());
    for (const CatalogItem* port : ports) row.ports.push_back(portRow(*port));
    return row;
}

bool exists(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0;
}

// Ports are missing: a configuration file the plug-in cannot read is the usual reason.
void warnOfMissingPorts(const CommandContext& context, const Catalog& catalog) {
    if (catalog.incompleteBoards().empty()) return;
    for (const Warning& warning : configurationWarnings()) warn(context, warning);
}

void noticeEmptyMachine(const CommandContext& context) {
    if (context.output.json()) return;
    context.output.diagnostic(exists(kDriverRoot)
                                  ? "qxhost: no board found; the driver's /proc/driver/qx exists but lists none\n"
                                  : "qxhost: no board found; /proc/driver/qx does not exist: the boards' driver is "
                                    "not loaded\n");
}

PropertyRow propertyRow(const PropertyBagHandle& bag, uint32_t tag, ItemKind kind) {
    PropertyRow row;
    row.tag = tag;
    row.name = tagName(tag, kind);
    row.type = bag.getPropertyType(tag);
    switch (row.type) {
    case kPropertyTypeBool: row.value = bag.getBool(tag); break;
    case kPropertyTypeInt32: row.value = bag.getInt32(tag); break;
    case kPropertyTypeUInt32: row.value = bag.getUInt32(tag); break;
    case kPropertyTypeDouble: row.value = bag.getDouble(tag); break;
    case kPropertyTypeGuid: row.value = guidText(bag.getGuid(tag)); break;
    case kPropertyTypeString: row.value = bag.getString(tag); break;
    case kPropertyTypeTimestamp: row.value = timestampText(bag.getTimestamp(tag)); break;
    default: row.value = std::string("?"); break;
    }
    if (kind == ItemKind::Port && tag == Rs485TransceiverMode && row.type == kPropertyTypeUInt32) {
        row.isMode = true;
        row.modeName = modeName(std::get<uint32_t>(row.value));
    }
    return row;
}

// The host bag a request carries: each setting set, and so marked modified.
PropertyBagHandle requestBag(const std::vector<Setting>& settings) {
    PropertyBagHandle bag = PropertyBagHandle::createEmpty();
    for (const Setting& setting : settings) bag.setUInt32(setting.tag, setting.value);
    return bag;
}

// Which settings lie outside the bounds the port publishes, for a refusal without a message.
std::string outOfBounds(const PropertyBagHandle& port, const std::vector<Setting>& settings) {
    static const std::map<uint32_t, std::pair<uint32_t, uint32_t>> kBoundTags = {
        {RxFifoDepth, {RxFifoDepthMin, RxFifoDepthMax}},
        {TxFifoDepth, {TxFifoDepthMin, TxFifoDepthMax}},
    };
    std::string text;
    for (const Setting& setting : settings) {
        const auto bounds = kBoundTags.find(setting.tag);
        uint32_t low = kRs485ModeLimits.min;
        uint32_t high = kRs485ModeLimits.max;
        if (bounds != kBoundTags.end()) {
            if (!port.hasProperty(bounds->second.first) || !port.hasProperty(bounds->second.second)) continue;
            low = port.getUInt32(bounds->second.first);
            high = port.getUInt32(bounds->second.second);
        }
        if (setting.value >= low && setting.value <= high) continue;
        text += (text.empty() ? "" : "; ") + tagName(setting.tag, ItemKind::Port) + " " +
                std::to_string(setting.value) + " is outside " + std::to_string(low) + ".." + std::to_string(high);
    }
    return text;
}

std::string changeWord(int32_t type) {
    switch (type) {
    case kItemsAdded: return "added";
    case kItemsRemoved: return "removed";
    case kItemsChanged: return "changed";
    default: return "type" + std::to_string(type);
    }
}

WatchEvent watchEvent(int32_t type, const std::string& name) {
    WatchEvent event{changeWord(type), name, std::nullopt, std::nullopt, std::nullopt};
    if (const std::optional<ItemIdentity> identity = identify(name)) {
        const bool port = identity->kind == ItemKind::Port;
        event.kind = port ? "port" : "board";
        (port ? event.node : event.address) = identity->personName;
    }
    return event;
}

// The ports a NAME of apply means: a port, or all ports of a board (which is noted).
void addTargets(IcxSysExpert2& expert, const Catalog& catalog, const std::string& typed,
                std::vector<const CatalogItem*>& targets, std::vector<const CatalogItem*>& boards) {
    const CatalogItem* found = catalog.find(typed);
    if (!found) {
        // The plug-in says why: no such item, most likely.
        readItem(expert, typed, typed);
        throw HostError("GetAllItemProperties", E_SYSAPI_ITEM_NOT_EXIST, "the item was not in the listing", typed);
    }
    if (found->isPort()) {
        targets.push_back(found);
        return;
    }
    boards.push_back(found);
    for (const CatalogItem* port : catalog.portsOf(*found)) targets.push_back(port);
}

// What the tool's report says in words, a line each (the report, then why it has no status).
std::string reportWords(const std::string& report) {
    std::string words;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) words += (words.empty() ? "" : "; ") + reportSummary(line);
    return words;
}

std::string toolFailure(const ApplyPort& port) {
    const std::string how = port.status ? "exit status " + std::to_string(*port.status) : "no exit status";
    // The listing had the port; a port gone since is why its files could not be read.
    if (!exists(port.path.c_str())) return how + ": the board was removed while it was read";
    return port.report.empty() ? how : how + ": " + reportWords(port.report);
}

// Why the configuration file cannot be saved by this user: the store rewrites it in place
// and makes its replacement beside it. "" when nothing stands in the way.
std::string unwritableConfiguration() {
    int error = 0;
    if (::access(kConfigurationDirectory, W_OK | X_OK) != 0) error = errno;
    else if (::access(kConfigurationPath, W_OK) != 0 && errno != ENOENT) error = errno;
    if (error == 0) return "";
    if (error == ENOENT)
        return std::string("cannot write ") + kConfigurationPath + ": " + kConfigurationDirectory + " does not exist";
    std::string reason = std::strerror(error);
    if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    const bool privilege = (error == EACCES || error == EPERM) && ::geteuid() != 0;
    return std::string("cannot write ") + kConfigurationPath + ": " + reason + (privilege ? "; run as root" : "");
}

// The stored value of a setting in the port's own section, if it holds one.
std::optional<uint32_t> storedSetting(const boost::property_tree::ptree& file, const std::string& section,
                                      uint32_t tag) {
    const char* key = tag == RxFifoDepth   ? qx561x::cIniDataStore::kFifoRxDepthKey
                      : tag == TxFifoDepth ? qx561x::cIniDataStore::kFifoTxDepthKey
                                           : qx561x::cIniDataStore::kRs485TransceiverModeKey;
    const auto found = file.find(section);
    if (found == file.not_found()) return std::nullopt;
    const auto value = found->second.find(key);
    if (value == found->second.not_found()) return std::nullopt;
    try {
        return static_cast<uint32_t>(std::stoul(value->second.data()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// A set failed without a message: what stood in the way, as far as qxhost can see it;
// nothing when it sees nothing.
std::optional<std::string> whySetFailed(const std::string& portPath, const PropertyBagHandle& port,
                                        const std::vector<Setting>& settings, const std::string& node) {
    if (std::string unwritable = unwritableConfiguration(); !unwritable.empty()) return unwritable;
    std::string section;
    try {
        section = qx561x::cPropertyAccessorFactory().createPortPropertyAccessor(portPath)->getPortIdentifier();
    } catch (const std::exception&) {
        if (exists(portPath.c_str())) return std::nullopt;
        return "the board was removed while the settings were stored";
    }
    if (const std::string why = qx561x::cIniDataStore::whyUnwritableSection(section); !why.empty()) {
        const std::optional<ItemIdentity> board = identify(port.getString(ParentDevice));
        const std::optional<std::string> slot = board ? slotPath(board->personName) : std::nullopt;
        if (!slot) return "the port's section name " + qxhost::quoted(section) + " cannot be written in " +
                          kConfigurationPath + " (" + why + ")";
        return "board " + board->personName + ": its slot path " + quotedString(*slot) + " cannot name a section in " +
               kConfigurationPath + " (" + why + ")";
    }
    try {
        const boost::property_tree::ptree file = qx561x::cIniDataStore::readFile(kConfigurationPath);
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

// The catalog, with every item's bag, is gone before the listing is printed: what it held
// serves the printing instead of the process taking more memory.
ListModel listModel(PluginSession& session, const CommandContext& context) {
    const Catalog catalog = Catalog::read(session, context.stop);
    ListModel model;
    model.boards.reserve(catalog.boards().size());
    for (const CatalogItem* board : catalog.boards()) model.boards.push_back(boardRow(*board, catalog));
    for (const CatalogItem* port : catalog.unlistedBoardPorts()) model.unlistedBoardPorts.push_back(portRow(*port));
    warnOfMissingPorts(context, catalog);
    return model;
}

}  // namespace

int runList(PluginSession& session, const CommandContext& context) {
    const ListModel model = listModel(session, context);
    print(context, model);
    if (model.boards.empty() && model.unlistedBoardPorts.empty()) noticeEmptyMachine(context);
    return 0;
}

int runShow(PluginSession& session, const CommandContext& context) {
    ShowModel model;
    std::optional<Catalog> catalog;  // read once, for the first NAME that is no item name
    for (const std::string& typed : context.options.names) {
        std::string name = typed;
        if (!identify(typed)) {
            if (!catalog) catalog = Catalog::read(session, context.stop);
            if (const CatalogItem* found = catalog->find(typed)) name = found->name;
        }
        const PropertyBagHandle bag = readItem(session.expert(), name, typed);
        const std::optional<ItemIdentity> identity = identify(name);
        const ItemKind kind = identity ? identity->kind : ItemKind::Board;
        ShowItem item{name, {}};
        fromBag(name, [&] {
            for (uint32_t tag : SystemAPIPropertyBagAccessor(bag.get()).tags())
                item.properties.push_back(propertyRow(bag, tag, kind));
            return 0;
        });
        model.items.push_back(std::move(item));
    }
    print(context, model);
    return 0;
}

int runSet(PluginSession& session, const CommandContext& context) {
    const Options& options = context.options;
    IcxSysExpert2& expert = session.expert();
    const std::string& typed = options.names.front();
    const std::string name = resolveName(session, typed, context.stop);
    const PropertyBagHandle before = readItem(expert, name, typed);
    const std::optional<ItemIdentity> identity = identify(name);
    if (!identity || identity->kind != ItemKind::Port)
        throw HostError(kCallRefused, std::nullopt, "a board has no settings; name one of its ports", typed);
    const bool rs232 = fromBag(name, [&] { return before.getBool(IsRs232); });
    for (const Setting& setting : options.settings) {
        if (rs232 && setting.tag == Rs485TransceiverMode)
            throw HostError(kCallRefused, std::nullopt,
                            "an RS-232 port has no RS-485 transceiver mode; mode is for RS-485 ports", typed);
    }

    const PropertyBagHandle request = requestBag(options.settings);
    const std::wstring wide = qx::dsc::toWide(name);
    IcxSysEnumPropertyTag* accepted = nullptr;
    qx::dsc::HostStringHolder validateMessage;
    const HRESULT validated =
        expert.ValidateItemProperties(wide.c_str(), request.get(), &accepted, validateMessage.receive());
    QXComPtr<IcxSysEnumPropertyTag> acceptedTags(accepted, false);
    check("ValidateItemProperties", validated,
          utf8(validateMessage).empty() ? outOfBounds(before, options.settings) : utf8(validateMessage), typed);

    PropertyBagHandle after = before;
    if (!options.dryRun) {
        context.stop.check();  // nothing is stored after a stop request
        int32_t flag = 0;
        qx::dsc::HostStringHolder setMessage;
        const HRESULT set = expert.SetItemProperties2(wide.c_str(), request.get(), &flag, setMessage.receive());
        if (failed(set) && utf8(setMessage).empty()) {
            const std::string node = fromBag(name, [&] { return before.getString(PortNode); });
            if (std::optional<std::string> why = whySetFailed(identity->path, before, options.settings, node))
                throw HostError("SetItemProperties2", set, std::move(*why), typed);
        }
        check("SetItemProperties2", set, utf8(setMessage), typed);
        after = readItem(expert, name, typed);
    }

    SetModel model;
    model.dryRun = options.dryRun;
    SetPort port{name, fromBag(name, [&] { return before.getString(PortNode); }), {}, !options.dryRun};
    for (const Setting& setting : options.settings) {
        Change change{setting.key, tagName(setting.tag, ItemKind::Port), std::nullopt, setting.value};
        fromBag(name, [&] {
            if (before.hasProperty(setting.tag)) change.before = before.getUInt32(setting.tag);
            if (!options.dryRun)
                change.after = after.hasProperty(setting.tag) ? std::optional<uint32_t>(after.getUInt32(setting.tag))
                                                              : std::nullopt;
            return 0;
        });
        port.changes.push_back(std::move(change));
    }
    model.ports.push_back(std::move(port));
    print(context, model);
    return 0;
}

int runApply(PluginSession& session, const CommandContext& context) {
    const Catalog catalog = Catalog::read(session, context.stop);
    std::vector<const CatalogItem*> targets;
    std::vector<const CatalogItem*> boards;  // named, or all of them
    if (context.options.all) {
        boards = catalog.boards();
        for (const CatalogItem* board : boards)
            for (const CatalogItem* port : catalog.portsOf(*board)) targets.push_back(port);
        for (const CatalogItem* port : catalog.unlistedBoardPorts()) targets.push_back(port);
    } else {
        for (const std::string& typed : context.options.names)
            addTargets(session.expert(), catalog, typed, targets, boards);
    }
    warnOfMissingPorts(context, catalog);

    ApplyModel model;
    std::set<std::string> applied;
    for (const CatalogItem* port : targets) {
        if (!applied.insert(port->name).second) continue;  // named twice
        context.stop.check();
        const ToolRun run = runTool(port->path, context.stop);
        const std::string node = fromBag(port->name, [&] { return port->bag.getString(PortNode); });
        model.ports.push_back(ApplyPort{port->name, node, port->path, run.status, run.report});
    }
    print(context, model);
    if (context.options.all && catalog.items().empty()) noticeEmptyMachine(context);

    // A port the listing lacks was not applied either: that is no success.
    std::vector<ErrorReport> failures;
    for (const ApplyPort& port : model.ports)
        if (!port.applied()) failures.push_back({"apply", kCallTool, std::nullopt, toolFailure(port), port.node});
    for (const CatalogItem* board : boards) {
        const std::size_t listed = catalog.portsOf(*board).size();
        const int32_t count = fromBag(board->name, [&] { return board->bag.getInt32(PortCount); });
        if (static_cast<int64_t>(listed) < count)
            failures.push_back({"apply", kCallRefused, std::nullopt,
                                "the plug-in lists " + std::to_string(listed) + " of the board's " +
                                    std::to_string(count) + " ports; those not listed were not applied",
                                identify(board->name)->personName});
    }
    if (failures.empty()) return 0;
    if (!context.output.json()) {
        for (const ErrorReport& failure : failures) context.output.diagnostic(toText(failure));
        return 1;
    }
    // One error object: the one failure, or each one in the message.
    if (failures.size() == 1) throw HostError(failures[0].call, std::nullopt, failures[0].message, failures[0].name);
    std::string message;
    bool toolFailed = false;
    for (const ErrorReport& failure : failures) {
        message += (message.empty() ? "" : "; ") + *failure.name + ": " + failure.message;
        toolFailed = toolFailed || failure.call == kCallTool;
    }
    throw HostError(toolFailed ? kCallTool : kCallRefused, std::nullopt, message);
}

int runWatch(PluginSession& session, const CommandContext& context) {
    struct Progress {
        std::mutex mutex;
        std::condition_variable changed;
        int64_t printed = 0;
        bool done = false;
        std::optional<HostError> outputFailure;
    };
    const std::optional<int64_t> count = context.options.count;
    if (count == 0) return 0;
    auto progress = std::make_shared<Progress>();
    Output& output = context.output;
    auto receive = [progress, count, &output](int32_t type, const std::vector<std::string>& names) {
        std::lock_guard<std::mutex> guard(progress->mutex);
        for (const std::string& name : names) {
            if (progress->done) break;
            const WatchEvent event = watchEvent(type, name);
            try {
                output.result(output.json() ? jsonLine(toJson(event)) : toText(event));
            } catch (const HostError& failure) {
                progress->outputFailure = failure;
                progress->done = true;
                break;
            }
            if (++progress->printed == count) progress->done = true;
        }
        progress->changed.notify_all();
        return progress->outputFailure ? E_FAIL : S_OK;
    };
    QXComPtr<CHostNotificationSink> sink(CQXComObject<CHostNotificationSink>::createInstance(receive));
    if (!sink) throw HostError("SetNotificationSink", E_OUTOFMEMORY, "out of memory");
    IcxSysExpert2& expert = session.expert();
    check("SetNotificationSink", expert.SetNotificationSink(sink.get()));

    using Clock = std::chrono::steady_clock;
    const auto deadline = context.options.timeout
                              ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(*context.options.timeout))
                              : Clock::time_point::max();
    constexpr std::chrono::milliseconds kStopLatency{50};
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(progress->mutex);
            const auto slice = std::min(deadline, Clock::now() + kStopLatency);
            if (progress->changed.wait_until(guard, slice, [&] { return progress->done; })) break;
        }
        if (context.stop.requested() || Clock::now() >= deadline) break;
    }
    // Clearing the sink waits for a delivery in progress; nothing reaches the sink after it.
    check("SetNotificationSink", expert.SetNotificationSink(nullptr));
    context.stop.check();
    std::lock_guard<std::mutex> guard(progress->mutex);
    if (progress->outputFailure) throw *progress->outputFailure;
    return 0;
}

int runCheck(const CommandContext& context) {
    std::vector<PresentPort> ports;
    try {
        ports = presentPorts();
    } catch (const qxerr::ExceptionBase& error) {
        throw HostError("enumerateDevices", std::nullopt, reportSummary(error.report()));
    } catch (const std::exception& error) {
        throw HostError("enumerateDevices", std::nullopt, error.what());
    }
    const std::string mainPath = qx561x::cIniDataStore::configurationFilePath();
    const CheckModel model = checkConfiguration(mainPath, qx561x::cIniDataStore::defaultsFilePath(mainPath), ports);
    print(context, model);
    return model.problems.empty() ? 0 : 1;
}

}  // namespace qxhost
