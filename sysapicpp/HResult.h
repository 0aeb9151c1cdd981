// SPDX-License-Identifier: MIT
#pragma once
// Host result codes and the mapping from platform status codes.

#include <cstdint>

namespace sysapicpp {

using HRESULT = int32_t;

constexpr HRESULT hr(uint32_t value) { return static_cast<HRESULT>(value); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hr(0x80004001);
constexpr HRESULT E_NOINTERFACE = hr(0x80004002);
constexpr HRESULT E_POINTER = hr(0x80004003);
constexpr HRESULT E_FAIL = hr(0x80004005);
constexpr HRESULT E_UNEXPECTED = hr(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = hr(0x8007000E);
constexpr HRESULT E_SYSAPI_PROPERTY_TYPE_MISMATCH = hr(0x80040370);
constexpr HRESULT E_SYSAPI_PROPERTY_NOT_FOUND = hr(0x80040371);
constexpr HRESULT E_SYSAPI_ITEM_NOT_EXIST = hr(0x80040375);
constexpr HRESULT E_SYSAPI_MODE_REFUSED = hr(0x80040376);
constexpr HRESULT E_SYSAPI_REFRESH_PENDING = hr(0x80040377);
constexpr HRESULT E_SYSAPI_VALIDATION_VALUE = hr(0x8004037F);
constexpr HRESULT E_SYSAPI_MAPPED_52027 = hr(0x80040382);
constexpr HRESULT E_SYSAPI_MAPPED_520XX = hr(0x80040383);
constexpr HRESULT S_SYSAPI_DIAGNOSTIC = hr(0x00040370);

constexpr bool failed(HRESULT result) { return result < 0; }
constexpr bool succeeded(HRESULT result) { return result >= 0; }

// The result code a host sees for a platform status code.
HRESULT hresultFromStatusCode(int32_t statusCode);

}  // namespace sysapicpp
