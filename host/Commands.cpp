// SPDX-License-Identifier: MIT
#include "host/Commands.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "host/Catalog.h"
#include "host/Format.h"
#include "host/HostError.h"
#include "host/HostObjects.h"
#include "platform/qx/dsc/Utf8.h"
#include "qx561xsae/ItemNames.h"
#include "sysapicpp/cache/Item.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace qxhost {
namespace {

using namespace sysapicpp;

constexpr char kDriverDirectory[] = "/proc/driver/qx/pci:";

// The board's slot as the driver publishes it; "" when it cannot be read.
std::string slotPath(const std::string& address) {
    std::ifstream in(kDriverDirectory + address + "/busProperties/pciSlotPath", std::ios::binary);
    std::string text;
    std::getline(in, text, '\0');
    return in || in.eof() ? text : "";
}

std::string lastElement(const std::string& path) { return path.substr(path.rfind('/') + 1); }

struct PortLine {
    const CatalogItem* item;
    int32_t number;
};

std::string portText(const CatalogItem& port) {
    const PropertyBagHandle& bag = port.bag;
    std::string line = "  " + quoted(bag.getString(sysapicpp::PortNode));
    line += bag.getBool(IsRs232) ? "  RS-232" : "  RS-485";
    line += " rx=" + std::to_string(bag.getUInt32(RxFifoDepth));
    line += " tx=" + std::to_string(bag.getUInt32(TxFifoDepth));
    if (bag.hasProperty(Rs485TransceiverMode))
        line += " mode=" + std::to_string(bag.getUInt32(Rs485TransceiverMode));
    return line + "\n";
}

std::string portJson(const CatalogItem& port) {
    const PropertyBagHandle& bag = port.bag;
    std::string json = "{\"item\":" + jsonString(port.name);
    json += ",\"node\":" + jsonString(bag.getString(sysapicpp::PortNode));
    json += std::string(",\"kind\":") + (bag.getBool(IsRs232) ? "\"RS-232\"" : "\"RS-485\"");
    json += ",\"rx\":" + std::to_string(bag.getUInt32(RxFifoDepth));
    json += ",\"tx\":" + std::to_string(bag.getUInt32(TxFifoDepth));
    json += ",\"mode\":" + (bag.hasProperty(Rs485TransceiverMode)
                                ? std::to_string(bag.getUInt32(Rs485TransceiverMode))
                                : std::string("null"));
    return json + "}";
}

std::string boardText(const CatalogItem& board) {
    const PropertyBagHandle& bag = board.bag;
    const std::string address = lastElement(board.path);
    const std::string slot = slotPath(address);
    return quoted(address) + "  model=" + quoted(bag.getString(ModelName)) +
           " slot=" + (slot.empty() ? "-" : quoted(slot)) +
           " serial=" + quoted(bag.getString(SerialNumber)) +
           " ports=" + std::to_string(bag.getInt32(PortCount)) + "\n";
}

std::string boardJson(const CatalogItem& board, const std::vector<PortLine>& ports) {
    const PropertyBagHandle& bag = board.bag;
    const std::string address = lastElement(board.path);
    const std::string slot = slotPath(address);
    std::string json = "{\"item\":" + jsonString(board.name) + ",\"address\":" + jsonString(address);
    json += ",\"model\":" + jsonString(bag.getString(ModelName));
    json += ",\"slot\":" + (slot.empty() ? std::string("null") : jsonString(slot));
    json += ",\"serial\":" + jsonString(bag.getString(SerialNumber));
    json += ",\"portCount\":" + std::to_string(bag.getInt32(PortCount)) + ",\"ports\":[";
    for (std::size_t i = 0; i < ports.size(); ++i) json += (i ? "," : "") + portJson(*ports[i].item);
    return json + "]}";
}

// The host bag a request carries: each setting set, and so marked modified.
PropertyBagHandle requestBag(const std::vector<std::pair<uint32_t, uint32_t>>& settings) {
    PropertyBagHandle bag = PropertyBagHandle::createEmpty();
    for (const auto& [tag, value] : settings) bag.setUInt32(tag, value);
    return bag;
}

const std::map<std::string, uint32_t>& settingKeys() {
    static const std::map<std::string, uint32_t> keys = {
        {"rx", RxFifoDepth}, {"RxFifoDepth", RxFifoDepth},
        {"tx", TxFifoDepth}, {"TxFifoDepth", TxFifoDepth},
        {"mode", Rs485TransceiverMode}, {"Rs485TransceiverMode", Rs485TransceiverMode},
    };
    return keys;
}

std::pair<uint32_t, uint32_t> parseSetting(const std::string& argument) {
    const auto equals = argument.find('=');
    if (equals == std::string::npos) throw UsageError("expected KEY=VALUE, got " + quoted(argument));
    const std::string key = argument.substr(0, equals);
    const std::string text = argument.substr(equals + 1);
    const auto found = settingKeys().find(key);
    if (found == settingKeys().end())
        throw UsageError("unknown key " + quoted(key) + " (rx, tx, mode)");
    // Digits only: a sign, a blank or a fraction would otherwise be read as something else.
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoull(text) > UINT32_MAX) {
        throw UsageError("value of " + key + " must be a number from 0 to 4294967295, got " + quoted(text));
    }
    return {found->second, static_cast<uint32_t>(std::stoull(text))};
}

