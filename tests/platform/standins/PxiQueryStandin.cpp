// SPDX-License-Identifier: MIT
// A PXI query library for tests: an in-memory PXI system read from the file named by
// QXQPXI_STANDIN_MODEL. Lines of that file:
//   device <chassis> <slot> <bus> <device> <function> <description...>
//   bridge <chassis> <number>
//   fail <symbol> [after <n>]      every call of <symbol> after the first n fails
// Kinds: containing item 1 chassis, 2 slot; containers 0 chassis (of a session),
// 0x1000 slots and 0x1001 trigger bridges (of a chassis), 0x2000 devices (of a slot).
// U32 attribute 1 is the number of a chassis, slot or bridge; devices answer
// 0x3000-0x3002 (bus, device, function) and the string attribute 0x3003.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/qxqpxi/QPXILibrary.h"

using qxqpxi::Handle;
using qxqpxi::PciAddress;
using qxqpxi::Position;

namespace {

constexpr int32_t kFailure = -52006;

enum class Kind { Session, Chassis, Slot, Bridge, Device };

struct Object {
    Kind kind;
    uint32_t chassis = 0;
    uint32_t number = 0;  // slot or bridge number
    uint32_t device = 0;  // index into the model's devices
};

struct ModelDevice {
    uint32_t chassis, slot, bus, device, function;
    std::string description;
};

struct Model {
    std::vector<ModelDevice> devices;
    std::set<uint32_t> chassis;
    std::set<std::pair<uint32_t, uint32_t>> slots;
    std::set<std::pair<uint32_t, uint32_t>> bridges;
    std::map<std::string, unsigned> failAfter;
};

Model loadModel() {
    Model model;
    const char* path = std::getenv("QXQPXI_STANDIN_MODEL");
    if (!path) return model;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string word;
        fields >> word;
        if (word == "device") {
            ModelDevice d{};
            fields >> d.chassis >> d.slot >> d.bus >> d.device >> d.function >> std::ws;
            std::getline(fields, d.description);
            model.devices.push_back(d);
            model.chassis.insert(d.chassis);
            model.slots.insert({d.chassis, d.slot});
        } else if (word == "bridge") {
            uint32_t chassis = 0, number = 0;
            fields >> chassis >> number;
            model.chassis.insert(chassis);
            model.bridges.insert({chassis, number});
        } else if (word == "fail") {
            std::string symbol, after;
            unsigned count = 0;
            fields >> symbol >> after >> count;
            model.failAfter[symbol] = count;
        }
    }
    return model;
}

struct State {
    std::mutex mutex;
    Model model = loadModel();
    std::map<std::string, unsigned> calls;
    std::map<Handle, Object> handles;
    std::map<Handle, std::vector<Object>> containers;
    Handle next = 0x1000;
    unsigned badReleases = 0;
};

State& state() {
    static State instance;
    return instance;
}

void fail(qxerr::Status* status) {
    if (status && status->code >= 0) status->code = kFailure;
}

// Counts the call; true when the model says this call must fail.
bool injectedFailure(State& s, const char* symbol, qxerr::Status* status) {
    const unsigned call = s.calls[symbol]++;
    auto rule = s.model.failAfter.find(symbol);
    if (rule != s.model.failAfter.end() && call >= rule->second) {
        fail(status);
        return true;
    }
    return false;
}

Handle issue(State& s, const Object& object) {
    const Handle handle = s.next++;
    s.handles[handle] = object;
    return handle;
}

const Object* find(State& s, Handle handle, qxerr::Status* status) {
    auto it = s.handles.find(handle);
    if (it == s.handles.end()) {
        fail(status);
        return nullptr;
    }
    return &it->second;
}

}  // namespace

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

STANDIN_EXPORT Handle qxqpxi_openPXISession(uint32_t, qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    return issue(s, Object{Kind::Session});
}

STANDIN_EXPORT Handle qxqpxi_openChassisByNumber(Handle session, uint32_t number,
                                                 qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    const Object* o = find(s, session, status);
    if (!o) return 0;
    if (o->kind != Kind::Session || !s.model.chassis.count(number)) {
        fail(status);
        return 0;
    }
    return issue(s, Object{Kind::Chassis, number});
}

STANDIN_EXPORT Handle qxqpxi_openSlotByNumber(Handle handle, uint32_t number,
                                              qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    const Object* o = find(s, handle, status);
    if (!o) return 0;
    if (o->kind != Kind::Chassis || !s.model.slots.count({o->chassis, number})) {
        fail(status);
        return 0;
    }
    return issue(s, Object{Kind::Slot, o->chassis, number});
}

STANDIN_EXPORT Handle qxqpxi_openDeviceByAddr(Handle session, const PciAddress* address,
                                              qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    const Object* o = find(s, session, status);
    if (!o) return 0;
    if (o->kind != Kind::Session || !address || address->segment != 0) {
        fail(status);
        return 0;
    }
    for (uint32_t i = 0; i < s.model.devices.size(); ++i) {
        const ModelDevice& d = s.model.devices[i];
        if (d.bus == address->bus && d.device == address->device &&
            d.function == address->function) {
            return issue(s, Object{Kind::Device, d.chassis, d.slot, i});
        }
    }
    fail(status);
    return 0;
}

