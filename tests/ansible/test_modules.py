# SPDX-License-Identifier: MIT
"""The modules of qx561x.serial run in-process against a fake qxhost: the arguments they
give qxhost, and how they read its JSON, its errors and its exit status."""

import atexit
import contextlib
import copy
import io
import json
import os
import shutil
import signal
import sys
import tempfile
import time
import unittest
from unittest import mock

COLLECTION = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'ansible')
FAKE = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'fake_qxhost.py')

# The source tree stands where Python finds collections: ansible_collections/NAMESPACE/NAME.
_root = tempfile.mkdtemp(prefix='qx-collection-')
atexit.register(shutil.rmtree, _root)
os.makedirs(os.path.join(_root, 'ansible_collections', 'qx561x'))
os.symlink(os.path.abspath(COLLECTION), os.path.join(_root, 'ansible_collections', 'qx561x', 'serial'))
sys.path.insert(0, _root)

from ansible.module_utils import basic  # noqa: E402
from ansible.module_utils.common import warnings  # noqa: E402
from ansible.module_utils.common.text.converters import to_bytes  # noqa: E402
from ansible_collections.qx561x.serial.plugins.modules import port, port_info, ports  # noqa: E402
from ansible_collections.qx561x.serial.plugins.module_utils import qxhost  # noqa: E402

PLUGIN = '/opt/test/libqx561xsae.so'
ITEM0 = 'port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.0/0000|3A03|3A00.0/tty/ttyQX561xPort0'
ITEM8 = 'port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.1/0000|3A04|3A00.0/tty/ttyQX561xPort8'
LIMITS485 = {'rx': {'min': 1, 'max': 127, 'default': 64}, 'tx': {'min': 1, 'max': 128, 'default': 128},
             'mode': {'min': 0, 'max': 3, 'default': 3}}
LISTING = {
    'boards': [
        {'item': 'device:/sys/devices/pci0000|3A00/0000|3A00|3A1c.0/0000|3A03|3A00.0',
         'address': '0000:03:00.0', 'path': '/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0',
         'model': 'PCIe-5611/2', 'slot': '3', 'serial': '1A2B3C4D', 'portCount': 1,
         'ports': [{'item': ITEM0, 'node': '/dev/ttyQX561xPort0',
                    'path': '/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0/tty/ttyQX561xPort0',
                    'number': 1, 'kind': 'RS-485', 'rx': 64, 'tx': 128, 'mode': 3, 'limits': LIMITS485}]},
        {'item': 'device:/sys/devices/pci0000|3A00/0000|3A00|3A1c.1/0000|3A04|3A00.0',
         'address': '0000:04:00.0', 'path': '/sys/devices/pci0000:00/0000:00:1c.1/0000:04:00.0',
         'model': 'PCI-5610/2', 'slot': None, 'serial': '01C0FFEE', 'portCount': 1,
         'ports': [{'item': ITEM8, 'node': '/dev/ttyQX561xPort8',
                    'path': '/sys/devices/pci0000:00/0000:00:1c.1/0000:04:00.0/tty/ttyQX561xPort8',
                    'number': 1, 'kind': 'RS-232', 'rx': 64, 'tx': 128, 'mode': None,
                    'limits': dict(LIMITS485, mode=None)}]}],
    'unlistedBoardPorts': [
        {'item': 'port:/sys/devices/x/tty/ttyQX561xPort30', 'node': '/dev/ttyQX561xPort30',
         'path': '/sys/devices/x/tty/ttyQX561xPort30', 'number': 1, 'kind': 'RS-485',
         'rx': 16, 'tx': 16, 'mode': 0, 'limits': LIMITS485}],
}


def set_document(changes, dry_run=False, item=ITEM0, node='/dev/ttyQX561xPort0'):
    names = {'rx': 'RxFifoDepth', 'tx': 'TxFifoDepth', 'mode': 'Rs485TransceiverMode'}
    return {'operation': 'set', 'dryRun': dry_run,
            'ports': [{'item': item, 'node': node, 'applied': not dry_run,
                       'changes': [{'key': k, 'name': names[k], 'before': b, 'after': a} for k, b, a in changes]}]}


