#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A 64-port simulated machine configured from Ansible: one qx561x.serial.ports task against
# a loop of qx561x.serial.port tasks over the same ports, each as a whole ansible-playbook
# run (-c local) under qxsim, interleaved, medians; first run (every port differs) and
# rerun (nothing differs).
#   bench/playbooks.sh [BUILD_DIR] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build-release}" && pwd)
runs=${2:-5}
qxsim=$build/sim/qxsim
qxhost=$build/host/qxhost
tool=$build/qxserialconfig/qxserialconfig
timer=$build/bench/qxbench_timer
playbook=/usr/bin/ansible-playbook  # Debian's ansible-core, on Debian's python3
for f in "$qxsim" "$qxhost" "$tool" "$timer" "$playbook"; do
    [ -x "$f" ] || { echo "missing $f; build the bench target first" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/collections/ansible_collections/qx561x" "$work/home"
ln -s "$here/../ansible" "$work/collections/ansible_collections/qx561x/serial"
printf '[defaults]\ninterpreter_python = /usr/bin/python3\nretry_files_enabled = false\n' >"$work/ansible.cfg"

# Every port new levels, and a mode on the RS-485 ones (ports 32-47 are the RS-232 board's).
{
    echo "wanted:"
    for n in $(seq 0 63); do
        if [ "$n" -ge 32 ] && [ "$n" -lt 48 ]; then
            echo "  - {name: /dev/ttyQX561xPort$n, rx: 32, tx: 64}"
        else
            echo "  - {name: /dev/ttyQX561xPort$n, rx: 32, tx: 64, mode: 1}"
        fi
    done
} >"$work/vars.yml"
play() {  # FILE, then the tasks
    local file=$1; shift
    cat >"$file" <<YAML
- hosts: localhost
  gather_facts: false
  module_defaults:
    group/qx561x.serial.qxhost:
      qxhost: $qxhost
  tasks:
$(printf '%s\n' "$@")
YAML
}
play "$work/loop.yml" \
    "    - qx561x.serial.port:" \
    "        name: '{{ item.name }}'" \
    "        rx: '{{ item.rx }}'" \
    "        tx: '{{ item.tx }}'" \
    "        mode: '{{ item.mode | default(omit) }}'" \
    "      loop: '{{ wanted }}'"
play "$work/one.yml" \
    "    - qx561x.serial.ports:" \
    "        ports: '{{ wanted }}'"

# One run of PLAYBOOK on the machine; "first" forgets the stored settings beforehand, so that
# every port differs (the driver's state does not count: the modules read what is stored).
cat >"$work/run" <<SH
#!/bin/sh
[ "\$1" = first ] && rm -f /etc/qxserial/configuration.ini
exec env HOME="$work/home" ANSIBLE_HOME="$work/home" ANSIBLE_CONFIG="$work/ansible.cfg" \\
    ANSIBLE_COLLECTIONS_PATH="$work/collections" ANSIBLE_LOCAL_TEMP="$work/home/tmp" \\
    ANSIBLE_REMOTE_TEMP="$work/home/remote" ANSIBLE_NOCOLOR=1 \\
    "$playbook" -i localhost, -c local -e @"$work/vars.yml" "\$2"
SH
chmod +x "$work/run"
sim() { "$qxsim" --boards "$here/../tests/data/rack64_boards.ini" --state "$work/state" --tool "$tool" -- "$@"; }

echo "== 64 ports from Ansible, first run: one ports task against a loop of port tasks"
sim "$timer" "$runs" --figure "ports task / port loop, first" 0.15 \
    "$work/run" first "$work/one.yml" --vs "$work/run" first "$work/loop.yml"
echo "== 64 ports from Ansible, rerun: nothing differs"
sim "$timer" "$runs" --figure "ports task / port loop, rerun" 0.15 \
    "$work/run" again "$work/one.yml" --vs "$work/run" again "$work/loop.yml"
# Both sides reached the driver with the same values.
"$qxsim" ports --state "$work/state" | sed -n '1p;33p'
