// SPDX-License-Identifier: MIT
#include "sim/SystemLog.h"

#include "sim/LockFile.h"
#include "sim/SystemError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <vector>

namespace qxsim {

namespace {

// A message longer than this is kept cut; no one writes that much in one line.
constexpr size_t kLargestMessage = 65536;

constexpr const char* kFacilities[] = {"kern", "user", "mail",   "daemon", "auth",  "syslog",
                                       "lpr",  "news", "uucp",   "cron",   "authpriv", "ftp"};
constexpr const char* kSeverities[] = {"emerg", "alert", "crit", "err", "warning", "notice", "info", "debug"};
constexpr unsigned kLocal0 = 16;
constexpr unsigned kLargestPriority = 191;
constexpr unsigned kDefaultPriority = 13;  // user.notice, for a message that names none

std::string facilityName(unsigned facility) {
    if (facility < std::size(kFacilities)) return kFacilities[facility];
    if (facility >= kLocal0) return "local" + std::to_string(facility - kLocal0);
    return "facility" + std::to_string(facility);
}

// "<N>" at the start; the priority and the rest, or the default and all of it.
std::pair<unsigned, std::string_view> splitPriority(std::string_view message) {
    if (message.size() < 3 || message[0] != '<') return {kDefaultPriority, message};
    unsigned value = 0;
    size_t i = 1;
    for (; i < message.size() && i <= 4 && message[i] >= '0' && message[i] <= '9'; ++i)
        value = value * 10 + unsigned(message[i] - '0');
    if (i == 1 || i >= message.size() || message[i] != '>' || value > kLargestPriority)
        return {kDefaultPriority, message};
    return {value, message.substr(i + 1)};
}

// As sent, but that a control byte (a line break above all) shows as \xHH.
std::string visible(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += c;
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        shown += escaped;
    }
    return shown;
}

}  // namespace

qxafa::UniqueFd SystemLog::bind() {
    qxafa::UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket) throw SystemError("create the system log's socket", errno);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, kSocketPath);
    check(::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address),
          std::string("bind ") + kSocketPath);
    // Anyone may log, as on a real machine.
    check(::chmod(kSocketPath, 0666), std::string("open ") + kSocketPath + " to everyone");
    return socket;
}

SystemLog::SystemLog(const StateDir& state, qxafa::UniqueFd socket) : state_(state), socket_(std::move(socket)) {}

void SystemLog::receive() {
    if (!socket_) return;
    std::vector<std::string> lines;
    std::vector<char> buffer(kLargestMessage);
    for (;;) {
        const ssize_t got = ::recv(socket_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;  // none left
        lines.push_back(line(std::string_view(buffer.data(), size_t(got))));
    }
    if (lines.empty()) return;
    LockFile lock(state_.lockFile(), LockFile::Mode::Exclusive);
    std::ofstream log(state_.systemLogFile(), std::ios::app | std::ios::binary);
    for (const std::string& text : lines) log << text << "\n";
    if (!log.flush()) throw std::runtime_error("cannot write " + state_.systemLogFile());
}

std::string SystemLog::line(std::string_view message) {
    // Senders end a message with a line break or a NUL, or with nothing.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\0')) message.remove_suffix(1);
    const auto [priority, text] = splitPriority(message);
    return facilityName(priority >> 3) + "." + kSeverities[priority & 7] + " " + visible(text);
}

}  // namespace qxsim
