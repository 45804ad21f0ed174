#!/usr/bin/env bash
# The preset strip driven end to end in a real window with real input: the
# plug-in's editor opened by `ambrel edit` under an X server, clicks and keys
# from xdotool, the file dialogs as the user meets them (zenity, or our own
# X11 chooser when zenity is not on PATH; the Windows common dialogs and
# message boxes under Wine), and the results read back from the files written
# and the callbacks the tool reports.
#
# Usage (under tests/support/with-xvfb.sh):
#   preset-strip-e2e.sh AMBREL_TOOL PLUGIN zenity|chooser
#   preset-strip-e2e.sh AMBREL_EXE PLUGIN_DLL wine WINEPREFIX
# Exit 0 on success, 77 when a needed program is missing, 1 on a failure.
set -u
tool=$1
plugin=$2
dialogs=$3
prefix=${4:-}

for program in xdotool xwd cmp; do
    command -v "$program" >/dev/null || { echo "SKIP: no $program"; exit 77; }
done
if [ "$dialogs" = zenity ] && ! command -v zenity >/dev/null; then
    echo "SKIP: no zenity"
    exit 77
fi
# Windows programs go through the project's Wine wrapper, which answers 77
# where this machine cannot run them (32-bit programs on a 64-bit-only kernel).
wine_run=$(cd "$(dirname "$0")/../support" && pwd)/wine.sh
if [ "$dialogs" = wine ]; then
    command -v wine >/dev/null || { echo "SKIP: no wine"; exit 77; }
    [ -f "$tool" ] && [ -f "$plugin" ] || { echo "SKIP: no Windows build"; exit 77; }
    export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
fi
# A file's path as the plug-in's dialogs name it: Wine's Z: drive is the root.
native_path() {
    if [ "$dialogs" = wine ]; then echo "Z:${1//\//\\}"; else echo "$1"; fi
}

work=$(mktemp -d)
log=$work/log
failures=0
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    [ -n "$pid" ] && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
check() { # description, command...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else fail "$what"; fi
}

# Sizes of this build's files: 42 values a record with FAT, 48 without.
if [[ $plugin == *NurAmbrel2.* ]]; then values=42; else values=48; fi
record=$((24 + 4 * values))
bank_size=$((5 + 31 * record))
preset_size=$((5 + record))

# The name field of a preset file (bytes 5..28, up to the first zero byte).
preset_name() { dd if="$1" bs=1 skip=5 count=24 status=none | tr -d '\0'; }
file_size() { stat -c %s "$1" 2>/dev/null || echo 0; }

mkdir -p "$work/config" "$work/files" "$work/cwd" "$work/bin"
# Without zenity (and kdialog) on PATH the plug-in falls back to its own chooser.
path=$PATH
if [ "$dialogs" = chooser ]; then
    path=$work/bin
