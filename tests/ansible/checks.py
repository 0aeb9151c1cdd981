#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The ecosystem's own checks on the collection, offline; any finding fails.

    checks.py sanity COLLECTION   every ansible-test sanity test
    checks.py lint COLLECTION     ansible-lint's production profile on the collection and on
                                  the README's fleet example

ansible-test runs most sanity tests in virtual environments that it fills from PyPI. Here each
of them is made beforehand where ansible-test looks for it, over Debian's packages (pylint,
pycodestyle, yamllint, python3-voluptuous), so that nothing is downloaded.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile

import yaml

from readme_example import write_example

ANSIBLE_BIN = '/usr/bin'  # Debian's ansible-core and ansible-lint, on Debian's python3


def copy_collection(source, root):
    """The collection where ansible-test wants it: ROOT/ansible_collections/NAMESPACE/NAME."""
    copy = os.path.join(root, 'ansible_collections', 'qx561x', 'serial')
    shutil.copytree(source, copy, ignore=shutil.ignore_patterns('CMakeLists.txt', '__pycache__', '*.pyc'))
    return copy


def prepare_sanity_environments():
    """Makes, over the system's packages, every virtual environment that ansible-test would
    fill with pip; run with the collection as the working directory and HOME set."""
    # ansible-test's own reckoning of the environments' requirements and of where it keeps each.
    from ansible_test._internal.commands.sanity import SanitySingleVersion, hash_pip_commands, sanity_get_tests
    from ansible_test._internal.host_configs import NativePythonConfig
    from ansible_test._internal.python_requirements import collect_requirements

    python = NativePythonConfig(version='%d.%d' % sys.version_info[:2], path=sys.executable)
    # (name, minimize): as the tests ask for them; import asks for its own three.
    wanted = [(test.name, False) for test in sanity_get_tests() if isinstance(test, SanitySingleVersion)]
    wanted += [('import', False), ('import.module', True), ('import.plugin', True)]
    for name, minimize in wanted:
        commands = collect_requirements(python=python, controller=True, virtualenv=False, command=None,
                                        ansible=False, cryptography=False, coverage=False, minimize=minimize,
                                        sanity=name)
        if not commands:
            continue  # ansible-test makes an empty one itself, with nothing to download
        path = os.path.join(os.path.expanduser('~/.ansible/test/venv'), 'sanity.' + name, python.version,
                            hash_pip_commands(commands))
        if os.path.exists(os.path.join(path, 'marker.txt')):
            continue
        subprocess.run([sys.executable, '-m', 'venv', '--system-site-packages', '--without-pip', path], check=True)
        with open(os.path.join(path, 'meta.yaml.json'), 'w') as f:
            json.dump(hasattr(yaml, 'CSafeLoader'), f)  # whether PyYAML has libyaml
        # The marker says the environment is complete, as ansible-test writes it last.
        open(os.path.join(path, 'marker.txt'), 'w').close()


def sanity(source, work):
    os.chdir(copy_collection(source, work))
    prepare_sanity_environments()
    result = subprocess.run([os.path.join(ANSIBLE_BIN, 'ansible-test'), 'sanity', '--local', '--python',
                             '%d.%d' % sys.version_info[:2], '--python-interpreter', sys.executable, '--color', 'no'],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True, check=False)
    print(result.stdout, flush=True)
    # A test without its environment is skipped with a warning, not failed.
    if result.returncode == 0 and 'Skipping sanity test' in result.stdout:
        print('a sanity test was skipped', flush=True)
        return 1
    return result.returncode


def lint(source, work):
    example = os.path.join(work, 'example')
    os.mkdir(example)
    write_example(example)
    # Beside the playbook, where ansible-lint's own checks find the modules it names too.
    collection = copy_collection(source, os.path.join(example, 'collections'))
    status = 0
    for directory, arguments in ((collection, []), (example, ['inventory.yml', 'serial.yml'])):
        result = subprocess.run([os.path.join(ANSIBLE_BIN, 'ansible-lint'), '--offline', '--strict', '--nocolor',
                                 '--profile', 'production'] + arguments, cwd=directory, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, universal_newlines=True, check=False)
        print('== ansible-lint in %s\n%s' % (directory, result.stdout), flush=True)
        # A rule that could not look at something (a module it cannot find) only logs a warning.
        if result.returncode == 0 and 'WARNING' in result.stdout:
            print('ansible-lint warned', flush=True)
            return 1
        status = status or result.returncode
    return status


def main():
    command, source = sys.argv[1:]
    work = tempfile.mkdtemp(prefix='qx-checks-')
    try:
        home = os.path.join(work, 'home')
        os.mkdir(home)
        os.environ.update(HOME=home, ANSIBLE_HOME=home, ANSIBLE_LOCAL_TEMP=os.path.join(home, 'tmp'), NO_COLOR='1')
        return {'sanity': sanity, 'lint': lint}[command](os.path.abspath(source), work)
    finally:
        shutil.rmtree(work)


if __name__ == '__main__':
    sys.exit(main())
