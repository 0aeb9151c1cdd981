// SPDX-License-Identifier: MIT
// The udev rule as udev reads and runs it: matched against the "add" event of every
// simulated port, its RUN command substituted and split as udev does, then run under the
// simulated driver, which must receive each port's stored settings.

#include <fnmatch.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/Sim.h"

namespace {

struct Rule {
    std::map<std::string, std::string> match;  // KEY=="pattern"
    std::vector<std::string> run;              // RUN+="command"
};

struct Event {
    std::string action;
    std::string subsystem;
    std::string kernel;  // the device's name
};

// Reads the one rule of the file; only the operators this rule needs are understood, and
// anything else fails the test rather than be ignored.
Rule readRule(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (line.find_first_not_of(" \t") != std::string::npos && line[0] != '#') lines.push_back(line);
    }
    EXPECT_EQ(1u, lines.size()) << "one rule expected in " << path;
    Rule rule;
    if (lines.empty()) return rule;
    static const std::regex pair(R"(^\s*([A-Z]+)(==|\+=)\"([^\"]*)\"\s*$)");
    std::istringstream parts(lines[0]);
    for (std::string part; std::getline(parts, part, ',');) {
        std::smatch m;
        if (!std::regex_match(part, m, pair)) {
            ADD_FAILURE() << "not understood: " << part;
            continue;
        }
        if (m[2] == "==") {
            rule.match[m[1]] = m[3];
        } else if (m[1] == "RUN") {
            rule.run.push_back(m[3]);
        } else {
            ADD_FAILURE() << "not understood: " << part;
        }
    }
    return rule;
}

bool matches(const Rule& rule, const Event& event) {
    const std::map<std::string, std::string> values = {
        {"ACTION", event.action}, {"SUBSYSTEM", event.subsystem}, {"KERNEL", event.kernel}};
    for (const auto& [key, pattern] : rule.match) {
        const auto value = values.find(key);
        if (value == values.end()) {
            ADD_FAILURE() << "the rule matches on " << key << ", which no test event has";
            return false;
        }
        if (::fnmatch(pattern.c_str(), value->second.c_str(), 0) != 0) return false;
    }
    return true;
}

// udev's substitution of the device path, then its split into arguments at blanks. Any other
// substitution or quoting fails the test: udev would have done something this test does not.
std::vector<std::string> commandFor(const std::string& run, const std::string& devpath) {
    std::string command;
    for (size_t i = 0; i < run.size(); ++i) {
        if (run.compare(i, 8, "$devpath") == 0) {
            command += devpath;
            i += 7;
        } else if (run.compare(i, 2, "%p") == 0) {
            command += devpath;
            i += 1;
        } else {
            EXPECT_EQ(std::string::npos, std::string("$%'\"\\").find(run[i]))
                << "unexpected character in " << run;
            command += run[i];
        }
    }
    std::istringstream words(command);
    std::vector<std::string> argv;
    for (std::string word; words >> word;) argv.push_back(word);
    return argv;
}

const std::string kRuleFile = QX_SOURCE_DIR "/packaging/60-qxserial.rules";

TEST(UdevRule, MatchesTheAddEventOfThePortsOfTheFamilyOnly) {
    const Rule rule = readRule(kRuleFile);
    const struct {
        Event event;
        bool matched;
    } cases[] = {
        {{"add", "tty", "ttyQX561xPort0"}, true},
        {{"add", "tty", "ttyQX561xPort12345"}, true},
        {{"change", "tty", "ttyQX561xPort0"}, false},
        {{"remove", "tty", "ttyQX561xPort0"}, false},
        {{"bind", "tty", "ttyQX561xPort0"}, false},
        {{"add", "pci", "ttyQX561xPort0"}, false},
        {{"add", "tty", "ttyS0"}, false},
        {{"add", "tty", "ttyQX561xPort"}, false},
        {{"add", "tty", "ttyQX561xPortA"}, false},
        {{"add", "tty", "ttyqx561xport0"}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.matched, matches(rule, c.event))
            << c.event.action << " " << c.event.subsystem << " " << c.event.kernel;
    }
    ASSERT_EQ(1u, rule.run.size());
}

TEST(UdevRule, AppliesEachPortsStoredSettingsWhenItIsAdded) {
    const Rule rule = readRule(kRuleFile);
    ASSERT_EQ(1u, rule.run.size());
    qxtest::Sim sim;
    // Distinct from the built-in values, so that the journal shows the file was read; one
    // port has a section of its own (the RS-485 board's second port).
    const qxtest::RunResult configured = sim.shell(
        "printf '[defaults]\\nFifoRxDepth=17\\nFifoTxDepth=33\\nRs485TransceiverMode=2\\n'"
        " >/etc/qxserial/configuration_defaults.ini &&"
        " printf '[qx561x:7019:3:2]\\nFifoRxDepth=100\\nRs485TransceiverMode=1\\n'"
        " >/etc/qxserial/configuration.ini");
    ASSERT_EQ(0, configured.status) << configured.err;

    // The kernel puts a class device below a directory named after its class.
    const qxtest::RunResult listed = sim.shell("find /sys/devices -type d -path '*/tty/*' -prune");
    ASSERT_EQ(0, listed.status) << listed.err;
    std::istringstream paths(listed.out);
    std::vector<std::string> expected;
    size_t ports = 0;
    for (std::string path; std::getline(paths, path);) {
        const std::string devpath = path.substr(std::string("/sys").size());
        const size_t slash = path.rfind('/');
        const std::string kernel = path.substr(slash + 1);
        const std::string parent = path.substr(0, slash);
        const Event event{"add", parent.substr(parent.rfind('/') + 1), kernel};
        ASSERT_TRUE(matches(rule, event)) << path;
        ++ports;

        const qxtest::RunResult r = sim.run(commandFor(rule.run[0], devpath));
        EXPECT_EQ(0, r.status) << path << "\n" << r.err;
        EXPECT_EQ("", r.err) << path;

        const bool special = kernel == "ttyQX561xPort1";
        expected.push_back(kernel + " rx " + (special ? "100" : "17") + " ok");
        expected.push_back(kernel + " tx 33 ok");
        if (sim.ports().at(kernel).board != "rs232")
            expected.push_back(kernel + " rs485 " + (special ? "0x11" : "0x1") + ",0,0,0,0,0,0,0 ok");
    }
    EXPECT_EQ(14u, ports) << "the default boards have 14 ports";
    std::vector<std::string> journal;
    for (const qxtest::JournalLine& line : sim.journal()) {
        std::ostringstream text;
        text << line;
        journal.push_back(text.str());
    }
    EXPECT_EQ(expected, journal);
}

}  // namespace
