// SPDX-License-Identifier: MIT
#include "host/PluginSession.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "host/HostError.h"
#include "platform/qx/dsc/Utf8.h"
#include "platform/qxafa/UniqueFd.h"
#include "platform/qxerr/Status.h"

namespace qxhost {
namespace {

using CreateExpert = sysapicpp::HRESULT (*)(IcxSysExpert2** out);
constexpr char kEntry[] = "createQx561xSysApiExpert";

// The loader would block in opening a FIFO, or act on a device; only a regular file is
// loaded. Opened without blocking, so that the check itself cannot hang; a file that
// cannot be opened is left to the loader, whose text says why.
void refuseOddFile(const std::string& path) {
    const qxafa::UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (file && ::fstat(file.get(), &info) == 0 && !S_ISREG(info.st_mode))
        throw HostError(kCallLoad, std::nullopt, path + ": not a regular file", path);
}

}  // namespace

std::string utf8(const qx::dsc::HostStringHolder& text) { return qx::dsc::toUtf8(text.view()); }

PluginSession::PluginSession(const std::string& path) {
    refuseOddFile(path);
    // A name without a slash would be searched for on the loader's path instead.
    const std::string loadPath = path.find('/') == std::string::npos ? "./" + path : path;
    qxerr::Status status;
    library_ = qxdynlib::Library(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL, status);
    auto create = reinterpret_cast<CreateExpert>(library_.symbol(kEntry, status));
    if (status.isFatal()) throw HostError(kCallLoad, std::nullopt, reportSummary(status.reportText()), path);
    check(kEntry, create(&expert_), {}, path);
    if (!expert_) throw HostError(kEntry, sysapicpp::E_POINTER, "no expert returned", path);
    try {
        check("Initialize", expert_->Initialize(), {}, path);
        initialized_ = true;
    } catch (...) {
        expert_->Release();
        expert_ = nullptr;
        throw;
    }
}

void PluginSession::restart() {
    initialized_ = false;
    check("Uninitialize", expert_->Uninitialize());
    check("Initialize", expert_->Initialize());
    initialized_ = true;
}

PluginSession::~PluginSession() {
    if (!expert_) return;
    if (initialized_) expert_->Uninitialize();
    expert_->Release();
}

}  // namespace qxhost
