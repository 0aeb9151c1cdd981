// SPDX-License-Identifier: MIT
#include "host/Commands.h"

#include <chrono>
#include <condition_variable>
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
#include "host/Machine.h"
#include "host/Shaping.h"
#include "host/TextPrinter.h"
#include "host/ToolRun.h"
#include "platform/qx/dsc/Utf8.h"
#include "platform/qxerr/Exception.h"
#include "shared/qx561x/cIniDataStore.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace qxhost {
namespace {

using namespace sysapicpp;

template <class Model>
void print(const CommandContext& context, const Model& model) {
    context.output.result(context.output.json() ? jsonLine(toJson(model)) : toText(model));
}

void warn(const CommandContext& context, const Warning& warning) {
    context.output.diagnostic(context.output.json() ? jsonLine(toJson(warning)) : toText(warning));
}

// Ports are missing: a configuration file the plug-in cannot read is the usual reason.
void warnOfMissingPorts(const CommandContext& context, const Catalog& catalog) {
    if (catalog.incompleteBoards().empty()) return;
    for (const Warning& warning : configurationWarnings()) warn(context, warning);
}

void noticeEmptyMachine(const CommandContext& context) {
    if (context.output.json()) return;
    context.output.diagnostic(driverLoaded()
                                  ? "qxhost: no board found; the driver's /proc/driver/qx exists but lists none\n"
                                  : "qxhost: no board found; /proc/driver/qx does not exist: the boards' driver is "
                                    "not loaded\n");
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
    if (!present(port.path)) return how + ": the board was removed while it was read";
    return port.report.empty() ? how : how + ": " + reportWords(port.report);
}

// Failures of a command as one: the one failure, or each one in the message.
HostError wholeFailure(const std::vector<HostError>& failures) {
    const HostError& first = failures.front();
    if (failures.size() == 1) return first;
    std::string message;
    bool sameCall = true;
    bool sameCode = true;
    bool toolFailed = false;
    for (const HostError& failure : failures) {
        message += (message.empty() ? "" : "; ") + *failure.name() + ": " + failure.message();
        sameCall = sameCall && failure.call() == first.call();
        sameCode = sameCode && failure.code() == first.code();
        toolFailed = toolFailed || failure.call() == kCallTool;
    }
    const std::string call = sameCall ? first.call() : toolFailed ? kCallTool : kCallRefused;
    return HostError(call, sameCode ? first.code() : std::nullopt, message);
}

// The catalog, with every item's bag, is gone before the listing is printed: what it held
// serves the printing instead of the process taking more memory.
ListModel readListing(PluginSession& session, const CommandContext& context) {
    const Catalog catalog = Catalog::read(session, context.stop);
    ListModel model = listModel(catalog);
    warnOfMissingPorts(context, catalog);
    return model;
}

}  // namespace

int runList(PluginSession& session, const CommandContext& context) {
    const ListModel model = readListing(session, context);
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
        model.items.push_back(showItem(name, readItem(session.expert(), name, typed)));
    }
    print(context, model);
    return 0;
}

void validatePortSettings(IcxSysExpert2& expert, const std::string& name, const std::string& typed,
                          const PropertyBagHandle& before, const std::vector<Setting>& settings) {
    const bool rs232 = fromBag(name, [&] { return before.getBool(IsRs232); });
    for (const Setting& setting : settings) {
        if (rs232 && setting.tag == Rs485TransceiverMode)
            throw HostError(kCallRefused, std::nullopt,
                            "an RS-232 port has no RS-485 transceiver mode; mode is for RS-485 ports", typed);
    }
    const PropertyBagHandle request = requestBag(settings);
    const std::wstring wide = qx::dsc::toWide(name);
    IcxSysEnumPropertyTag* accepted = nullptr;
    qx::dsc::HostStringHolder validateMessage;
    const HRESULT validated =
        expert.ValidateItemProperties(wide.c_str(), request.get(), &accepted, validateMessage.receive());
    QXComPtr<IcxSysEnumPropertyTag> acceptedTags(accepted, false);
    check("ValidateItemProperties", validated,
          utf8(validateMessage).empty() ? outOfBounds(before, settings) : utf8(validateMessage), typed);
}

PropertyBagHandle storePortSettings(IcxSysExpert2& expert, const std::string& name, const std::string& typed,
                                    const PropertyBagHandle& before, const std::vector<Setting>& settings) {
    const PropertyBagHandle request = requestBag(settings);
    const std::wstring wide = qx::dsc::toWide(name);
    int32_t flag = 0;
    qx::dsc::HostStringHolder setMessage;
    const HRESULT set = expert.SetItemProperties2(wide.c_str(), request.get(), &flag, setMessage.receive());
    if (failed(set) && utf8(setMessage).empty()) {
        const std::string node = fromBag(name, [&] { return before.getString(PortNode); });
        const std::optional<ItemIdentity> identity = identify(name);
        if (std::optional<std::string> why = whySetFailed(identity ? identity->path : "", before, settings, node))
            throw HostError("SetItemProperties2", set, std::move(*why), typed);
    }
    check("SetItemProperties2", set, utf8(setMessage), typed);
    return readItem(expert, name, typed);
}

int reportFailures(const std::vector<HostError>& failures) {
    if (failures.empty()) return 0;
    throw HostFailures(failures, wholeFailure(failures));
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
    validatePortSettings(expert, name, typed, before, options.settings);

    std::optional<PropertyBagHandle> after;
    if (!options.dryRun) {
        context.stop.check();  // nothing is stored after a stop request
        after = storePortSettings(expert, name, typed, before, options.settings);
    }

    SetModel model;
    model.dryRun = options.dryRun;
    model.ports.push_back(setPort(name, before, after ? &*after : nullptr, options.settings));
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
    std::vector<HostError> failures;
    for (const ApplyPort& port : model.ports)
        if (!port.applied()) failures.emplace_back(kCallTool, std::nullopt, toolFailure(port), port.node);
    for (const CatalogItem* board : boards) {
        const std::size_t listed = catalog.portsOf(*board).size();
        const int32_t count = fromBag(board->name, [&] { return board->bag.getInt32(PortCount); });
        if (static_cast<int64_t>(listed) < count)
            failures.emplace_back(kCallRefused, std::nullopt,
                                  "the plug-in lists " + std::to_string(listed) + " of the board's " +
                                      std::to_string(count) + " ports; those not listed were not applied",
                                  identify(board->name)->personName);
    }
    return reportFailures(failures);
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
