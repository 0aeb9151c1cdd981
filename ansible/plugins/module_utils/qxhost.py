# SPDX-License-Identifier: MIT
"""Runs qxhost for the qx561x.serial modules: an argument list, JSON out, errors mapped."""

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

import json
import os

from ansible.module_utils.common.text.converters import to_native

DEFAULT_QXHOST = '/usr/bin/qxhost'
DEFAULT_PLUGIN = '/usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so'

# The keys a port setting has, in the order qxhost documents them.
KEYS = ('rx', 'tx', 'mode')

# Values are uint32 properties; qxhost takes decimal digits only, so anything else would be
# a command-line error there, which the modules treat as their own bug.
VALUE_MAX = 4294967295

COMMON_ARGUMENT_SPEC = dict(
    qxhost=dict(type='path', default=DEFAULT_QXHOST),
    plugin=dict(type='path', default=DEFAULT_PLUGIN),
)


class QxhostError(Exception):
    """qxhost failed: the error object it printed, its exit status, and any document."""

    def __init__(self, message, rc, error=None, document=None):
        super(QxhostError, self).__init__(message)
        self.message = message
        self.rc = rc
        self.error = error or {}
        self.document = document

    def fail_args(self):
        """Keyword arguments for fail_json: the message, exit status, code and symbol."""
        result = dict(msg=self.message, rc=self.rc)
        for key in ('code', 'symbol', 'call', 'operation'):
            result[key] = self.error.get(key)
        result['name'] = self.error.get('name')
        return result


def _json_lines(text):
    """Every line of text that is a JSON object; other lines are ignored."""
    objects = []
    for line in text.splitlines():
        line = line.strip()
        if not line.startswith('{'):
            continue
        try:
            value = json.loads(line)
        except ValueError:
            continue
        if isinstance(value, dict):
            objects.append(value)
    return objects


def _parse_document(text):
    try:
        document = json.loads(text)
    except ValueError as e:
        raise ValueError('qxhost printed no JSON document: %s' % to_native(e))
    if not isinstance(document, dict):
        raise ValueError('qxhost printed JSON that is not an object')
    return document


class Qxhost(object):
    """One module's qxhost: the program and the plug-in it loads."""

    def __init__(self, module, path=None, plugin=None):
        self.module = module
        self.path = path or module.params.get('qxhost') or DEFAULT_QXHOST
        self.plugin = plugin or module.params.get('plugin') or DEFAULT_PLUGIN

    def argv(self, command, arguments=(), options=()):
        # '--' keeps a NAME that starts with '-' from being read as an option.
        return ([self.path, '--plugin', self.plugin, command] + list(options) +
                ['--json', '--'] + list(arguments))

    def run(self, command, arguments=(), options=()):
        """The JSON document qxhost printed; QxhostError when it failed."""
        if not os.path.isfile(self.path) or not os.access(self.path, os.X_OK):
            raise QxhostError('qxhost is not an executable file at %s' % self.path, rc=None)
        argv = self.argv(command, arguments, options)
        rc, out, err = self.module.run_command(argv, check_rc=False)
        messages = _json_lines(err)
        for warning in (m['warning'] for m in messages if isinstance(m.get('warning'), dict)):
            self.module.warn(_warning_text(warning))
        errors = [m['error'] for m in messages if isinstance(m.get('error'), dict)]
        error = errors[0] if errors else None

        if rc == 2:
            raise QxhostError('qxhost refused the command line that this module gave it (exit status 2): '
                              'this is a bug in the qx561x.serial collection; qxhost said: %s'
                              % _error_text(error, err), rc=rc, error=error)
        document = None
        if out.strip():
            try:
                document = _parse_document(out)
            except ValueError as e:
                if rc == 0:
                    raise QxhostError('%s (command: %s)' % (to_native(e), ' '.join(argv)), rc=rc)
        if rc != 0:
            if error is not None and error.get('message'):
                raise QxhostError(error['message'], rc=rc, error=error, document=document)
            raise QxhostError('qxhost %s failed with exit status %s: %s' % (command, rc, _error_text(error, err)),
                              rc=rc, error=error, document=document)
        if document is None:
            raise QxhostError('qxhost printed no JSON document (command: %s)' % ' '.join(argv), rc=rc)
        return document

    def listing(self):
        """qxhost list --json: every board with its ports, and the ports of no listed board."""
        document = self.run('list')
        boards = document.get('boards')
        unlisted = document.get('unlistedBoardPorts', [])
        if not isinstance(boards, list) or not isinstance(unlisted, list):
            raise QxhostError('qxhost list printed a document without "boards"', rc=0)
        return boards, unlisted


def all_ports(boards, unlisted):
    for board in boards:
        for port in board.get('ports') or []:
            yield port
    for port in unlisted:
        yield port


def _warning_text(warning):
    where = warning.get('file') or 'qxhost'
    if warning.get('line') is not None:
        where = '%s:%s' % (where, warning['line'])
    return '%s: %s' % (where, warning.get('message', ''))


def _error_text(error, stderr):
    if error is not None and error.get('message'):
        return error['message']
    return stderr.strip() or 'nothing on standard error'
