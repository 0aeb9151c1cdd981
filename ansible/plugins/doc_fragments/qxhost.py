# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type


class ModuleDocFragment(object):
    # The options every module of the collection passes on to qxhost.
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
'''
