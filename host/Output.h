// SPDX-License-Identifier: MIT
#pragma once
// qxhost's two streams. Standard output carries the result only; every write is flushed at
// once, so that what was printed before a signal is complete. Once stopped, nothing more
// is printed. With --json, whatever the plug-in or a program it starts writes to standard
// error is caught aside, so that qxhost's own standard error stays JSON.

#include <atomic>
#include <mutex>
#include <string>

#include "platform/qxafa/UniqueFd.h"

namespace qxhost {

class Output {
public:
    explicit Output(bool json);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    bool json() const { return json_; }

    // Standard error from here on goes aside (JSON mode); qxhost keeps its own.
    void catchForeignErrors();
    // What others wrote to standard error since the last call; "" when not caught.
    std::string takeForeignErrors();

    // Throws HostError (call "output") when standard output cannot take it.
    void result(const std::string& text);
    // qxhost's own standard error; failures there have nowhere to be reported.
    void diagnostic(const std::string& text);

    // Nothing is printed after this; never waits, not even for a write in progress.
    void stop() { stopped_ = true; }

private:
    bool json_;
    std::mutex mutex_;
    std::atomic<bool> stopped_{false};
    qxafa::UniqueFd ownErrors_;     // standard error as qxhost was started with it
    qxafa::UniqueFd foreignErrors_;  // what fd 2 now is, in JSON mode
    long long foreignRead_ = 0;
};

}  // namespace qxhost
