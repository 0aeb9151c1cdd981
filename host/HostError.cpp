// SPDX-License-Identifier: MIT
#include "host/HostError.h"

#include <cstdio>

namespace qxhost {
namespace {

using namespace sysapicpp;

const char* resultName(HRESULT code) {
    switch (code) {
    case S_OK: return "S_OK";
    case S_FALSE: return "S_FALSE";
    case E_NOTIMPL: return "E_NOTIMPL";
    case E_NOINTERFACE: return "E_NOINTERFACE";
    case E_POINTER: return "E_POINTER";
    case E_FAIL: return "E_FAIL";
    case E_UNEXPECTED: return "E_UNEXPECTED";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_SYSAPI_PROPERTY_TYPE_MISMATCH: return "E_SYSAPI_PROPERTY_TYPE_MISMATCH";
    case E_SYSAPI_PROPERTY_NOT_FOUND: return "E_SYSAPI_PROPERTY_NOT_FOUND";
    case E_SYSAPI_ITEM_NOT_EXIST: return "E_SYSAPI_ITEM_NOT_EXIST";
    case E_SYSAPI_REFRESH_PENDING: return "E_SYSAPI_REFRESH_PENDING";
    case E_SYSAPI_VALIDATION_VALUE: return "E_SYSAPI_VALIDATION_VALUE";
    default: return nullptr;
    }
}

std::string failureText(const std::string& operation, HRESULT code, const std::string& message) {
    std::string text = operation + " failed: " + describeResult(code);
    if (!message.empty()) text += ": " + message;
    return text;
}

}  // namespace

HostError::HostError(std::string operation, HRESULT code, std::string message)
    : std::runtime_error(failureText(operation, code, message)),
      operation_(std::move(operation)),
      code_(code) {}

std::string describeResult(HRESULT code) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(code));
    const char* name = resultName(code);
    return name ? std::string(number) + " " + name : number;
}

HRESULT check(const char* operation, HRESULT code, const std::string& message) {
    if (failed(code)) throw HostError(operation, code, message);
    return code;
}

}  // namespace qxhost
