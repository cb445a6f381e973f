#!/usr/bin/env bash
# End-to-end test of the real standalone program on a JACK server: with the wrapper's settings
# naming the JACK device (input unmuted), the program passes the signal played into its inputs
# to its outputs unchanged, and a selection written with the 's' key is one WAV file holding
# exactly the selected audio, as on ALSA (export_by_key.sh).
#
# usage: jack_export.sh QUORVEL_BINARY AUDIO_TOOL   (snippets.sh and harness.sh say how)
set -euo pipefail

app=${1:?usage: jack_export.sh QUORVEL_BINARY AUDIO_TOOL}
source "$(dirname "$0")/snippets.sh"
# Cycles of 1024 frames (21 ms): exactness needs a run without xruns, and a Debug build on a
# loaded two-core machine misses 1.3 ms deadlines now and then. scripts/soak runs 64-frame
# cycles and counts the xruns. QUORVEL_JACK_PERIOD chooses another size.
snippet_begin "$app" "${2:?usage: jack_export.sh QUORVEL_BINARY AUDIO_TOOL}" jack "${QUORVEL_JACK_PERIOD:-1024}"

snippet_wait_passed
readonly left=$(( snippet_signal_column + 20 )) right=$(( snippet_signal_column + 220 ))
snippet_wait_captured "$right"

snippet_select "$left" "$right"
xdotool key s
snippet_wait_file 10
snippet_check "$snippet_file" "$left" "$right"

# Everything the program played, from its first frame of signal on, is the input passed through.
harness_jack_check_passed_through "the program" "$(snippet_elapsed)"
echo "PASS in $(snippet_elapsed) s"
