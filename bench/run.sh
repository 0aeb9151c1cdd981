#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every benchmark under qxsim and ends with their figures, each against its floor
# (medians of interleaved runs):
#   - the tool configuring an RS-485 port, against a program that only opens the node and
#     sends the three requests (boards.ini);
#   - the plug-in in a rack of 16 boards of 16 ports in a device tree of about 30,000
#     entries, with a configuration section for every port (rack.ini):
#     device-tree walk against find; a host's listing, first (a new host process: load,
#     Initialize, EnumItemNames, GetAllItemProperties, Uninitialize) and warm (re-listing in
#     a running host), against a program that does only the reads a listing needs (the
#     first also against that program reading twice, as a new host's listing must); the
#     whole qxhost process listing in JSON against that program, and its text listing
#     against its JSON listing (within 10% either way); the latency of a change and the cost of a monitor pass;
#     resident size over many calls;
#   - the same rack under a device tree of about 3,000 and of about 200,000 entries, both
#     simulations running at once and asked in turn: a new host's listing and the latency
#     of a change in each, and the large tree's figures over the small tree's.
#   - a 64-port machine configured from Ansible by one ports task and by a loop of port
#     tasks, first run and rerun (playbooks.sh).
#   bench/run.sh [--asan ASAN_BUILD_DIR] [--calls N] [--rack-runs N] [--tree-runs N]
#                [--play-runs N] [BUILD_DIR] [RUNS]
# --asan also runs the memory benchmark on an AddressSanitizer build (scripts/test.sh makes
# build-asan), where it is the leak check.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
asan=
calls=100000
rackRuns=30
treeRuns=30
playRuns=3
while [ $# -gt 0 ]; do
    case $1 in
        --asan) asan=$(cd "$2" && pwd); shift 2 ;;
        --calls) calls=$2; shift 2 ;;
        --rack-runs) rackRuns=$2; shift 2 ;;
        --tree-runs) treeRuns=$2; shift 2 ;;
        --play-runs) playRuns=$2; shift 2 ;;
        *) break ;;
    esac
done
build=$(cd "${1:-$here/../build-release}" && pwd)
runs=${2:-200}

qxsim=$build/sim/qxsim
qxhost=$build/host/qxhost
tool=$build/qxserialconfig/qxserialconfig
plugin=$build/qx561xsae/libqx561xsae.so
bench=$build/bench
for f in "$qxsim" "$qxhost" "$tool" "$plugin" "$bench/qxbench_timer" "$bench/qxbench_floor" \
         "$bench/qxbench_listfloor" "$bench/qxbench_list" "$bench/qxbench_change" \
         "$bench/qxbench_memory" "$bench/qxbench_devices" "$bench/qxbench_treesize"; do
    [ -e "$f" ] || { echo "missing $f; build the bench target first" >&2; exit 2; }
done
if [ -n "$asan" ]; then
    for f in "$asan/qx561xsae/libqx561xsae.so" "$asan/bench/qxbench_memory" \
             "$asan/qxserialconfig/qxserialconfig"; do
        [ -e "$f" ] || { echo "missing $f; build the ASan tree's bench targets first" >&2; exit 2; }
    done
fi
find=$(command -v find)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/log

echo "== the tool configuring one port, against its floor (2 boards)" | tee -a "$log"
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
    "$bench/qxbench_timer" "$runs" \
    /usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig --port "$port" \
        --config-file "$work/configuration.ini" \
    --vs "$bench/qxbench_floor" "$node" 100 120 1 | tee -a "$log"

# Both sides must have reached the driver with the same values.
"$qxsim" ports --state "$work/state" | grep "^ttyQX561xPort0 "

rack() {  # TOOL, then the command
    local rackTool=$1; shift
    "$qxsim" --boards "$here/rack.ini" --state "$work/rack" --tool "$rackTool" -- "$@"
}
rack "$tool" "$bench/qxbench_listfloor" --write-config

