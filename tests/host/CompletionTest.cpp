// SPDX-License-Identifier: MIT
// The bash completion offers exactly the verbs and options of qxhost's own table and the
// model's RS-485 modes, and knows which options take a value.

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/CommandLine.h"
#include "shared/qx561x/PortSettings.h"
#include "tests/support/Sim.h"

namespace {

using Words = std::set<std::string>;

Words optionNames(const qxhost::Verb* verb) {
    Words words;
    for (const qxhost::Option* option : qxhost::optionsOf(verb)) words.insert(option->name);
    return words;
}

TEST(Completion, OffersWhatTheCommandLineTableHolds) {
    Words verbs;
    for (const qxhost::Verb& verb : qxhost::kVerbs) verbs.insert(verb.name);
    std::vector<std::pair<std::string, Words>> cases = {{"qxhost ", verbs}, {"qxhost -", optionNames(nullptr)}};
    for (const qxhost::Verb& verb : qxhost::kVerbs)
        cases.push_back({"qxhost " + std::string(verb.name) + " -", optionNames(&verb)});
    // A value is no verb: only an option known to take one may be followed by one.
    for (const qxhost::Option& option : qxhost::kOptions)
        cases.push_back({std::string("qxhost ") + option.name + (option.value ? " 5 " : " "), verbs});
    // After mode= (readline keeps what stands before the '='), the model's RS-485 modes.
    Words modes;
    for (const qx561x::tRs485Mode& mode : qx561x::kRs485Modes) modes.insert(mode.name);
    cases.push_back({"qxhost set /dev/ttyQX561xPort0 mode=", modes});
    cases.push_back({"qxhost set /dev/ttyQX561xPort0 Rs485TransceiverMode=rts", {"rts-on-send"}});

    std::vector<std::string> command{"bash", "--norc", "--noprofile", "-c", R"sh(
source "$1"; shift
for line in "$@"; do
    COMP_LINE=$line; COMP_POINT=${#line}; COMPREPLY=(); _qxhost
    printf '%s' "$line|"; printf ' %s' "${COMPREPLY[@]}"; echo
done
)sh", "bash", QX_SOURCE_DIR "/host/qxhost.bash-completion"};
    for (const auto& c : cases) command.push_back(c.first);
    const qxtest::RunResult r = qxtest::runProgram(command);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    std::istringstream out(r.out);
    for (const auto& c : cases) {
        std::string line;
        ASSERT_TRUE(std::getline(out, line)) << c.first;
        const auto bar = line.rfind('|');
        ASSERT_NE(bar, std::string::npos) << line;
        EXPECT_EQ(line.substr(0, bar), c.first);
        std::istringstream offered(line.substr(bar + 1));
        Words words;
        for (std::string word; offered >> word;) words.insert(word);
        EXPECT_EQ(words, c.second) << c.first;
    }
}

}  // namespace
