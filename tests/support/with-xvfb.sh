#!/usr/bin/env bash
# Runs a command with a private X server of its own: a fresh Xvfb on a free
# display number, 1280x1024 at 24 bits, no TCP, killed when the command ends.
# -noreset: the server must not reset when its last client goes, or a test
# that closes its only window and opens another races the reset.
# Usage: with-xvfb.sh [--dpi N] COMMAND [ARGS...]
# The command's exit code is this script's. Exit 77 (skipped) when there is
# no Xvfb on the machine.
set -u
dpi=96
if [ "${1:-}" = "--dpi" ]; then
    dpi=$2
    shift 2
fi
command -v Xvfb >/dev/null || { echo "with-xvfb: no Xvfb installed" >&2; exit 77; }

fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi "$dpi" -nolisten tcp -noreset 3>"$fifo" 2>/dev/null &
server=$!
read -r -t 20 number <"$fifo"
rm -f "$fifo"
if [ -z "${number:-}" ]; then
    kill "$server" 2>/dev/null
    echo "with-xvfb: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=:$number
"$@"
rc=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $rc
