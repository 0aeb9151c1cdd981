#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages qx561x, qx561x-sim, qx561x-ansible and cockpit-qx561x from a release
# build (no sanitizers) in build-package/, and leaves them in build-package/debs/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --tests

build=build-package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DQX_ALL_PARTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target qx_packaged
rm -rf "$build/debs"
(cd "$build" && cpack --config CPackConfig.cmake -B debs >/dev/null)
ls "$build"/debs/*.deb
