#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The whole system on qxsim's default simulated boards: the plug-in, loaded by qxhost,
# lists the boards, changes an RS-485 port (stored, then applied by the real tool), and a
# watching host is told of the change; a hand edit of the file is applied as at boot; the
# driver's journal shows what reached it, and the system log who changed what.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=build-release
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target qxserialconfig qxsim qxhost qx561xsae >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Inside qxsim the built plug-in is at its installed path, where qxhost looks by default.
host="$PWD/$build/host/qxhost"

cat >"$work/inside.sh" <<INSIDE
set -eu
say() { printf '\n== %s\n' "\$*"; }
say qxhost list
$host list
say "qxhost watch --count 2 (in the background)"
$host watch --count 2 --timeout 20 >"$work/watch.out" & watcher=\$!
# The watcher is ready once its command thread and its plug-in's monitor and workers run
# (most likely: nothing outside shows it; its time limit keeps a late one from hanging).
while [ "\$(ls /proc/\$watcher/task | wc -l)" -lt 5 ]; do sleep 0.05; done; sleep 0.2
say qxhost set /dev/ttyQX561xPort2 rx=32 mode=rx-during-tx
$host set /dev/ttyQX561xPort2 rx=32 mode=rx-during-tx
say "qxhost set 0000:05:01.0 ... (a board: refused)"
$host set 0000:05:01.0 rx=32 || echo "exit status \$?"
say "qxhost set /dev/ttyQX561xPort9 tx=200 (out of range: refused)"
$host set /dev/ttyQX561xPort9 tx=200 || echo "exit status \$?"
say qxhost set /dev/ttyQX561xPort9 tx=96
$host set /dev/ttyQX561xPort9 tx=96
wait \$watcher
say what the watcher saw
cat "$work/watch.out"
say /etc/qxserial/configuration.ini
cat /etc/qxserial/configuration.ini
say "a hand edit (port 3's receive level), then qxhost apply --all, as at boot"
printf '[qx561x:7019:3:4]\nFifoRxDepth=100\n' >> /etc/qxserial/configuration.ini
$host check
$host apply --all
INSIDE

"$build/sim/qxsim" --state "$work/state" -- bash "$work/inside.sh" 2>&1
printf '\n== qxsim journal: every request the driver answered\n'
"$build/sim/qxsim" journal --state "$work/state"
printf '\n== qxsim log: the system log, with every change, refusal and application\n'
"$build/sim/qxsim" log --state "$work/state"
