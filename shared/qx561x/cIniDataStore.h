// SPDX-License-Identifier: MIT
#pragma once
// Per-port configuration: the main INI file, which the plug-in writes, and its
// read-only defaults file beside it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <boost/property_tree/ptree.hpp>

#include "shared/qx561x/IniReader.h"

namespace qx561x {

class cIniDataStore {
public:
    // What the main file may be. Only the tool reads a pipe (--config-file <(...)); the
    // defaults file, and every file the plug-in reads, must be a regular file.
    enum class Source { RegularFile, RegularFileOrPipe };

    // No configuration file comes near this; a larger one (or /dev/zero behind a
    // pipe) is refused instead of read.
    static constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

    // A port's keys, in its section named by its identifier and in the defaults file's
    // one section.
    static constexpr const char* kFifoRxDepthKey = "FifoRxDepth";
    static constexpr const char* kFifoTxDepthKey = "FifoTxDepth";
    static constexpr const char* kRs485TransceiverModeKey = "Rs485TransceiverMode";
    static constexpr const char* kDefaultsSection = "defaults";
    // Every key the store reads; it ignores any other.
    static constexpr std::array<const char*, 3> kPortKeys = {kFifoRxDepthKey, kFifoTxDepthKey,
                                                             kRs485TransceiverModeKey};

    // Two empty trees; filled with the setters and saved.
    cIniDataStore() = default;
    // Loads the main file, then its defaults file. Missing files read as empty; anything
    // but a regular file (or a pipe, when source allows it) is refused, naming the path.
    // A pipe whose path does not end in ".ini" has no defaults file.
    explicit cIniDataStore(const std::string& configurationPath,
                           Source source = Source::RegularFile);

    uint32_t getFifoRxDepth(const std::string& portIdentifier) const;
    uint32_t getFifoTxDepth(const std::string& portIdentifier) const;
    uint32_t getRs485TransceiverMode(const std::string& portIdentifier) const;

    void setFifoRxDepth(const std::string& portIdentifier, uint32_t value);
    void setFifoTxDepth(const std::string& portIdentifier, uint32_t value);
    void setRs485TransceiverMode(const std::string& portIdentifier, uint32_t value);

    // Merges this store's configuration into the file and replaces it atomically:
    // on any failure the previous file stays as it was.
    void save(const std::string& configurationPath) const;

    // The main path with its final ".ini" replaced by "_defaults.ini";
    // std::invalid_argument "Invalid file path" when it does not end in ".ini".
    static std::string defaultsFilePath(const std::string& configurationPath);
    // The plug-in's main file: the system configuration directory followed by
    // "/qxserial/configuration.ini".
    static std::string configurationFilePath();
    // Why a file could not carry this section name (the reader would split, end or trim
    // it, and save() refuses it); "" when it can.
    static std::string whyUnwritableSection(const std::string& name);
    // One file as the constructor reads either (a missing file is empty), for tools that
    // check a file on its own; the reader's exception says why one cannot be read.
    // lines, when given, receives where each section and key stands.
    static boost::property_tree::ptree readFile(const std::string& path,
                                                tIniLines* lines = nullptr);
    // A stored value as the store reads it: the whole text, apart from surrounding blanks,
    // one unsigned 32-bit decimal number with an optional plus sign; nothing otherwise,
    // and the value then counts as absent.
    static std::optional<uint32_t> parseValue(const std::string& text);

private:
    uint32_t lookup(const std::string& portIdentifier, const char* key,
                    uint32_t builtIn) const;
    void set(const std::string& portIdentifier, const char* key, uint32_t value);

    boost::property_tree::ptree configuration_;
    boost::property_tree::ptree defaults_;
};

}  // namespace qx561x
