// qxstore_saver PATH PORT FIRST COUNT
// Saves the port's values FIRST, FIRST+1, ... (COUNT times; 0 = until killed) into
// PATH: receive depth i, transmit depth i+1000, mode i%4. Writes one byte to
// standard output after the first save so a parent knows saving is under way.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "shared/qx561x/cIniDataStore.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: qxstore_saver PATH PORT FIRST COUNT\n");
        return 2;
    }
    const std::string path = argv[1];
    const std::string port = argv[2];
    const unsigned long first = std::stoul(argv[3]);
    const unsigned long count = std::stoul(argv[4]);
    try {
        for (unsigned long i = first; count == 0 || i < first + count; ++i) {
            qx561x::cIniDataStore store;
            store.setFifoRxDepth(port, static_cast<uint32_t>(i));
            store.setFifoTxDepth(port, static_cast<uint32_t>(i + 1000));
            store.setRs485TransceiverMode(port, static_cast<uint32_t>(i % 4));
            store.save(path);
            if (i == first && ::write(1, "r", 1) != 1) {
                return 3;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qxstore_saver: %s\n", e.what());
        return 1;
    }
    return 0;
}
