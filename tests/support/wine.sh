#!/usr/bin/env bash
# Runs a Windows program under Wine, as `wine` does, on machines whose kernel
# cannot start 32-bit programs as well: Debian's `wine` always starts the
# 32-bit loader when it is installed, which fails there even for 64-bit
# programs. Then 64-bit programs (and wineboot, wineserver tools) go to the
# 64-bit loader directly, and a 32-bit program exits with 77, which the tests
# count as skipped, after saying why.
# Usage: wine.sh PROGRAM [ARGS...]
set -u
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

if ! command -v wine >/dev/null 2>&1; then
    echo "wine.sh: Wine is not installed" >&2
    exit 77
fi
if [ ! -x "$wine32" ] || "$wine32" --version >/dev/null 2>&1; then
    exec wine "$@"
fi
if [ ! -x "$wine64" ]; then
    echo "wine.sh: this machine cannot start 32-bit programs and has no 64-bit Wine" >&2
    exit 77
fi

# PE machine of the program: 0x14c i386, 0x8664 x86-64.
machine() {
    local file=$1 pe
    pe=$(od -An -t u4 -j 60 -N 4 "$file" 2>/dev/null | tr -d ' ')
    [ -n "$pe" ] || return 1
    od -An -t x2 -j $((pe + 4)) -N 2 "$file" 2>/dev/null | tr -d ' '
}

program=${1:-}
if [ -f "$program" ] && [ "$(machine "$program")" = "014c" ]; then
    echo "wine.sh: SKIPPED: this machine's kernel cannot start 32-bit programs, so $(basename "$program") cannot run under Wine here" >&2
    exit 77
fi
export WINELOADER=$wine64
exec "$wine64" "$@"
