# SPDX-License-Identifier: MIT
"""Runs qxhost for the qx561x.serial modules: an argument list, JSON out, errors mapped."""

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

import errno
import json
import os
import re
import selectors
import signal
import subprocess
import time

from ansible.module_utils.common.text.converters import to_native, to_text

DEFAULT_QXHOST = '/usr/bin/qxhost'
DEFAULT_PLUGIN = '/usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so'
DEFAULT_TIMEOUT = 120

# The keys a port setting has, in the order qxhost documents them.
KEYS = ('rx', 'tx', 'mode')

# Values are uint32 properties; qxhost takes decimal digits only, so anything else would be
# a command-line error there, which the modules treat as their own bug.
VALUE_MAX = 4294967295

# Keys whose value may also be given by name; qxhost knows the names (a port's "limits"
# lists them as "choices") and is the judge of them.
NAMED_KEYS = ('mode',)

# Python's int() reads '3_3' as 33 and '１' as 1, and str.isdigit() takes '²'.
_DIGITS = re.compile(r'[0-9]+\Z')
_NAME = re.compile(r'[a-z][a-z-]*\Z')

# Text from qxhost kept in a result, at most: a broken qxhost may print without end.
TEXT_LIMIT = 64 * 1024
# Its JSON document is read whole, up to this size.
DOCUMENT_LIMIT = 16 * 1024 * 1024
# qxhost ends any command within a second of SIGTERM; what is still running then is killed.
TERM_GRACE = 5.0
_POLL = 0.05

