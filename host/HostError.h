// SPDX-License-Identifier: MIT
#pragma once
// A failed call into the plug-in, as qxhost reports it: exit status 1.

#include <stdexcept>
#include <string>

#include "sysapicpp/HResult.h"

namespace qxhost {

class HostError : public std::runtime_error {
public:
    // operation: the host-level name of the call; message: the plug-in's text, if any.
    HostError(std::string operation, sysapicpp::HRESULT code, std::string message = {});
    const std::string& operation() const { return operation_; }
    sysapicpp::HRESULT code() const { return code_; }

private:
    std::string operation_;
    sysapicpp::HRESULT code_;
};

// A command line qxhost cannot run: exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "0x80040375 E_SYSAPI_ITEM_NOT_EXIST"; codes without a name show the number alone.
std::string describeResult(sysapicpp::HRESULT code);

// Throws HostError for a failing code; returns the code (S_OK or S_FALSE) otherwise.
sysapicpp::HRESULT check(const char* operation, sysapicpp::HRESULT code,
                         const std::string& message = {});

}  // namespace qxhost
