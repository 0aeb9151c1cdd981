// SPDX-License-Identifier: MIT
#include "shared/qx561x/cIniDataStore.h"

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include <boost/property_tree/ini_parser.hpp>
#include <gtest/gtest.h>

#include "platform/qxerr/Exception.h"
#include "tests/shared/qx561x/StoreTestSupport.h"

namespace {

using qx561x::cIniDataStore;
using storetest::readFile;
using storetest::TempDir;
using storetest::writeFile;

const std::string kPort = "qx561x:7a01:3:1";

struct Values {
    uint32_t rx;
    uint32_t tx;
    uint32_t mode;
};

struct LookupCase {
    const char* name;
    const char* mainFile;      // nullptr: no file
    const char* defaultsFile;  // nullptr: no file
    Values expected;
};

class LookupTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LookupTest, PortSectionThenDefaultsThenBuiltIn) {
    const LookupCase& c = GetParam();
    TempDir dir;
    if (c.mainFile != nullptr) {
        writeFile(dir.file("configuration.ini"), c.mainFile);
    }
    if (c.defaultsFile != nullptr) {
        writeFile(dir.file("configuration_defaults.ini"), c.defaultsFile);
    }
    const cIniDataStore store(dir.file("configuration.ini"));
    EXPECT_EQ(store.getFifoRxDepth(kPort), c.expected.rx);
    EXPECT_EQ(store.getFifoTxDepth(kPort), c.expected.tx);
    EXPECT_EQ(store.getRs485TransceiverMode(kPort), c.expected.mode);
}

