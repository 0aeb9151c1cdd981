// SPDX-License-Identifier: MIT
#pragma once
// The audit trail: one line per event in the system log, under the identifier "qxserial"
// and the facility daemon, as syslog(3) sends it to /dev/log. The one place that talks to
// the system log. It keeps a connection of its own for each line instead of openlog(3):
// the plug-in lives in a host process whose identifier, facility and connection are the
// host's, and must stay as the host set them.

#include <cstdint>
#include <string>
#include <string_view>

namespace qxapal {

// A readable sentence, then key=value fields that programs can rely on. A value that is
// not a plain word is quoted, with '"' and '\' escaped and control bytes and bytes that
// are not UTF-8 as \xHH, so no value can add a field or a line.
class tLogLine {
public:
    // Fixed text: what varies goes into the fields.
    explicit tLogLine(std::string_view sentence);

    tLogLine& field(std::string_view key, std::string_view value);
    tLogLine& field(std::string_view key, uint64_t value);
    // Who asked: uid and its user name, loginuid (the user who logged in, through sudo
    // and the like; "unset" for a process no login started) and its user name. A name
    // that does not resolve is left out.
    tLogLine& requester();

    const std::string& text() const { return text_; }

private:
    std::string text_;
    bool hasFields_ = false;
};

enum class tLogSeverity { error = 3, warning = 4, notice = 5, info = 6 };

// The system log's socket.
constexpr char kSystemLogPath[] = "/dev/log";

// False, with errno set, when the line could not be sent. The line is an addition to
// what a caller reports: a system log that cannot be reached changes no result. Tests of
// the plug-in's parts outside the simulator name another socket than the system's.
bool writeSystemLog(tLogSeverity severity, const tLogLine& line,
                    const char* socketPath = kSystemLogPath);

}  // namespace qxapal
