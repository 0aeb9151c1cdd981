// SPDX-License-Identifier: MIT
// Item names: any identifier survives make and take-apart, escaping keeps ':' out of the
// identifier part, and any text the host sends is either refused with "item does not exist"
// or taken apart into an identifier that makes the same identifier again.

#include <cstdint>
#include <string>

#include "qx561xsae/ItemNames.h"
#include "sysapicpp/HResultException.h"
#include "tests/fuzz/Fuzz.h"

namespace {

using namespace qx561xsae;
using Make = std::string (*)(const std::string&);
using Take = std::string (*)(const std::string&);
using Is = bool (*)(const std::string&);

struct Kind {
    const char* prefix;
    Make make;
    Take take;
    Is is;
    Is isOther;
};
const Kind kKinds[] = {
    {"device:", makeDeviceName, deviceIdFromName, isDeviceName, isPortName},
    {"port:", makePortName, portIdFromName, isPortName, isDeviceName},
};

// The identifier, or nothing when the call says the item does not exist.
template <class Call>
bool refused(Call call) {
    try {
        call();
    } catch (const sysapicpp::HResultException& e) {
        FUZZ_CHECK(e.getCode() == sysapicpp::E_SYSAPI_ITEM_NOT_EXIST);
        return true;
    }
    return false;
}

bool wellEscaped(const std::string& escaped) {
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == ':') return false;
        if (escaped[i] == '|' && escaped.compare(i, 3, "|7C") != 0 &&
            escaped.compare(i, 3, "|3A") != 0)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string escaped = escapeIdentifier(text);
    FUZZ_CHECK(wellEscaped(escaped));
    FUZZ_CHECK(unescapeIdentifier(escaped) == text);

    for (const Kind& kind : kKinds) {
        const std::string prefix = kind.prefix;
        // The text as an identifier.
        std::string name;
        FUZZ_CHECK(refused([&] { name = kind.make(text); }) == text.empty());
        if (!text.empty()) {
            FUZZ_CHECK(name == prefix + escaped);
            FUZZ_CHECK(kind.is(name) && !kind.isOther(name));
            FUZZ_CHECK(kind.take(name) == text);
        }
        // The text as a name from the host.
        const bool isName =
            text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
        FUZZ_CHECK(kind.is(text) == isName);
        std::string id;
        FUZZ_CHECK(refused([&] { id = kind.take(text); }) == !isName);
        if (isName) {
            FUZZ_CHECK(!id.empty());
            FUZZ_CHECK(kind.take(kind.make(id)) == id);
        }
    }
    return 0;
}
