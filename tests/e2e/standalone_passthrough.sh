#!/usr/bin/env bash
# End-to-end test of the real standalone program: it starts on an X display, opens a real ALSA
# device, passes a known signal from its input to its output unchanged, shows its window, writes
# its preferences file, and quits cleanly on SIGINT.
#
# usage: standalone_passthrough.sh QUORVEL_BINARY AUDIO_TOOL
#   QUORVEL_BINARY  the Quorvel standalone program
#   AUDIO_TOOL      quorvel_e2e_audio (tests/e2e/AudioFileTool.cpp): writes the input signal,
#                   paces and stores the output, and compares the two
#
# The machine needs no sound card. The program's sound card is made of ALSA's own plug-ins,
# defined in an ~/.asoundrc inside a temporary HOME:
#   - input:  a "file" PCM over the "null" PCM whose samples are replaced by a raw input file;
#   - output: a "file" PCM over the "null" PCM that pipes what is played into AUDIO_TOOL sink.
# The null PCM has no clock, so the sink reads the pipe at the real byte rate of 48 kHz stereo
# float; the pipe's back-pressure then paces the program's audio thread like a sound card would.
#
# Uses $DISPLAY when set (e.g. under xvfb-run -a); otherwise starts its own Xvfb.
# Set QUORVEL_E2E_KEEP=1 to keep the temporary folder to look at afterwards.
set -euo pipefail

app=${1:?usage: standalone_passthrough.sh QUORVEL_BINARY AUDIO_TOOL}
tool=${2:?usage: standalone_passthrough.sh QUORVEL_BINARY AUDIO_TOOL}

readonly rate=48000
readonly bytes_per_second=$(( rate * 2 * 4 ))     # stereo, 32-bit float
readonly silent_frames=$rate                       # 1 s of silence while the program starts
readonly signal_frames=$(( rate * 3 ))             # 3 s of signal
readonly extra_frames=$(( rate / 2 ))              # wait for 0.5 s more output than input
readonly start_timeout=20                          # seconds for the window and the audio
readonly quit_timeout=10                           # seconds to quit after SIGINT

for t in xdotool Xvfb; do
    command -v "$t" >/dev/null || { echo "FAIL: $t is not installed (scripts/install-deps installs it)"; exit 1; }
done
[ -x "$app" ] || { echo "FAIL: no program at $app"; exit 1; }
[ -x "$tool" ] || { echo "FAIL: no audio tool at $tool"; exit 1; }

# Everything the test writes lives here; its path goes into ALSA's configuration unquoted.
work=$(mktemp -d /tmp/quorvel-e2e.XXXXXXXX)
app_pid= xvfb_pid=

