// SPDX-License-Identifier: MIT
#pragma once
// The plug-in's own failure: a message and the host result code it stands for.

#include <cstdint>
#include <exception>
#include <string>

namespace qx561xsae {

class cSerialExpertException : public std::exception {
public:
    cSerialExpertException(std::string message, int32_t code)
        : message(std::move(message)), code(code) {}
    const char* what() const noexcept override { return message.c_str(); }
    int32_t getCode() const { return code; }

private:
    std::string message;
    int32_t code;
};

}  // namespace qx561xsae