fi
# A fresh X server may refuse the first connection while it settles: the
# tool is started again when it could not reach the display.
origin=
for _attempt in 1 2 3; do
    if [ "$dialogs" = wine ]; then
        (cd "$work/cwd" && exec "$wine_run" "$tool" edit "$(native_path "$plugin")" --verbose --signal none --idle-ms 30 \
            --seconds 600 >"$log" 2>&1) &
    else
        (cd "$work/cwd" && exec env PATH="$path" XDG_CONFIG_HOME="$work/config" AMBREL_UI_SCALE=1 \
            "$tool" edit "$plugin" --verbose --signal none --idle-ms 30 --seconds 600 >"$log" 2>&1) &
    fi
    pid=$!
    for _ in $(seq 1 200); do
        origin=$(sed -n 's/^window at \([0-9-]*\),\([0-9-]*\) .*/\1 \2/p' "$log" | head -n1)
        [ -n "$origin" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    [ -n "$origin" ] && break
    if grep -q "SKIPPED" "$log"; then
        cat "$log"
        exit 77
    fi
    grep -q "cannot open the X display" "$log" || break
    wait "$pid" 2>/dev/null
    pid=
    sleep 1
done
[ -n "$origin" ] || { echo "FAIL: the editor did not open"; cat "$log"; exit 1; }
read -r ox oy <<<"$origin"
# The tool names its window after the effect ("Nur Ambrel2", "Nur Ambrel").
if [[ $plugin == *NurAmbrel2.* ]]; then title="Nur Ambrel2"; else title="Nur Ambrel"; fi
editor_window=$(xdotool search --sync --onlyvisible --name "^$title\$" | head -n1)
sleep 1

# Pointer and keys. Strip controls sit on row 451 of the 450 x 460 window.
row=451
click() { xdotool mousemove $((ox + $1)) $((oy + $2)) sleep 0.05 click 1; sleep 0.4; }
key() { xdotool key --delay 60 "$@"; sleep 0.3; }
typed() { xdotool type --delay 20 "$1"; sleep 0.2; }
automations() { grep -c "automate $1=" "$log"; }
last_value() { grep -o "automate $1=[0-9.e-]*" "$log" | tail -n1 | cut -d= -f2; }

# The viewable override-redirect windows on the root: pop-up menus.
popups() {
    local id info
    for id in $(xwininfo -root -children 2>/dev/null | sed -n 's/^ *\(0x[0-9a-f]*\) .*/\1/p'); do
        info=$(xwininfo -id "$id" 2>/dev/null)
        if grep -q "Override Redirect State: yes" <<<"$info" && grep -q "Map State: IsViewable" <<<"$info"; then
            echo "$id"
        fi
    done
}
# Waits for a pop-up menu that was not there before (the list given) and a
# moment more for it to take the keyboard: keys sent before it would go to
# the editor and leave the menu open.
wait_popup() { # popups before
    local id
    for _ in $(seq 1 100); do
        for id in $(popups); do
            if ! grep -qx "$id" <<<"$1"; then
                sleep 0.5
                return 0
            fi
        done
        sleep 0.1
    done
    fail "no pop-up menu"
    return 1
}

# Answers the file dialog that a click opened with a full path.
answer_dialog() { # title, path
    local title=$1 file=$2 dialog
    dialog=$(xdotool search --sync --onlyvisible --name "^${title//./\\.}\$" | head -n1)
    [ -n "$dialog" ] || { fail "no dialog \"$title\""; return 1; }
    sleep 1
    xdotool windowfocus --sync "$dialog" 2>/dev/null
    xdotool mousemove --window "$dialog" 40 40
    case $dialogs in
    zenity) if [[ $title == Save* ]]; then key ctrl+a; else key ctrl+l; fi ;;
    chooser) key ctrl+u ;;
    wine) key End shift+Home ;;
    esac
    typed "$(native_path "$file")"
    key Return
    # The dialog is gone and the editor has the file.
    for _ in $(seq 1 50); do
        xdotool search --onlyvisible --name "^${title//./\\.}\$" >/dev/null 2>&1 || break
        sleep 0.1
    done
    sleep 0.5
}

# The editor window's pixels, for telling whether a message is drawn over it.
picture() { xwd -silent -id "$editor_window" >"$1"; }

save_preset_as() { # file
    click 97 $row &
    answer_dialog "Save preset as..." "$1"
    wait $!
}

# 1. A preset chosen from the menu: Home is entry 0, four Downs reach
#    entry 5 ("Mix First Aid 2", slot 4) past the separator.
before=$(popups)
click 298 $row &
wait_popup "$before" # the menu opens modally inside the click
if [ "$dialogs" = wine ]; then key Down Down Down Down Down Return; else key Home Down Down Down Down Return; fi
wait $!
save_preset_as "$work/files/menu.nur"
check "menu choice saved as a preset of $preset_size bytes" test "$(file_size "$work/files/menu.nur")" = "$preset_size"
check "the menu chose Mix First Aid 2" test "$(preset_name "$work/files/menu.nur")" = "Mix First Aid 2"

# 2. The rocker's right half steps to the next preset.
click 338 $row
save_preset_as "$work/files/next.nur"
check "the rocker stepped to Mix First Aid 3" test "$(preset_name "$work/files/next.nur")" = "Mix First Aid 3"

# 3. A new name typed into the name field (30 characters, 24 kept).
click 233 $row
if [ "$dialogs" = wine ]; then key End shift+Home; else key ctrl+a; fi
typed "Renamed by a real keyboard!!!!"
key Return
save_preset_as "$work/files/renamed.nur"
check "the name field renamed the preset (24 characters)" \
    test "$(preset_name "$work/files/renamed.nur")" = "Renamed by a real keyboa"