cleanup() {
    local status=$?
    set +e                                 # a failed kill or wait must not cut the cleanup short
    if [ -n "$app_pid" ]; then kill -KILL "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; fi
    if [ -n "$xvfb_pid" ]; then kill -TERM "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
    if [ "${QUORVEL_E2E_KEEP:-0}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*"
    if [ -s "$work/app.log" ]; then
        echo "--- program output (X protocol noise left out) ---"
        grep -v 'X returned BadAtom' "$work/app.log" | tail -n 40 || true
    fi
    exit 1
}

# Elapsed seconds since the test started, to two decimals.
started=$(date +%s%N)
elapsed() { local ns=$(( $(date +%s%N) - started )); printf '%d.%02d' $(( ns / 1000000000 )) $(( ns % 1000000000 / 10000000 )); }

# --- a fresh HOME: the program and ALSA read and write only in here ----------------------------
original_home=$HOME
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
unset ALSA_CONFIG_PATH                     # keep ALSA's standard configuration, which reads ~/.asoundrc
# Leak reports from X and font libraries in sanitizer builds are not this test's concern.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

prefs_dir="$XDG_CONFIG_HOME/Varrow's/Quorvel"
prefs="$prefs_dir/Quorvel.vasettings"
mkdir -p "$prefs_dir" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$work/recordings"

# --- the X display ---------------------------------------------------------------------------------
if [ -n "${DISPLAY:-}" ]; then
    # X clients find their cookie in ~/.Xauthority unless told otherwise; HOME moved, so point
    # them at the original one (read only).
    if [ -z "${XAUTHORITY:-}" ] && [ -f "$original_home/.Xauthority" ]; then
        export XAUTHORITY="$original_home/.Xauthority"
    fi
else
    # Xvfb picks a free display number itself and writes it to fd 3 once it accepts clients.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        grep -q '^[0-9]' "$work/display" 2>/dev/null && break
        kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
        sleep 0.1
    done
    grep -q '^[0-9]' "$work/display" || fail "Xvfb did not report a display within 10 s"
    export DISPLAY=":$(head -n 1 "$work/display")"
    unset XAUTHORITY
fi
echo "display $DISPLAY"

# --- the sound card: ALSA's file and null plug-ins -----------------------------------------------
input="$work/input.raw"
output="$work/output.raw"
"$tool" write-input "$input" "$silent_frames" "$signal_frames"

# popen() runs the output command through /bin/sh; a small script keeps the quoting in one place.
printf '#!/bin/sh\nexec %q sink %q %d\n' "$tool" "$output" "$bytes_per_second" > "$work/sink"
chmod +x "$work/sink"

# JUCE lists the PCMs that have a hint, named by their description, as input and output devices.
cat > "$HOME/.asoundrc" <<EOF
pcm.quorvel_e2e_in {
    type file
    slave.pcm "null"
    file "/dev/null"
    infile "$input"
    format "raw"
    hint { show on description "Quorvel E2E Input" }
}
pcm.quorvel_e2e_out {
    type file
    slave.pcm "null"
    file "|$work/sink"
    format "raw"
    hint { show on description "Quorvel E2E Output" }
}
EOF

# --- the program's settings ----------------------------------------------------------------------
# JUCE's standalone wrapper keeps its settings in ~/.config/<name>.settings: the device manager's
# state and "shouldMuteInput", which is on by default and would replace the input with silence.
cat > "$HOME/.config/Quorvel.settings" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<PROPERTIES>
  <VALUE name="audioSetup">
    <DEVICESETUP deviceType="ALSA"
                 audioInputDeviceName="Quorvel E2E Input" audioOutputDeviceName="Quorvel E2E Output"
                 audioDeviceRate="$rate" audioDeviceBufferSize="512"
                 audioDeviceInChans="11" audioDeviceOutChans="11"/>
  </VALUE>
  <VALUE name="shouldMuteInput" val="0"/>
</PROPERTIES>
EOF

# A stored recording folder spares the first-run "Set Recording Directory" message. It is written
# on one line without an XML declaration; the program rewrites it in JUCE's own layout when it
# saves its preferences at start, which is how the test tells that the program wrote the file.
printf '<PROPERTIES><VALUE name="Recording Path" val="%s"/></PROPERTIES>\n' "$work/recordings" > "$prefs"

# --- run the program -----------------------------------------------------------------------------
"$app" > "$work/app.log" 2>&1 &
app_pid=$!
echo "started $app (pid $app_pid)"

expected_bytes=$(( (silent_frames + signal_frames + extra_frames) * 8 ))
deadline=$(( $(date +%s) + start_timeout ))
window= prefs_written=

# Poll until the window is shown, the preferences are written and enough audio came out.
while :; do
    kill -0 "$app_pid" 2>/dev/null || { wait "$app_pid" && status=0 || status=$?; app_pid=; fail "the program exited early (status $status)"; }

    if [ -z "$window" ]; then
        window=$(xdotool search --onlyvisible --name '^Quorvel$' 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && echo "$(elapsed) s: window \"$(xdotool getwindowname "$window")\" ($window) is shown"
    fi

    if [ -z "$prefs_written" ] && head -c 5 "$prefs" 2>/dev/null | grep -q '^<?xml'; then
        prefs_written=1
        echo "$(elapsed) s: the program wrote $prefs"
    fi

    size=$(stat -c %s "$output" 2>/dev/null || echo 0)
    [ -n "$window" ] && [ -n "$prefs_written" ] && [ "$size" -ge "$expected_bytes" ] && break

    if [ "$(date +%s)" -ge "$deadline" ]; then
        [ -n "$window" ] || fail "no visible window named Quorvel after ${start_timeout} s"
        [ -n "$prefs_written" ] || fail "the program did not write $prefs within ${start_timeout} s"
        fail "only $size of $expected_bytes output bytes after ${start_timeout} s (did the ALSA device open?)"
    fi
    sleep 0.1
done
echo "$(elapsed) s: $size bytes of output"

grep -q "name=\"Recording Path\" val=\"$work/recordings\"" "$prefs" \
    || fail "the preferences file lost the recording folder: $(cat "$prefs")"

# --- quit: JUCE turns SIGINT into a normal application quit --------------------------------------
kill -INT "$app_pid"
deadline=$(( $(date +%s) + quit_timeout ))
while kill -0 "$app_pid" 2>/dev/null; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "the program did not quit within ${quit_timeout} s of SIGINT"
    sleep 0.1
done
wait "$app_pid" && status=0 || status=$?
app_pid=
[ "$status" -eq 0 ] || fail "the program exited with status $status after SIGINT"
echo "$(elapsed) s: the program quit cleanly"

# --- the output must hold the input's signal, sample for sample ----------------------------------
"$tool" check "$input" "$output" || fail "the output is not the input passed through"

echo "PASS in $(elapsed) s"
