// SPDX-License-Identifier: MIT
#pragma once
// Exceptions of the expert framework: a status whose code is a host result code.

#include <exception>
#include <string>

#include "platform/qxerr/Status.h"
#include "sysapicpp/HResult.h"

namespace sysapicpp {

class HResultException : public virtual std::exception {
public:
    // The report starts empty and receives "file", "line" and "component".
    HResultException(HRESULT code, const char* file, int32_t line,
                     const char* component = qxerr::kComponent);
    const char* what() const noexcept override { return message_.c_str(); }
    virtual const char* report() const { return status_.report; }

    HRESULT getCode() const { return status_.getCode(); }
    const qxerr::Status& status() const { return status_; }

protected:
    qxerr::Status status_;
    std::string message_;
};

#define QX_SYSAPI_FIXED_EXCEPTION(Name, Code)                                              \
    class Name : public HResultException {                                                 \
    public:                                                                                \
        Name(const char* file, int32_t line, const char* component = qxerr::kComponent)    \
            : HResultException(Code, file, line, component) {}                             \
    };

QX_SYSAPI_FIXED_EXCEPTION(NotImplException, E_NOTIMPL)
QX_SYSAPI_FIXED_EXCEPTION(FailException, E_FAIL)
QX_SYSAPI_FIXED_EXCEPTION(UnexpectedException, E_UNEXPECTED)
QX_SYSAPI_FIXED_EXCEPTION(ItemNotExistException, E_SYSAPI_ITEM_NOT_EXIST)
QX_SYSAPI_FIXED_EXCEPTION(RefreshPendingException, E_SYSAPI_REFRESH_PENDING)
QX_SYSAPI_FIXED_EXCEPTION(ValidationValueException, E_SYSAPI_VALIDATION_VALUE)

#undef QX_SYSAPI_FIXED_EXCEPTION

}  // namespace sysapicpp
