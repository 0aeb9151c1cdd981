// SPDX-License-Identifier: MIT
#pragma once
// Boards and ports from the hardware model, settings from the configuration file, and
// the configuration tool run for every port whose settings are saved.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "platform/qxapal/trace/tSystemLog.h"
#include "qx561xsae/AuditLog.h"
#include "qx561xsae/cConfigurationFileCache.h"
#include "qx561xsae/iSerialDataStore.h"
#include "shared/qx561x/ConfigurationTool.h"
#include "shared/qx561x/iEnumeratorFactory.h"
#include "shared/qx561x/iPropertyAccessorFactory.h"

namespace qx561xsae {

class cLinuxDataStore : public iSerialDataStore {
public:
    static constexpr const char* kToolPath = qx561x::kConfigurationToolPath;
    // A tool not done by then would hold the port's item, and the host's call, for ever:
    // it is killed, with everything it started.
    static constexpr std::chrono::milliseconds kToolTimeLimit = qx561x::kConfigurationToolTimeLimit;

    // Takes both factories over. The tool, the configuration file, the time limit and the
    // system log are the installed ones; tests name others (an empty configuration path
    // means the standard one, looked up on every call).
    cLinuxDataStore(std::unique_ptr<qx561x::iEnumeratorFactory> enumeratorFactory,
                    std::unique_ptr<qx561x::iPropertyAccessorFactory> propertyAccessorFactory,
                    std::string toolPath = kToolPath, std::string configurationPath = {},
                    std::chrono::milliseconds toolTimeLimit = kToolTimeLimit,
                    std::string systemLogPath = qxapal::kSystemLogPath);

    std::vector<std::string> listItemNames() override;
    tDeviceInfo getDeviceInfo(const std::string& itemName) override;
    tPortInfo getPortInfo(const std::string& itemName) override;
    void savePortConfiguration(const std::string& itemName, const tPortInfo& info) override;
    std::unique_ptr<iReadScope> beginReadScope() override;
    void logRefusal(const tRefusal& refusal) noexcept override;

private:
    struct Moment;
    class Scope;
    class MomentEnumerators;
    // Marks a save of the file by this store while it lasts.
    class SaveUnderWay {
    public:
        explicit SaveUnderWay(cLinuxDataStore& store);
        ~SaveUnderWay();
        SaveUnderWay(const SaveUnderWay&) = delete;
        SaveUnderWay& operator=(const SaveUnderWay&) = delete;

    private:
        cLinuxDataStore& store_;
        uint64_t id_ = 0;
    };

    std::shared_ptr<Moment> currentMoment();
    std::vector<std::string> readItemNames(Moment* moment);
    std::vector<std::string> portsOf(const std::string& devicePath, Moment* moment);
    std::shared_ptr<const qx561x::cIniDataStore> configuration(Moment* moment);
    // Until the saves of the file by this store that are under way have ended.
    void waitForSavesUnderWay();
    tDeviceInfo readDeviceInfo(const std::string& itemName);
    tPortInfo readPortInfo(const std::string& itemName, Moment* moment);
    std::string configurationPath() const;
    void runTool(const std::string& portName, const std::string& configurationPath) const;
    std::optional<tStoredSettings> storedSettings(const std::string& identifier);
    // A host receives names as wide text: a path that is not UTF-8 cannot be named to it.
    // Such a board or port is left out, and said so once.
    bool canBeNamed(const std::string& path, const char* what);

    std::unique_ptr<qx561x::iEnumeratorFactory> enumeratorFactory;
    std::unique_ptr<qx561x::iPropertyAccessorFactory> propertyAccessorFactory;
    const std::string toolPath;
    const std::string fixedConfigurationPath;
    const std::chrono::milliseconds toolTimeLimit;
    const std::string systemLogPath;
    std::mutex unnamedMutex;
    std::set<std::string> unnamed;
    // Every port's record reads the file; it is parsed again only when it changed.
    cConfigurationFileCache configurationCache;
    // The read scope of each thread that is in one, and the first scope's while it lasts.
    std::mutex momentsMutex;
    std::map<std::thread::id, std::shared_ptr<Moment>> moments;
    std::shared_ptr<Moment> firstMoment;
    bool firstScopeBegun = false;
    // The saves under way, by the order they began in.
    std::mutex savesMutex;
    std::condition_variable savesEnded;
    uint64_t savesBegun = 0;
    std::set<uint64_t> savesUnderWay;
};

}  // namespace qx561xsae
