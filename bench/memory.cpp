// SPDX-License-Identifier: MIT
// Resident size over a long-running host: CALLS mixed host calls (EnumItemNames,
// GetItemProperties, GetItemPropertiesByTag, ValidateItemProperties, SetItemProperties2
// of the values a port already has, and now and then GetAllItemProperties); the growth
// after the first 1,000 calls is the figure. Built with AddressSanitizer, the same run is
// the leak check: the sanitizer fails the process at exit when anything leaked.
//   qxbench_memory PLUGIN CALLS

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "bench/BenchHost.h"
#include "host/HostError.h"
#include "host/HostObjects.h"
#include "host/PluginSession.h"
#include "platform/qx/dsc/Utf8.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"

namespace {

using namespace qxbench;
using sysapicpp::PropertyBagHandle;

constexpr long kFirstCalls = 1000;

long residentKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

PropertyBagHandle getItem(IcxSysExpert2& expert, const std::wstring& name) {
    IcxSysPropertyBag* raw = nullptr;
    qxhost::check("GetItemProperties", expert.GetItemProperties(name.c_str(), &raw));
    PropertyBagHandle bag = PropertyBagHandle::fromObject(raw);
    raw->Release();
    return bag;
}

void getByTags(IcxSysExpert2& expert, const std::wstring& name) {
    const uint32_t tags[] = {sysapicpp::RxFifoDepth, sysapicpp::TxFifoDepth, sysapicpp::IsRs232};
    IcxSysPropertyBag* raw = nullptr;
    qxhost::check("GetItemPropertiesByTag",
                  expert.GetItemPropertiesByTag(name.c_str(), 3, tags, 0, &raw));
    raw->Release();
}

// A request that sets the port's receive and transmit depths to what it has.
PropertyBagHandle unchangedRequest(const PropertyBagHandle& port) {
    const PropertyBagHandle request = PropertyBagHandle::createEmpty();
    request.setUInt32(sysapicpp::RxFifoDepth, port.getUInt32(sysapicpp::RxFifoDepth));
    request.setUInt32(sysapicpp::TxFifoDepth, port.getUInt32(sysapicpp::TxFifoDepth));
    return request;
}

void validate(IcxSysExpert2& expert, const std::wstring& name, const PropertyBagHandle& request) {
    IcxSysEnumPropertyTag* accepted = nullptr;
    qx::dsc::HostStringHolder message;
    qxhost::check("ValidateItemProperties",
                  expert.ValidateItemProperties(name.c_str(), request.get(), &accepted, message.receive()));
    if (accepted) accepted->Release();
}

void set(IcxSysExpert2& expert, const std::wstring& name, const PropertyBagHandle& request) {
    int32_t flag = 0;
    qx::dsc::HostStringHolder message;
    qxhost::check("SetItemProperties2",
                  expert.SetItemProperties2(name.c_str(), request.get(), &flag, message.receive()));
}

int run(const std::string& plugin, long calls) {
    qxhost::PluginSession session(plugin);
    IcxSysExpert2& expert = session.expert();
    std::atomic<long> notifications{0};
    QXComPtr<qxhost::CHostNotificationSink> sink(CQXComObject<qxhost::CHostNotificationSink>::createInstance(
        [&notifications](int32_t, const std::vector<std::string>&) {
            ++notifications;
            return sysapicpp::S_OK;
        }));
    qxhost::check("SetNotificationSink", expert.SetNotificationSink(sink.get()));

    std::vector<std::wstring> ports, devices;
    for (const std::string& name : enumItemNames(expert)) {
        const std::optional<qxhost::ItemIdentity> identity = qxhost::identify(name);
        if (identity) (identity->kind == qxhost::ItemKind::Port ? ports : devices).push_back(qx::dsc::toWide(name));
    }
    if (ports.empty() || devices.empty()) throw std::runtime_error("no boards or no ports");

    long atFirst = 0;
    const double start = nowMs();
    for (long call = 0; call < calls; ++call) {
        const std::wstring& port = ports[static_cast<std::size_t>(call) % ports.size()];
        const std::wstring& device = devices[static_cast<std::size_t>(call) % devices.size()];
        if (call % 1000 == 0) {
            allItemProperties(expert);
        } else if (call % 200 == 100) {
            set(expert, port, unchangedRequest(getItem(expert, port)));
        } else {
            switch (call % 5) {
                case 0: getItem(expert, device); break;
                case 1: enumItemNames(expert); break;
                case 2: getItem(expert, port); break;
                case 3: getByTags(expert, port); break;
                case 4: validate(expert, port, unchangedRequest(getItem(expert, port))); break;
            }
        }
        if (call + 1 == kFirstCalls) atFirst = residentKb();
        if ((call + 1) % 10000 == 0)
            std::printf("  after %6ld calls  %6ld kB resident  (%.0f s)\n", call + 1, residentKb(),
                        (nowMs() - start) / 1000);
    }
    qxhost::check("SetNotificationSink", expert.SetNotificationSink(nullptr));
    const long atEnd = residentKb();
    std::printf("%ld mixed host calls in %.0f s; %ld notifications\n", calls, (nowMs() - start) / 1000,
                notifications.load());
    std::printf("  resident after %ld calls   %6ld kB\n", kFirstCalls, atFirst);
    std::printf("  resident after %ld calls %6ld kB\n", calls, atEnd);
    printFigure("memory growth after 1,000", (atEnd - atFirst) / 1024.0, "MB", "< 1",
                atEnd - atFirst < 1024);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 3 && std::atol(argv[2]) > kFirstCalls) return run(argv[1], std::atol(argv[2]));
        std::fprintf(stderr, "usage: qxbench_memory PLUGIN CALLS (more than %ld)\n", kFirstCalls);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qxbench_memory: %s\n", e.what());
        return 1;
    }
}
