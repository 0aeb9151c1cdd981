#!/bin/sh
# SPDX-License-Identifier: MIT
# ansible-test sanity on a copy of the collection (it wants a path ending in
# ansible_collections/NAMESPACE/NAME, and writes below it), with the tests that run offline:
# the others build a virtual environment from PyPI.
# Usage: sanity.sh COLLECTION_SOURCE
set -eu
source=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/ansible_collections/qx561x"
cp -r "$source" "$work/ansible_collections/qx561x/serial"
rm -rf "$work/ansible_collections/qx561x/serial/CMakeLists.txt"
cd "$work/ansible_collections/qx561x/serial"
export HOME="$work/home" ANSIBLE_HOME="$work/home"
set --
for test in action-plugin-docs changelog compile empty-init future-import-boilerplate ignores \
            line-endings metaclass-boilerplate no-assert no-basestring no-dict-iteritems \
            no-dict-iterkeys no-dict-itervalues no-get-exception no-illegal-filenames \
            no-main-display no-smart-quotes no-unicode-literals replace-urlopen shebang \
            shellcheck symlinks use-argspec-type-path use-compat-six; do
    set -- "$@" --test "$test"
done
exec /usr/bin/ansible-test sanity --local --python 3.11 --python-interpreter /usr/bin/python3 --color no "$@"
