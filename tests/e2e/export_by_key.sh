#!/usr/bin/env bash
# End-to-end test of the real standalone program: a region selected on the waveform with the
# pointer and written with the 's' key becomes one WAV file in the recording folder holding
# exactly the selected audio: 48 kHz, stereo, 32-bit float, the input's samples bit for bit.
#
# usage: export_by_key.sh QUORVEL_BINARY AUDIO_TOOL   (snippets.sh and harness.sh say how)
set -euo pipefail

app=${1:?usage: export_by_key.sh QUORVEL_BINARY AUDIO_TOOL}
source "$(dirname "$0")/snippets.sh"
snippet_begin "$app" "${2:?usage: export_by_key.sh QUORVEL_BINARY AUDIO_TOOL}"

# 300 columns, about nine seconds near the start of the ring: long enough that a length off by
# 1 % is off by more than the tolerance.
snippet_wait_passed
readonly left=$(( snippet_signal_column + 20 )) right=$(( snippet_signal_column + 320 ))
snippet_wait_captured "$right"

snippet_select "$left" "$right"
xdotool key s
snippet_wait_file 10
snippet_check "$snippet_file" "$left" "$right"

# The key wrote one file and cleared the selection: pressing it again writes nothing.
xdotool key s
sleep 0.5
[ "$(snippet_recordings)" = "$(basename "$snippet_file")" ] \
    || harness_fail "the recording folder holds more than the one file: $(snippet_recordings | tr '\n' ' ')"
echo "PASS in $(snippet_elapsed) s"
