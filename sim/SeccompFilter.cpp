// SPDX-License-Identifier: MIT
#include "sim/SeccompFilter.h"

#include "sim/SystemError.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <seccomp.h>
#include <stdexcept>
#include <sys/prctl.h>

namespace qxsim {

qxafa::UniqueFd SeccompFilter::install() {
    check(::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0), "set no-new-privileges");
    std::unique_ptr<void, void (*)(scmp_filter_ctx)> filter(seccomp_init(SCMP_ACT_ALLOW), &seccomp_release);
    if (!filter) throw std::runtime_error("seccomp_init failed");
    // The kernel looks at the low 32 bits of the request only; so does the filter.
    for (uint32_t request : {kRequestRxLevel, kRequestTxLevel, kRequestRs485}) {
        const int result = seccomp_rule_add(filter.get(), SCMP_ACT_NOTIFY, SCMP_SYS(ioctl), 1,
                                            SCMP_A1(SCMP_CMP_MASKED_EQ, 0xFFFFFFFFu, request));
        if (result < 0) throw SystemError("add seccomp rule", -result);
    }
    const int loaded = seccomp_load(filter.get());
    if (loaded < 0) throw SystemError("load seccomp filter", -loaded);
    const int listener = seccomp_notify_fd(filter.get());
    if (listener < 0) throw SystemError("get seccomp listener", -listener);
    // Our own copy: releasing the filter context may close the library's.
    qxafa::UniqueFd copy(::fcntl(listener, F_DUPFD_CLOEXEC, 0));
    if (!copy) throw SystemError("duplicate seccomp listener", errno);
    return copy;
}

}  // namespace qxsim
