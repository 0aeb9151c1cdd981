// SPDX-License-Identifier: MIT
// A relocation library for tests. QXRELOC_STANDIN holds "key=path" pairs separated by
// commas; a listed key is relocated, any other keeps its default. The key named by
// QXRELOC_STANDIN_FAIL is answered with a failure. Every call is appended, one key per
// line, to the file named by QXRELOC_STANDIN_LOG when that is set.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void logCall(const char* key) {
    const char* log = std::getenv("QXRELOC_STANDIN_LOG");
    if (!log) return;
    if (FILE* file = std::fopen(log, "a")) {
        std::fprintf(file, "%s\n", key);
        std::fclose(file);
    }
}

int relocate(const char* key, char* buffer, size_t size) {
    logCall(key);
    const char* failing = std::getenv("QXRELOC_STANDIN_FAIL");
    if (failing && std::strcmp(failing, key) == 0) return -1;
    const char* table = std::getenv("QXRELOC_STANDIN");
    if (!table) return 0;
    const std::string wanted = std::string(key) + "=";
    std::string entries(table);
    size_t start = 0;
    while (start <= entries.size()) {
        size_t end = entries.find(',', start);
        if (end == std::string::npos) end = entries.size();
        const std::string entry = entries.substr(start, end - start);
        if (entry.compare(0, wanted.size(), wanted) == 0) {
            std::snprintf(buffer, size, "%s", entry.c_str() + wanted.size());
            return 1;
        }
        start = end + 1;
    }
    return 0;
}

}  // namespace

#ifndef QXRELOC_STANDIN_WITHOUT_SYMBOL
extern "C" __attribute__((visibility("default"))) int get_relocated_dir(const char* key,
                                                                         char* buffer,
                                                                         size_t size) {
    return relocate(key, buffer, size);
}
#else
extern "C" __attribute__((visibility("default"))) int get_relocated_directory(const char* key,
                                                                               char* buffer,
                                                                               size_t size) {
    return relocate(key, buffer, size);
}
#endif
