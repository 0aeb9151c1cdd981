# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
---
module: port_info
short_description: List the QX561x serial boards of a machine and their ports
description:
  - Returns every QX561x board of the machine with its ports and their settings, as
    C(qxhost list --json) gives them, for use in C(when:) conditions and templates.
  - Changes nothing; safe in check mode.
  - Was called C(qx561x.serial.info) before; that name still leads here.
author:
  - qx561x maintainers (@qx561x)
options: {}
extends_documentation_fragment:
  - qx561x.serial.qxhost
attributes:
  check_mode:
    support: full
    description: Reads only; runs the same in check mode.
notes:
  - A configuration file that cannot be read leaves ports out of the listing; the task then
    warns, naming the file and line.
seealso:
  - module: qx561x.serial.port
'''

EXAMPLES = r'''
- name: Learn the machine's serial boards
  qx561x.serial.port_info:
  register: qx

- name: Mode 1 on every RS-485 port
  qx561x.serial.port:
    name: "{{ item.node }}"
    mode: 1
  loop: "{{ qx.ports.values() | selectattr('kind', 'eq', 'RS-485') | list }}"
  loop_control:
    label: "{{ item.node }}"

- name: Only on machines with the eight-port board
  ansible.builtin.debug:
    msg: "{{ qx.ports['/dev/ttyQX561xPort4'].rx }}"
  when: qx.boards | selectattr('model', 'eq', 'PCIe-5611/8') | list | length > 0
'''

RETURN = r'''
boards:
  description:
    - Every board with all its ports, as C(qxhost list --json) lists them (see
      C(qxhost(1))); C(slot) is null when the driver's slot path cannot be read.
  returned: always
  type: list
  elements: dict
  contains:
    item:
      description: The plug-in's item name of the board.
      type: str
    address:
      description: The board's PCI address.
      type: str
      sample: "0000:03:00.0"
    path:
      description: The board's device-tree path.
      type: str
    model:
      description: The board's model.
      type: str
      sample: PCIe-5611/2
    slot:
      description: The board's slot path.
      type: str
      sample: "3"
    serial:
      description: The board's serial number.
      type: str
    portCount:
      description: How many ports the board has.
      type: int
    ports:
      description:
        - The board's ports with C(item), C(node), C(path), C(number) (on the board, from
          1), C(kind) (C(RS-232) or C(RS-485)), C(rx), C(tx), C(mode) (null on RS-232),
          C(modeName) (the mode's name, such as C(rts-on-send); null on RS-232 and for a
          stored value that names no mode) and C(limits) (C(min), C(max) and C(default) of
          each key; for C(mode) also C(choices), each mode's C(value), C(name) and C(meaning)).
      type: list
      elements: dict
  sample:
    - item: "device:/sys/devices/pci0000|3A00/0000|3A00|3A1c.0/0000|3A03|3A00.0"
      address: "0000:03:00.0"
      path: /sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0
      model: PCIe-5611/2
      slot: "3"
      serial: 1A2B3C4D
      portCount: 2
      ports:
        - node: /dev/ttyQX561xPort0
          number: 1
          kind: RS-485
          rx: 64
          tx: 128
          mode: 3
          modeName: rts-on-send
unlisted_board_ports:
  description: Ports whose board could not be described, in the same shape as a board's ports.
  returned: always
  type: list
  elements: dict
ports:
  description: Every port of C(boards) and C(unlisted_board_ports), by its port node.
  returned: always
  type: dict
  sample:
    /dev/ttyQX561xPort0:
      node: /dev/ttyQX561xPort0
      kind: RS-485
      rx: 64
      tx: 128
      mode: 3
      modeName: rts-on-send
rc:
  description:
    - The exit status of C(qxhost) when it failed (1 for a failed plug-in call); null when it
      did not run or was stopped after C(timeout).
  returned: failure
  type: int
  sample: 1
code:
  description: The plug-in's result code, as C(0x%08X), when a plug-in call failed; else null.
  returned: failure
  type: str
  sample: "0x80004005"
symbol:
  description: The name of the result code, when a plug-in call failed; else null.
  returned: failure
  type: str
  sample: E_FAIL
call:
  description: The plug-in call that failed, as the error object of C(qxhost) names it.
  returned: failure
  type: str
  sample: Initialize
operation:
  description: The C(qxhost) command that failed, C(list).
  returned: failure
  type: str
  sample: list
name:
  description: The item the failure concerns, as the error object of C(qxhost) names it, if any.
  returned: failure
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.qx561x.serial.plugins.module_utils.qxhost import (
    COMMON_ARGUMENT_SPEC, Qxhost, QxhostError, all_ports)


def main():
    module = AnsibleModule(argument_spec=dict(COMMON_ARGUMENT_SPEC), supports_check_mode=True)
    try:
        boards, unlisted = Qxhost(module).listing()
    except QxhostError as e:
        module.fail_json(**e.fail_args())
    ports = dict((port.get('node'), port) for port in all_ports(boards, unlisted))
    module.exit_json(changed=False, boards=boards, unlisted_board_ports=unlisted, ports=ports)


if __name__ == '__main__':
    main()
