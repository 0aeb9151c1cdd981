# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
---
module: port
short_description: Set the FIFO levels and RS-485 mode of a QX561x serial port
description:
  - Manages the stored settings of one port of a QX561x RS-232 or RS-485 serial board
    (receive FIFO trigger level, transmit FIFO fill level and, on RS-485 ports, the
    transceiver mode) and applies them to the board's driver.
  - The port is named as people name it, by its port node such as C(/dev/ttyQX561xPort4);
    the plug-in finds its board and its configuration section, so one play serves machines
    whose boards sit in different slots.
  - Only the settings given are managed. The module reads the port first and changes only
    the values that differ, in one call that validates every value before it stores any.
  - Works through C(qxhost --json) alone; it never reads C(/etc/qxserial), C(/proc) or
    C(/sys) itself.
author:
  - qx561x maintainers (@qx561x)
options:
  name:
    description:
      - The port, by its port node (C(/dev/ttyQX561xPort4)), its device-tree path
        (C(/sys/devices/.../tty/ttyQX561xPort4)) or its item name (C(port:...)).
    type: str
    required: true
  rx:
    description:
      - Receive FIFO trigger level. The plug-in checks it against the port's bounds
        (1 to 127 on the current boards).
      - An integer, or a string of the digits C(0) to C(9). Anything else, such as a YAML
        boolean (C(yes)), a float or C(3_3), fails the task before any value is checked or
        stored.
      - Not managed when left out.
    type: raw
  tx:
    description:
      - Transmit FIFO fill level. The plug-in checks it against the port's bounds
        (1 to 128 on the current boards).
      - An integer, or a string of the digits C(0) to C(9), as for I(rx).
      - Not managed when left out.
    type: raw
  mode:
    description:
      - RS-485 transceiver mode, 0 (off) to 3, or its name (such as C(rts-on-send)) as
        C(qxhost) lists the port's mode choices. Only RS-485 ports have one; on an RS-232
        port the task fails.
      - An integer, a string of the digits C(0) to C(9) as for I(rx), or a name of lower-case
        letters and hyphens.
      - Not managed when left out.
    type: raw
  apply:
    description:
      - Apply the port's stored settings to the driver even when no value changed, as the
        udev rule does at boot. The task then reports C(changed).
      - A task that changes a value applies the port's settings anyway.
    type: bool
    default: false
extends_documentation_fragment:
  - qx561x.serial.qxhost
attributes:
  check_mode:
    support: full
    description: The plug-in validates the new values; nothing is stored or applied.
  diff_mode:
    support: full
    description: Shows each managed key before and after.
notes:
  - A refused value, or a port that does not exist, fails the task with the plug-in's
    message, its result code in C(code) and the code's name in C(symbol); no value of the
    task is stored then.
  - Values are applied at once by the plug-in, and again by the udev rule at boot and on
    hotplug.
seealso:
  - module: qx561x.serial.port_info
'''

EXAMPLES = r'''
- name: Deep receive FIFO on the first port of the rack's RS-485 board
  qx561x.serial.port:
    name: /dev/ttyQX561xPort4
    rx: 32
    tx: 64
    mode: 1

- name: Per-host levels from the inventory, re-applied on every run
  qx561x.serial.port:
    name: "{{ item.node }}"
    rx: "{{ item.rx | default(omit) }}"
    tx: "{{ item.tx | default(omit) }}"
    apply: true
  loop: "{{ serial_ports }}"

- name: Only validate (check mode) and show what would change
  qx561x.serial.port:
    name: /dev/ttyQX561xPort4
    rx: 16
  check_mode: true
  diff: true
'''

RETURN = r'''
port:
  description: The port after the task (in check mode, as it would be).
  returned: success
  type: dict
  contains:
    item:
      description: The plug-in's item name of the port.
      type: str
      sample: "port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.0/0000|3A03|3A00.0/tty/ttyQX561xPort4"
    node:
      description: The port node.
      type: str
      sample: /dev/ttyQX561xPort4
    path:
      description: The port's device-tree path.
      type: str
      sample: /sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0/tty/ttyQX561xPort4
    kind:
      description: C(RS-232) or C(RS-485).
      type: str
      sample: RS-485
    rx:
      description: Receive FIFO trigger level.
      type: int
      sample: 32
    tx:
      description: Transmit FIFO fill level.
      type: int
      sample: 64
    mode:
      description: RS-485 transceiver mode; null on an RS-232 port.
      type: int
      sample: 1
changes:
  description: Each key whose value the task changed (or would change in check mode).
  returned: success
  type: list
  elements: dict
  sample: [{"key": "rx", "before": 64, "after": 32}]
applied:
  description: Whether the port's settings were applied to the driver by this task.
  returned: success
  type: bool
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
  sample: "0x8004037F"
symbol:
  description: The name of the result code, when a plug-in call failed; else null.
  returned: failure
  type: str
  sample: E_SYSAPI_VALIDATION_VALUE
call:
  description:
    - What failed in C(qxhost), as its error object names it (the plug-in call, or C(refused)
      when C(qxhost) refused a value itself); null when C(qxhost) printed no error object.
  returned: failure
  type: str
  sample: ValidateItemProperties
