#!/usr/bin/env bash
# Applies a stored configuration to an RS-485 port and an RS-232 port of qxsim's default
# boards with the real tool, then shows what reached the simulated driver.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=build-release
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target qxserialconfig qxsim >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/inside.sh" <<'INSIDE'
set -eu
# A port's name and its section in the configuration file, as qxserialconfig(8) shows.
identify() {
    local name=$1 port board props id slot number
    port=$(find /sys/devices -type d -name "$name")
    board=${port%/*/*}
    props=/proc/driver/qx/pci:${board##*/}/busProperties
    id=$(od -An -tx4 "$props/pciDeviceID" | tr -d ' ' | sed 's/^0*//')
    slot=$(tr -d '\000' <"$props/pciSlotPath")
    number=$(ls "$board/tty" | sort -V | grep -nx "$name" | cut -d: -f1)
    echo "$port qx561x:$id:$slot:$number"
}
read -r rs485 rs485id < <(identify ttyQX561xPort2)
read -r rs232 rs232id < <(identify ttyQX561xPort9)

cat >/etc/qxserial/configuration.ini <<INI
[$rs485id]
FifoRxDepth=32
FifoTxDepth=64
Rs485TransceiverMode=1
[$rs232id]
FifoRxDepth=100
INI
printf '[defaults]\nFifoTxDepth=96\n' >/etc/qxserial/configuration_defaults.ini
echo "== /etc/qxserial/configuration.ini"; cat /etc/qxserial/configuration.ini
echo "== /etc/qxserial/configuration_defaults.ini"; cat /etc/qxserial/configuration_defaults.ini

for port in "$rs485" "$rs232"; do
    echo "== qxserialconfig --port $port --config-file /etc/qxserial/configuration.ini"
    status=0
    /usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig --port "$port" \
        --config-file /etc/qxserial/configuration.ini || status=$?
    echo "exit status $status"
done
INSIDE

"$build/sim/qxsim" --state "$work/state" -- bash "$work/inside.sh"
echo "== qxsim ports"
"$build/sim/qxsim" ports --state "$work/state"
echo "== qxsim journal"
"$build/sim/qxsim" journal --state "$work/state"
