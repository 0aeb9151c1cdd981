# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
---
module: ports
short_description: Set the FIFO levels and RS-485 modes of many QX561x serial ports at once
description:
  - Manages the stored settings of many ports of a machine's QX561x boards in one task, such
    as every port of a rack PC, and applies them to the boards' driver.
  - Reads the machine once and changes only what differs, in one call of C(qxhost) that
    validates every value of every port before it stores any; ports already as wanted are
    not stored and no tool runs for them.
  - Ports are named as for M(qx561x.serial.port), and their settings have the same meaning
    and the same strict types.
  - Works through C(qxhost --json) alone; it never reads C(/etc/qxserial), C(/proc) or
    C(/sys) itself.
author:
  - qx561x maintainers (@qx561x)
options:
  ports:
    description:
      - The wanted settings, one entry per port. A port may be named once only.
      - Only the settings given are managed.
    type: list
    elements: dict
    required: true
    suboptions:
      name:
        description:
          - The port, by its port node (C(/dev/ttyQX561xPort4)), its device-tree path or its
            item name.
        type: str
        required: true
      rx:
        description:
          - Receive FIFO trigger level, as for M(qx561x.serial.port).
          - An integer, or a string of the digits C(0) to C(9).
        type: raw
      tx:
        description:
          - Transmit FIFO fill level, as for M(qx561x.serial.port).
          - An integer, or a string of the digits C(0) to C(9).
        type: raw
      mode:
        description:
          - RS-485 transceiver mode, as for M(qx561x.serial.port); a number, a string of
            digits, or a mode's name such as C(rts-on-send).
        type: raw
extends_documentation_fragment:
  - qx561x.serial.qxhost
attributes:
  check_mode:
    support: full
    description: The plug-in validates every new value; nothing is stored or applied.
  diff_mode:
    support: full
    description: Shows each changed port's managed keys before and after, one entry per port.
notes:
  - A refused value, a port that does not exist or a port named twice fails the task with
    the message of C(qxhost), naming the port; no value of the task is stored then.
  - A port whose settings were stored but could not be applied (its tool run failed) fails
    the task; the other ports are stored and applied all the same.
seealso:
  - module: qx561x.serial.port
  - module: qx561x.serial.port_info
'''

EXAMPLES = r'''
- name: Every port of the rack PC in one task
  qx561x.serial.ports:
    ports:
      - {name: /dev/ttyQX561xPort4, rx: 32, tx: 64, mode: 1}
      - {name: /dev/ttyQX561xPort5, rx: 32, tx: 64, mode: rts-on-send}
      - {name: /dev/ttyQX561xPort0, tx: 16}

- name: Only validate (check mode) and show what would change, port by port
  qx561x.serial.ports:
    ports:
      - {name: /dev/ttyQX561xPort4, rx: 16}
      - {name: /dev/ttyQX561xPort5, rx: 16}
  check_mode: true
  diff: true
'''

RETURN = r'''
ports:
  description: Each port of the task after it (in check mode, as it would be), in the order given.
  returned: success
  type: list
  elements: dict
  contains:
    name:
      description: The port as the task named it.
      type: str
      sample: /dev/ttyQX561xPort4
    item:
      description: The plug-in's item name of the port; null when the listing did not show the name.
      type: str
    node:
      description: The port node.
      type: str
      sample: /dev/ttyQX561xPort4
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
  description: Each key whose value the task changed (or would change in check mode), port by port.
  returned: always
  type: list
  elements: dict
  sample: [{"name": "/dev/ttyQX561xPort4", "node": "/dev/ttyQX561xPort4", "key": "rx", "before": 64, "after": 32}]
rc:
  description:
    - The exit status of C(qxhost) when it failed (1 for a failed plug-in call or a refused
      document); null when it did not run or was stopped after C(timeout).
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
  description: What failed in C(qxhost), as its error object names it; null when it printed none.
  returned: failure
  type: str
  sample: ValidateItemProperties
operation:
  description: The C(qxhost) command that failed (C(list) or C(set)), as its error object names it.
  returned: failure
  type: str
  sample: set
name:
  description: The port the failure concerns, as the task named it; null when it concerns several.
  returned: failure
  type: str
  sample: /dev/ttyQX561xPort77
