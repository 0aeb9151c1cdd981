// SPDX-License-Identifier: MIT
#include "platform/qxapal/trace/tSystemLog.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <regex>

#include "platform/qxafa/UniqueFd.h"
#include "tests/support/TempDir.h"

namespace {

using qxapal::tLogLine;

// Whatever a value holds, it stays one field of one line: a reader that splits the fields
// at blanks outside quotes gets back the keys that were written and no others.
TEST(SystemLog, AValueThatIsNoPlainWordIsQuotedAndCannotAddAFieldOrALine) {
    const struct {
        const char* value;
        size_t size;
        const char* shown;
    } cases[] = {
        {"/dev/ttyQX561xPort4", 19, "/dev/ttyQX561xPort4"},
        {"qx561x:703b:3:1", 15, "qx561x:703b:3:1"},
        {"", 0, "\"\""},
        {"outside 1..127", 14, "\"outside 1..127\""},
        {"x uid=0", 7, "\"x uid=0\""},
        {"a\"b uid=0 c=\"", 13, "\"a\\\"b uid=0 c=\\\"\""},
        {"line\nuid=0", 10, "\"line\\x0Auid=0\""},
        {"cr\rtab\tdel\x7f", 11, "\"cr\\x0Dtab\\x09del\\x7F\""},
        {"nul\0end", 7, "\"nul\\x00end\""},
        {"back\\slash", 10, "\"back\\\\slash\""},
        {"bad\xff\xfe", 5, "\"bad\\xFF\\xFE\""},
        {"caf\xc3\xa9", 5, "\"caf\xc3\xa9\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        const tLogLine line = tLogLine("Something happened").field("value", std::string(c.value, c.size)).field("next", 1);
        EXPECT_EQ(line.text(), std::string("Something happened: value=") + c.shown + " next=1");
        EXPECT_EQ(line.text().find_first_of("\n\r"), std::string::npos);
    }
}

// As syslog(3) sends a line: the priority of the facility daemon, a timestamp, the
// identifier and the process, then the line; who asked closes it.
TEST(SystemLog, ALineReachesTheSocketAsSyslogWouldSendIt) {
    qxtest::TempDir dir;
    const std::string path = dir.file("log");
    qxafa::UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(socket);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    tLogLine line("Port setting changed");
    line.field("key", "FifoRxDepth").requester();
    ASSERT_TRUE(qxapal::writeSystemLog(qxapal::tLogSeverity::notice, line, path.c_str()));
    char received[4096];
    const ssize_t got = ::recv(socket.get(), received, sizeof received, MSG_DONTWAIT);
    ASSERT_GT(got, 0);
    const std::string message(received, size_t(got));
    const std::regex expected("<29>[A-Z][a-z]{2} [ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] qxserial\\[" +
                              std::to_string(::getpid()) +
                              "\\]: Port setting changed: key=FifoRxDepth uid=" + std::to_string(::getuid()) +
                              "( user=[^ ]+)? loginuid=([0-9]+( loginuser=[^ ]+)?|unset|unknown)");
    EXPECT_TRUE(std::regex_match(message, expected)) << message;

    // Nobody listening: the line is lost, and said so to the caller.
    EXPECT_FALSE(qxapal::writeSystemLog(qxapal::tLogSeverity::notice, line, dir.file("none").c_str()));
}

}  // namespace
