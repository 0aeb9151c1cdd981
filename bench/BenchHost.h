// SPDX-License-Identifier: MIT
#pragma once
// What the plug-in benchmarks share: the host calls they time, a check that the plug-in
// showed what the floor read, a view of the plug-in's monitor thread, and statistics.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/ListingFloor.h"
#include "host/Catalog.h"
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
// ppoll. Throws when there is none after a few seconds.
pid_t findMonitorThread();
bool isWaiting(pid_t thread);
// CPU time the thread has used, in nanoseconds.
uint64_t threadCpuNs(pid_t thread);
// Waits until the monitor has gone back to waiting and stayed there for settleMs.
void waitMonitorIdle(pid_t thread, double settleMs = 50);

void printFigure(const std::string& name, double value, const std::string& unit,
                 const std::string& goal, bool met);

}  // namespace qxbench
