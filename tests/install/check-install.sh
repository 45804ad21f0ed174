#!/usr/bin/env bash
# Installs a build tree with DESTDIR and prefix /usr into STAGE and checks
# what lands where.
# Usage: check-install.sh CMAKE BUILD_DIR STAGE VSTDIR BINDIR DOCDIR PLUGIN... TOOL
set -u
cmake=$1 build=$2 stage=$3 vstdir=$4 bindir=$5 docdir=$6
shift 6
tool=${*: -1}
plugins=("${@:1:$#-1}")
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

rm -rf "$stage"
mkdir -p "$stage"
if ! DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >"$stage.log" 2>&1; then
    cat "$stage.log"
    fail "cmake --install failed"
    exit 1
fi

# A relative plug-in folder lies under the prefix, an absolute one (~/.vst)
# is taken as it is; DESTDIR comes before either.
case $vstdir in
/*) vst=$stage$vstdir ;;
*) vst=$stage/usr/$vstdir ;;
esac
for plugin in "${plugins[@]}"; do
    cmp -s "$plugin" "$vst/$(basename "$plugin")" || fail "$(basename "$plugin") is not installed in $vst"
done
for notice in NurAmbrel-LICENSE.txt OFL-LiberationFonts.txt; do
    [ -s "$vst/$notice" ] || fail "$notice is missing beside the plug-ins"
done
grep -q '^MIT License' "$vst/NurAmbrel-LICENSE.txt" 2>/dev/null || fail "NurAmbrel-LICENSE.txt is not the MIT licence"
grep -q 'SIL Open Font License' "$vst/OFL-LiberationFonts.txt" 2>/dev/null ||
    fail "OFL-LiberationFonts.txt does not hold the Open Font License"
[ -x "$stage/usr/$bindir/$(basename "$tool")" ] || fail "$(basename "$tool") is not installed in /usr/$bindir"
for notice in LICENSE OFL-LiberationFonts.txt; do
    [ -s "$stage/usr/$docdir/$notice" ] || fail "$notice is missing in /usr/$docdir"
done

# Every file the install wrote is inside the staging folder.
while read -r line; do
    path=${line#-- Installing: }
    case $path in
    "$stage"/*) ;;
    *) fail "installed outside DESTDIR: $path" ;;
    esac
done < <(grep '^-- Installing: ' "$stage.log")

[ $status -eq 0 ] && echo "installed: $(cd "$stage" && find . -type f | sort | tr '\n' ' ')"
exit $status
