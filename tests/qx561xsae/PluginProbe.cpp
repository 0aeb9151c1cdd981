// SPDX-License-Identifier: MIT
// A host inside the simulator that calls the plug-in in ways qxhost does not: diagnostics,
// shutdown while the plug-in is busy, and many threads at once. Prints what it saw.
//
//   qx561xsae_probe PLUGIN selftest
//   qx561xsae_probe PLUGIN stop
//   qx561xsae_probe PLUGIN pending
//   qx561xsae_probe PLUGIN stress ROUNDS [PLUG UNPLUG]  shell commands run in turn between edits

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/qx/dsc/HostString.h"
#include "platform/qxdynlib/Library.h"
#include "sysapicpp/CQXComObject.h"
#include "sysapicpp/propbag/PropertyBagHandle.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"

namespace {

using namespace sysapicpp;
using Clock = std::chrono::steady_clock;

constexpr char kConfiguration[] = "/etc/qxserial/configuration.ini";
const wchar_t kPort0[] =
    L"port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.0/0000|3A03|3A00.0/tty/ttyQX561xPort0";
const wchar_t kPort1[] =
    L"port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.0/0000|3A03|3A00.0/tty/ttyQX561xPort1";

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "probe: %s\n", what);
    std::exit(3);
}

// The plug-in from load to unload.
class Plugin {
public:
    explicit Plugin(const char* path) {
        qxerr::Status status;
        library_ = qxdynlib::Library(path, RTLD_NOW | RTLD_LOCAL, status);
        auto create = reinterpret_cast<HRESULT (*)(IcxSysExpert2**)>(
            library_.symbol("createQx561xSysApiExpert", status));
        if (!create || create(&expert_) != S_OK || expert_->Initialize() != S_OK) fail("start");
    }
    ~Plugin() {
        expert_->Uninitialize();
        expert_->Release();
    }
    IcxSysExpert2* operator->() const { return expert_; }

private:
    qxdynlib::Library library_;
    IcxSysExpert2* expert_ = nullptr;
};

class Sink : public IcxSysNotificationSink,
             public virtual CQXComObjectRootEx<CQXComMultiThreadModelNoCS> {
public:
    explicit Sink(std::chrono::milliseconds delay) : delay_(delay) {}
    static const QXInterfaceMapEntry* interfaceMap() {
        static const QXInterfaceMapEntry map[] = {
            {&IID_IcxSysNotificationSink, qxOffsetOfClass<IcxSysNotificationSink, Sink>()},
            {nullptr, 0}};
        return map;
    }
    HRESULT OnItemsChanged(IUnknown*, int32_t, IcxSysEnumStringList* names) override {
        for (;;) {
            qx::dsc::HostStringHolder name;
            uint32_t fetched = 0;
            names->Next(1, name.receive(), &fetched);
            if (fetched == 0) break;
            ++delivered;
        }
        std::this_thread::sleep_for(delay_);
        return S_OK;
    }
    std::atomic<int> delivered{0};

private:
    std::chrono::milliseconds delay_;
};

void writeConfiguration(int round) {
    std::ofstream(kConfiguration) << "[qx561x:703b:3:1]\nFifoRxDepth=" << 1 + round % 100
                                  << "\n[qx561x:703b:3:2]\nFifoTxDepth=" << 1 + round % 128 << "\n";
}

int selftest(Plugin& plugin) {
    qx::dsc::HostStringHolder message;
    std::printf("existing %08X\n", static_cast<unsigned>(plugin->SelfTest(kPort0, 1, message.receive())));
    std::printf("unknown %08X\n",
                static_cast<unsigned>(plugin->SelfTest(L"port:/nowhere", 1, message.receive())));
    return 0;
}

