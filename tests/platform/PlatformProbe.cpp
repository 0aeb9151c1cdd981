// SPDX-License-Identifier: MIT
// Child process of the loading tests: runs one scenario against whatever stand-ins the
// parent put on LD_LIBRARY_PATH and prints what it saw as key=value lines.

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <sstream>
#include <string>

#include "platform/qxerr/Exception.h"
#include "platform/qxqpxi/DynamicQPXILibrary.h"
#include "platform/qxqpxi/Item.h"
#include "platform/qxsysq/stdpath.h"
#include "tests/support/OpenDescriptors.h"

namespace {

using qxtest::openDescriptors;

void print(const std::string& key, const std::string& value) {
    std::printf("%s=%s\n", key.c_str(), value.c_str());
}

// Runs a step; a qxerr::Exception is printed as "<key>-error=<code>".
void step(const std::string& key, const std::function<std::string()>& body) {
    try {
        print(key, body());
    } catch (const qxerr::Exception& e) {
        print(key + "-error", std::to_string(e.getCode()));
    }
}

// What the stand-in still holds open, asked while it is loaded.
void printStandinCounts() {
    using Count = unsigned (*)();
    auto open = reinterpret_cast<Count>(dlsym(RTLD_DEFAULT, "qxqpxi_standin_openCount"));
    auto bad = reinterpret_cast<Count>(dlsym(RTLD_DEFAULT, "qxqpxi_standin_badReleases"));
    if (open) print("standin-open", std::to_string(open()));
    if (bad) print("standin-bad-releases", std::to_string(bad()));
}

std::string address(const qxqpxi::PciAddress& a) {
    std::ostringstream out;
    out << a.segment << ':' << a.bus << ':' << a.device << '.' << a.function;
    return out.str();
}

void sysconfdir() {
    step("first", [] { return qxsysq::getSysconfDir(); });
    step("second", [] { return qxsysq::getSysconfDir(); });
    try {
        qxsysq::getSysconfDir();
    } catch (const qxerr::Exception& e) {
        print("report", e.what());
    }
}

void pxiDescribe(qxqpxi::QPXILibrary& library, int argc, char** argv) {
    if (argc < 5) return;
    const qxqpxi::PciAddress wanted{0, static_cast<uint32_t>(std::atoi(argv[2])),
                                    static_cast<uint32_t>(std::atoi(argv[3])),
                                    static_cast<uint32_t>(std::atoi(argv[4]))};
    // The road the device property accessor takes.
    step("description", [&] {
        qxqpxi::Session session(0, library);
        qxqpxi::Device device = session.openDeviceByAddr(wanted);
        return std::string(device.getStringAttribute(qxqpxi::kAttrDescription));
    });
    step("address", [&] {
        qxqpxi::Session session(0, library);
        return address(session.openDeviceByAddr(wanted).getPciAddress());
    });
    step("invalidation", [&] {
        qxqpxi::Session session(0, library);
        session.cancelWaitForInvalidation();
        return std::to_string(session.waitForInvalidation(7));
    });
}

// The whole system as one line: chassis[slots{devices} bridges].
void pxiTree(qxqpxi::QPXILibrary& library) {
    step("tree", [&] {
        qxqpxi::Session session(0, library);
        std::ostringstream out;
        for (const qxqpxi::Chassis& chassis : session.getChassis()) {
            out << "chassis " << chassis.getU32Attribute(1) << " [";
            for (const qxqpxi::Slot& slot : chassis.getSlots()) {
                out << " slot " << slot.getU32Attribute(1) << " {";
                for (const qxqpxi::Device& device : slot.getDevices()) {
                    out << ' ' << address(device.getPciAddress()) << " in slot "
                        << device.getSlot().getU32Attribute(1) << " of chassis "
                        << device.getChassis().getU32Attribute(1) << ';';
                }
                out << " } of chassis " << slot.getChassis().getU32Attribute(1);
            }
            out << " bridges";
            for (const qxqpxi::TriggerBridge& bridge : chassis.getTriggerBridges()) {
                out << ' ' << bridge.getU32Attribute(1) << " of chassis "
                    << bridge.getChassis().getU32Attribute(1);
            }
            out << " ]";
        }
        return out.str();
    });
    step("copy", [&] {
        qxqpxi::Session session(0, library);
        const qxqpxi::Chassis chassis = session.openChassisByNumber(1);
        auto slots = chassis.getSlots();
        if (slots.empty()) return std::string("no slots");
        auto devices = slots.front().getDevices();
        if (devices.empty()) return std::string("no devices");
        qxqpxi::Device copy = devices.front();
        std::ostringstream out;
        out << (copy.handle() != devices.front().handle() ? "distinct " : "same ")
            << copy.getStringAttribute(qxqpxi::kAttrDescription);
        return out.str();
    });
}

// Lists the devices of every slot of chassis 1.
void pxiDevices(qxqpxi::QPXILibrary& library) {
    step("devices", [&] {
        qxqpxi::Session session(0, library);
        size_t count = 0;
        for (const qxqpxi::Slot& slot : session.openChassisByNumber(1).getSlots()) {
            count += slot.getDevices().size();
        }
        return std::to_string(count);
    });
}

int pxi(int argc, char** argv) {
    qxerr::Status status;
    qxqpxi::DynamicQPXILibrary library(status);
    print("loaded", library.isLoaded() ? "1" : "0");
    print("load-code", std::to_string(status.getCode()));
    print("load-report", status.reportText());
    const std::string command = argv[1];
    if (command == "pxi-describe") {
        pxiDescribe(library, argc, argv);
    } else if (command == "pxi-tree") {
        pxiTree(library);
    } else if (command == "pxi-devices") {
        pxiDevices(library);
    } else {
        return 2;
    }
    printStandinCounts();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::set<std::string> before = openDescriptors();
    int result = 0;
    if (std::strcmp(argv[1], "sysconfdir") == 0) {
        sysconfdir();
    } else {
        result = pxi(argc, argv);
    }
    size_t leaked = 0;
    for (const std::string& fd : openDescriptors()) leaked += before.count(fd) ? 0 : 1;
    print("fds-leaked", std::to_string(leaked));
    return result;
}