# 4. Store A, turn Drive, recall A: one automation per parameter, Drive back.
drive_before=$(last_value 4)
click 358 $row
xdotool mousemove $((ox + 178)) $((oy + 230)) mousedown 1 sleep 0.1 mousemove $((ox + 178)) $((oy + 180)) \
    sleep 0.1 mousemove $((ox + 178)) $((oy + 150)) sleep 0.1 mouseup 1
sleep 0.5
drive_turned=$(last_value 4)
check "dragging Drive changed it ($drive_before -> $drive_turned)" test "$drive_turned" != "$drive_before"
count_before=$(grep -c "automate " "$log")
click 380 $row
check "recall A automated each of the $values parameters once" \
    test $(($(grep -c "automate " "$log") - count_before)) = "$values"
check "recall A brought Drive back" test "$(last_value 4)" = "$drive_before"

# 5. Save the bank, rename, load the bank back, load a preset.
click 26 $row &
answer_dialog "Save bank as..." "$work/files/bank.nub"
wait $!
check "bank saved, $bank_size bytes" test "$(file_size "$work/files/bank.nub")" = "$bank_size"
click 76 $row &
answer_dialog "Select bank to load..." "$work/files/bank.nub"
wait $!
save_preset_as "$work/files/after-bank.nur"
# Slot 0 of the bank is the working program, named by the recall.
check "the loaded bank selected its slot 0" \
    test "$(preset_name "$work/files/after-bank.nur")" = "Renamed by a real keyboa"
click 156 $row &
answer_dialog "Select preset to load..." "$work/files/menu.nur"
wait $!
save_preset_as "$work/files/after-preset.nur"
check "the loaded preset replaced the current one" \
    test "$(preset_name "$work/files/after-preset.nur")" = "Mix First Aid 2"
check "the working directory was left alone" test -z "$(ls -A "$work/cwd")"

# 6. The three messages, drawn in the editor and dismissed with Return.
printf 'This is not a preset file at all.' >"$work/files/text.nur"
message() { # button x, dialog title, file, what
    # The pointer rests away from the strip, so no button shows its highlight.
    xdotool mousemove $((ox + 225)) $((oy + 230))
    sleep 1
    picture "$work/before.xwd"
    click "$1" $row &
    answer_dialog "$2" "$3"
    sleep 0.5
    picture "$work/shown.xwd"
    [ -n "${AMBREL_E2E_KEEP:-}" ] && cp "$work/shown.xwd" "$AMBREL_E2E_KEEP/$dialogs-$1.xwd"
    if [ "$dialogs" = wine ]; then
        # A message box of its own, captioned "Error...", with the text.
        box=$(xdotool search --onlyvisible --name '^Error\.\.\.$' | head -n1)
        if [ -n "$box" ]; then echo "ok: $4 shown"; else fail "$4: no message box"; fi
        if [ -n "$box" ]; then
            # Without a window manager the box has the keyboard once clicked
            # (on its text, away from the button).
            eval "$(xdotool getwindowgeometry --shell "$box")"
            xdotool mousemove --window "$box" 20 $((HEIGHT / 3)) click 1
            sleep 0.3
        fi
        key Return
        wait $!
        local gone=
        for _ in $(seq 1 30); do
            if ! xdotool search --onlyvisible --name '^Error\.\.\.$' | grep -qx "${box:-none}"; then
                gone=1
                break
            fi
            sleep 0.1
        done
        if [ -n "$gone" ]; then echo "ok: $4 dismissed"; else fail "$4: still shown"; fi
        return
    fi
    if cmp -s "$work/before.xwd" "$work/shown.xwd"; then fail "$4: no message shown"; else echo "ok: $4 shown"; fi
    xdotool mousemove $((ox + 225)) $((oy + 230))
    key Return
    wait $!
    sleep 0.5
    picture "$work/after.xwd"
    if cmp -s "$work/before.xwd" "$work/after.xwd"; then echo "ok: $4 dismissed"; else fail "$4: still shown"; fi
}
message 76 "Select bank to load..." "$work/files/menu.nur" "Not a bank file!"
message 156 "Select preset to load..." "$work/files/bank.nub" "Error #02: Not a preset file!"
message 156 "Select preset to load..." "$work/files/text.nur" "Error #01: Invalid preset file!"

kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
pid=
if [ "$failures" -gt 0 ]; then
    echo "$failures failed; the tool said:"
    tail -n 40 "$log"
    exit 1
fi
echo "all passed"
