// SPDX-License-Identifier: MIT
#include "sysapicpp/HResult.h"

#include "platform/qxerr/Status.h"

namespace sysapicpp {

HRESULT hresultFromStatusCode(int32_t statusCode) {
    switch (statusCode) {
    case 0: return S_OK;
    case -52027: return E_SYSAPI_MAPPED_52027;
    case -52020:
    case -52010:
    case -52009: return E_SYSAPI_MAPPED_520XX;
    case qxerr::qxapalerr_resourceNotFound: return E_SYSAPI_ITEM_NOT_EXIST;
    case -52002: return E_NOTIMPL;
    case qxerr::qxapalerr_memoryFull: return E_OUTOFMEMORY;
    default: return E_FAIL;
    }
}

}  // namespace sysapicpp