echo "== device-tree walk: the device enumerator against find" | tee -a "$log"
rack "$tool" "$bench/qxbench_timer" "$rackRuns" --figure "device-tree walk / find" 1.2 \
    "$bench/qxbench_devices" --vs "$find" /sys/devices | tee -a "$log"

echo "== listing, first: a new host process against the floor program" | tee -a "$log"
rack "$tool" "$bench/qxbench_timer" "$rackRuns" --figure "listing, first (new host)" 1.5 \
    "$bench/qxbench_list" first "$plugin" --vs "$bench/qxbench_listfloor" | tee -a "$log"

echo "== listing, first: against a floor that reads everything twice, as a new host must" | tee -a "$log"
rack "$tool" "$bench/qxbench_timer" "$rackRuns" --figure "listing, first / two reads" - \
    "$bench/qxbench_list" first "$plugin" --vs "$bench/qxbench_listfloor" --reads 2 \
    | tee -a "$log"

echo "== qxhost list --json: the whole process against the floor program" | tee -a "$log"
rack "$tool" "$bench/qxbench_timer" "$rackRuns" --figure "qxhost list --json / floor" 3 \
    "$qxhost" --plugin "$plugin" list --json --vs "$bench/qxbench_listfloor" | tee -a "$log"

echo "== qxhost list: the text listing against the JSON listing" | tee -a "$log"
rack "$tool" "$bench/qxbench_timer" "$rackRuns" --figure "qxhost list, text / JSON" '~1.1' \
    "$qxhost" --plugin "$plugin" list --vs "$qxhost" --plugin "$plugin" list --json | tee -a "$log"

echo "== listing, warm: a running host re-lists" | tee -a "$log"
rack "$tool" "$bench/qxbench_list" steady "$plugin" "$((rackRuns * 2))" | tee -a "$log"

echo "== change latency and monitor pass" | tee -a "$log"
rack "$tool" "$bench/qxbench_change" "$plugin" "$rackRuns" | tee -a "$log"

echo "== tree size: the rack under about 3,000 and about 200,000 device-tree entries" | tee -a "$log"
# The rack's boards with only the filler changed; each tree also holds about 900 entries of
# the boards themselves and one directory per 100 filler directories.
sed 's/^filler = .*/filler = 2100/' "$here/rack.ini" >"$work/tree-small.ini"
sed 's/^filler = .*/filler = 197000/' "$here/rack.ini" >"$work/tree-large.ini"
"$bench/qxbench_treesize" "$qxsim" "$tool" "$plugin" "$work" "$treeRuns" \
    "$work/tree-small.ini" "$work/tree-large.ini" | tee -a "$log"

if [ -x /usr/bin/ansible-playbook ]; then
    "$here/playbooks.sh" "$build" "$playRuns" | tee -a "$log"
else
    echo "== Ansible: /usr/bin/ansible-playbook is not installed (scripts/deps.sh --tests); left out" | tee -a "$log"
fi

echo "== memory" | tee -a "$log"
rack "$tool" "$bench/qxbench_memory" "$plugin" "$calls" | tee -a "$log"

if [ -n "$asan" ]; then
    echo "== memory under AddressSanitizer (leak check at exit)" | tee -a "$log"
    # Resident sizes mean little under the sanitizer; its exit status is the figure.
    if ASAN_OPTIONS=detect_leaks=1 rack "$asan/qxserialconfig/qxserialconfig" \
            "$asan/bench/qxbench_memory" "$asan/qx561xsae/libqx561xsae.so" "$calls" |
            grep -v '^figure' | tee -a "$log"; then
        echo "figure  leaks under AddressSanitizer  none" | tee -a "$log"
    else
        echo "figure  leaks under AddressSanitizer  FOUND (see above)" | tee -a "$log"
    fi
fi

echo "== figures"
grep '^figure' "$log" | sed 's/^figure  //'
