// SPDX-License-Identifier: MIT
#include "bench/BenchHost.h"

#include <dirent.h>
#include <sys/syscall.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <thread>

#include "host/HostError.h"
#include "host/PluginSession.h"
#include "platform/qx/dsc/Utf8.h"
#include "sysapicpp/cache/Item.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace qxbench {

using namespace sysapicpp;

double nowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::vector<std::string> enumItemNames(IcxSysExpert2& expert) {
    IcxSysEnumStringList* raw = nullptr;
    qxhost::check("EnumItemNames", expert.EnumItemNames(&raw));
    QXComPtr<IcxSysEnumStringList> list(raw, false);
    std::vector<std::string> names;
    for (;;) {
        wchar_t* batch[64] = {};
        uint32_t fetched = 0;
        qxhost::check("Next", list->Next(64, batch, &fetched));
        for (uint32_t i = 0; i < fetched; ++i)
            names.push_back(qxhost::utf8(qx::dsc::HostStringHolder(batch[i])));
        if (fetched < 64) return names;
    }
}

void checkAgainstFloor(const std::vector<PropertyBagHandle>& bags, const FloorListing& floor) {
    std::map<std::string, const PropertyBagHandle*> byNode;
    std::size_t boards = 0;
    for (const PropertyBagHandle& bag : bags) {
        if (bag.hasProperty(PortNode)) byNode[bag.getString(PortNode)] = &bag;
        else ++boards;
    }
    if (boards != floor.boards.size() || byNode.size() != floor.ports.size())
        throw std::runtime_error("the plug-in lists " + std::to_string(boards) + " boards and " +
                                 std::to_string(byNode.size()) + " ports, the floor " +
                                 std::to_string(floor.boards.size()) + " and " +
                                 std::to_string(floor.ports.size()));
    for (const FloorPort& port : floor.ports) {
        const auto found = byNode.find(port.node);
        if (found == byNode.end()) throw std::runtime_error("the plug-in does not list " + port.node);
        const PropertyBagHandle& bag = *found->second;
        const bool rs232 = floor.boards[port.board].rs232;
        if (bag.getUInt32(RxFifoDepth) != port.rx || bag.getUInt32(TxFifoDepth) != port.tx ||
            static_cast<uint32_t>(bag.getInt32(PortNumber)) != port.number ||
            bag.getBool(IsRs232) != rs232 ||
            (!rs232 && bag.getUInt32(Rs485TransceiverMode) != port.mode))
            throw std::runtime_error("the plug-in and the floor disagree on " + port.node);
    }
}

namespace {

std::string taskFile(pid_t thread, const char* name) {
    std::ifstream in("/proc/self/task/" + std::to_string(thread) + "/" + name);
    std::string text;
    std::getline(in, text);
    return text;
}

}  // namespace

bool isWaiting(pid_t thread) {
    return taskFile(thread, "syscall").rfind(std::to_string(SYS_ppoll) + " ", 0) == 0;
}

uint64_t threadCpuNs(pid_t thread) {
    return std::stoull(taskFile(thread, "schedstat"));
}

pid_t findMonitorThread() {
    const double deadline = nowMs() + 120000;  // a first pass over a large tree takes long
    while (nowMs() < deadline) {
        if (DIR* dir = ::opendir("/proc/self/task")) {
            pid_t found = 0;
            while (const dirent* entry = ::readdir(dir)) {
                if (entry->d_name[0] == '.') continue;
                const pid_t thread = std::stoi(entry->d_name);
                if (isWaiting(thread)) found = thread;
            }
            ::closedir(dir);
            if (found) return found;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    throw std::runtime_error("no thread waits for configuration changes");
}

void waitMonitorIdle(pid_t thread, double settleMs) {
    uint64_t cpu = threadCpuNs(thread);
    double quietSince = nowMs();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        const uint64_t now = threadCpuNs(thread);
        if (now != cpu || !isWaiting(thread)) {
            cpu = now;
            quietSince = nowMs();
        } else if (nowMs() - quietSince >= settleMs) {
            return;
        }
    }
}

void printFigure(const std::string& name, double value, const std::string& unit,
                 const std::string& goal, bool met) {
    std::printf("figure  %-28s %10.2f %-6s goal %-14s %s\n", name.c_str(), value, unit.c_str(),
                goal.c_str(), goal.empty() ? "" : met ? "met" : "MISSED");
    std::fflush(stdout);
}

namespace {

constexpr double kPatienceMs = 120000;

PropertyBagHandle itemProperties(IcxSysExpert2& expert, const std::string& item) {
    IcxSysPropertyBag* raw = nullptr;
    const std::wstring wide = qx::dsc::toWide(item);
    qxhost::check("GetItemProperties", expert.GetItemProperties(wide.c_str(), &raw));
    PropertyBagHandle handle = PropertyBagHandle::fromObject(raw);
    raw->Release();
    return handle;
}

}  // namespace

ChangeProbe::ChangeProbe(IcxSysExpert2& expert) : expert_(expert) {
    sink_ = QXComPtr<qxhost::CHostNotificationSink>(
        CQXComObject<qxhost::CHostNotificationSink>::createInstance(
            [this](int32_t type, const std::vector<std::string>& names) {
                const double now = nowMs();
                std::lock_guard<std::mutex> guard(mutex_);
                for (const std::string& name : names) changes_.emplace(name, Change{type, now});
                arrived_.notify_all();
                return S_OK;
            }));
    if (!sink_) throw std::bad_alloc();
    qxhost::check("SetNotificationSink", expert_.SetNotificationSink(sink_.get()));
    monitor_ = findMonitorThread();
    waitMonitorIdle(monitor_);
    for (const PropertyBagHandle& bag : allItemProperties(expert_))
        if (bag.hasProperty(PortNode)) itemOfNode_[bag.getString(PortNode)] = bag.getString(Name);
}

ChangeProbe::~ChangeProbe() { expert_.SetNotificationSink(nullptr); }

ChangeProbe::Timing ChangeProbe::change(const FloorPort& port) {
    const std::string& item = itemOfNode_.at(port.node);
    const PropertyBagHandle request = PropertyBagHandle::createEmpty();
    // A value the port does not hold now, so that the change is real.
    const uint32_t rx = itemProperties(expert_, item).getUInt32(RxFifoDepth) == 100 ? 101 : 100;
    request.setUInt32(RxFifoDepth, rx);
    waitMonitorIdle(monitor_, 20);
    {
        std::lock_guard<std::mutex> guard(mutex_);
        changes_.clear();
    }
    const std::wstring wide = qx::dsc::toWide(item);
    int32_t flag = 0;
    qx::dsc::HostStringHolder message;
    const double t0 = nowMs();
    qxhost::check("SetItemProperties2",
                  expert_.SetItemProperties2(wide.c_str(), request.get(), &flag, message.receive()));
    const double t1 = nowMs();
    // The notification may arrive while the call still runs the tool: its own arrival counts.
    double t2 = 0;
    std::unique_lock<std::mutex> guard(mutex_);
    const bool arrived =
        arrived_.wait_for(guard, std::chrono::duration<double, std::milli>(kPatienceMs), [&] {
            const auto [first, last] = changes_.equal_range(item);
            for (auto it = first; it != last; ++it)
                if (it->second.type == kItemsChanged) t2 = it->second.arrivedMs;
            return t2 != 0;
        });
    if (!arrived) throw std::runtime_error("no change notification for " + item);
    return {t1 - t0, t2 - t0};
}

}  // namespace qxbench