def error(operation, call, message, code=None, symbol=None, name=None):
    return {'error': {'operation': operation, 'call': call, 'code': code, 'symbol': symbol,
                      'message': message, 'name': name}}


# What each key accepts, as a refusal says it.
ACCEPTED = {'rx': 'an integer or a string of the digits 0-9', 'tx': 'an integer or a string of the digits 0-9',
            'mode': 'an integer or a string of the digits 0-9 or a name of lower-case letters and hyphens'}

REFUSED_RX = error('set', 'ValidateItemProperties', 'RxFifoDepth 200 is outside 1..127',
                   '0x8004037F', 'E_SYSAPI_VALIDATION_VALUE', ITEM0)


def gone(pid):
    """Whether the fake qxhost or its sleep with PID has ended, waiting for a killed process to
    finish dying; a zombie has ended, and so has a PID that now runs something else."""
    for _ in range(600):
        try:
            with open('/proc/%d/stat' % pid) as f:
                zombie = f.read().rsplit(')', 1)[1].split()[0] in ('Z', 'X')
            with open('/proc/%d/cmdline' % pid, 'rb') as f:
                command = f.read()
            ours = b'qxhost' in command or command == b'sleep\0infinity\0'
        except FileNotFoundError:
            return True
        if zombie or not ours:
            return True
        time.sleep(0.05)
    return False


class ModuleTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix='qx-fake-')
        self.addCleanup(shutil.rmtree, self.dir)
        self.qxhost = os.path.join(self.dir, 'qxhost')
        shutil.copy(FAKE, self.qxhost)

    def respond(self, **responses):
        """Canned answers by command; 'set_dry_run' stands for "set --dry-run"."""
        table = {}
        for key, value in responses.items():
            table[key.replace('_dry_run', ' --dry-run')] = value
        table.setdefault('list', {'stdout': LISTING})
        with open(os.path.join(self.dir, 'responses.json'), 'w') as f:
            json.dump(table, f)

    def calls(self):
        """The argv of every qxhost run, without the program."""
        path = os.path.join(self.dir, 'calls.jsonl')
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return [json.loads(line) for line in f]

    def forget_calls(self):
        if os.path.exists(os.path.join(self.dir, 'calls.jsonl')):
            os.remove(os.path.join(self.dir, 'calls.jsonl'))

    def commands(self):
        return [[a for a in argv if a not in ('--plugin', PLUGIN)] for argv in self.calls()]

    def run_module(self, module, args, check_mode=False, diff=False):
        """The module's result, as Ansible would receive it."""
        args = dict(args, qxhost=args.get('qxhost', self.qxhost), plugin=PLUGIN,
                    _ansible_check_mode=check_mode, _ansible_diff=diff)
        basic._ANSIBLE_ARGS = to_bytes(json.dumps({'ANSIBLE_MODULE_ARGS': args}))
        out = io.StringIO()
        # Warnings are gathered in the module's process, which these runs share.
        with contextlib.redirect_stdout(out), self.assertRaises(SystemExit), \
                mock.patch.object(warnings, '_global_warnings', []):
            module.main()
        return json.loads(out.getvalue())