COMMON_ARGUMENT_SPEC = dict(
    qxhost=dict(type='path', default=DEFAULT_QXHOST),
    plugin=dict(type='path', default=DEFAULT_PLUGIN),
    timeout=dict(type='int', default=DEFAULT_TIMEOUT),
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
        for key in ('code', 'symbol', 'call', 'operation', 'name'):
            result[key] = self.error.get(key)
        return result


def setting_value(key, value):
    """The whole number that VALUE of the setting KEY stands for, or for a key with names a
    name as it is (a string of a-z and '-'); None when not given.

    Only integers and strings of ASCII digits are numbers here: a YAML boolean or a float is
    a slip, never a level."""
    if value is None:
        return None
    if isinstance(value, int) and not isinstance(value, bool):
        number = value
    elif isinstance(value, str) and _DIGITS.match(value):
        number = int(value)
    elif isinstance(value, str) and key in NAMED_KEYS and _NAME.match(value):
        return value
    else:
        accepted = 'an integer or a string of the digits 0-9'
        if key in NAMED_KEYS:
            accepted += ' or a name of lower-case letters and hyphens'
        raise ValueError('%s must be %s, not %s' % (key, accepted, _described(value)))
    if not 0 <= number <= VALUE_MAX:
        raise ValueError('%s must be a whole number from 0 to %d, got %d' % (key, VALUE_MAX, number))
    return number


def setting_differs(port, key, wanted):
    """Whether the listed PORT holds another value of KEY than WANTED (a number, or a name that
    the listing's "modeName" may hold)."""
    if isinstance(wanted, str):
        return port.get(key + 'Name') != wanted
    return port.get(key) != wanted


def check_names(port, wanted, name):
    """Raises QxhostError when a value of WANTED ((key, value) pairs) is a name that the listed
    PORT (NAME as given) does not list among its choices; where the listing has no choices,
    qxhost judges the name."""
    for key, value in wanted:
        if not isinstance(value, str):
            continue
        named = ((port.get('limits') or {}).get(key) or {}).get('choices')
        if not isinstance(named, list):
            continue
        names = [choice.get('name') for choice in named if isinstance(choice, dict)]
        if value not in names:
            raise QxhostError('%s of %s must be a number or one of %s, not "%s"' % (
                key, port.get('node') or name, ', '.join(str(n) for n in names), value), rc=None)


def _described(value):
    kinds = ((bool, 'the boolean'), (float, 'the float'), (str, 'the string'), (list, 'the list'),
             (dict, 'the dictionary'))
    kind = next((word for cls, word in kinds if isinstance(value, cls)), 'the value')
    return '%s %s' % (kind, json.dumps(value, ensure_ascii=False, sort_keys=True, default=repr))


def capped(text, limit=TEXT_LIMIT):
    """TEXT, or its head and tail with a note of how much was cut between them."""
    if len(text) <= limit:
        return text
    half = limit // 2
    return '%s\n[... %d characters cut ...]\n%s' % (text[:half], len(text) - 2 * half, text[-half:])


class _Tail(object):
    """What a stream printed, kept as its head and its tail: LIMIT bytes at most."""

    def __init__(self, limit):
        self.half = limit // 2
        self.head = bytearray()
        self.tail = bytearray()
        self.cut = 0

    def add(self, data):
        room = self.half - len(self.head)
        if room > 0:
            self.head += data[:room]
            data = data[room:]
        self.tail += data
        excess = len(self.tail) - self.half
        if excess > 0:
            self.cut += excess
            del self.tail[:excess]

    def text(self):
        if not self.cut:
            return _decoded(self.head + self.tail)
        return '%s\n[... %d bytes cut ...]\n%s' % (_decoded(self.head), self.cut, _decoded(self.tail))


def _decoded(data):
    return to_text(bytes(data), errors='surrogate_or_replace')


class _Overran(Exception):
    """The command did not end in time, or printed more than a document can be; with what it
    had printed on standard error."""

    def __init__(self, reason, err):
        super(_Overran, self).__init__(reason)
        self.reason = reason
        self.err = err


def _exited(pid):
    """Whether PID has exited, without reaping it: while it is a zombie its process group
    cannot be reused, so killing the group reaches only what it left running."""
    try:
        return os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is not None
    except ChildProcessError:
        return True


def _wait_exit(pid, deadline):
    while not _exited(pid):
        if time.monotonic() >= deadline:
            return False
        time.sleep(_POLL)
    return True


def _stop_group(process):
    """SIGTERM to the command's process group, SIGKILL to what is left of it after the grace."""
    for sig, grace in ((signal.SIGTERM, TERM_GRACE), (signal.SIGKILL, None)):
        try:
            os.killpg(process.pid, sig)
        except OSError as e:
            if e.errno != errno.ESRCH:
                raise
        if grace is not None:
            _wait_exit(process.pid, time.monotonic() + grace)
    process.wait()


def _collect(process, deadline, data_in=None):
    """DATA_IN written to standard input, standard output read whole and standard error
    capped, until both end and the command exits."""
    out = bytearray()
    err = _Tail(TEXT_LIMIT)
    pending = memoryview(data_in or b'')
    with selectors.DefaultSelector() as selector:
        selector.register(process.stdout, selectors.EVENT_READ, out)
        selector.register(process.stderr, selectors.EVENT_READ, err)
        if process.stdin is not None:
            selector.register(process.stdin, selectors.EVENT_WRITE, pending)
        while selector.get_map():
            left = deadline - time.monotonic()
            if left <= 0:
                raise _Overran(None, err)
            for key, _events in selector.select(left):
                if key.fileobj is process.stdin:
                    pending = _feed(selector, process.stdin, pending)
                    continue
                data = os.read(key.fd, 65536)
                if not data:
                    selector.unregister(key.fileobj)
                elif key.data is out:
                    out += data
                    if len(out) > DOCUMENT_LIMIT:
                        raise _Overran('printed more than %d bytes on standard output' % DOCUMENT_LIMIT, err)
                else:
                    err.add(data)
    if not _wait_exit(process.pid, deadline):
        raise _Overran(None, err)
    return process.wait(), _decoded(out), err


def _feed(selector, stream, pending):
    """Writes what STREAM takes of PENDING; closes it when all is written or the reader has
    gone (the command's exit status then tells). What is left to write."""
    try:
        written = os.write(stream.fileno(), pending[:65536]) if pending else 0
    except BrokenPipeError:
        written = len(pending)
    pending = pending[written:]
    if not pending:
        selector.unregister(stream)
        stream.close()
    return pending


def run_bounded(argv, timeout, data_in=None):
    """Exit status, standard output and standard error (capped) of ARGV, which gets TIMEOUT
    seconds and DATA_IN (bytes) on standard input, or none; after them it is stopped with
    everything it started, and _Overran says so."""
    # Its own process group, so that stopping it reaches the tool runs it started too.
    process = subprocess.Popen(argv, stdin=subprocess.DEVNULL if data_in is None else subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, close_fds=True,
                               start_new_session=True)
    try:
        with process.stdout, process.stderr:
            return _collect(process, time.monotonic() + timeout, data_in)
    except BaseException:
        _stop_group(process)
        raise


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
    """One module's qxhost: the program, the plug-in it loads and how long a run may take."""

    def __init__(self, module):
        self.module = module
        self.path = module.params.get('qxhost') or DEFAULT_QXHOST
        self.plugin = module.params.get('plugin') or DEFAULT_PLUGIN
        self.timeout = module.params.get('timeout')
        if self.timeout is None:
            self.timeout = DEFAULT_TIMEOUT
        if self.timeout < 1:
            raise QxhostError('timeout must be at least 1 second, got %d' % self.timeout, rc=None)

    def argv(self, command, arguments=(), options=()):
        # '--' keeps a NAME that starts with '-' from being read as an option.
        return ([self.path, '--plugin', self.plugin, command] + list(options) +
                ['--json', '--'] + list(arguments))

    def _start(self, command, argv, data_in):
        try:
            return run_bounded(argv, self.timeout, data_in)
        except _Overran as e:
            message = 'qxhost %s %s; it was stopped, with every process it started' % (
                command, e.reason or 'did not finish within %d seconds' % self.timeout)
            printed = e.err.text().strip()
            if printed:
                message += '; it had printed: ' + printed
            raise QxhostError(message, rc=None)
        except OSError as e:
            raise QxhostError('cannot run qxhost at %s: %s' % (self.path, to_native(e)), rc=None)

    def run(self, command, arguments=(), options=(), data_in=None):
        """The JSON document qxhost printed, given DATA_IN (bytes) on standard input if any;
        QxhostError when it failed. What it printed on standard error is kept to TEXT_LIMIT
        already, so the messages taken from it are too."""
        if not os.path.isfile(self.path) or not os.access(self.path, os.X_OK):
            raise QxhostError('qxhost is not an executable file at %s' % self.path, rc=None)
        argv = self.argv(command, arguments, options)
        rc, out, err_stream = self._start(command, argv, data_in)
        err = err_stream.text()
        messages = _json_lines(err)
        self._pass_on_warnings(messages, err_stream.cut)
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

    def _pass_on_warnings(self, messages, cut):
        for warning in (m['warning'] for m in messages if isinstance(m.get('warning'), dict)):
            self.module.warn(_warning_text(warning))
        if cut:
            self.module.warn('qxhost printed more on standard error than is kept: %d bytes of it were cut' % cut)

    def listing(self):
        """qxhost list --json: every board with its ports, and the ports of no listed board."""
        document = self.run('list')
        boards = document.get('boards')
        unlisted = document.get('unlistedBoardPorts', [])
        if not isinstance(boards, list) or not isinstance(unlisted, list):
            raise QxhostError('qxhost list printed a document without "boards"', rc=0)
        return boards, unlisted


def run_failing_clearly(module, run):
    """RUN(MODULE), which ends in exit_json; a failure of qxhost fails the task with its
    message and codes, and a document of another shape says whose bug it is."""
    try:
        run(module)
    except QxhostError as e:
        module.fail_json(**e.fail_args())
    except (KeyError, TypeError, AttributeError) as e:
        module.fail_json(msg='qxhost printed JSON of another shape than this module knows (%r): '
                             'this is a bug in the qx561x.serial collection or in qxhost' % e)


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
