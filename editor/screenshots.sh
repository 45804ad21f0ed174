#!/usr/bin/env bash
# Redraws the README's pictures of the editor: both pages of Nur Ambrel2,
# opened by `ambrel snapshot` in a private X server while music plays
# through the effect, so the meters stand where a mix would put them.
#
#   editor/screenshots.sh [BUILD]     BUILD: a Linux build tree (default build/linux)
#
# Writes docs/editor-main.png and docs/editor-settings.png.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/linux}
ambrel=$build/tools/ambrel
plugin=$build/NurAmbrel2.so
for f in "$ambrel" "$plugin"; do
    [ -e "$f" ] || { echo "screenshots: $f is missing (build first: ./build.sh)" >&2; exit 1; }
done
mkdir -p docs
# A settings folder of its own: the pictures show the defaults, not this
# machine's meter settings or zoom.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
# A private X server now and then refuses its first client on a busy
# machine: each picture gets three tries.
snapshot() {
    local try
    for try in 1 2 3; do
        XDG_CONFIG_HOME=$config tests/support/with-xvfb.sh "$ambrel" snapshot "$plugin" "$@" && return 0
        sleep 1
    done
    return 1
}
# Output meters, so the needles show the music; the page switch is an
# editor-only value, 52 in this build.
snapshot docs/editor-main.png --scale 1 --idles 40 --signal music --param Meters=1
snapshot docs/editor-settings.png --scale 1 --idles 10 --signal music --after-open 52=1
