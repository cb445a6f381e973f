#!/usr/bin/env bash
# End-to-end test of the real standalone program: a selection dragged out of the window onto a
# GTK 3 window that accepts file drops (drop_target.py) arrives there as one file:// URI of the
# WAV file the drag wrote into the recording folder, which holds exactly the selected audio.
#
# usage: drag_out.sh QUORVEL_BINARY AUDIO_TOOL   (snippets.sh and harness.sh say how)
set -euo pipefail

app=${1:?usage: drag_out.sh QUORVEL_BINARY AUDIO_TOOL}
source "$(dirname "$0")/snippets.sh"
snippet_begin "$app" "${2:?usage: drag_out.sh QUORVEL_BINARY AUDIO_TOOL}"

# The drop target below the program's window, started while the program captures. The GTK
# bindings are Debian's, installed for Debian's own interpreter.
drop_x=$(snippet_screen_x 300) drop_y=$(( snippet_window_bottom + 60 )) drop_w=400 drop_h=200
drop_log="$harness_work/drop.log" drop_uris="$harness_work/drop.uris"
NO_AT_BRIDGE=1 /usr/bin/python3 "$(dirname "$0")/drop_target.py" "$drop_x" "$drop_y" "$drop_w" "$drop_h" "$drop_uris" \
    > "$drop_log" 2>&1 &
drop_pid=$!
harness_also_stop "$drop_pid"

drop_fail() {
    echo "--- drop target output ---"
    cat "$drop_log"
    harness_fail "$@"
}

# Drop target lines that start with WORD.
drop_lines() { grep -c "^$1 " "$drop_log" || true; }

# About four and a half seconds, selected from right to left this time.
snippet_wait_passed
readonly left=$(( snippet_signal_column + 75 )) right=$(( snippet_signal_column + 225 ))
snippet_wait_captured "$right"

deadline=$(( $(date +%s) + 10 ))
until [ "$(drop_lines ready)" -ge 1 ]; do
    kill -0 "$drop_pid" 2>/dev/null || drop_fail "the drop target exited"
    [ "$(date +%s)" -lt "$deadline" ] || drop_fail "the drop target did not show its window within 10 s"
    sleep 0.1
done

snippet_select "$right" "$left"

# Press on the selection and move away: past 30 px the view writes the file...
x=$(snippet_screen_x $(( (left + right) / 2 ))) y=$(snippet_screen_y "$snippet_row")
xdotool mousemove "$x" "$y" sleep 0.1 mousedown 1
for _ in $(seq 8); do
    y=$(( y + 5 ))
    xdotool mousemove "$x" "$y" sleep 0.03
done
snippet_wait_file 10

# ...and the next motion starts the drag. The target answers each position message; it sees
# the next one only after the program had the answer, so two of them mean the program knows
# that the drop will be taken.
target_x=$(( drop_x + drop_w / 2 )) target_y=$(( drop_y + drop_h / 2 ))
steps=12
for step in $(seq "$steps"); do
    xdotool mousemove $(( x + (target_x - x) * step / steps )) $(( y + (target_y - y) * step / steps )) sleep 0.03
done
deadline=$(( $(date +%s) + 10 )) wiggle=0
until [ "$(drop_lines motion)" -ge 2 ]; do
    kill -0 "$drop_pid" 2>/dev/null || drop_fail "the drop target exited before the drop"
    [ "$(date +%s)" -lt "$deadline" ] || drop_fail "the drag did not reach the drop target within 10 s"
    wiggle=$(( 1 - wiggle ))
    xdotool mousemove $(( target_x + 4 * wiggle )) "$target_y" sleep 0.1
done
xdotool mouseup 1
echo "$(snippet_elapsed) s: released over the drop target after $(drop_lines motion) positions"

deadline=$(( $(date +%s) + 10 ))
while kill -0 "$drop_pid" 2>/dev/null; do
    [ "$(date +%s)" -lt "$deadline" ] || drop_fail "no drop arrived within 10 s of the release"
    sleep 0.1
done
wait "$drop_pid" || drop_fail "the drop target failed"

# Exactly one URI, naming the file in the recording folder.
[ "$(wc -l < "$drop_uris")" -eq 1 ] || drop_fail "the drop delivered $(wc -l < "$drop_uris") URIs: $(cat "$drop_uris")"
uri=$(cat "$drop_uris")
dropped=$(/usr/bin/python3 -c 'import sys, urllib.parse as u; p = u.urlsplit(sys.argv[1]); print(u.unquote(p.path) if p.scheme == "file" and p.netloc in ("", "localhost") else "")' "$uri")
[ -n "$dropped" ] || drop_fail "the drop delivered $uri, not a local file:// URI"
[ "$dropped" = "$snippet_file" ] || drop_fail "the drop named $dropped, not the file written, $snippet_file"
echo "$(snippet_elapsed) s: the drop delivered $uri"

snippet_check "$snippet_file" "$left" "$right"
[ "$(snippet_recordings)" = "$(basename "$snippet_file")" ] \
    || harness_fail "the recording folder holds more than the one file: $(snippet_recordings | tr '\n' ' ')"
harness_alive || harness_fail "the program exited after the drop"
echo "PASS in $(snippet_elapsed) s"
