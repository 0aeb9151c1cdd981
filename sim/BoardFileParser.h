// SPDX-License-Identifier: MIT
#pragma once
// Reads a board file (INI: one "[board <name>]" section per board function, an optional
// "[tree]" section) into a BoardSet. Anything it does not understand is an error that
// names the file and line: a typo must never turn into a machine without boards.

#include "sim/Board.h"

#include <map>
#include <stdexcept>
#include <string>

namespace qxsim {

class BoardFileError : public std::runtime_error {
public:
    BoardFileError(const std::string& file, int line, const std::string& message);
};

class BoardFileParser {
public:
    // fileName only labels messages.
    explicit BoardFileParser(std::string fileName);

    BoardSet parse(const std::string& text);

    // Reads and parses the file at path.
    static BoardSet parseFile(const std::string& path);
    // The text of a board file: a regular file of at most 1 MiB.
    static std::string readFile(const std::string& path);

private:
    struct Key {
        std::string value;
        int line = 0;
    };
    using Section = std::map<std::string, Key>;

    void parseLine(const std::string& line);
    void startSection(const std::string& header);
    void addKey(const std::string& key, const std::string& value);
    void finishSection();
    void finishBoard();
    void finishTree();
    const Key* find(const char* key) const;
    uint32_t number(const Key& key, uint64_t max, const char* what) const;
    void readAddress(Board& board) const;
    void readIdentity(Board& board) const;
    void readPorts(Board& board) const;
    void readTexts(Board& board) const;
    void readParent(Board& board) const;
    void readMissing(Board& board) const;
    void readBytes(Board& board) const;
    void readHold(Board& board) const;
    void readRefuse(Board& board) const;
    void readBusLink(Board& board) const;
    void checkOverlaps(const Board& board, int line) const;
    void checkDeviceTree(const Board& board, int line) const;
    [[noreturn]] void fail(int line, const std::string& message) const;

    std::string fileName_;
    int lineNumber_ = 0;
    bool sawSection_ = false;
    bool sawTree_ = false;
    enum class Kind { None, Board, Tree } kind_ = Kind::None;
    std::string sectionName_;
    int sectionLine_ = 0;
    Section section_;
    BoardSet result_;
};

}  // namespace qxsim
