// SPDX-License-Identifier: MIT
#include "host/HostError.h"

#include <cstdio>

#include <nlohmann/json.hpp>

namespace qxhost {
namespace {

using namespace sysapicpp;

const char* symbolOf(HRESULT code) {
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
    case E_SYSAPI_MODE_REFUSED: return "E_SYSAPI_MODE_REFUSED";
    case E_SYSAPI_REFRESH_PENDING: return "E_SYSAPI_REFRESH_PENDING";
    case E_SYSAPI_VALIDATION_VALUE: return "E_SYSAPI_VALIDATION_VALUE";
    case E_SYSAPI_MAPPED_52027: return "E_SYSAPI_MAPPED_52027";
    case E_SYSAPI_MAPPED_520XX: return "E_SYSAPI_MAPPED_520XX";
    case S_SYSAPI_DIAGNOSTIC: return "S_SYSAPI_DIAGNOSTIC";
    default: return nullptr;
    }
}

// For a call the plug-in answered without a message.
std::string ownText(HRESULT code) {
    switch (code) {
    case E_SYSAPI_ITEM_NOT_EXIST: return "no such item, or a file the plug-in needs is missing";
    case E_SYSAPI_PROPERTY_NOT_FOUND: return "the item lacks a property qxhost needs";
    case E_SYSAPI_VALIDATION_VALUE: return "the plug-in refused a value";
    case E_OUTOFMEMORY: return "out of memory";
    case E_FAIL: return "the plug-in failed without a message";
    default: return "the plug-in refused the call without a message";
    }
}

std::string summary(const std::string& call, const std::optional<HRESULT>& code, const std::string& message) {
    if (!code) return call + ": " + message;
    const std::optional<std::string> symbol = resultSymbol(*code);
    return call + " failed: " + resultHex(*code) + (symbol ? " " + *symbol : "") + ": " + message;
}

}  // namespace

HostError::HostError(std::string call, std::optional<HRESULT> code, std::string message,
                     std::optional<std::string> name)
    : std::runtime_error(summary(call, code, message)),
      call_(std::move(call)),
      code_(code),
      message_(std::move(message)),
      name_(std::move(name)) {}

HostError& HostError::appendMessage(const std::string& text) {
    message_ += text;
    return *this;
}

std::string resultHex(HRESULT code) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(code));
    return number;
}

std::optional<std::string> resultSymbol(HRESULT code) {
    const char* symbol = symbolOf(code);
    return symbol ? std::optional<std::string>(symbol) : std::nullopt;
}

std::string reportSummary(const std::string& report) {
    const nlohmann::json parsed = nlohmann::json::parse(report, nullptr, false);
    if (!parsed.is_object()) return report;
    std::string summary;
    const auto add = [&](const nlohmann::json::json_pointer& at) {
        if (!parsed.contains(at) || !parsed[at].is_string()) return;
        summary += (summary.empty() ? "" : ": ") + parsed[at].get<std::string>();
    };
    if (parsed.contains("component") && parsed["component"].is_string())
        add(nlohmann::json::json_pointer("/" + parsed["component"].get<std::string>()));
    add(nlohmann::json::json_pointer("/internal_error/string"));
    if (summary.empty()) add(nlohmann::json::json_pointer("/error_constant"));
    return summary.empty() ? report : summary;
}

HRESULT check(const char* call, HRESULT code, const std::string& message,
              const std::optional<std::string>& name) {
    if (failed(code)) throw HostError(call, code, message.empty() ? ownText(code) : message, name);
    return code;
}

}  // namespace qxhost
