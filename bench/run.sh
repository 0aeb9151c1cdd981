#!/usr/bin/env bash
# Times the tool configuring an RS-485 port under qxsim against the floor: a minimal program
# that opens the same node and sends the same three requests.
#   bench/run.sh [BUILD_DIR] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build-release}" && pwd)
runs=${2:-200}

qxsim=$build/sim/qxsim
tool=$build/qxserialconfig/qxserialconfig
for f in "$qxsim" "$tool" "$build/bench/qxbench_timer" "$build/bench/qxbench_floor"; do
    [ -x "$f" ] || { echo "missing $f; build the bench target first" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The board file's RS-485 board: device ID 0x7009, slot path 3; its first port.
port=/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0/tty/ttyQX561xPort0
node=/dev/ttyQX561xPort0
cat >"$work/configuration.ini" <<INI
[qx561x:7009:3:1]
FifoRxDepth=100
FifoTxDepth=120
Rs485TransceiverMode=1
INI
printf '[defaults]\nFifoRxDepth=32\n' >"$work/configuration_defaults.ini"

"$qxsim" --boards "$here/boards.ini" --state "$work/state" --tool "$tool" -- \
    "$build/bench/qxbench_timer" "$runs" \
    /usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig --port "$port" \
        --config-file "$work/configuration.ini" \
    --vs "$build/bench/qxbench_floor" "$node" 100 120 1

# Both sides must have reached the driver with the same values.
"$qxsim" ports --state "$work/state" | grep "^ttyQX561xPort0 "
