# SPDX-License-Identifier: MIT
"""The collection built, installed into a temporary path and run by ansible-playbook under
qxsim with the built qxhost (qxsim shows the built plug-in at its installed path, the
modules' default): what the plays report, what the driver's journal and the configuration
file show.

    system_test.py --qxsim Q --qxhost H --collection SRC --boards FILE --fleet-boards FILE
                   --rack-boards FILE [unittest args]
"""

import argparse
import base64
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import yaml

from readme_example import write_example

ARGS = None
ANSIBLE_BIN = '/usr/bin'  # Debian's ansible-core, on Debian's python3
CONFIGURATION = '/etc/qxserial/configuration.ini'
PORT4 = '/dev/ttyQX561xPort4'


def run(argv, env=None, cwd=None):
    return subprocess.run(argv, env=env, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          universal_newlines=True, check=False)


class Ansible(object):
    """ansible-galaxy, ansible-doc and ansible-playbook with every directory of their own."""

    def __init__(self, root):
        self.root = root
        self.collections = os.path.join(root, 'collections')
        home = os.path.join(root, 'home')
        os.makedirs(home)
        config = os.path.join(root, 'ansible.cfg')
        with open(config, 'w') as f:
            f.write('[defaults]\ninterpreter_python = /usr/bin/python3\nnocolor = true\n'
                    'retry_files_enabled = false\n')
        self.env = dict((k, v) for k, v in os.environ.items() if not k.startswith('ANSIBLE_'))
        self.env.update(HOME=home, ANSIBLE_HOME=home, ANSIBLE_CONFIG=config,
                        ANSIBLE_LOCAL_TEMP=os.path.join(root, 'local-tmp'),
                        ANSIBLE_REMOTE_TEMP=os.path.join(root, 'remote-tmp'),
                        ANSIBLE_COLLECTIONS_PATH=self.collections, ANSIBLE_FORCE_COLOR='0',
                        LANG='C.UTF-8', LC_ALL='C.UTF-8')

    def tool(self, name, *args):
        return run([os.path.join(ANSIBLE_BIN, name)] + list(args), env=self.env, cwd=self.root)


class Sim(object):
    """One simulated machine: its state carries over from one run to the next."""

    def __init__(self, root, boards=None):
        self.state = os.path.join(root, 'state')
        self.boards = boards or ARGS.boards

    def run(self, argv, env=None, cwd=None):
        return run([ARGS.qxsim, '--boards', self.boards, '--state', self.state, '--'] + argv, env=env, cwd=cwd)

    def ports(self):
        """What the driver holds, by port: {'ttyQX561xPort0': {'rx': '32', ...}}."""
        result = run([ARGS.qxsim, 'ports', '--state', self.state])
        assert result.returncode == 0, result.stderr
        return dict((line.split()[0], dict(field.split('=', 1) for field in line.split()[1:]))
                    for line in result.stdout.splitlines())

    def journal(self):
        result = run([ARGS.qxsim, 'journal', '--state', self.state])
        assert result.returncode == 0, result.stderr
        return result.stdout.splitlines()

    def configuration(self):
        """The configuration file's bytes inside the simulation; None when there is none."""
        result = self.run(['/bin/sh', '-c', 'test ! -e "$1" || base64 -w0 "$1"', 'sh', CONFIGURATION])
        assert result.returncode == 0, result.stderr
        return base64.b64decode(result.stdout) if result.stdout else None


def command_line(pid):
    """The command line of a running PID; '' when there is none."""
    try:
        with open('/proc/%s/cmdline' % pid) as f:
            return f.read()
    except FileNotFoundError:
        return ''


def recap(output, host='localhost'):
    """The PLAY RECAP counters of HOST."""
    match = re.search(r'^%s\s*:\s*(.*)$' % re.escape(host), output, re.MULTILINE)
    assert match, output
    return dict((k, int(v)) for k, v in re.findall(r'(\w+)=(\d+)', match.group(1)))


class CollectionTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix='qx-ansible-')
        cls.ansible = Ansible(cls.root)
        built = cls.ansible.tool('ansible-galaxy', 'collection', 'build', '--output-path', cls.root, ARGS.collection)
        assert built.returncode == 0, built.stdout + built.stderr
        tarball = os.path.join(cls.root, 'qx561x-serial-%s.tar.gz' % cls.version())
        installed = cls.ansible.tool('ansible-galaxy', 'collection', 'install', '--offline',
                                     '-p', cls.ansible.collections, tarball)
        assert installed.returncode == 0, installed.stdout + installed.stderr

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root)

    @staticmethod
    def version():
        with open(os.path.join(ARGS.collection, 'galaxy.yml')) as f:
            return re.search(r'^version: *(\S+)$', f.read(), re.MULTILINE).group(1)

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix='play-', dir=self.root)
        self.sim = Sim(self.dir)

    def play(self, tasks, *options, **play):
        """ansible-playbook on localhost under the simulation; its exit status and output."""
        playbook = os.path.join(self.dir, 'play.yml')
        with open(playbook, 'w') as f:
            json.dump([dict({'hosts': 'localhost', 'gather_facts': False, 'tasks': tasks,
                             'module_defaults': {'group/qx561x.serial.qxhost': {'qxhost': ARGS.qxhost}}}, **play)], f)
        return self.playbook(playbook, '-i', 'localhost,', *options)

    def playbook(self, playbook, *options, **kwargs):
        sim = kwargs.get('sim', self.sim)
        result = sim.run([os.path.join(ANSIBLE_BIN, 'ansible-playbook'), '-c', 'local', playbook] + list(options),
                         env=self.ansible.env, cwd=self.dir)
        return result.returncode, result.stdout + result.stderr

    def play_results(self, tasks, *options, **play):
        """Runs every task, failing or not, and returns their results in order, with the recap."""
        out = os.path.join(self.dir, 'results.json')
        names = ['r%d' % i for i in range(len(tasks))]
        registered = [dict(task, register=name, ignore_errors=True) for task, name in zip(tasks, names)]
        dump = {'ansible.builtin.copy': {'content': '{{ [%s] | to_json }}' % ', '.join(names), 'dest': out},
                'check_mode': False, 'changed_when': False}
        status, output = self.play(registered + [dump], *options, **play)
        self.assertEqual(0, status, output)
        with open(out) as f:
            return json.load(f), recap(output)

    @staticmethod
    def port_task(**settings):
        return {'name': 'port', 'qx561x.serial.port': dict({'name': PORT4}, **settings)}

    def test_installed_documentation(self):
        failure = ['rc', 'code', 'symbol', 'call', 'operation', 'name']
        cases = [
            # the name asked for, the module shown, words it holds
            ('port', 'port', ['= name', 'rx', 'tx', 'mode', 'apply', 'qxhost', 'plugin', 'timeout', '0x8004037F',
                              'REQUIREMENTS', 'status', 'report'] + failure),
            ('port_info', 'port_info', ['boards', 'unlisted_board_ports', 'ports', 'qxhost', 'plugin', 'timeout',
                                        'REQUIREMENTS'] + failure),
            ('info', 'port_info', ['boards']),
            ('ports', 'ports', ['= ports', 'rx', 'tx', 'mode', 'changes', 'qxhost', 'plugin', 'timeout',
                                'REQUIREMENTS'] + failure),
        ]
        for name, module, words in cases:
            shown = self.ansible.tool('ansible-doc', 'qx561x.serial.' + name)
            self.assertEqual(0, shown.returncode, shown.stderr)
            self.assertIn('> QX561X.SERIAL.%s' % module.upper(), shown.stdout)
            self.assertIn(self.ansible.collections, shown.stdout)
            for word in words:
                self.assertIn(word, shown.stdout, name)
            # Markup newer than the oldest ansible-core the collection declares prints as it is.
            self.assertIsNone(re.search(r'\b(RV|O|V|E|P)\(', shown.stdout), name)

    def test_every_example_succeeds(self):
        tasks = []
        for module in ('port_info', 'port', 'ports'):
            shown = self.ansible.tool('ansible-doc', '--json', 'qx561x.serial.' + module)
            self.assertEqual(0, shown.returncode, shown.stderr)
            tasks += yaml.safe_load(json.loads(shown.stdout)['qx561x.serial.' + module]['examples'])
        serial_ports = [{'node': PORT4, 'rx': 16}, {'node': '/dev/ttyQX561xPort0', 'tx': 8}]
        status, output = self.play(tasks, vars={'serial_ports': serial_ports})
        self.assertEqual(0, status, output)
        self.assertEqual(0, recap(output)['failed'], output)
        self.assertIn('ttyQX561xPort0 tx 8 ok', self.sim.journal())

    def test_a_value_not_written_as_a_number_changes_nothing(self):
        # As a play's author writes them: YAML's yes is a boolean.
        refused = [('rx', 'yes', 'the boolean true'), ('rx', 'true', 'the boolean true'),
                   ('tx', '"3_3"', 'the string "3_3"'), ('tx', '"\uff11"', 'the string "\uff11"'),
                   ('mode', '1.0', 'the float 1.0'), ('tx', '"0x10"', 'the string "0x10"')]
        status, output = self.play([self.port_task(rx=32, tx=64, mode=1)])
        self.assertEqual(0, status, output)
        stored, journal = self.sim.configuration(), self.sim.journal()
        tasks = [self.port_task(**yaml.safe_load('{rx: 16, %s: %s}' % (key, text))) for key, text, _shown in refused]
        for options in ((), ('--check',)):
            results, counts = self.play_results(tasks, *options)
            self.assertEqual(len(refused), counts['ignored'], options)
            names = {'mode': ' or a name of lower-case letters and hyphens'}
            self.assertEqual(['%s must be an integer or a string of the digits 0-9%s, not %s' % (
                key, names.get(key, ''), shown) for key, _text, shown in refused], [r['msg'] for r in results])
            self.assertEqual((stored, journal), (self.sim.configuration(), self.sim.journal()), options)

    def test_a_qxhost_that_never_answers_fails_the_task_within_its_timeout(self):
        # It ignores SIGTERM, and so does the process it started: only SIGKILL to the group ends them.
        hung = os.path.join(self.dir, 'hung')
        script = os.path.join(self.dir, 'qxhost')
        with open(script, 'w') as f:
            f.write('#!/bin/sh\ntrap "" TERM\nsleep infinity &\necho $$ $! > "%s"\nwait\n' % hung)
        os.chmod(script, 0o755)
        for task in ({'qx561x.serial.port': {'name': PORT4, 'rx': 16, 'qxhost': script, 'timeout': 2}},
                     {'qx561x.serial.port_info': {'qxhost': script, 'timeout': 2}}):
            # qxsim itself ends only when every process of the play has: a test left hanging here fails.
            results, _counts = self.play_results([task])
            self.assertEqual('qxhost list did not finish within 2 seconds; it was stopped, with every process it '
                             'started', results[0]['msg'])
            with open(hung) as f:
                pids = f.read().split()
            for pid in pids:
                self.assertNotIn(script, command_line(pid))
            self.assertNotEqual('sleep\0infinity\0', command_line(pids[1]))
        self.assertEqual([], self.sim.journal())

    def test_the_readme_fleet_example(self):
        example = os.path.join(self.dir, 'example')
        os.mkdir(example)
        write_example(example)
        # The play as the README has it, with the built qxhost, and without sudo: the simulation
        # runs it as its root.
        with open(os.path.join(example, 'serial.yml')) as f:
            plays = yaml.safe_load(f)
        for play in plays:
            play.update(become=False, module_defaults={'group/qx561x.serial.qxhost': {'qxhost': ARGS.qxhost}})
        playbook = os.path.join(example, 'play.yml')
        with open(playbook, 'w') as f:
            json.dump(plays, f)
        inventory = os.path.join(example, 'inventory.yml')

        # A port's stored settings reach the driver whole: the defaults of those not given too.
        rack = {'rx': '32', 'tx': '64', 'rs485': '0x11'}
        shallow = {'rx': '16', 'tx': '128', 'rs485': '0x3'}
        untouched = {'rx': '-', 'tx': '-', 'rs485': '-'}
        cases = [
            # host, what the driver then holds on ports 0, 1, 2 and 8, changed in each run
            ('rack01-pc03', [rack, rack, shallow, untouched], (1,)),
            ('rack02-pc07', [rack, dict(rack, rx='8'), shallow, untouched], (1,)),
            ('rack02-pc16', [rack, rack, shallow, {'rx': '8', 'tx': '16', 'rs485': '-'}], (1, 0)),
        ]
        for host, expected, runs in cases:
            with self.subTest(host):
                os.mkdir(os.path.join(self.dir, host))
                sim = Sim(os.path.join(self.dir, host), boards=ARGS.fleet_boards)
                for changed in runs:
                    status, output = self.playbook(playbook, '-i', inventory, '--limit', host, sim=sim)
                    self.assertEqual(0, status, output)
                    self.assertEqual(changed, recap(output, host)['changed'], output)
                ports = sim.ports()
                self.assertEqual(expected, [dict((k, ports['ttyQX561xPort%d' % n][k]) for k in ('rx', 'tx', 'rs485'))
                                            for n in (0, 1, 2, 8)])

    def test_a_play_converges_and_checks_refusals_and_reapplies(self):
        wanted = self.port_task(rx=32, tx=64, mode=1)

        status, output = self.play([wanted], '--diff')
        self.assertEqual(0, status, output)
        self.assertEqual(1, recap(output)['changed'], output)
        for line in ('-rx: 64', '+rx: 32', '-tx: 128', '+tx: 64', '-mode: 3', '+mode: 1'):
            self.assertIn('\n' + line + '\n', output)
        self.assertEqual(['ttyQX561xPort4 rx 32 ok', 'ttyQX561xPort4 tx 64 ok',
                          'ttyQX561xPort4 rs485 0x11,0,0,0,0,0,0,0 ok'], self.sim.journal())
        stored = self.sim.configuration()
        self.assertIsNotNone(stored)
        journal = self.sim.journal()

        # The same play again: nothing to do, and no tool runs.
        status, output = self.play([wanted])
        self.assertEqual((0, 0), (status, recap(output)['changed']), output)
        self.assertEqual(journal, self.sim.journal())

        # Check mode reports the change and the plug-in's view of it; nothing is stored or applied.
        status, output = self.play([self.port_task(rx=16, tx=64, mode=1)], '--check', '--diff')
        self.assertEqual((0, 1), (status, recap(output)['changed']), output)
        self.assertIn('\n-rx: 32\n+rx: 16\n', output)
        self.assertEqual((stored, journal), (self.sim.configuration(), self.sim.journal()))

        # A refused value fails the task, in check mode too, and no other key of it is stored;
        # so do mode on an RS-232 port (qxhost refuses it before any set) and a missing port.
        refusals = [self.port_task(rx=200, tx=16),
                    {'qx561x.serial.port': {'name': '/dev/ttyQX561xPort0', 'rx': 16, 'mode': 1}},
                    {'qx561x.serial.port': {'name': '/dev/ttyQX561xPort77', 'rx': 16}}]
        for options in ((), ('--check',)):
            results, counts = self.play_results(refusals, *options)
            self.assertEqual(3, counts['ignored'], options)
            self.assertEqual([True] * 3, [r['failed'] for r in results], results)
            self.assertEqual(['0x8004037F', None, '0x80040375'], [r['code'] for r in results])
            self.assertEqual('RxFifoDepth 200 is outside 1..127', results[0]['msg'])
            self.assertTrue(results[2]['msg'].startswith('/dev/ttyQX561xPort77: '), results[2]['msg'])
            self.assertIn('RS-232', results[1]['msg'])
            self.assertEqual([1, 1, 1], [r['rc'] for r in results])
            self.assertEqual((stored, journal), (self.sim.configuration(), self.sim.journal()), options)

        # apply: the stored settings reach the driver again though nothing changed.
        status, output = self.play([self.port_task(rx=32, apply=True)])
        self.assertEqual((0, 1), (status, recap(output)['changed']), output)
        self.assertEqual(journal * 2, self.sim.journal())
        self.assertEqual(stored, self.sim.configuration())

    def test_one_ports_task_sets_a_whole_machine_and_a_rerun_runs_no_tool(self):
        self.sim = Sim(self.dir, boards=ARGS.rack_boards)
        rs485 = [n < 32 or n >= 48 for n in range(64)]
        # A quarter as they are; the others new levels, and modes by number and by name.
        modes = [(3, '0x3'), ('off', '0x0'), ('enabled', '0x1'), (1, '0x11')]
        wanted, expected = [], {}
        for n in range(64):
            port = {'name': '/dev/ttyQX561xPort%d' % n, 'rx': 64 if n % 4 == 0 else n + 1}
            if rs485[n]:
                port['mode'] = modes[n % 4][0]
            wanted.append(port)
            if n % 4:
                expected['ttyQX561xPort%d' % n] = {'rx': str(n + 1), 'rs485': modes[n % 4][1] if rs485[n] else '-'}
        task = {'name': 'ports', 'qx561x.serial.ports': {'ports': wanted}}

        # Check mode: each port that would change in the diff, nothing stored or applied.
        status, output = self.play([task], '--check', '--diff')
        self.assertEqual((0, 1), (status, recap(output)['changed']), output)
        for n in range(64):
            shown = '+++ after: /dev/ttyQX561xPort%d\n' % n
            self.assertEqual(0 if n % 4 == 0 else 1, output.count(shown), n)
        self.assertEqual((None, []), (self.sim.configuration(), self.sim.journal()))

        # Each port that differs reaches the driver once, whole; the rerun runs no tool.
        status, output = self.play([task])
        self.assertEqual((0, 1), (status, recap(output)['changed']), output)
        journal = self.sim.journal()
        self.assertEqual(sorted(expected), sorted(set(line.split()[0] for line in journal)))
        self.assertEqual(len(expected), sum(1 for line in journal if line.split()[1] == 'rx'))
        ports = self.sim.ports()
        self.assertEqual(expected, dict((name, {'rx': ports[name]['rx'], 'rs485': ports[name]['rs485']})
                                        for name in expected))
        status, output = self.play([task])
        self.assertEqual((0, 0), (status, recap(output)['changed']), output)
        self.assertEqual(journal, self.sim.journal())

        # One refused value among them fails the task and stores nothing.
        stored = self.sim.configuration()
        refused = dict(task, **{'qx561x.serial.ports': {'ports': [dict(p, rx=16) for p in wanted[:63]] +
                                                        [dict(wanted[63], rx=200)]}})
        results, counts = self.play_results([refused])
        self.assertEqual(1, counts['ignored'])
        self.assertEqual(('RxFifoDepth 200 is outside 1..127', '/dev/ttyQX561xPort63', '0x8004037F'),
                         (results[0]['msg'], results[0]['name'], results[0]['code']))
        self.assertEqual((stored, journal), (self.sim.configuration(), self.sim.journal()))

    def test_info_lists_every_port_of_the_scenario_in_check_mode(self):
        # By its former name, which leads to port_info, in the group of module_defaults too.
        results, counts = self.play_results([{'qx561x.serial.info': {}}], '--check')
        info = results[0]
        self.assertEqual((0, 0, 0), (counts['ignored'], counts['changed'], counts['failed']))
        self.assertEqual([('0000:03:00.0', 'PCI-5611/4', '3', 4), ('0000:04:00.0', 'PCI-5610/2', '4', 2)],
                         [(b['address'], b['model'], b['slot'], b['portCount']) for b in info['boards']])
        expected = dict(('/dev/ttyQX561xPort%d' % n, 'RS-485') for n in range(4, 8))
        expected.update(('/dev/ttyQX561xPort%d' % n, 'RS-232') for n in range(0, 2))
        self.assertEqual(expected, dict((node, p['kind']) for node, p in info['ports'].items()))
        self.assertEqual([], info['unlisted_board_ports'])
        self.assertEqual((64, 128, 3, {'min': 1, 'max': 127, 'default': 64}),
                         tuple(info['ports'][PORT4][k] for k in ('rx', 'tx', 'mode')) +
                         (info['ports'][PORT4]['limits']['rx'],))
        self.assertEqual([], self.sim.journal())


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    options = ('qxsim', 'qxhost', 'collection', 'boards', 'fleet_boards', 'rack_boards')
    for option in options:
        parser.add_argument('--' + option.replace('_', '-'), required=True)
    ARGS, rest = parser.parse_known_args()
    for option in options:
        setattr(ARGS, option, os.path.abspath(getattr(ARGS, option)))
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == '__main__':
    main()
