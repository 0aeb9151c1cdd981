// SPDX-License-Identifier: MIT
// The tool's command line: arguments are the input split at NUL bytes. The parser must
// agree with the grammar read as pairs: every odd position holds an option whose value
// follows; the last value of each option wins; both must end up non-empty.

#include <cstdint>
#include <string>
#include <vector>

#include "qxserialconfig/Arguments.h"
#include "tests/fuzz/Fuzz.h"

namespace {

struct Expected {
    const char* error = nullptr;
    qxserialconfig::Arguments args;
};

Expected grammar(const std::vector<std::string>& words) {
    Expected expected;
    for (std::size_t option = 0; option < words.size(); option += 2) {
        const bool isPort = words[option] == "--port";
        if ((!isPort && words[option] != "--config-file") || option + 1 == words.size()) {
            expected.error = "Incorrect argument.";
            return expected;
        }
        (isPort ? expected.args.portName : expected.args.configPath) = words[option + 1];
    }
    if (expected.args.portName.empty() || expected.args.configPath.empty())
        expected.error = "Insufficient arguments.";
    return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<std::string> words;
    if (size > 0) {
        words.emplace_back();
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] == 0)
                words.emplace_back();
            else
                words.back() += char(data[i]);
        }
    }
    std::vector<const char*> argv{"qxserialconfig"};
    for (const std::string& word : words) argv.push_back(word.c_str());

    qxserialconfig::Arguments args;
    const char* error = qxserialconfig::parseArguments(int(argv.size()), argv.data(), args);
    const Expected expected = grammar(words);
    FUZZ_CHECK((error == nullptr) == (expected.error == nullptr));
    if (error) {
        FUZZ_CHECK(std::string(error) == expected.error);
        return 0;
    }
    FUZZ_CHECK(args.portName == expected.args.portName);
    FUZZ_CHECK(args.configPath == expected.args.configPath);
    return 0;
}