INSTANTIATE_TEST_SUITE_P(
    Store, LookupTest,
    ::testing::Values(
        LookupCase{"NoFiles", nullptr, nullptr, {64, 128, 3}},
        LookupCase{"EmptyFiles", "", "", {64, 128, 3}},
        LookupCase{"DefaultsWithoutPortSection", "[qx561x:7a01:3:2]\nFifoRxDepth=5\n",
                   "[defaults]\nFifoRxDepth=32\n", {32, 128, 3}},
        LookupCase{"PortBeatsDefaults",
                   "[qx561x:7a01:3:1]\nFifoRxDepth=16\nRs485TransceiverMode=0\n",
                   "[defaults]\nFifoRxDepth=32\nFifoTxDepth=8\nRs485TransceiverMode=1\n",
                   {16, 8, 0}},
        LookupCase{"BlanksAroundValue", "[qx561x:7a01:3:1]\nFifoRxDepth   =   100   \n",
                   nullptr, {100, 128, 3}},
        LookupCase{"HexIsAbsent", "[qx561x:7a01:3:1]\nFifoRxDepth=0x40\n",
                   "[defaults]\nFifoRxDepth=32\n", {32, 128, 3}},
        LookupCase{"WordIsAbsent", "[qx561x:7a01:3:1]\nFifoRxDepth=abc\n", nullptr,
                   {64, 128, 3}},
        LookupCase{"TrailingTextIsAbsent", "[qx561x:7a01:3:1]\nFifoRxDepth=12 13\n", nullptr,
                   {64, 128, 3}},
        LookupCase{"EmptyIsAbsent", "[qx561x:7a01:3:1]\nFifoRxDepth=\n", nullptr,
                   {64, 128, 3}},
        LookupCase{"NegativeIsAbsent", "[qx561x:7a01:3:1]\nFifoRxDepth=-1\n", nullptr,
                   {64, 128, 3}},
        LookupCase{"Above32BitsIsAbsent", "[qx561x:7a01:3:1]\nFifoRxDepth=4294967296\n",
                   nullptr, {64, 128, 3}},
        LookupCase{"Largest32BitValue", "[qx561x:7a01:3:1]\nFifoRxDepth=4294967295\n",
                   nullptr, {4294967295u, 128, 3}},
        LookupCase{"PlusSignAndLeadingZeros",
                   "[qx561x:7a01:3:1]\nFifoRxDepth=+16\nFifoTxDepth=000000000000000000042\n",
                   nullptr, {16, 42, 3}},
        LookupCase{"SignWithoutDigitsIsAbsent", "[qx561x:7a01:3:1]\nFifoRxDepth=+\n", nullptr,
                   {64, 128, 3}},
        LookupCase{"NoRangeEnforced", "[qx561x:7a01:3:1]\nRs485TransceiverMode=9\n", nullptr,
                   {64, 128, 9}},
        LookupCase{"BadDefaultsFallToBuiltIn", nullptr,
                   "[defaults]\nFifoRxDepth=x\nFifoTxDepth=1.5\n", {64, 128, 3}},
        LookupCase{"DefaultsSectionInMainFileIgnored",
                   "[defaults]\nFifoRxDepth=1\nFifoTxDepth=2\nRs485TransceiverMode=0\n", nullptr,
                   {64, 128, 3}},
        LookupCase{"PortSectionInDefaultsFileIgnored", nullptr,
                   "[qx561x:7a01:3:1]\nFifoRxDepth=1\n", {64, 128, 3}},
        LookupCase{"NamesAreCaseSensitive",
                   "[QX561X:7A01:3:1]\nFifoRxDepth=1\n[qx561x:7a01:3:1]\nfiforxdepth=2\n",
                   "[Defaults]\nFifoTxDepth=3\n", {64, 128, 3}},
        LookupCase{"CommentsAndBlankLines",
                   "; comment\n\n# another\n[qx561x:7a01:3:1]\n  ; FifoRxDepth=1\nFifoTxDepth=7\n",
                   nullptr, {64, 7, 3}},
        // As editors on other systems save a UTF-8 file.
        LookupCase{"ByteOrderMarks", "\xEF\xBB\xBF[qx561x:7a01:3:1]\nFifoRxDepth=5\n",
                   "\xEF\xBB\xBF[defaults]\nFifoTxDepth=7\n", {5, 7, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StoreSetters, SetValuesWinOverFilesAndLeaveDefaultsAlone) {
    TempDir dir;
    writeFile(dir.file("c.ini"), "[qx561x:7a01:3:1]\nFifoRxDepth=16\n");
    writeFile(dir.file("c_defaults.ini"), "[defaults]\nFifoTxDepth=8\n");
    cIniDataStore store(dir.file("c.ini"));
    store.setFifoRxDepth(kPort, 20);
    store.setRs485TransceiverMode(kPort, 1);
    EXPECT_EQ(store.getFifoRxDepth(kPort), 20u);
    EXPECT_EQ(store.getFifoTxDepth(kPort), 8u);
    EXPECT_EQ(store.getRs485TransceiverMode(kPort), 1u);
    EXPECT_EQ(store.getFifoRxDepth("qx561x:7a01:3:2"), 64u);
}

TEST(StoreDefaultsPath, FinalIniIsReplaced) {
    EXPECT_EQ(cIniDataStore::defaultsFilePath("/etc/qxserial/configuration.ini"),
              "/etc/qxserial/configuration_defaults.ini");
    EXPECT_EQ(cIniDataStore::defaultsFilePath("a.ini.ini"), "a.ini_defaults.ini");
    EXPECT_EQ(cIniDataStore::defaultsFilePath(".ini"), "_defaults.ini");
}

TEST(StoreDefaultsPath, PathsNotEndingInIniAreRefused) {
    for (const char* path : {"configuration.INI", "configuration.ini.bak", "/x.ini/conf", "",
                             "ini", "conf.in"}) {
        try {
            cIniDataStore::defaultsFilePath(path);
            ADD_FAILURE() << "accepted " << path;
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "Invalid file path") << path;
        }
    }
}

TEST(StoreDefaultsPath, ConstructorReadsMainFileBeforeCheckingThePath) {
    TempDir dir;
    writeFile(dir.file("conf.txt"), "[s]\nk=1\n");
    EXPECT_THROW(cIniDataStore{dir.file("conf.txt")}, std::invalid_argument);
    writeFile(dir.file("conf.txt"), "[s\n");
    EXPECT_THROW(cIniDataStore{dir.file("conf.txt")},
                 boost::property_tree::ini_parser::ini_parser_error);
}

TEST(StoreDefaultsPath, PlugInFileIsInTheSystemConfigurationDirectory) {
    EXPECT_EQ(cIniDataStore::configurationFilePath(), "/etc/qxserial/configuration.ini");
}

struct ParseErrorCase {
    const char* name;
    const char* text;
    const char* message;
};

const ParseErrorCase kParseErrors[] = {
    {"UnmatchedBracket", "[qx561x:7a01:3:1\nFifoRxDepth=1\n",
     "<unspecified file>(1): unmatched '['"},
    {"KeyExpected", "[s]\n= 5\n", "<unspecified file>(2): key expected"},
    {"NoEqualsSign", "; c\n\n[s]\nFifoRxDepth\n",
     "<unspecified file>(4): '=' character not found in line"},
    {"DuplicateSection", "[a]\nk=1\n[b]\nk=1\n[a]\nk=2\n",
     "<unspecified file>(5): duplicate section name"},
    {"DuplicateKey", "[a]\nk=1\nk = 2\n", "<unspecified file>(3): duplicate key name"},
    {"DuplicateFileLevelKey", "k=1\nk=2\n", "<unspecified file>(2): duplicate key name"},
};

class ParseErrorTest : public ::testing::TestWithParam<ParseErrorCase> {};

TEST_P(ParseErrorTest, MainOrDefaultsFileRefusedWithReaderMessage) {
    for (const char* file : {"c.ini", "c_defaults.ini"}) {
        SCOPED_TRACE(file);
        TempDir dir;
        writeFile(dir.file(file), GetParam().text);
        try {
            cIniDataStore store(dir.file("c.ini"));
            ADD_FAILURE() << "parsed";
        } catch (const boost::property_tree::ini_parser::ini_parser_error& e) {
            EXPECT_STREQ(e.what(), GetParam().message);
        }
    }
}

TEST_P(ParseErrorTest, SaveRefusesAndLeavesTheFileUntouched) {
    TempDir dir;
    writeFile(dir.file("c.ini"), GetParam().text);
    cIniDataStore store;
    store.setFifoRxDepth(kPort, 1);
    try {
        store.save(dir.file("c.ini"));
        ADD_FAILURE() << "saved";
    } catch (const boost::property_tree::ini_parser::ini_parser_error& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
    }
    EXPECT_EQ(readFile(dir.file("c.ini")), GetParam().text);
    EXPECT_TRUE(storetest::temporaryFiles(dir.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Store, ParseErrorTest, ::testing::ValuesIn(kParseErrors),
                         [](const auto& info) { return std::string(info.param.name); });

void expectReport(const qxerr::Exception& e, int32_t code, const char* constant, int line) {
    EXPECT_EQ(e.getCode(), code);
    const char* report = e.what();
    EXPECT_EQ(qxerr::reportGetString(report, "error_constant"), constant);
    EXPECT_EQ(qxerr::reportGetString(report, "file"), "shared/qx561x/cIniDataStore");
    EXPECT_EQ(qxerr::reportGetInt(report, "line"), line);
    EXPECT_EQ(qxerr::reportGetString(report, "component"), "qxserialconfig");
    EXPECT_EQ(std::string(report).find("internal_error"), std::string::npos) << report;
}

TEST(StoreFailures, MainPathThatIsADirectoryIsAnOsFault) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("c.ini"));
    try {
        cIniDataStore store(dir.file("c.ini"));
        ADD_FAILURE() << "read a directory";
    } catch (const qxerr::Exception& e) {
        expectReport(e, qxerr::qxapalerr_osFault, "qxapalerr_osFault", 87);
    }
    try {
        cIniDataStore().save(dir.file("c.ini"));
        ADD_FAILURE() << "saved into a directory";
    } catch (const qxerr::Exception& e) {
        expectReport(e, qxerr::qxapalerr_osFault, "qxapalerr_osFault", 87);
    }
}

// Opening a FIFO without a writer would wait for ever, reading /dev/zero never end: what
// is no regular file is refused at once, naming it, by reading and by saving, and a saver
// leaves it alone. So is a file larger than any configuration.
TEST(StoreFailures, WhatIsNoRegularFileOrTooLargeIsRefusedNamingIt) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.ini"));
    ASSERT_EQ(::mkfifo(dir.file("c_defaults.ini").c_str(), 0600), 0);
    writeFile(dir.file("big.ini"), "[a]\nk=1\n");
    std::filesystem::resize_file(dir.file("big.ini"), cIniDataStore::kMaxFileSize + 1);
    const struct {
        std::string main;
        std::string refused;
        int32_t code;
        int line;
        const char* message;
    } cases[] = {
        {dir.file("fifo.ini"), dir.file("fifo.ini"), qxerr::qxapalerr_invalidParameter, 91,
         "not a regular file"},
        {dir.file("zero.ini"), dir.file("zero.ini"), qxerr::qxapalerr_invalidParameter, 91,
         "not a regular file"},
        {dir.file("c.ini"), dir.file("c_defaults.ini"), qxerr::qxapalerr_invalidParameter, 91,
         "not a regular file"},
        {dir.file("big.ini"), dir.file("big.ini"), qxerr::qxapalerr_fileReadFailed, 96,
         "larger than 16 MiB"},
    };
    auto expectRefusal = [](const qxerr::Exception& e, const auto& c) {
        EXPECT_EQ(e.getCode(), c.code);
        EXPECT_EQ(qxerr::reportGetInt(e.what(), "line"), c.line);
        EXPECT_EQ(qxerr::reportGetString(e.what(), "path"), c.refused);
        EXPECT_EQ(qxerr::reportGetString(e.what(), "qxserialconfig"), c.message);
    };
    cIniDataStore store;
    store.setFifoRxDepth(kPort, 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.main);
        try {
            cIniDataStore{c.main};
            ADD_FAILURE() << "read";
        } catch (const qxerr::Exception& e) {
            expectRefusal(e, c);
        }
        if (c.refused != c.main) continue;  // the defaults file is never saved into
        try {
            store.save(c.main);
            ADD_FAILURE() << "saved";
        } catch (const qxerr::Exception& e) {
            expectRefusal(e, c);
        }
    }
    EXPECT_TRUE(std::filesystem::is_fifo(dir.file("fifo.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("zero.ini")));
    EXPECT_EQ(std::filesystem::file_size(dir.file("big.ini")), cIniDataStore::kMaxFileSize + 1);
    EXPECT_TRUE(storetest::temporaryFiles(dir.path()).empty());
}

TEST(StoreFailures, SaveIntoMissingDirectoryIsResourceNotFound) {
    TempDir dir;
    cIniDataStore store;
    store.setFifoRxDepth(kPort, 1);
    try {
        store.save(dir.file("missing/c.ini"));
        ADD_FAILURE() << "saved";
    } catch (const qxerr::Exception& e) {
        expectReport(e, qxerr::qxapalerr_resourceNotFound, "qxapalerr_resourceNotFound", 85);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

TEST(StoreFailures, MissingDirectoryReadsAsEmpty) {
    TempDir dir;
    const cIniDataStore store(dir.file("missing/c.ini"));
    EXPECT_EQ(store.getFifoTxDepth(kPort), 128u);
}

// PXI slot paths such as "3.5" are part of the section name, for reading and for saving.
TEST(StoreSave, DottedSlotPathIsOneSection) {
    const std::string port = "qx561x:7a01:3.5:1";
    TempDir dir;
    writeFile(dir.file("c.ini"), "[qx561x:7a01:3]\nk=1\n[" + port + "]\nFifoTxDepth=9\n");
    {
        cIniDataStore store(dir.file("c.ini"));
        EXPECT_EQ(store.getFifoTxDepth(port), 9u);
        EXPECT_EQ(store.getFifoRxDepth(port), 64u);
        store.setFifoRxDepth(port, 5);
        store.save(dir.file("c.ini"));
    }
    EXPECT_EQ(readFile(dir.file("c.ini")),
              "[qx561x:7a01:3]\nk=1\n[" + port + "]\nFifoTxDepth=9\nFifoRxDepth=5\n");
    const cIniDataStore reread(dir.file("c.ini"));
    EXPECT_EQ(reread.getFifoRxDepth(port), 5u);
    EXPECT_EQ(reread.getFifoRxDepth("qx561x:7a01:3"), 64u);
    EXPECT_TRUE(storetest::temporaryFiles(dir.path()).empty());
}

// A port identifier holds the slot path the driver publishes; a section the reader could
// not give back must never reach the file.
TEST(StoreSave, UnreadableSectionNamesAreRefusedBeforeTheFileIsTouched) {
    TempDir dir;
    const std::string before = "[qx561x:7a01:3:2]\nFifoRxDepth=8\n";
    writeFile(dir.file("c.ini"), before);
    for (const std::string port : {"qx561x:7a01:3\n[x]\n:1", "qx561x:7a01:3]:1", " qx561x:7a01:3:1"}) {
        cIniDataStore store;
        store.setFifoRxDepth(kPort, 5);
        store.setFifoRxDepth(port, 9);
        try {
            store.save(dir.file("c.ini"));
            ADD_FAILURE() << "saved " << port;
        } catch (const qxerr::Exception& e) {
            EXPECT_EQ(e.getCode(), qxerr::qxapalerr_invalidParameter) << port;
            EXPECT_EQ(qxerr::reportGetInt(e.what(), "line"), 301) << port;
            EXPECT_EQ(qxerr::reportGetString(e.what(), "name"), port);
        }
        EXPECT_EQ(readFile(dir.file("c.ini")), before) << port;
    }
    cIniDataStore store;
    store.setFifoRxDepth(kPort, 5);
    store.save(dir.file("c.ini"));
    EXPECT_EQ(cIniDataStore(dir.file("c.ini")).getFifoRxDepth(kPort), 5u);
    EXPECT_TRUE(storetest::temporaryFiles(dir.path()).empty());
}

TEST(StoreSave, NewPortAppendedAfterOtherSectionsInTheirOrder) {
    TempDir dir;
    writeFile(dir.file("c.ini"),
              "; kept values, dropped comment\n"
              "[qx561x:7a01:3:2]\n"
              "FifoTxDepth = 16\n"
              "FifoRxDepth=8\n"
              "\n"
              "[qx561x:7a01:3:0]\n"
              "Rs485TransceiverMode=2\n"
              "Extra=text with blanks\n"
              "version=1\n");
    cIniDataStore store;
    store.setFifoRxDepth(kPort, 100);
    store.setFifoTxDepth(kPort, 101);
    store.setRs485TransceiverMode(kPort, 0);
    store.save(dir.file("c.ini"));
    EXPECT_EQ(readFile(dir.file("c.ini")),
              "[qx561x:7a01:3:2]\n"
              "FifoTxDepth=16\n"
              "FifoRxDepth=8\n"
              "[qx561x:7a01:3:0]\n"
              "Rs485TransceiverMode=2\n"
              "Extra=text with blanks\n"
              "version=1\n"
              "[qx561x:7a01:3:1]\n"
              "FifoRxDepth=100\n"
              "FifoTxDepth=101\n"
              "Rs485TransceiverMode=0\n");
}

TEST(StoreSave, ExistingKeyOverwrittenInPlace) {
    TempDir dir;
    writeFile(dir.file("c.ini"),
              "top=1\n"
              "[qx561x:7a01:3:1]\n"
              "Rs485TransceiverMode=1\n"
              "FifoTxDepth=16\n"
              "Other=x\n"
              "[z]\n"
              "a=b\n");
    cIniDataStore store;
    store.setFifoTxDepth(kPort, 32);
    store.setFifoRxDepth(kPort, 4);
    store.save(dir.file("c.ini"));
    EXPECT_EQ(readFile(dir.file("c.ini")),
              "top=1\n"
              "[qx561x:7a01:3:1]\n"
              "Rs485TransceiverMode=1\n"
              "FifoTxDepth=32\n"
              "Other=x\n"
              "FifoRxDepth=4\n"
              "[z]\n"
              "a=b\n");
    const cIniDataStore reread(dir.file("c.ini"));
    EXPECT_EQ(reread.getFifoTxDepth(kPort), 32u);
    EXPECT_EQ(reread.getFifoRxDepth(kPort), 4u);
    EXPECT_EQ(reread.getRs485TransceiverMode(kPort), 1u);
}

TEST(StoreSave, ReadStoreSavedBackKeepsEverything) {
    TempDir dir;
    const std::string text = "[a]\nk=1\n[b]\nFifoRxDepth=2\n";
    writeFile(dir.file("c.ini"), text);
    cIniDataStore(dir.file("c.ini")).save(dir.file("c.ini"));
    EXPECT_EQ(readFile(dir.file("c.ini")), text);
    // A byte-order mark is not written back; everything after it is.
    writeFile(dir.file("c.ini"), "\xEF\xBB\xBF" + text);
    cIniDataStore().save(dir.file("c.ini"));
    EXPECT_EQ(readFile(dir.file("c.ini")), text);
}

TEST(StoreSave, DefaultsFileNeverWritten) {
    TempDir dir;
    writeFile(dir.file("c_defaults.ini"), "[defaults]\nFifoRxDepth=32\n");
    cIniDataStore store(dir.file("c.ini"));
    store.setFifoTxDepth(kPort, 9);
    store.save(dir.file("c.ini"));
    EXPECT_EQ(readFile(dir.file("c.ini")), "[qx561x:7a01:3:1]\nFifoTxDepth=9\n");
    EXPECT_EQ(readFile(dir.file("c_defaults.ini")), "[defaults]\nFifoRxDepth=32\n");
}

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : previous_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(previous_); }

private:
    mode_t previous_;
};

mode_t permissions(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

TEST(StoreSave, NewFileGetsUmaskedModeAndExistingKeepsItsMode) {
    TempDir dir;
    UmaskGuard mask(027);
    cIniDataStore store;
    store.setFifoRxDepth(kPort, 1);
    store.save(dir.file("c.ini"));
    EXPECT_EQ(permissions(dir.file("c.ini")), 0640u);
    ASSERT_EQ(::chmod(dir.file("c.ini").c_str(), 0604), 0);
    store.save(dir.file("c.ini"));
    EXPECT_EQ(permissions(dir.file("c.ini")), 0604u);
}

TEST(StoreSave, LeftoverReplacementFilesAreRemoved) {
    TempDir dir;
    writeFile(dir.file(".c.ini.tmp-Ab12Cd"), "[half\n");
    writeFile(dir.file(".c.ini.tmp-keep-me"), "unrelated");
    writeFile(dir.file(".d.ini.tmp-Ab12Cd"), "another file's");
    cIniDataStore store;
    store.setFifoRxDepth(kPort, 1);
    store.save(dir.file("c.ini"));
    EXPECT_FALSE(std::filesystem::exists(dir.file(".c.ini.tmp-Ab12Cd")));
    EXPECT_TRUE(std::filesystem::exists(dir.file(".c.ini.tmp-keep-me")));
    EXPECT_TRUE(std::filesystem::exists(dir.file(".d.ini.tmp-Ab12Cd")));
}

TEST(StoreSave, LinkedFileIsReplacedBehindTheLink) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("real"));
    writeFile(dir.file("real/c.ini"), "[a]\nk=1\n");
    std::filesystem::create_symlink("real/c.ini", dir.file("c.ini"));
    cIniDataStore store;
    store.setFifoRxDepth(kPort, 3);
    store.save(dir.file("c.ini"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("c.ini")));
    EXPECT_EQ(readFile(dir.file("real/c.ini")), "[a]\nk=1\n[qx561x:7a01:3:1]\nFifoRxDepth=3\n");
    EXPECT_TRUE(storetest::temporaryFiles(dir.path()).empty());
    EXPECT_TRUE(storetest::temporaryFiles(dir.file("real")).empty());
}

TEST(StoreSave, RelativePathSavesInWorkingDirectory) {
    TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    cIniDataStore store;
    store.setFifoRxDepth(kPort, 3);
    store.save("c.ini");
    std::filesystem::current_path(previous);
    EXPECT_EQ(cIniDataStore(dir.file("c.ini")).getFifoRxDepth(kPort), 3u);
    EXPECT_TRUE(storetest::temporaryFiles(dir.path()).empty());
}

TEST(StoreDescriptors, NoneLeftOpenOnSuccessOrFailure) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("d.ini"));
    writeFile(dir.file("bad.ini"), "[x\n");
    const auto before = storetest::openDescriptors();
    {
        cIniDataStore store;
        store.setFifoRxDepth(kPort, 1);
        store.save(dir.file("c.ini"));
        cIniDataStore reread(dir.file("c.ini"));
        EXPECT_ANY_THROW(cIniDataStore{dir.file("bad.ini")});
        EXPECT_ANY_THROW(store.save(dir.file("bad.ini")));
        EXPECT_ANY_THROW(cIniDataStore{dir.file("d.ini")});
        EXPECT_ANY_THROW(store.save(dir.file("d.ini")));
        EXPECT_ANY_THROW(store.save(dir.file("missing/c.ini")));
    }
    EXPECT_EQ(storetest::openDescriptors(), before);
}

}  // namespace
