// SPDX-License-Identifier: MIT
#pragma once
// What the plug-in benchmarks share: the host calls they time, a check that the plug-in
// showed what the floor read, a view of the plug-in's monitor thread, and statistics.

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "bench/ListingFloor.h"
#include "host/Catalog.h"
#include "host/HostObjects.h"
#include "sysapicpp/HostInterfaces.h"
#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace qxbench {

constexpr char kConfigurationPath[] = "/etc/qxserial/configuration.ini";

double nowMs();
double median(std::vector<double> values);

// EnumItemNames, every name fetched and freed; returns the names.
std::vector<std::string> enumItemNames(IcxSysExpert2& expert);
// GetAllItemProperties into a host collection, as qxhost does it; returns the bags.
using qxhost::allItemProperties;

// Throws std::runtime_error unless the bags show every board and port of the floor with
// the floor's values.
void checkAgainstFloor(const std::vector<sysapicpp::PropertyBagHandle>& bags,
                       const FloorListing& floor);

// The plug-in's configuration monitor: the one thread of this process that waits in
// ppoll. Throws when there is none after two minutes.
pid_t findMonitorThread();
bool isWaiting(pid_t thread);
// CPU time the thread has used, in nanoseconds.
uint64_t threadCpuNs(pid_t thread);
// Waits until the monitor has gone back to waiting and stayed there for settleMs.
void waitMonitorIdle(pid_t thread, double settleMs = 50);

void printFigure(const std::string& name, double value, const std::string& unit,
                 const std::string& goal, bool met);

// A host whose sink times changes of single ports: from the start of SetItemProperties2 to
// the sink receiving that port's "changed". The sink is set for the probe's life.
class ChangeProbe {
public:
    explicit ChangeProbe(IcxSysExpert2& expert);
    ~ChangeProbe();
    ChangeProbe(const ChangeProbe&) = delete;
    ChangeProbe& operator=(const ChangeProbe&) = delete;

    struct Timing {
        double setCallMs;  // SetItemProperties2 until it returned
        double latencyMs;  // until the notification arrived, which may be before the return
    };
    // Sets the port's receive depth to a value it does not hold, once the monitor is idle.
    Timing change(const FloorPort& port);
    pid_t monitor() const { return monitor_; }

private:
    IcxSysExpert2& expert_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    struct Change {
        int32_t type;
        double arrivedMs;
    };
    std::multimap<std::string, Change> changes_;  // by name
    QXComPtr<qxhost::CHostNotificationSink> sink_;
    pid_t monitor_ = 0;
    std::map<std::string, std::string> itemOfNode_;
};

}  // namespace qxbench