class PortTest(ModuleTest):
    def test_a_port_already_as_wanted_runs_no_set_or_apply(self):
        self.respond()
        for name in ('/dev/ttyQX561xPort0', ITEM0,
                     '/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0/tty/ttyQX561xPort0'):
            result = self.run_module(port, {'name': name, 'rx': 64, 'mode': 3})
            self.assertFalse(result['changed'], name)
            self.assertEqual([], result['changes'])
            self.assertEqual({'item': ITEM0, 'node': '/dev/ttyQX561xPort0', 'kind': 'RS-485', 'rx': 64, 'tx': 128,
                              'mode': 3, 'path': LISTING['boards'][0]['ports'][0]['path']}, result['port'])
        self.assertEqual([['list', '--json', '--']] * 3, self.commands())

    def test_only_the_differing_given_keys_are_set_in_one_call(self):
        self.respond(set={'stdout': set_document([('rx', 64, 32), ('mode', 3, 1)])})
        result = self.run_module(port, {'name': '/dev/ttyQX561xPort0', 'rx': 32, 'tx': 128, 'mode': 1}, diff=True)
        self.assertEqual([['list', '--json', '--'], ['set', '--json', '--', ITEM0, 'rx=32', 'mode=1']],
                         self.commands())
        self.assertEqual(['--plugin', PLUGIN], self.calls()[1][:2])
        self.assertTrue(result['changed'])
        self.assertTrue(result['applied'])
        self.assertEqual([{'key': 'rx', 'before': 64, 'after': 32}, {'key': 'mode', 'before': 3, 'after': 1}],
                         result['changes'])
        self.assertEqual((32, 128, 1), (result['port']['rx'], result['port']['tx'], result['port']['mode']))
        self.assertEqual({'before_header': '/dev/ttyQX561xPort0', 'after_header': '/dev/ttyQX561xPort0',
                          'before': 'rx: 64\ntx: 128\nmode: 3\n', 'after': 'rx: 32\ntx: 128\nmode: 1\n'},
                         result['diff'])

    def test_the_values_read_back_after_a_set_are_returned(self):
        # The plug-in is the judge of what was stored; the module reports what it read back.
        self.respond(set={'stdout': set_document([('tx', 128, 120)])})
        result = self.run_module(port, {'name': '/dev/ttyQX561xPort0', 'tx': 100})
        self.assertEqual(120, result['port']['tx'])
        self.assertEqual([{'key': 'tx', 'before': 128, 'after': 120}], result['changes'])

    def test_check_mode_validates_with_a_dry_run_and_reports_the_change(self):
        self.respond(set_dry_run={'stdout': set_document([('rx', 64, 32)], dry_run=True)})
        result = self.run_module(port, {'name': '/dev/ttyQX561xPort0', 'rx': 32}, check_mode=True, diff=True)
        self.assertEqual(['set', '--dry-run', '--json', '--', ITEM0, 'rx=32'], self.commands()[1])
        self.assertTrue(result['changed'])
        self.assertFalse(result['applied'])
        self.assertEqual(32, result['port']['rx'])
        self.assertEqual(('rx: 64\n', 'rx: 32\n'), (result['diff']['before'], result['diff']['after']))

    def test_apply_reapplies_only_when_nothing_was_set_and_not_in_check_mode(self):
        applied = {'operation': 'apply', 'ports': [{'item': ITEM0, 'node': '/dev/ttyQX561xPort0', 'path': '/sys/x',
                                                    'applied': True, 'status': 0, 'report': ''}]}
        self.respond(apply={'stdout': applied}, set={'stdout': set_document([('rx', 64, 32)])})
        cases = [
            # args, check mode, the command after list (None: none), changed
            ({'rx': 64, 'apply': True}, False, ['apply', '--json', '--', ITEM0], True),
            ({'rx': 64, 'apply': True}, True, None, True),
            ({'rx': 32, 'apply': True}, False, ['set', '--json', '--', ITEM0, 'rx=32'], True),
            ({'rx': 64, 'apply': False}, False, None, False),
        ]
        for args, check_mode, command, changed in cases:
            with self.subTest(args=args, check_mode=check_mode):
                self.forget_calls()
                result = self.run_module(port, dict(args, name='/dev/ttyQX561xPort0'), check_mode=check_mode)
                self.assertEqual(changed, result['changed'])
                self.assertEqual(['list', '--json', '--'], self.commands()[0])
                self.assertEqual([] if command is None else [command], self.commands()[1:])

    def test_a_name_the_listing_does_not_spell_is_resolved_by_the_plug_in(self):
        shown = {'items': [{'item': ITEM8, 'properties': []}]}
        self.respond(show={'stdout': shown})
        result = self.run_module(port, {'name': '/sys/devices/pci0000:00/0000:00:1c.1/0000:04:00.0/tty/'
                                                 'ttyQX561xPort8/', 'rx': 64})
        self.assertFalse(result['changed'])
        self.assertEqual('/dev/ttyQX561xPort8', result['port']['node'])
        self.assertEqual(['show', '--json', '--', '/sys/devices/pci0000:00/0000:00:1c.1/0000:04:00.0/tty/'
                          'ttyQX561xPort8/'], self.commands()[1])

    def test_failures_carry_qxhosts_message_code_and_status(self):
        missing = error('show', 'GetItemProperties', 'no such item, or a file the plug-in needs is missing',
                        '0x80040375', 'E_SYSAPI_ITEM_NOT_EXIST', '/dev/ttyQX561xPort77')
        rs232 = error('set', 'refused', 'mode applies to RS-485 ports only; /dev/ttyQX561xPort8 is RS-232',
                      name=ITEM8)
        board = {'items': [{'item': LISTING['boards'][0]['item'], 'properties': []}]}
        cases = [
            # name, args, check mode, responses, message, code, symbol, rc, commands run
            ('refused', {'rx': 200, 'tx': 1}, False, {'set': {'rc': 1, 'stderr': [REFUSED_RX]}},
             'RxFifoDepth 200 is outside 1..127', '0x8004037F', 'E_SYSAPI_VALIDATION_VALUE', 1, ['list', 'set']),
            ('refused in check mode', {'rx': 200}, True, {'set_dry_run': {'rc': 1, 'stderr': [REFUSED_RX]}},
             'RxFifoDepth 200 is outside 1..127', '0x8004037F', 'E_SYSAPI_VALIDATION_VALUE', 1, ['list', 'set']),
            ('mode on RS-232', {'name': '/dev/ttyQX561xPort8', 'mode': 1}, False, {'set': {'rc': 1, 'stderr': [rs232]}},
             'mode applies to RS-485 ports only', None, None, 1, ['list', 'set']),
            ('no such port', {'name': '/dev/ttyQX561xPort77', 'rx': 1}, False, {'show': {'rc': 1, 'stderr': [missing]}},
             '/dev/ttyQX561xPort77: no such item, or a file the plug-in needs is missing', '0x80040375',
             'E_SYSAPI_ITEM_NOT_EXIST', 1, ['list', 'show']),
            ('a board', {'name': '0000:03:00.0', 'rx': 1}, False, {'show': {'stdout': board}},
             '0000:03:00.0 names no port', None, None, None, ['list', 'show']),
            ('usage error', {'rx': 1}, False,
             {'set': {'rc': 2, 'stderr': [error(None, 'usage', 'unknown option --x')]}},
             'bug in the qx561x.serial collection; qxhost said: unknown option --x', None, None, 2,
             ['list', 'set']),
            ('not JSON', {'rx': 1}, False, {'list': {'stdout': 'boards: none\n'}},
             'qxhost printed no JSON document', None, None, 0, ['list']),
            ('no document', {'rx': 1}, False, {'list': {'stdout': ''}},
             'qxhost printed no JSON document', None, None, 0, ['list']),
            ('failure without an error object', {'rx': 1}, False, {'list': {'rc': 143, 'stderr': ['Terminated']}},
             'qxhost list failed with exit status 143: Terminated', None, None, 143, ['list']),
            ('another shape', {'rx': 1}, False, {'set': {'stdout': {'ports': [{'changes': [{'key': 'rx'}]}]}}},
             'qxhost printed JSON of another shape', None, None, None, ['list', 'set']),
            ('plug-in not loadable', {'rx': 1}, False,
             {'list': {'rc': 1, 'stderr': [error('list', 'load', 'cannot open shared object file', name=PLUGIN)]}},
             'cannot open shared object file', None, None, 1, ['list']),
            ('no qxhost', {'qxhost': '/nonexistent/qxhost', 'rx': 1}, False, {},
             'qxhost is not an executable file at /nonexistent/qxhost', None, None, None, []),
            ('20 MB of text', {'rx': 1}, False, {'list': {'rc': 1, 'junk': 20000000}},
             '\n[... 19934464 bytes cut ...]\n', None, None, 1, ['list']),
            ('an error object after 20 MB of text', {'rx': 1}, False, {'list': {'rc': 1, 'junk': 20000000, 'stderr': [
                error('list', 'Initialize', 'the plug-in could not start', '0x80004005', 'E_FAIL')]}},
             'the plug-in could not start', '0x80004005', 'E_FAIL', 1, ['list']),
            ('a document larger than any listing', {'rx': 1}, False, {'list': {'junk': 20000000, 'junk_on': 'stdout'}},
             'qxhost list printed more than 16777216 bytes on standard output; it was stopped', None, None, None,
             ['list']),
            ('no time', {'timeout': 0, 'rx': 1}, False, {}, 'timeout must be at least 1 second, got 0', None, None,
             None, []),
            ('empty name', {'name': '', 'rx': 1}, False, {}, 'name must name a port', None, None, None, []),
        ]
        for name, args, check_mode, responses, message, code, symbol, rc, commands in cases:
            with self.subTest(name):
                self.forget_calls()
                self.respond(**copy.deepcopy(responses))
                result = self.run_module(port, dict({'name': '/dev/ttyQX561xPort0'}, **args), check_mode=check_mode)
                self.assertTrue(result.get('failed'), result)
                self.assertIn(message, result['msg'])
                self.assertEqual(code, result.get('code'))
                self.assertEqual(symbol, result.get('symbol'))
                self.assertEqual(rc, result.get('rc'))
                self.assertEqual(commands, [c[0] for c in self.commands()])
                self.assertLessEqual(len(result['msg']), qxhost.TEXT_LIMIT + 200)

    def test_settings_are_whole_numbers_written_as_such_and_nothing_else(self):
        self.respond(set={'stdout': set_document([])}, set_dry_run={'stdout': set_document([], dry_run=True)})
        accepted = [
            # key, value as the task gives it, the argument qxhost gets
            ('rx', 32, 'rx=32'), ('tx', '16', 'tx=16'), ('mode', '0', 'mode=0'), ('rx', '0032', 'rx=32'),
            ('tx', 4294967295, 'tx=4294967295'), ('mode', 'enabled', 'mode=enabled'),
        ]
        refused = [
            # key, value, how the message shows it
            ('rx', True, 'the boolean true'), ('tx', False, 'the boolean false'),
            ('tx', '3_3', 'the string "3_3"'), ('tx', '\uff11', 'the string "\uff11"'),
            ('rx', '\u00b2', 'the string "\u00b2"'), ('mode', 1.0, 'the float 1.0'), ('rx', 2.5, 'the float 2.5'),
            ('rx', ' 8', 'the string " 8"'), ('rx', '+8', 'the string "+8"'), ('rx', '-1', 'the string "-1"'),
            ('rx', '0x10', 'the string "0x10"'), ('rx', '', 'the string ""'), ('rx', 'enabled', 'the string "enabled"'),
            ('mode', 'Enabled', 'the string "Enabled"'), ('mode', 'rts on send', 'the string "rts on send"'),
            ('rx', [8], 'the list [8]'), ('tx', {'v': 8}, 'the dictionary {"v": 8}'),
        ]
        out_of_range = [('tx', -1, 'tx must be a whole number from 0 to 4294967295, got -1'),
                        ('rx', '4294967296', 'rx must be a whole number from 0 to 4294967295, got 4294967296')]
        for check_mode in (False, True):
            for key, value, argument in accepted:
                with self.subTest(key=key, value=value, check_mode=check_mode):
                    self.forget_calls()
                    result = self.run_module(port, {'name': '/dev/ttyQX561xPort0', key: value}, check_mode=check_mode)
                    self.assertFalse(result.get('failed'), result)
                    self.assertEqual(argument, self.commands()[1][-1])
            for key, value, message in [(k, v, '%s must be %s, not %s' % (k, ACCEPTED[k], shown))
                                        for k, v, shown in refused] + out_of_range:
                with self.subTest(key=key, value=value, check_mode=check_mode):
                    self.forget_calls()
                    result = self.run_module(port, {'name': '/dev/ttyQX561xPort0', 'rx': 64, key: value},
                                             check_mode=check_mode)
                    self.assertTrue(result.get('failed'), result)
                    self.assertEqual(message, result['msg'])
                    self.assertEqual([], self.calls())

    def test_a_qxhost_that_does_not_answer_is_stopped_with_what_it_started(self):
        for hang in ('briefly', 'ignoring SIGTERM'):
            for module, args in ((port, {'name': '/dev/ttyQX561xPort0', 'rx': 1}), (port_info, {})):
                with self.subTest(hang=hang, module=module.__name__), mock.patch.object(qxhost, 'TERM_GRACE', 0.2):
                    self.respond(list={'hang': hang})
                    result = self.run_module(module, dict(args, timeout=1))
                    self.assertTrue(result.get('failed'), result)
                    self.assertEqual('qxhost list did not finish within 1 seconds; it was stopped, with every process '
                                     'it started', result['msg'])
                    with open(os.path.join(self.dir, 'hung.json')) as f:
                        pids = json.load(f)
                    os.remove(os.path.join(self.dir, 'hung.json'))
                    for pid in pids:
                        left = not gone(pid)
                        if left:
                            os.kill(pid, signal.SIGKILL)
                        self.assertFalse(left, pid)

    def test_a_failing_apply_reports_the_tools_account(self):
        failed = {'operation': 'apply', 'ports': [{'item': ITEM0, 'node': '/dev/ttyQX561xPort0', 'path': '/sys/x',
                                                   'applied': False, 'status': 1,
                                                   'report': 'qxserialconfig: setting rx failed'}]}
        self.respond(apply={'rc': 1, 'stdout': failed, 'stderr': [
            error('apply', 'qxserialconfig', 'qxserialconfig failed for /dev/ttyQX561xPort0', name=ITEM0)]})
        result = self.run_module(port, {'name': '/dev/ttyQX561xPort0', 'apply': True})
        self.assertTrue(result['failed'])
        self.assertEqual('applying the settings of /dev/ttyQX561xPort0 failed: qxserialconfig: setting rx failed',
                         result['msg'])
        self.assertEqual(1, result['status'])

    def test_warnings_of_the_listing_reach_the_play(self):
        warning = {'warning': {'file': '/etc/qxserial/configuration.ini', 'line': 3,
                               'message': "'=' character not found in line"}}
        self.respond(list={'stdout': LISTING, 'stderr': [warning]})
        result = self.run_module(port, {'name': '/dev/ttyQX561xPort0', 'rx': 64})
        self.assertEqual(["/etc/qxserial/configuration.ini:3: '=' character not found in line"], result['warnings'])


