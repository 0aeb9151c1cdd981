// SPDX-License-Identifier: MIT
#pragma once
// Boards and ports from the hardware model, settings from the configuration file, and
// the configuration tool run for every port whose settings are saved.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "qx561xsae/cConfigurationFileCache.h"
#include "qx561xsae/iSerialDataStore.h"
#include "shared/qx561x/iEnumeratorFactory.h"
#include "shared/qx561x/iPropertyAccessorFactory.h"

namespace qx561xsae {

class cLinuxDataStore : public iSerialDataStore {
public:
    static constexpr const char* kToolPath = "/usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig";

    // Takes both factories over. The tool and the configuration file are the installed
    // ones; tests name others (an empty configuration path means the standard one, looked
    // up on every call).
    cLinuxDataStore(std::unique_ptr<qx561x::iEnumeratorFactory> enumeratorFactory,
                    std::unique_ptr<qx561x::iPropertyAccessorFactory> propertyAccessorFactory,
                    std::string toolPath = kToolPath, std::string configurationPath = {});

    std::unique_ptr<iReadScope> beginReadScope() override;
    std::vector<std::string> listItemNames() override;
    tDeviceInfo getDeviceInfo(const std::string& itemName) override;
    tPortInfo getPortInfo(const std::string& itemName) override;
    void savePortConfiguration(const std::string& itemName, const tPortInfo& info) override;

private:
    struct Moment;
    class Scope;
    class MomentEnumerators;

    std::shared_ptr<Moment> currentMoment();
    std::vector<std::string> portsOf(const std::string& devicePath, Moment* moment);
    std::shared_ptr<const qx561x::cIniDataStore> configuration(Moment* moment);
    tPortInfo readPortInfo(const std::string& itemName, Moment* moment);
    std::string configurationPath() const;
    void runTool(const std::string& portName, const std::string& configurationPath) const;

    std::unique_ptr<qx561x::iEnumeratorFactory> enumeratorFactory;
    std::unique_ptr<qx561x::iPropertyAccessorFactory> propertyAccessorFactory;
    const std::string toolPath;
    const std::string fixedConfigurationPath;
    // Every port's record reads the file; it is parsed again only when it changed.
    cConfigurationFileCache configurationCache;
    // The read scope of each thread that is in one.
    std::mutex momentsMutex;
    std::map<std::thread::id, std::shared_ptr<Moment>> moments;
};

}  // namespace qx561xsae
