// SPDX-License-Identifier: MIT
#pragma once
// The plug-in loaded and initialised as a host framework does it; the destructor undoes
// it in order on every way out: Uninitialize, the final Release, then unloading.

#include <string>

#include "platform/qx/dsc/HostString.h"
#include "platform/qxdynlib/Library.h"
#include "sysapicpp/HostInterfaces.h"

namespace qxhost {

constexpr char kDefaultPlugin[] = "/usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so";

// The text of a host string the plug-in handed out; "" for none.
std::string utf8(const qx::dsc::HostStringHolder& text);

class PluginSession {
public:
    // Throws HostError when the library cannot be loaded or the expert not initialised.
    explicit PluginSession(const std::string& path);
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    IcxSysExpert2& expert() const { return *expert_; }

private:
    qxdynlib::Library library_;
    IcxSysExpert2* expert_ = nullptr;
    bool initialized_ = false;
};

}  // namespace qxhost
