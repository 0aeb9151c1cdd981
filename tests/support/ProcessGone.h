// SPDX-License-Identifier: MIT
#pragma once
// Whether a process a test left to be killed has gone.

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace qxtest {

// Gone, or a zombie left for its reaper, once a signal sent to it has had time to arrive
// (a bound for a loaded machine, not a measure: a live process takes all of it).
inline bool processEnds(const std::string& pid) {
    const auto ended = [&] {
        std::ifstream stat("/proc/" + pid + "/stat");
        std::string number, command, state;
        return !(stat >> number >> command >> state) || state == "Z";
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ended() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return ended();
}

}  // namespace qxtest
