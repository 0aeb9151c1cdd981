#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what building and running the product needs (the tool, the plug-in, qxhost, qxsim);
# with --tests, also what the tests, the fuzzing, the Ansible collection, the Cockpit page and
# the packages need. As a normal user, prints the command instead.
#
#   scripts/deps.sh [--tests]
set -euo pipefail

product=(g++ cmake ninja-build pkg-config
         libboost1.74-dev libboost-filesystem1.74-dev libboost-system1.74-dev
         libboost-iostreams1.74-dev nlohmann-json3-dev libseccomp-dev)
tests=(libgtest-dev util-linux dpkg-dev lintian clang libclang-rt-14-dev
       ansible-core pylint pycodestyle yamllint python3-voluptuous ansible-lint
       cockpit-ws cockpit-bridge chromium chromium-driver python3-selenium gettext)

packages=("${product[@]}")
case "${1:-}" in
    "") ;;
    --tests)
        packages+=("${tests[@]}")
        # The Cockpit page's build takes its stylesheets from the npm registry, and its tests the
        # linter; node 18 (Debian 12's) or later will do.
        command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
        ;;
    *) echo "usage: scripts/deps.sh [--tests]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
else
    echo "missing packages; run:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