// Uninitialize while the monitor waits for a change.
int stop(const char* path) {
    auto plugin = std::make_unique<Plugin>(path);
    IcxSysEnumStringList* names = nullptr;
    (*plugin)->EnumItemNames(&names);
    if (names) names->Release();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto begin = Clock::now();
    (*plugin)->Uninitialize();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin);
    std::printf("stopped in %lld ms\n", static_cast<long long>(took.count()));
    return 0;
}

// Uninitialize with notifications still queued for a slow sink.
int pending(const char* path) {
    auto plugin = std::make_unique<Plugin>(path);
    QXComPtr<Sink> sink(CQXComObject<Sink>::createInstance(std::chrono::milliseconds(20)));
    (*plugin)->SetNotificationSink(sink.get());
    for (int round = 0; round < 20; ++round) {
        writeConfiguration(round);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    (*plugin)->Uninitialize();
    std::printf("uninitialized after %d deliveries\n", sink->delivered.load());
    plugin.reset();
    return 0;
}

// Eight host threads list, read and set while the file is edited and boards come and go.
int stress(Plugin& plugin, int rounds, const std::vector<std::string>& commands) {
    std::mutex mutex;
    std::map<HRESULT, int> results;
    std::atomic<bool> done{false};
    auto record = [&](HRESULT hr) {
        std::lock_guard<std::mutex> guard(mutex);
        ++results[hr];
    };
    QXComPtr<Sink> sink(CQXComObject<Sink>::createInstance(std::chrono::milliseconds(0)));
    plugin->SetNotificationSink(sink.get());
    std::vector<std::thread> hosts;
    for (int t = 0; t < 8; ++t) {
        hosts.emplace_back([&, t] {
            for (int i = 0; !done; ++i) {
                switch (t % 4) {
                case 0: {
                    IcxSysEnumStringList* names = nullptr;
                    record(plugin->EnumItemNames(&names));
                    if (names) names->Release();
                    break;
                }
                case 1: {
                    IcxSysPropertyBag* bag = nullptr;
                    record(plugin->GetItemProperties(t < 4 ? kPort0 : kPort1, &bag));
                    if (bag) bag->Release();
                    break;
                }
                case 2: {
                    PropertyBagHandle bag = PropertyBagHandle::createEmpty();
                    bag.setUInt32(RxFifoDepth, 1 + (i + t) % 127);
                    int32_t flag = 0;
                    qx::dsc::HostStringHolder message;
                    record(plugin->SetItemProperties2(t < 4 ? kPort0 : kPort1, bag.get(), &flag,
                                                      message.receive()));
                    break;
                }
                default: {
                    uint32_t tags[] = {RxFifoDepth, TxFifoDepth};
                    IcxSysPropertyBag* bag = nullptr;
                    record(plugin->GetItemPropertiesByTag(kPort1, 2, tags, 0, &bag));
                    if (bag) bag->Release();
                }
                }
            }
        });
    }
    const char* failed = nullptr;
    for (int round = 0; round < rounds && !failed; ++round) {
        writeConfiguration(round);
        const std::string* command = commands.empty() ? nullptr : &commands[round % commands.size()];
        if (command && std::system(command->c_str()) != 0) failed = command->c_str();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    done = true;
    for (std::thread& host : hosts) host.join();
    if (failed) fail(failed);
    // The file did change: a notification comes, however long a loaded machine takes.
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    while (sink->delivered == 0 && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    plugin->SetNotificationSink(nullptr);
    for (const auto& [hr, count] : results) std::printf("%08X %d\n", static_cast<unsigned>(hr), count);
    std::printf("notified %d\n", sink->delivered.load());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) fail("usage");
    const std::string what = argv[2];
    if (what == "stop") return stop(argv[1]);
    if (what == "pending") return pending(argv[1]);
    Plugin plugin(argv[1]);
    if (what == "selftest") return selftest(plugin);
    if (what == "stress" && argc >= 4)
        return stress(plugin, std::atoi(argv[3]), std::vector<std::string>(argv + 4, argv + argc));
    fail("usage");
}