STANDIN_EXPORT Handle qxqpxi_openContainingItem(Handle handle, uint32_t kind,
                                                qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    const Object* o = find(s, handle, status);
    if (!o) return 0;
    const bool contained = o->kind == Kind::Slot || o->kind == Kind::Bridge ||
                           o->kind == Kind::Device;
    if (kind == qxqpxi::kChassisItem && contained) {
        return issue(s, Object{Kind::Chassis, o->chassis});
    }
    if (kind == qxqpxi::kSlotItem && o->kind == Kind::Device) {
        return issue(s, Object{Kind::Slot, o->chassis, o->number});
    }
    fail(status);
    return 0;
}

STANDIN_EXPORT uint32_t qxqpxi_getU32Attribute(Handle handle, uint32_t attribute,
                                               qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    const Object* o = find(s, handle, status);
    if (!o) return 0;
    if (attribute == 1) {
        switch (o->kind) {
            case Kind::Chassis: return o->chassis;
            case Kind::Slot:
            case Kind::Bridge: return o->number;
            default: break;
        }
    }
    if (o->kind == Kind::Device) {
        const ModelDevice& d = s.model.devices[o->device];
        switch (attribute) {
            case qxqpxi::kAttrPciBus: return d.bus;
            case qxqpxi::kAttrPciDevice: return d.device;
            case qxqpxi::kAttrPciFunction: return d.function;
            default: break;
        }
    }
    fail(status);
    return 0;
}

STANDIN_EXPORT const char* qxqpxi_getStringAttribute(Handle handle, uint32_t attribute,
                                                     qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return nullptr;
    const Object* o = find(s, handle, status);
    if (!o) return nullptr;
    if (o->kind == Kind::Device && attribute == qxqpxi::kAttrDescription) {
        return s.model.devices[o->device].description.c_str();
    }
    fail(status);
    return nullptr;
}

STANDIN_EXPORT Handle qxqpxi_getItemContainer(Handle handle, uint32_t kind,
                                              qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    const Object* o = find(s, handle, status);
    if (!o) return 0;
    std::vector<Object> items;
    if (o->kind == Kind::Session && kind == qxqpxi::kChassisContainer) {
        for (uint32_t chassis : s.model.chassis) items.push_back(Object{Kind::Chassis, chassis});
    } else if (o->kind == Kind::Chassis && kind == qxqpxi::kSlotContainer) {
        for (const auto& slot : s.model.slots) {
            if (slot.first == o->chassis) items.push_back(Object{Kind::Slot, slot.first, slot.second});
        }
    } else if (o->kind == Kind::Chassis && kind == qxqpxi::kTriggerBridgeContainer) {
        for (const auto& bridge : s.model.bridges) {
            if (bridge.first == o->chassis) {
                items.push_back(Object{Kind::Bridge, bridge.first, bridge.second});
            }
        }
    } else if (o->kind == Kind::Slot && kind == qxqpxi::kDeviceContainer) {
        for (uint32_t i = 0; i < s.model.devices.size(); ++i) {
            const ModelDevice& d = s.model.devices[i];
            if (d.chassis == o->chassis && d.slot == o->number) {
                items.push_back(Object{Kind::Device, d.chassis, d.slot, i});
            }
        }
    } else {
        fail(status);
        return 0;
    }
    const Handle container = s.next++;
    s.containers[container] = items;
    return container;
}

STANDIN_EXPORT Handle qxqpxi_duplicateItemContainer(Handle container, qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    auto it = s.containers.find(container);
    if (it == s.containers.end()) {
        fail(status);
        return 0;
    }
    const Handle copy = s.next++;
    s.containers[copy] = it->second;
    return copy;
}

STANDIN_EXPORT Position qxqpxi_ItemIterator_begin(Handle container, qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    if (!s.containers.count(container)) fail(status);
    return 0;
}

STANDIN_EXPORT Handle qxqpxi_ItemIterator_nextItem(Handle container, Position* position,
                                                   qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    auto it = s.containers.find(container);
    if (it == s.containers.end() || !position || *position >= it->second.size()) {
        fail(status);
        return 0;
    }
    return issue(s, it->second[(*position)++]);
}

STANDIN_EXPORT Position qxqpxi_ItemIterator_end(Handle container, qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    auto it = s.containers.find(container);
    if (it == s.containers.end()) {
        fail(status);
        return 0;
    }
    return it->second.size();
}

STANDIN_EXPORT void qxqpxi_destroyItemContainer(Handle container) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.containers.erase(container) == 0) ++s.badReleases;
}

STANDIN_EXPORT Handle qxqpxi_duplicate(Handle handle, qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    const Object* o = find(s, handle, status);
    if (!o) return 0;
    const Object copy = *o;
    return issue(s, copy);
}

STANDIN_EXPORT void qxqpxi_close(Handle handle) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.handles.erase(handle) == 0) ++s.badReleases;
}

STANDIN_EXPORT uint32_t qxqpxi_waitForSessionInvalidation(Handle session, uint32_t value,
                                                          qxerr::Status* status) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (injectedFailure(s, __func__, status)) return 0;
    const Object* o = find(s, session, status);
    if (!o || o->kind != Kind::Session) {
        fail(status);
        return 0;
    }
    return value;  // a session of the stand-in is never invalidated
}

#ifndef QXQPXI_STANDIN_WITHOUT_CANCEL
STANDIN_EXPORT void qxqpxi_cancelWaitForInvalidation(Handle) {}
#endif

// For the tests: handles and containers still open, and closes of unknown handles.
STANDIN_EXPORT unsigned qxqpxi_standin_openCount() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return static_cast<unsigned>(s.handles.size() + s.containers.size());
}

STANDIN_EXPORT unsigned qxqpxi_standin_badReleases() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.badReleases;
}
