// SPDX-License-Identifier: MIT
// qxhost: loads the serial plug-in as a host framework does and gives people and programs
// its boards and ports on the command line.

#include <malloc.h>

#include <string>
#include <vector>

#include "host/Runner.h"
#include "platform/qxerr/Status.h"

const char qxerr::kComponent[] = "qxhost";

int main(int argc, char** argv) {
    // A short-lived process whose few threads mostly take turns: one heap for all of them.
    // A thread's own heap grows a page at a time, a system call each, and faults its pages
    // in anew; a listing of a rack spent a tenth of its time on that.
    ::mallopt(M_ARENA_MAX, 1);
    return qxhost::runQxhost(std::vector<std::string>(argv + 1, argv + argc));
}