std::string settingName(uint32_t tag) { return tagName(tag, true); }

// Which settings lie outside the bounds the port publishes, for a refusal without a message.
std::string outOfBounds(const PropertyBagHandle& port,
                        const std::vector<std::pair<uint32_t, uint32_t>>& settings) {
    static const std::map<uint32_t, std::pair<uint32_t, uint32_t>> kBoundTags = {
        {RxFifoDepth, {RxFifoDepthMin, RxFifoDepthMax}},
        {TxFifoDepth, {TxFifoDepthMin, TxFifoDepthMax}},
    };
    constexpr uint32_t kHighestMode = 3;
    std::string text;
    for (const auto& [tag, value] : settings) {
        const auto bounds = kBoundTags.find(tag);
        uint32_t low = 0;
        uint32_t high = kHighestMode;
        if (bounds != kBoundTags.end()) {
            if (!port.hasProperty(bounds->second.first) || !port.hasProperty(bounds->second.second)) continue;
            low = port.getUInt32(bounds->second.first);
            high = port.getUInt32(bounds->second.second);
        }
        if (value >= low && value <= high) continue;
        text += (text.empty() ? "" : "; ") + settingName(tag) + " " + std::to_string(value) +
                " is outside " + std::to_string(low) + ".." + std::to_string(high);
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

}  // namespace

bool emit(const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

int runList(PluginSession& session, const Options& options) {
    const std::vector<CatalogItem> items = readCatalog(session.expert());
    std::map<std::string, std::vector<PortLine>> portsOf;
    for (const CatalogItem& item : items)
        if (item.port)
            portsOf[item.bag.getString(ParentDevice)].push_back(
                {&item, item.bag.getInt32(PortNumber)});
    for (auto& entry : portsOf)
        std::stable_sort(entry.second.begin(), entry.second.end(),
                         [](const PortLine& a, const PortLine& b) { return a.number < b.number; });

    std::string out = options.json ? "{\"boards\":[" : "";
    bool first = true;
    for (const CatalogItem& board : items) {
        if (board.port) continue;
        const std::vector<PortLine> ports = std::move(portsOf[board.name]);
        portsOf.erase(board.name);
        if (options.json) {
            out += (first ? "" : ",") + boardJson(board, ports);
        } else {
            out += boardText(board);
            for (const PortLine& port : ports) out += portText(*port.item);
        }
        first = false;
    }
    // Ports whose board could not be described are still shown, under no board.
    std::vector<PortLine> orphans;
    for (auto& entry : portsOf) orphans.insert(orphans.end(), entry.second.begin(), entry.second.end());
    if (options.json) {
        out += "],\"unlistedBoardPorts\":[";
        for (std::size_t i = 0; i < orphans.size(); ++i) out += (i ? "," : "") + portJson(*orphans[i].item);
        out += "]}\n";
    } else if (!orphans.empty()) {
        out += "(ports of boards that could not be described)\n";
        for (const PortLine& port : orphans) out += portText(*port.item);
    }
    return emit(out) ? 0 : 1;
}

int runShow(PluginSession& session, const Options& options) {
    if (options.arguments.empty()) throw UsageError("show needs at least one NAME");
    std::string out = options.json ? "{\"items\":[" : "";
    for (std::size_t n = 0; n < options.arguments.size(); ++n) {
        const std::string name = resolveName(session.expert(), options.arguments[n]);
        const PropertyBagHandle bag = readItem(session.expert(), name);
        const bool port = qx561xsae::isPortName(name);
        const std::set<uint32_t> tags = SystemAPIPropertyBagAccessor(bag.get()).tags();
        if (options.json) {
            out += std::string(n ? "," : "") + "{\"item\":" + jsonString(name) + ",\"properties\":[";
            bool first = true;
            for (uint32_t tag : tags) {
                const std::string readable = tagName(tag, port);
                out += std::string(first ? "" : ",") + "{\"tag\":\"" + tagHex(tag) + "\",\"name\":" +
                       (readable.empty() ? "null" : jsonString(readable)) + ",\"type\":\"" +
                       typeName(bag.getPropertyType(tag)) + "\",\"value\":" + valueJson(bag, tag) + "}";
                first = false;
            }
            out += "]}";
            continue;
        }
        out += quoted(name) + "\n";
        for (uint32_t tag : tags) {
            const std::string readable = tagName(tag, port);
            char line[96];
            std::snprintf(line, sizeof line, "  %s  %-22s %-9s ", tagHex(tag).c_str(),
                          readable.empty() ? "-" : readable.c_str(),
                          typeName(bag.getPropertyType(tag)).c_str());
            out += line + valueText(bag, tag) + "\n";
        }
    }
    if (options.json) out += "]}\n";
    return emit(out) ? 0 : 1;
}

int runSet(PluginSession& session, const Options& options) {
    if (options.arguments.size() < 2) throw UsageError("set needs a NAME and at least one KEY=VALUE");
    std::vector<std::pair<uint32_t, uint32_t>> settings;
    std::set<uint32_t> seen;
    for (std::size_t i = 1; i < options.arguments.size(); ++i) {
        settings.push_back(parseSetting(options.arguments[i]));
        if (!seen.insert(settings.back().first).second)
            throw UsageError(settingName(settings.back().first) + " is given twice");
    }
    IcxSysExpert2& expert = session.expert();
    const std::string name = resolveName(expert, options.arguments[0]);
    if (qx561xsae::isDeviceName(name))
        throw UsageError(quoted(options.arguments[0]) + " is a board; settings belong to its ports");
    const PropertyBagHandle before = readItem(expert, name);
    const PropertyBagHandle request = requestBag(settings);
    const std::wstring wide = qx::dsc::toWide(name);

    IcxSysEnumPropertyTag* accepted = nullptr;
    qx::dsc::HostStringHolder validateMessage;
    const HRESULT validated = expert.ValidateItemProperties(wide.c_str(), request.get(), &accepted,
                                                            validateMessage.receive());
    QXComPtr<IcxSysEnumPropertyTag> acceptedTags(accepted, false);
    check("ValidateItemProperties", validated,
          utf8(validateMessage).empty() ? outOfBounds(before, settings) : utf8(validateMessage));

    PropertyBagHandle after = before;
    if (!options.dryRun) {
        int32_t flag = 0;
        qx::dsc::HostStringHolder setMessage;
        check("SetItemProperties2",
              expert.SetItemProperties2(wide.c_str(), request.get(), &flag, setMessage.receive()),
              utf8(setMessage));
        after = readItem(expert, name);
    }
    const std::string subject = quoted(before.getString(sysapicpp::PortNode));
    std::string out;
    for (const auto& [tag, value] : settings) {
        const std::string old = before.hasProperty(tag) ? std::to_string(before.getUInt32(tag)) : "-";
        const std::string now = options.dryRun ? std::to_string(value) + " (valid, not applied)"
                                : after.hasProperty(tag) ? std::to_string(after.getUInt32(tag))
                                                         : "-";
        out += subject + " " + settingName(tag) + " " + old + " -> " + now + "\n";
    }
    return emit(out) ? 0 : 1;
}

int runWatch(PluginSession& session, const Options& options, const sigset_t& stopSignals) {
    if (!options.arguments.empty()) throw UsageError("watch takes no NAME");
    struct Progress {
        std::mutex mutex;
        std::condition_variable changed;
        int64_t printed = 0;
        bool done = false;
        bool outputGone = false;
    };
    auto progress = std::make_shared<Progress>();
    const bool json = options.json;
    const int64_t count = options.count;
    auto receive = [progress, json, count](int32_t type, const std::vector<std::string>& names) {
        std::lock_guard<std::mutex> guard(progress->mutex);
        for (const std::string& name : names) {
            if (progress->done) break;
            const std::string line =
                json ? "{\"change\":\"" + changeWord(type) + "\",\"item\":" + jsonString(name) + "}\n"
                     : changeWord(type) + " " + quoted(name) + "\n";
            if (!emit(line)) progress->done = progress->outputGone = true;
            if (++progress->printed == count) progress->done = true;
        }
        progress->changed.notify_all();
        return progress->outputGone ? sysapicpp::E_FAIL : sysapicpp::S_OK;
    };
    QXComPtr<CHostNotificationSink> sink(CQXComObject<CHostNotificationSink>::createInstance(receive));
    if (!sink) throw HostError("SetNotificationSink", sysapicpp::E_OUTOFMEMORY);
    IcxSysExpert2& expert = session.expert();
    check("SetNotificationSink", expert.SetNotificationSink(sink.get()));

    using Clock = std::chrono::steady_clock;
    const auto deadline = options.timeout < 0 ? Clock::time_point::max()
                          : Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(options.timeout));
    const timespec noWait{0, 0};
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(progress->mutex);
            const auto slice = std::min(deadline, Clock::now() + std::chrono::milliseconds(50));
            if (progress->changed.wait_until(guard, slice, [&] { return progress->done; })) break;
        }
        if (::sigtimedwait(&stopSignals, nullptr, &noWait) > 0 || Clock::now() >= deadline) break;
    }
    // Clearing the sink waits for a delivery in progress; nothing reaches the sink after it.
    check("SetNotificationSink", expert.SetNotificationSink(nullptr));
    if (progress->outputGone) {
        std::fprintf(stderr, "qxhost: watch: standard output is gone\n");
        return 1;
    }
    return 0;
}

}  // namespace qxhost
