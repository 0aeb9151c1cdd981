# SPDX-License-Identifier: MIT
"""The fleet example of the collection's README, written out as the files it names, so that
the tests lint and play what a reader copies."""

import os
import re

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'ansible', 'README.md')
FILES = ('inventory.yml', 'serial.yml')


def write_example(directory, readme=README):
    """Every ```yaml block of the README that starts with a comment naming a file, written to
    that file in DIRECTORY; ValueError unless the example's files are all there once."""
    with open(readme, encoding='utf-8') as f:
        text = f.read()
    written = []
    for block in re.findall(r'^```yaml\n(.*?)^```$', text, re.MULTILINE | re.DOTALL):
        named = re.match(r'# ([\w.-]+\.yml)\n', block)
        if named:
            with open(os.path.join(directory, named.group(1)), 'w', encoding='utf-8') as f:
                f.write(block)
            written.append(named.group(1))
    if sorted(written) != sorted(FILES):
        raise ValueError('%s: the fleet example has the files %s, not %s' % (readme, written, list(FILES)))
