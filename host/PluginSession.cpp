// SPDX-License-Identifier: MIT
#include "host/PluginSession.h"

#include <dlfcn.h>

#include "host/HostError.h"
#include "platform/qx/dsc/Utf8.h"
#include "platform/qxerr/Status.h"

namespace qxhost {
namespace {

using CreateExpert = sysapicpp::HRESULT (*)(IcxSysExpert2** out);
constexpr char kEntry[] = "createQx561xSysApiExpert";

std::string loaderMessage(const qxerr::Status& status) {
    const std::string text = qxerr::reportGetString(status.report, "string");
    return text.empty() ? status.reportText() : text;
}

}  // namespace

std::string utf8(const qx::dsc::HostStringHolder& text) { return qx::dsc::toUtf8(text.view()); }

PluginSession::PluginSession(const std::string& path) {
    qxerr::Status status;
    library_ = qxdynlib::Library(path.c_str(), RTLD_NOW | RTLD_LOCAL, status);
    auto create = reinterpret_cast<CreateExpert>(library_.symbol(kEntry, status));
    if (status.isFatal()) throw HostError("loading " + path, sysapicpp::E_FAIL, loaderMessage(status));
    check(kEntry, create(&expert_));
    if (!expert_) throw HostError(kEntry, sysapicpp::E_POINTER, "no expert returned");
    try {
        check("Initialize", expert_->Initialize());
        initialized_ = true;
    } catch (...) {
        expert_->Release();
        expert_ = nullptr;
        throw;
    }
}

PluginSession::~PluginSession() {
    if (!expert_) return;
    if (initialized_) expert_->Uninitialize();
    expert_->Release();
}

}  // namespace qxhost
