// SPDX-License-Identifier: MIT
#include "host/HostError.h"

#include <cstdio>
#include <map>

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

// What the plug-in could not do, by the call it answered without a message.
std::string failedCall(const std::string& call) {
    static const std::map<std::string, const char*> kWhat = {
        {"createQx561xSysApiExpert", "the plug-in's entry could not create its expert"},
        {"Initialize", "the plug-in could not start"},
        {"Uninitialize", "the plug-in could not stop"},
        {"GetAllItemProperties", "the plug-in could not list the boards and ports"},
        {"GetItemProperties", "the plug-in could not read the item"},
        {"ValidateItemProperties", "the plug-in could not check the values"},
        {"SetItemProperties2", "the plug-in could not store and apply the settings"},
        {"SetNotificationSink", "the plug-in refused to send notifications"},
    };
    const auto found = kWhat.find(call);
    return found != kWhat.end() ? found->second : "the plug-in could not carry out " + call;
}

// For a call the plug-in answered without a message.
std::string ownText(const std::string& call, HRESULT code) {
    switch (code) {
    case E_SYSAPI_ITEM_NOT_EXIST: return "no such item, or a file the plug-in needs is missing";
    case E_SYSAPI_PROPERTY_NOT_FOUND: return "the item lacks a property qxhost needs";
    case E_SYSAPI_VALIDATION_VALUE: return "the plug-in refused a value";
    case E_OUTOFMEMORY: return "out of memory";
    default: return failedCall(call);
    }
}

// A status report's error constant in words.
std::string constantText(const std::string& constant) {
    static const std::map<std::string, const char*> kWords = {
        {"qxapalerr_memoryFull", "out of memory"},
        {"qxapalerr_invalidParameter", "a value was refused"},
        {"qxapalerr_resourceNotFound", "something it needs was not found"},
        {"qxapalerr_operationTimedOut", "an operation timed out"},
        {"qxapalerr_osFault", "the system refused an operation"},
        {"qxapalerr_bufferTooSmall", "a file was larger than expected"},
        {"qxapalerr_fileReadFailed", "a file could not be read"},
    };
    const auto found = kWords.find(constant);
    return found != kWords.end() ? found->second : "it failed without saying why";
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

HostFailures::HostFailures(std::vector<HostError> each, HostError whole)
    : std::runtime_error(whole.what()), each_(std::move(each)), whole_(std::move(whole)) {}

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
    const auto text = [&](const nlohmann::json::json_pointer& at) -> std::string {
        return parsed.contains(at) && parsed[at].is_string() ? parsed[at].get<std::string>() : "";
    };
    std::string summary;
    const auto add = [&](const std::string& part) {
        if (!part.empty()) summary += (summary.empty() ? "" : ": ") + part;
    };
    const std::string component = text(nlohmann::json::json_pointer("/component"));
    if (!component.empty() && component.find_first_of("/~") == std::string::npos)
        add(text(nlohmann::json::json_pointer("/" + component)));
    add(text(nlohmann::json::json_pointer("/internal_error/string")));
    if (!summary.empty()) return summary;
    // Neither a message nor the system's text: the constant alone would tell a person nothing.
    summary = constantText(text(nlohmann::json::json_pointer("/error_constant")));
    const std::string file = text(nlohmann::json::json_pointer("/file"));
    if (!file.empty() && parsed.contains("line") && parsed["line"].is_number_integer())
        summary += " (" + file + ", line " + std::to_string(parsed["line"].get<long long>()) + ")";
    return summary;
}

HRESULT check(const char* call, HRESULT code, const std::string& message,
              const std::optional<std::string>& name) {
    if (failed(code)) throw HostError(call, code, message.empty() ? ownText(call, code) : message, name);
    return code;
}

}  // namespace qxhost
