#!/usr/bin/env bash
# Runs the Windows window tests under Wine, in an X server of their own and
# with a Wine prefix of their own: a Wine session that another test started
# without a display must not be the one these windows open in.
# Usage: run-gui-tests.sh TEST.exe PREFIX [WINE]
set -u
exe=$1
prefix=$2
wine=${3:-wine}
support=$(cd "$(dirname "$0")/../../../support" && pwd)
command -v "$wine" >/dev/null || { echo "run-gui-tests: no Wine" >&2; exit 77; }
command -v Xvfb >/dev/null || { echo "run-gui-tests: no Xvfb" >&2; exit 77; }
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    env -u DISPLAY "$wine" wineboot --init >/dev/null 2>&1 || { echo "run-gui-tests: wineboot failed" >&2; exit 1; }
fi
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
# The Wine session ends with the X server.
exec "$support/with-xvfb.sh" sh -c '"$0" "$1"; rc=$?; wineserver -k 2>/dev/null; exit $rc' "$wine" "$exe"
