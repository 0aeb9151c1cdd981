// SPDX-License-Identifier: MIT
#include "platform/qxapal/trace/tSystemLog.h"

#include <pwd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <vector>

#include "platform/qx/dsc/Utf8.h"
#include "platform/qxafa/UniqueFd.h"

namespace qxapal {
namespace {

constexpr char kIdentifier[] = "qxserial";
constexpr int kFacilityDaemon = 3 << 3;
constexpr char kLoginUidPath[] = "/proc/self/loginuid";
constexpr uint32_t kUnsetLoginUid = 4294967295u;
// A system log that stops reading costs a line after this long, not the caller's call.
constexpr time_t kSendTimeLimitSeconds = 5;
constexpr size_t kFirstNameBuffer = 1024;
constexpr size_t kLargestNameBuffer = 1 << 20;

bool isPlainWord(std::string_view value) {
    if (value.empty()) return false;
    for (const char c : value) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || std::strchr("-_.:/@+,%", c) != nullptr;
        if (!plain || c == '\0') return false;
    }
    return true;
}

std::string quoted(std::string_view value) {
    std::string text = "\"";
    for (const char c : qx::dsc::visibleUtf8(value)) {
        if (c == '"') text += '\\';
        text += c;
    }
    return text + "\"";
}

std::optional<std::string> userName(uid_t uid) {
    std::vector<char> buffer(kFirstNameBuffer);
    for (;;) {
        passwd entry{};
        passwd* found = nullptr;
        const int error = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < kLargestNameBuffer) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || !found || !found->pw_name) return std::nullopt;
        return std::string(found->pw_name);
    }
}

// Empty when the kernel keeps no login uid.
std::optional<uint32_t> loginUid() {
    std::FILE* file = std::fopen(kLoginUidPath, "re");
    if (!file) return std::nullopt;
    unsigned long value = 0;
    const bool read = std::fscanf(file, "%lu", &value) == 1;
    std::fclose(file);
    if (!read || value > kUnsetLoginUid) return std::nullopt;
    return static_cast<uint32_t>(value);
}

// RFC 3164's timestamp, as syslog(3) writes it: the month in English whatever the locale.
std::string timestamp() {
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const time_t now = ::time(nullptr);
    tm local{};
    if (!::localtime_r(&now, &local)) return "Jan  1 00:00:00";
    char text[32];
    std::snprintf(text, sizeof text, "%s %2d %02d:%02d:%02d", kMonths[local.tm_mon % 12],
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

bool sendAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        const ssize_t sent = ::send(fd, data, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0) return false;
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

}  // namespace

tLogLine::tLogLine(std::string_view sentence) : text_(qx::dsc::visibleUtf8(sentence)) {}

tLogLine& tLogLine::field(std::string_view key, std::string_view value) {
    text_ += hasFields_ ? " " : ": ";
    hasFields_ = true;
    text_.append(key);
    text_ += '=';
    text_ += isPlainWord(value) ? std::string(value) : quoted(value);
    return *this;
}

tLogLine& tLogLine::field(std::string_view key, uint64_t value) {
    return field(key, std::to_string(value));
}

tLogLine& tLogLine::requester() {
    const uid_t uid = ::getuid();
    field("uid", uid);
    if (const auto name = userName(uid)) field("user", *name);
    const std::optional<uint32_t> login = loginUid();
    if (!login) return field("loginuid", "unknown");
    if (*login == kUnsetLoginUid) return field("loginuid", "unset");
    field("loginuid", *login);
    if (const auto name = userName(*login)) field("loginuser", *name);
    return *this;
}

bool writeSystemLog(tLogSeverity severity, const tLogLine& line, const char* socketPath) {
    const std::string message = "<" + std::to_string(kFacilityDaemon | static_cast<int>(severity)) +
                                ">" + timestamp() + " " + kIdentifier + "[" +
                                std::to_string(::getpid()) + "]: " + line.text();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(socketPath) >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::strcpy(address.sun_path, socketPath);
    // A datagram socket, as nearly every system log keeps; a stream one, as a few do.
    for (const int type : {SOCK_DGRAM, SOCK_STREAM}) {
        const qxafa::UniqueFd fd(::socket(AF_UNIX, type | SOCK_CLOEXEC, 0));
        if (!fd) return false;
        const timeval limit{kSendTimeLimitSeconds, 0};
        ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
            if (errno == EPROTOTYPE && type == SOCK_DGRAM) continue;
            return false;
        }
        // On a stream, each message ends with its NUL.
        return sendAll(fd.get(), message.c_str(), message.size() + (type == SOCK_STREAM ? 1 : 0));
    }
    return false;
}

}  // namespace qxapal
