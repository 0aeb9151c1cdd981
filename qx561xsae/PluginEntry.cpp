// SPDX-License-Identifier: MIT
// The plug-in's only exported symbol: the host gets the expert adapter from here.

#include <new>

#include "platform/qxerr/Status.h"
#include "qx561xsae/cQxSerialSystemApiExpert.h"
#include "sysapicpp/ExpertAdapter.h"

const char qxerr::kComponent[] = "qx561xsae";

namespace {

using Adapter = CQXComObject<sysapicpp::ExpertAdapter<qx561xsae::cQxSerialSystemApiExpert>>;

}  // namespace

extern "C" __attribute__((visibility("default"))) sysapicpp::HRESULT createQx561xSysApiExpert(
    IcxSysExpert2** out) {
    if (!out) return sysapicpp::E_POINTER;
    *out = nullptr;
    try {
        Adapter* adapter = new Adapter();
        adapter->AddRef();
        *out = adapter;
        return sysapicpp::S_OK;
    } catch (int code) {
        return code;
    } catch (const std::bad_alloc&) {
        return sysapicpp::E_OUTOFMEMORY;
    } catch (...) {
        return sysapicpp::E_FAIL;
    }
}
