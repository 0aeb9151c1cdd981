// SPDX-License-Identifier: MIT
#pragma once
// The plug-in loaded and initialised as a host framework does it; the destructor undoes
// it in order on every way out: Uninitialize, the final Release, then unloading.

#include <string>

#include "platform/qx/dsc/HostString.h"
#include "platform/qxdynlib/Library.h"
#include "sysapicpp/HostInterfaces.h"

namespace qxhost {

// The text of a host string the plug-in handed out; "" for none.
std::string utf8(const qx::dsc::HostStringHolder& text);

class PluginSession {
public:
    // Throws HostError: call "load" with the loader's text when the library cannot be
    // loaded (or is not a regular file), else the failing call.
    explicit PluginSession(const std::string& path);
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    IcxSysExpert2& expert() const { return *expert_; }

    // Uninitialize, then Initialize: a new expert, which lists boards and ports afresh (an
    // expert notices boards that come and go only at the next change of configuration).
    void restart();

private:
    qxdynlib::Library library_;
    IcxSysExpert2* expert_ = nullptr;
    bool initialized_ = false;
};

}  // namespace qxhost
