#!/usr/bin/env bash
# End-to-end test of the real standalone program: it starts on an X display, opens a real ALSA
# device, passes a known signal from its input to its output unchanged, shows its window, writes
# its preferences file, and quits cleanly on SIGINT.
#
# usage: standalone_passthrough.sh QUORVEL_BINARY AUDIO_TOOL
#   AUDIO_TOOL is quorvel_e2e_audio (AudioFileTool.cpp): it writes the input signal, paces and
#   stores the output, and compares the two. harness.sh says how the sound card is made.
set -euo pipefail

app=${1:?usage: standalone_passthrough.sh QUORVEL_BINARY AUDIO_TOOL}
source "$(dirname "$0")/harness.sh"
harness_begin "${2:?usage: standalone_passthrough.sh QUORVEL_BINARY AUDIO_TOOL}"

# The device opens before the processor is attached; input read in between is dropped, and on a
# loaded machine a Debug build takes more than a second there. The signal starts after 4 s.
readonly silent_frames=$(( harness_rate * 4 ))  # silence while the program starts
readonly signal_frames=$(( harness_rate * 3 )) # 3 s of signal
readonly extra_frames=$(( harness_rate / 2 ))  # wait for 0.5 s more output than input
readonly start_timeout=20 quit_timeout=10      # seconds

started=$(date +%s%N)
elapsed() { local ns=$(( $(date +%s%N) - started )); printf '%d.%02d' $(( ns / 1000000000 )) $(( ns % 1000000000 / 10000000 )); }

input="$harness_work/input.raw"
prefs="$XDG_CONFIG_HOME/Varrow's/Quorvel/Quorvel.vasettings"
"$harness_tool" write-input "$input" "$silent_frames" "$signal_frames"
harness_sound_card "$input"
harness_preferences
harness_start "$app"
echo "display $DISPLAY; started $app (pid $harness_pid)"

harness_wait_window "$start_timeout"
echo "$(elapsed) s: window \"$(xdotool getwindowname "$harness_window")\" ($harness_window) is shown"

# Poll until the preferences are written and enough audio came out.
expected_bytes=$(( (silent_frames + signal_frames + extra_frames) * 8 ))
deadline=$(( $(date +%s) + start_timeout ))
until head -c 5 "$prefs" 2>/dev/null | grep -q '^<?xml' && [ "$(harness_output_bytes)" -ge "$expected_bytes" ]; do
    harness_alive || harness_fail "the program exited early"
    if [ "$(date +%s)" -ge "$deadline" ]; then
        head -c 5 "$prefs" 2>/dev/null | grep -q '^<?xml' || harness_fail "the program did not write $prefs"
        harness_fail "only $(harness_output_bytes) of $expected_bytes output bytes (did the ALSA device open?)"
    fi
    sleep 0.1
done
echo "$(elapsed) s: the program wrote $prefs and $(harness_output_bytes) bytes of output"

grep -q "name=\"Recording Path\" val=\"$harness_work/recordings\"" "$prefs" \
    || harness_fail "the preferences file lost the recording folder: $(cat "$prefs")"

# JUCE turns SIGINT into a normal application quit.
kill -INT "$harness_pid"
deadline=$(( $(date +%s) + quit_timeout ))
while harness_alive; do
    [ "$(date +%s)" -lt "$deadline" ] || harness_fail "the program did not quit within ${quit_timeout} s of SIGINT"
    sleep 0.1
done
wait "$harness_pid" && status=0 || status=$?
harness_pid=
[ "$status" -eq 0 ] || harness_fail "the program exited with status $status after SIGINT"
echo "$(elapsed) s: the program quit cleanly"

# The output must hold the input's signal, sample for sample.
"$harness_tool" check "$input" "$harness_output" || harness_fail "the output is not the input passed through"
echo "PASS in $(elapsed) s"
