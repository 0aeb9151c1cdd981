// SPDX-License-Identifier: MIT
#pragma once
// What qxhost reports when a command fails: exit status 1 for a HostError, 2 for a
// UsageError. Each names the call that failed and the NAME or file it concerns.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sysapicpp/HResult.h"

namespace qxhost {

// The calls that are not the plug-in's expert calls.
constexpr char kCallProperty[] = "GetProperty";  // a property bag's getter
constexpr char kCallLoad[] = "load";
constexpr char kCallTool[] = "qxserialconfig";
constexpr char kCallUsage[] = "usage";
constexpr char kCallOutput[] = "output";
constexpr char kCallRefused[] = "refused";

class HostError : public std::runtime_error {
public:
    // call: a plug-in call or one of the kCall names; code: its result, when it has one;
    // message: the plug-in's text, or qxhost's own when the plug-in gave none.
    HostError(std::string call, std::optional<sysapicpp::HRESULT> code, std::string message,
              std::optional<std::string> name = std::nullopt);

    const std::string& call() const { return call_; }
    const std::optional<sysapicpp::HRESULT>& code() const { return code_; }
    const std::string& message() const { return message_; }
    const std::optional<std::string>& name() const { return name_; }

    HostError& appendMessage(const std::string& text);

private:
    std::string call_;
    std::optional<sysapicpp::HRESULT> code_;
    std::string message_;
    std::optional<std::string> name_;
};

// Several failures of one command: in text each is told on a line of its own, in JSON as
// the one error object the command gives as a whole.
class HostFailures : public std::runtime_error {
public:
    HostFailures(std::vector<HostError> each, HostError whole);

    const std::vector<HostError>& each() const { return each_; }
    const HostError& whole() const { return whole_; }

private:
    std::vector<HostError> each_;
    HostError whole_;
};

// A command line qxhost cannot run.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "0x80040375"
std::string resultHex(sysapicpp::HRESULT code);
// "E_SYSAPI_ITEM_NOT_EXIST"; nullopt for a code without a name.
std::optional<std::string> resultSymbol(sysapicpp::HRESULT code);

// The readable part of a platform report (a JSON object): the component's message and the
// system's text; when it has neither, its error constant in words and where it was raised.
// Text that is no report is given back as it is.
std::string reportSummary(const std::string& report);

// Throws HostError for a failing code, with the plug-in's message or qxhost's text for the
// code; returns the code (S_OK or S_FALSE) otherwise.
sysapicpp::HRESULT check(const char* call, sysapicpp::HRESULT code, const std::string& message = {},
                         const std::optional<std::string>& name = std::nullopt);

}  // namespace qxhost