operation:
  description: The C(qxhost) command that failed (C(list), C(show), C(set) or C(apply)), as its error object names it.
  returned: failure
  type: str
  sample: set
name:
  description: The item or port the failure concerns, as the error object of C(qxhost) names it.
  returned: failure
  type: str
  sample: /dev/ttyQX561xPort77
status:
  description: The exit status of C(qxserialconfig), when applying the stored settings failed.
  returned: failure
  type: int
  sample: 1
report:
  description: What C(qxserialconfig) reported, when applying the stored settings failed.
  returned: failure
  type: str
  sample: "qxserialconfig: setting rx failed"
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.qx561x.serial.plugins.module_utils.qxhost import (
    COMMON_ARGUMENT_SPEC, KEYS, Qxhost, QxhostError, all_ports, capped, check_names, run_failing_clearly,
    setting_differs, setting_value)


def find_port(qxhost, name):
    """The listed port that NAME names; qxhost resolves spellings the listing does not hold."""
    boards, unlisted = qxhost.listing()
    ports = list(all_ports(boards, unlisted))
    for port in ports:
        if name in (port.get('item'), port.get('node'), port.get('path')):
            return port
    # Not spelled as listed: let the plug-in judge the name, so that a port that does not
    # exist fails with its own message and result code.
    try:
        shown = qxhost.run('show', [name]).get('items') or []
    except QxhostError as e:
        if e.rc != 1:
            raise
        # The plug-in's message does not say which name it could not find.
        raise QxhostError('%s: %s' % (name, e.message), rc=e.rc, error=e.error, document=e.document)
    items = [entry.get('item') for entry in shown]
    for port in ports:
        if port.get('item') in items:
            return port
    raise QxhostError('%s names no port (it names %s)' % (name, ', '.join(str(i) for i in items) or 'nothing'),
                      rc=None)


def wanted_settings(module):
    """The managed keys and their wanted values, in qxhost's order; the task fails on a value
    that is not written as a number, before qxhost is asked anything."""
    try:
        wanted = [(key, setting_value(key, module.params[key])) for key in KEYS]
    except ValueError as e:
        module.fail_json(msg=str(e))
    return [(key, value) for key, value in wanted if value is not None]


def settings_text(port, keys):
    return ''.join('%s: %s\n' % (key, 'null' if port.get(key) is None else port.get(key)) for key in keys)


def port_result(port):
    return dict((key, port.get(key)) for key in ('item', 'node', 'path', 'kind', 'rx', 'tx', 'mode'))


def apply_settings(module, qxhost, port):
    try:
        document = qxhost.run('apply', [port['item']])
    except QxhostError as e:
        # A failing tool run still comes with the document that says how it failed.
        if e.document is None:
            raise
        document = e.document
    entries = document.get('ports') or []
    failed = [entry for entry in entries if not entry.get('applied')]
    if failed or not entries:
        entry = failed[0] if failed else {}
        report = capped(entry.get('report') or '')
        module.fail_json(msg='applying the settings of %s failed: %s' % (
            port.get('node'), report or 'exit status %s' % entry.get('status')),
            status=entry.get('status'), report=report, port=port_result(port), changes=[])


def run_module(module):
    name = module.params['name']
    if not name:
        module.fail_json(msg='name must name a port')
    wanted = wanted_settings(module)

    qxhost = Qxhost(module)
    before = find_port(qxhost, name)
    after = dict(before)
    check_names(before, wanted, name)
    differing = [(key, value) for key, value in wanted if setting_differs(before, key, value)]
    changes = []
    applied = False

    if differing:
        options = ['--dry-run'] if module.check_mode else []
        arguments = [before['item']] + ['%s=%s' % (key, value) for key, value in differing]
        document = qxhost.run('set', arguments, options)
        entries = document.get('ports') or []
        if len(entries) != 1:
            raise QxhostError('qxhost set reported %d ports for one port' % len(entries), rc=0)
        for change in entries[0].get('changes') or []:
            after[change['key']] = change['after']
            if change['before'] != change['after']:
                changes.append(dict(key=change['key'], before=change['before'], after=change['after']))
        applied = bool(entries[0].get('applied'))
    elif module.params['apply'] and not module.check_mode:
        apply_settings(module, qxhost, before)
        applied = True

    result = dict(
        changed=bool(changes) or (module.params['apply'] and not differing),
        port=port_result(after),
        changes=changes,
        applied=applied,
    )
    if module._diff:
        managed = [key for key, _value in wanted]
        result['diff'] = dict(before_header=before.get('node') or name, after_header=before.get('node') or name,
                              before=settings_text(before, managed), after=settings_text(after, managed))
    module.exit_json(**result)


def main():
    argument_spec = dict(
        name=dict(type='str', required=True),
        # Checked by setting_value: type='int' would take true as 1 and '3_3' as 33.
        rx=dict(type='raw'),
        tx=dict(type='raw'),
        mode=dict(type='raw'),
        apply=dict(type='bool', default=False),
    )
    argument_spec.update(COMMON_ARGUMENT_SPEC)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    run_failing_clearly(module, run_module)


if __name__ == '__main__':
    main()
