// SPDX-License-Identifier: MIT
#include "sim/PortTable.h"

#include "sim/SystemError.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qxsim {

namespace {

const char kPrefix[] = "ttyQX561xPort";

template <typename T>
std::string valueText(const std::optional<T>& value, bool hex = false) {
    if (!value) return "-";
    std::ostringstream out;
    if (hex) out << "0x" << std::hex;
    out << *value;
    return out.str();
}

template <typename T>
std::optional<T> parseValue(const std::string& text) {
    if (text == "-") return std::nullopt;
    return T(std::stoull(text, nullptr, 0));
}

}  // namespace

PortTable PortTable::load(const std::string& path) {
    PortTable table;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        if (name.rfind(kPrefix, 0) != 0) throw std::runtime_error(path + ": unreadable line: " + line);
        PortRecord record;
        for (std::string field; fields >> field;) {
            const auto equals = field.find('=');
            const std::string key = field.substr(0, equals);
            const std::string value = equals == std::string::npos ? "" : field.substr(equals + 1);
            if (key == "board") record.board = value;
            else if (key == "rx") record.rx = parseValue<uint64_t>(value);
            else if (key == "tx") record.tx = parseValue<uint64_t>(value);
            else if (key == "rs485") record.rs485 = parseValue<uint32_t>(value);
            else if (key == "requests") record.requests = std::stoull(value);
        }
        table.records_[uint32_t(std::stoul(name.substr(sizeof kPrefix - 1)))] = record;
    }
    return table;
}

void PortTable::save(const std::string& path) const {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << format();
        out.flush();
        if (!out) throw std::runtime_error("cannot write " + temporary);
    }
    check(std::rename(temporary.c_str(), path.c_str()), "replace " + path);
}

std::string PortTable::format() const {
    std::ostringstream out;
    for (const auto& [index, record] : records_) {
        out << portName(index) << " board=" << record.board << " rx=" << valueText(record.rx)
            << " tx=" << valueText(record.tx) << " rs485=" << valueText(record.rs485, true)
            << " requests=" << record.requests << "\n";
    }
    return out.str();
}

void PortTable::adopt(const BoardSet& boards) {
    std::map<uint32_t, PortRecord> adopted;
    for (const Board& board : boards.boards) {
        for (uint32_t index = board.firstPort; index < board.firstPort + board.ports; ++index) {
            const auto old = records_.find(index);
            const bool keep = old != records_.end() && old->second.board == board.name;
            adopted[index] = keep ? old->second : PortRecord{board.name, {}, {}, {}, 0};
        }
    }
    records_ = std::move(adopted);
}

PortRecord* PortTable::find(uint32_t index) {
    const auto found = records_.find(index);
    return found == records_.end() ? nullptr : &found->second;
}

}  // namespace qxsim