'''

import json

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.qx561x.serial.plugins.module_utils.qxhost import (
    COMMON_ARGUMENT_SPEC, KEYS, Qxhost, QxhostError, all_ports, check_names, run_failing_clearly, setting_differs,
    setting_value)


def wanted_ports(module):
    """(name, [(key, value), ...]) for each entry, in the order given; the task fails on a
    value that is not written as a number (or a name), or a name given twice, before qxhost
    is asked anything."""
    wanted = []
    seen = set()
    for entry in module.params['ports']:
        name = entry['name']
        if not name:
            module.fail_json(msg='every entry of ports needs a name')
        if name in seen:
            module.fail_json(msg='ports names %s twice' % name)
        seen.add(name)
        try:
            settings = [(key, setting_value(key, entry.get(key))) for key in KEYS]
        except ValueError as e:
            module.fail_json(msg='%s: %s' % (name, e))
        wanted.append((name, [(key, value) for key, value in settings if value is not None]))
    return wanted


def settings_text(port, keys):
    return ''.join('%s: %s\n' % (key, 'null' if port.get(key) is None else port.get(key)) for key in keys)


def port_result(name, port):
    result = dict((key, port.get(key)) for key in ('item', 'node', 'rx', 'tx', 'mode'))
    result['name'] = name
    return result


def run_module(module):
    wanted = wanted_ports(module)
    qxhost = Qxhost(module)
    boards, unlisted = qxhost.listing()
    listed = {}
    for port in all_ports(boards, unlisted):
        for spelling in (port.get('item'), port.get('node'), port.get('path')):
            listed.setdefault(spelling, port)

    # A name the listing does not spell goes to qxhost as it is: it finds the port, or says
    # why there is none.
    document = {}
    for name, settings in wanted:
        port = listed.get(name)
        if port is not None:
            check_names(port, settings, name)
        sent = [(key, value) for key, value in settings if port is None or setting_differs(port, key, value)]
        if sent:
            document[name] = dict(sent)

    answered = {}
    if document:
        options = ['--from', '-'] + (['--dry-run'] if module.check_mode else [])
        data = json.dumps({'ports': document}).encode('utf-8')
        try:
            answer = qxhost.run('set', options=options, data_in=data)
        except QxhostError as e:
            if not e.document:
                raise
            # Every port was validated; those before and after a port that failed were stored.
            stored = [dict(name=name, node=entry.get('node'), key=change['key'], before=change['before'],
                           after=change['after'])
                      for name, entry in zip(document, e.document.get('ports') or [])
                      for change in entry.get('changes') or [] if change['before'] != change['after']]
            module.fail_json(changed=bool(stored), changes=stored, **e.fail_args())
        entries = answer.get('ports') or []
        if len(entries) != len(document):
            raise QxhostError('qxhost set reported %d ports for %d' % (len(entries), len(document)), rc=0)
        answered = dict(zip(document, entries))

    results = []
    changes = []
    diffs = []
    for name, settings in wanted:
        entry = answered.get(name)
        # A name the listing did not spell: qxhost's answer tells which port it is.
        before = dict(listed.get(name) or (entry and listed.get(entry['item'])) or {})
        if entry is not None:
            before.update(item=entry['item'], node=entry['node'])
        after = dict(before)
        for change in (entry or {}).get('changes') or []:
            before.setdefault(change['key'], change['before'])
            after[change['key']] = change['after']
            if change['before'] != change['after']:
                changes.append(dict(name=name, node=entry['node'], key=change['key'], before=change['before'],
                                    after=change['after']))
        results.append(port_result(name, after))
        managed = [key for key, _value in settings]
        if entry is not None and entry.get('changes'):
            diffs.append(dict(before_header=entry['node'], after_header=entry['node'],
                              before=settings_text(before, managed), after=settings_text(after, managed)))

    result = dict(changed=bool(changes), ports=results, changes=changes)
    if module._diff:
        result['diff'] = diffs
    module.exit_json(**result)


def main():
    argument_spec = dict(
        ports=dict(type='list', elements='dict', required=True, options=dict(
            name=dict(type='str', required=True),
            # Checked by setting_value, as for the port module.
            rx=dict(type='raw'),
            tx=dict(type='raw'),
            mode=dict(type='raw'),
        )),
    )
    argument_spec.update(COMMON_ARGUMENT_SPEC)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    run_failing_clearly(module, run_module)


if __name__ == '__main__':
    main()