def listing_with_mode_names():
    """LISTING as a qxhost that names the RS-485 modes lists it."""
    listing = copy.deepcopy(LISTING)
    port0 = listing['boards'][0]['ports'][0]
    port0['modeName'] = 'rts-on-send'
    port0['limits']['mode']['choices'] = [{'value': v, 'name': n, 'meaning': ''} for v, n in
                                          enumerate(('off', 'rx-during-tx', 'enabled', 'rts-on-send'))]
    return listing


class PortsTest(ModuleTest):
    def given(self):
        """Every document the module gave qxhost on standard input."""
        with open(os.path.join(self.dir, 'stdin.jsonl')) as f:
            return [json.loads(json.loads(line)) for line in f]

    def test_only_what_differs_goes_to_one_set_on_standard_input(self):
        path8 = LISTING['boards'][1]['ports'][0]['path']
        answer = {'operation': 'set', 'dryRun': False, 'ports': [
            {'item': ITEM0, 'node': '/dev/ttyQX561xPort0', 'applied': True,
             'changes': [{'key': 'mode', 'name': 'Rs485TransceiverMode', 'before': 3, 'after': 1}]},
            {'item': 'port:/sys/devices/x/tty/ttyQX561xPort30', 'node': '/dev/ttyQX561xPort30', 'applied': True,
             'changes': [{'key': 'tx', 'name': 'TxFifoDepth', 'before': 16, 'after': 17}]},
            {'item': ITEM8, 'node': '/dev/ttyQX561xPort8', 'applied': False, 'changes': []}]}
        self.respond(set={'stdout': answer}, set_dry_run={'stdout': dict(answer, dryRun=True)})
        wanted = [{'name': '/dev/ttyQX561xPort0', 'rx': 64, 'mode': '1'},
                  {'name': '/dev/ttyQX561xPort30', 'tx': 17, 'rx': 16},
                  {'name': path8 + '/', 'tx': 128},  # not spelled as listed: qxhost judges it
                  {'name': ITEM8, 'rx': 64}]
        for check_mode in (False, True):
            with self.subTest(check_mode=check_mode):
                self.forget_calls()
                result = self.run_module(ports, {'ports': wanted}, check_mode=check_mode, diff=True)
                self.assertEqual([['list', '--json', '--'], ['set', '--from', '-'] + ['--dry-run'] * check_mode +
                                  ['--json', '--']], self.commands())
                self.assertEqual({'ports': {'/dev/ttyQX561xPort0': {'mode': 1}, '/dev/ttyQX561xPort30': {'tx': 17},
                                            path8 + '/': {'tx': 128}}}, self.given()[-1])
                self.assertTrue(result['changed'])
                self.assertEqual([{'name': '/dev/ttyQX561xPort0', 'node': '/dev/ttyQX561xPort0', 'key': 'mode',
                                   'before': 3, 'after': 1},
                                  {'name': '/dev/ttyQX561xPort30', 'node': '/dev/ttyQX561xPort30', 'key': 'tx',
                                   'before': 16, 'after': 17}], result['changes'])
                self.assertEqual([(64, 128, 1), (16, 17, 0), (64, 128, None), (64, 128, None)],
                                 [(p['rx'], p['tx'], p['mode']) for p in result['ports']])
                self.assertEqual([('/dev/ttyQX561xPort0', 'rx: 64\nmode: 3\n', 'rx: 64\nmode: 1\n'),
                                  ('/dev/ttyQX561xPort30', 'rx: 16\ntx: 16\n', 'rx: 16\ntx: 17\n')],
                                 [(d['before_header'], d['before'], d['after']) for d in result['diff']])

    def test_a_machine_as_wanted_is_only_listed(self):
        self.respond(list={'stdout': listing_with_mode_names()})
        result = self.run_module(ports, {'ports': [{'name': '/dev/ttyQX561xPort0', 'rx': '64', 'mode': 'rts-on-send'},
                                                   {'name': '/dev/ttyQX561xPort8', 'tx': 128}]})
        self.assertEqual((False, []), (result['changed'], result['changes']))
        self.assertEqual([['list', '--json', '--']], self.commands())

    def test_what_is_refused_before_qxhost_is_asked_to_set(self):
        cases = [
            # ports, listing, message
            ([{'name': '/dev/ttyQX561xPort0', 'rx': 1}, {'name': '/dev/ttyQX561xPort0', 'tx': 1}], LISTING,
             'ports names /dev/ttyQX561xPort0 twice'),
            ([{'name': '/dev/ttyQX561xPort0', 'rx': True}], LISTING,
             '/dev/ttyQX561xPort0: rx must be an integer or a string of the digits 0-9, not the boolean true'),
            ([{'name': '/dev/ttyQX561xPort0', 'mode': 'rts-on-sned'}], listing_with_mode_names(),
             'mode of /dev/ttyQX561xPort0 must be a number or one of off, rx-during-tx, enabled, rts-on-send, '
             'not "rts-on-sned"'),
        ]
        for wanted, listing, message in cases:
            with self.subTest(message=message):
                self.respond(list={'stdout': listing})
                self.forget_calls()
                result = self.run_module(ports, {'ports': wanted})
                self.assertTrue(result.get('failed'), result)
                self.assertEqual(message, result['msg'])
                self.assertNotIn('set', [c[0] for c in self.commands()])

    def test_a_port_that_fails_after_the_others_were_stored_fails_the_task_as_changed(self):
        failed = error('set', 'SetItemProperties2', 'the settings were stored, but qxserialconfig could not apply '
                       'them to the port', '0x80004005', 'E_FAIL', '/dev/ttyQX561xPort30')
        self.respond(set={'rc': 1, 'stderr': [failed], 'stdout': {'operation': 'set', 'dryRun': False, 'ports': [
            {'item': ITEM0, 'node': '/dev/ttyQX561xPort0', 'applied': True,
             'changes': [{'key': 'rx', 'name': 'RxFifoDepth', 'before': 64, 'after': 8}]},
            {'item': 'port:/sys/devices/x/tty/ttyQX561xPort30', 'node': '/dev/ttyQX561xPort30', 'applied': False,
             'changes': [{'key': 'rx', 'name': 'RxFifoDepth', 'before': 16, 'after': None}]}]}})
        result = self.run_module(ports, {'ports': [{'name': '/dev/ttyQX561xPort0', 'rx': 8},
                                                   {'name': '/dev/ttyQX561xPort30', 'rx': 8}]})
        self.assertEqual((True, True, '/dev/ttyQX561xPort30'), (result['failed'], result['changed'], result['name']))
        self.assertEqual(['/dev/ttyQX561xPort0', '/dev/ttyQX561xPort30'], [c['name'] for c in result['changes']])

    def test_a_refusal_names_the_port_and_the_value(self):
        refused = error('set', 'ValidateItemProperties', 'RxFifoDepth 200 is outside 1..127', '0x8004037F',
                        'E_SYSAPI_VALIDATION_VALUE', '/dev/ttyQX561xPort0')
        self.respond(set={'rc': 1, 'stderr': [refused]})
        result = self.run_module(ports, {'ports': [{'name': '/dev/ttyQX561xPort0', 'rx': 200}]})
        self.assertTrue(result['failed'])
        self.assertEqual(('RxFifoDepth 200 is outside 1..127', '/dev/ttyQX561xPort0', '0x8004037F', 1),
                         (result['msg'], result['name'], result['code'], result['rc']))


