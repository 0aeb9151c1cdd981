// SPDX-License-Identifier: MIT
#include "sim/Driver.h"

#include "sim/ErrnoNames.h"
#include "sim/LockFile.h"
#include "sim/PortTable.h"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qxsim {

namespace {

int refusal(const PortRef& port, Request request) {
    const auto found = port.board->refuse.find(request);
    return found == port.board->refuse.end() ? 0 : found->second;
}

std::string resultText(int error) { return error ? errnoName(error) : "ok"; }

}  // namespace

Driver::Driver(const StateDir& state) : state_(state) {}

int Driver::setLevel(const PortRef& port, Request request, uint64_t level) {
    int error = refusal(port, request);
    if (!error && (level < kMinLevel || level > kMaxLevel)) error = EINVAL;
    const bool rx = request == Request::Rx;
    record(port, std::string(rx ? "rx " : "tx ") + std::to_string(level) + " " + resultText(error),
           [&](PortRecord& ports) {
               if (!error) (rx ? ports.rx : ports.tx) = level;
           });
    return error;
}

int Driver::setRs485(const PortRef& port, const Rs485Record& words) {
    const int error = refusal(port, Request::Rs485);
    std::ostringstream text;
    text << "rs485 0x" << std::hex << words[0] << std::dec;
    for (size_t i = 1; i < words.size(); ++i) text << "," << words[i];
    record(port, text.str() + " " + resultText(error), [&](PortRecord& ports) {
        if (!error) ports.rs485 = words[0];
    });
    return error;
}

int Driver::rs485Unreadable(const PortRef& port, int error) {
    record(port, "rs485 - " + resultText(error), [](PortRecord&) {});
    return error;
}

void Driver::record(const PortRef& port, const std::string& line,
                    const std::function<void(PortRecord&)>& update) {
    LockFile lock(state_.lockFile(), LockFile::Mode::Exclusive);
    PortTable table = PortTable::load(state_.portsFile());
    if (PortRecord* ports = table.find(port.index)) {
        ++ports->requests;
        update(*ports);
        table.save(state_.portsFile());
    }
    std::ofstream journal(state_.journalFile(), std::ios::app);
    journal << portName(port.index) << " " << line << "\n";
    if (!journal.flush()) throw std::runtime_error("cannot write " + state_.journalFile());
}

}  // namespace qxsim
