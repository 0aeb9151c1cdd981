// SPDX-License-Identifier: MIT
#pragma once
// Where the test run's packages are: built once per run by the packaging.build test.

#include <string>

namespace qxtest {

inline std::string packageFile(const std::string& package) {
    const bool all = package == "qx561x-ansible" || package.rfind("cockpit-", 0) == 0;
    const std::string architecture = all ? "all" : "amd64";
    return QX_PACKAGE_DIR "/" + package + "_" QX_PACKAGE_VERSION "_" + architecture + ".deb";
}

}  // namespace qxtest