class PortInfoTest(ModuleTest):
    def test_returns_the_listing_and_every_port_by_node_also_in_check_mode(self):
        self.respond()
        for check_mode in (False, True):
            result = self.run_module(port_info, {}, check_mode=check_mode)
            self.assertFalse(result['changed'])
            self.assertEqual(LISTING['boards'], result['boards'])
            self.assertEqual(LISTING['unlistedBoardPorts'], result['unlisted_board_ports'])
            self.assertEqual(['/dev/ttyQX561xPort0', '/dev/ttyQX561xPort30', '/dev/ttyQX561xPort8'],
                             sorted(result['ports']))
            self.assertEqual(LISTING['boards'][1]['ports'][0], result['ports']['/dev/ttyQX561xPort8'])
        self.assertEqual([['list', '--json', '--']] * 2, self.commands())

    def test_an_empty_machine_and_a_failing_plug_in(self):
        self.respond(list={'stdout': {'boards': [], 'unlistedBoardPorts': []}})
        result = self.run_module(port_info, {})
        self.assertEqual(({}, []), (result['ports'], result['boards']))
        self.respond(list={'rc': 1, 'stderr': [error('list', 'Initialize', 'the plug-in could not start',
                                                       '0x80004005', 'E_FAIL')]})
        result = self.run_module(port_info, {})
        self.assertTrue(result['failed'])
        self.assertEqual(('the plug-in could not start', '0x80004005'), (result['msg'], result['code']))


if __name__ == '__main__':
    unittest.main()
