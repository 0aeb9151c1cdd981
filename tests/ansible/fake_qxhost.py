#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""A stand-in for qxhost: answers from responses.json beside it and records its argv.

responses.json maps a command ("list", "set", "set --dry-run", "show", "apply") to
{"rc": N, "stdout": document or text, "stderr": [object or text, ...]}, and optionally
"junk": N (N bytes of text lines on standard error, then on standard output when
"junk_on" is "stdout", before the rest) or "hang": "briefly"|"ignoring SIGTERM" (starts
`sleep infinity` in its process group, writes both pids to hung.json beside it and never
answers; "briefly" ends at SIGTERM). Every call appends its argv as one JSON line to
calls.jsonl beside it, and what a call with --from read on standard input to stdin.jsonl.
"""

import json
import os
import signal
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, 'calls.jsonl'), 'a') as calls:
    calls.write(json.dumps(sys.argv[1:]) + '\n')
if '--from' in sys.argv:
    with open(os.path.join(here, 'stdin.jsonl'), 'a') as given:
        given.write(json.dumps(sys.stdin.read()) + '\n')

words = []
arguments = iter(sys.argv[1:])
for argument in arguments:
    if argument == '--plugin':
        next(arguments, None)
    elif argument != '--' and not argument.startswith('--'):
        words.append(argument)
key = words[0] if words else ''
if '--dry-run' in sys.argv:
    key += ' --dry-run'

with open(os.path.join(here, 'responses.json')) as f:
    response = json.load(f).get(key)
if response is None:
    sys.stderr.write('fake qxhost: no response for %r\n' % key)
    sys.exit(99)

if response.get('hang'):
    if response['hang'] == 'ignoring SIGTERM':
        signal.signal(signal.SIGTERM, signal.SIG_IGN)  # sleep inherits it
    child = subprocess.Popen(['sleep', 'infinity'])
    with open(os.path.join(here, 'hung.json.tmp'), 'w') as f:
        json.dump([os.getpid(), child.pid], f)
    os.rename(os.path.join(here, 'hung.json.tmp'), os.path.join(here, 'hung.json'))
    while True:
        signal.pause()

junk = getattr(sys, response.get('junk_on', 'stderr'))
for _ in range(response.get('junk', 0) // 100):
    junk.write('x' * 99 + '\n')
stdout = response.get('stdout', '')
sys.stdout.write(stdout if isinstance(stdout, str) else json.dumps(stdout) + '\n')
for line in response.get('stderr', []):
    sys.stderr.write((line if isinstance(line, str) else json.dumps(line)) + '\n')
sys.exit(response.get('rc', 0))
