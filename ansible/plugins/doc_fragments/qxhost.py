# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type


class ModuleDocFragment(object):
    # What every module of the collection needs of the managed machine and passes on to qxhost.
    DOCUMENTATION = r'''
options:
  qxhost:
    description:
      - Path of the C(qxhost) program.
    type: path
    default: /usr/bin/qxhost
  plugin:
    description:
      - Path of the plug-in that C(qxhost) loads.
    type: path
    default: /usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so
  timeout:
    description:
      - Seconds each run of C(qxhost) may take. After them the task fails, saying so, and
        C(qxhost) is stopped with every process it started (SIGTERM, then SIGKILL to what is
        left a few seconds later).
    type: int
    default: 120
requirements:
  - On the managed machine, C(qxhost) and the plug-in (the Debian package C(qx561x)), and
    Python 3.6 or later.
notes:
  - Text that C(qxhost) prints is kept in a result up to 64 KiB; what lies beyond is cut,
    with a note saying how much.
'''
