# Shared by the end-to-end test, the screenshot script and the CPU benchmark: runs the real
# standalone program in a private HOME, on an X display, with ALSA's own "file" and "null"
# plug-ins as its sound card. Source it, then call the functions in order:
#
#   harness_begin TOOL            a work folder and a fresh HOME; DISPLAY (own Xvfb if unset);
#                                 QUORVEL_XRUN_REPORT (the program's xruns, written as it quits)
#   harness_sound_card INPUT      ~/.asoundrc and the wrapper's settings ($harness_settings): the
#                                 input plays INPUT (raw stereo float, 48 kHz),
#                                 the output goes to $harness_output, paced at the real rate
#   harness_preferences K=V ...   the program's preferences file (a recording folder is added)
#   harness_start APP             starts the program; $harness_pid
#   harness_wait_window SECONDS   waits for its window; $harness_window
#   harness_also_stop PID         a helper program of the test, stopped at the end too
#
# harness_end (installed as the EXIT trap) stops what was started and removes the work folder
# (kept when QUORVEL_E2E_KEEP=1). harness_fail prints a message and the program's output.
#
# The null PCM has no clock, so the output sink reads its pipe at the byte rate of 48 kHz
# stereo float; the pipe's back-pressure paces the program's audio thread like a sound card.

readonly harness_rate=48000
# The standalone wrapper's settings file, beside the preferences file (set by harness_begin).
harness_settings= harness_preferences_file=
harness_work= harness_pid= harness_xvfb_pid= harness_window= harness_tool= harness_output=
harness_helper_pids=()

harness_end() {
    local status=$?
    set +e                                 # a failed kill or wait must not cut the cleanup short
    local helper
    for helper in "${harness_helper_pids[@]}"; do kill -TERM "$helper" 2>/dev/null; wait "$helper" 2>/dev/null; done
    if [ -n "$harness_pid" ]; then kill -KILL "$harness_pid" 2>/dev/null; wait "$harness_pid" 2>/dev/null; fi
    if [ -n "$harness_xvfb_pid" ]; then kill -TERM "$harness_xvfb_pid" 2>/dev/null; wait "$harness_xvfb_pid" 2>/dev/null; fi
    if [ -n "$harness_work" ]; then
        if [ "${QUORVEL_E2E_KEEP:-0}" = 1 ]; then echo "kept $harness_work"; else rm -rf "$harness_work"; fi
    fi
    exit "$status"
}

harness_fail() {
    echo "FAIL: $*"
    if [ -s "$harness_work/app.log" ]; then
        echo "--- program output (X protocol noise left out) ---"
        grep -v 'X returned BadAtom' "$harness_work/app.log" | tail -n 40 || true
    fi
    exit 1
}

harness_begin() {
    harness_tool=${1:?harness_begin TOOL}
    for t in xdotool Xvfb; do
        command -v "$t" >/dev/null || harness_fail "$t is not installed (scripts/install-deps installs it)"
    done
    [ -x "$harness_tool" ] || harness_fail "no audio tool at $harness_tool"

    harness_work=$(mktemp -d /tmp/quorvel-e2e.XXXXXXXX)   # goes into ALSA's configuration unquoted
    trap harness_end EXIT
    trap 'exit 1' INT TERM

    local original_home=$HOME
    export HOME="$harness_work/home"
    export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
    unset ALSA_CONFIG_PATH                 # keep ALSA's standard configuration, which reads ~/.asoundrc
    # Leak reports from X and font libraries in sanitizer builds are not the harness's concern.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    mkdir -p "$XDG_CONFIG_HOME/Varrow's/Quorvel" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$harness_work/recordings"
    harness_settings="$HOME/.config/Varrow's/Quorvel/Quorvel Standalone.settings"
    harness_preferences_file="$HOME/.config/Varrow's/Quorvel/Quorvel.vasettings"
    # The program writes its audio device and xrun count there when it quits.
    export QUORVEL_XRUN_REPORT="$harness_work/xrun-report"

    if [ -n "${DISPLAY:-}" ]; then
        # X clients find their cookie in ~/.Xauthority unless told otherwise; HOME moved.
        if [ -z "${XAUTHORITY:-}" ] && [ -f "$original_home/.Xauthority" ]; then
            export XAUTHORITY="$original_home/.Xauthority"
        fi
    else
        # Xvfb picks a free display number itself and writes it to fd 3 once it accepts clients;
        # -noreset keeps it from dropping the program while a short-lived xdotool leaves.
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$harness_work/display" >"$harness_work/xvfb.log" 2>&1 &
        harness_xvfb_pid=$!
        for _ in $(seq 100); do
            grep -q '^[0-9]' "$harness_work/display" 2>/dev/null && break
            kill -0 "$harness_xvfb_pid" 2>/dev/null || harness_fail "Xvfb did not start: $(cat "$harness_work/xvfb.log")"
            sleep 0.1
        done
        grep -q '^[0-9]' "$harness_work/display" || harness_fail "Xvfb did not report a display within 10 s"
        export DISPLAY=":$(head -n 1 "$harness_work/display")"
        unset XAUTHORITY
    fi
}

harness_sound_card() {
    local input=${1:?harness_sound_card INPUT}
    harness_output="$harness_work/output.raw"

    # popen() runs the output command through /bin/sh; a small script keeps the quoting simple.
    printf '#!/bin/sh\nexec %q sink %q %d\n' "$harness_tool" "$harness_output" $(( harness_rate * 8 )) > "$harness_work/sink"
    chmod +x "$harness_work/sink"

    # JUCE lists the PCMs that have a hint, named by their description, as input and output devices.
    cat > "$HOME/.asoundrc" <<ASOUNDRC
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
    file "|$harness_work/sink"
    format "raw"
    hint { show on description "Quorvel E2E Output" }
}
ASOUNDRC

    harness_audio_setup ALSA "Quorvel E2E Input" "Quorvel E2E Output" 512
}

# The standalone wrapper's settings, harness_audio_setup TYPE INPUT OUTPUT BUFFER: the device
# manager's state, and "shouldMuteInput" off, since it is on by default and would silence the
# input.
harness_audio_setup() {
    cat > "$harness_settings" <<SETTINGS
<?xml version="1.0" encoding="UTF-8"?>
<PROPERTIES>
  <VALUE name="audioSetup">
    <DEVICESETUP deviceType="$1"
                 audioInputDeviceName="$2" audioOutputDeviceName="$3"
                 audioDeviceRate="$harness_rate" audioDeviceBufferSize="$4"
                 audioDeviceInChans="11" audioDeviceOutChans="11"/>
  </VALUE>
  <VALUE name="shouldMuteInput" val="0"/>
</PROPERTIES>
SETTINGS
}

# The JACK alternative to harness_sound_card, harness_jack_card PERIOD [STORED_SECONDS]: a private
# JACK server with its dummy driver (48 kHz, PERIOD frames a cycle, paced by the clock like a
# card), named after the work folder so that runs side by side keep apart, and
# quorvel_e2e_audio's "jack" mode as the card: client quorvel_e2e_source plays the indexed signal
# into the program's inputs, quorvel_e2e_sink records its outputs into $harness_output (the first
# STORED_SECONDS only, when given) and checks them. $harness_jack_pid is the card;
# harness_jack_stop stops it and sets $harness_jack_summary.
harness_jack_pid= harness_jack_summary=

harness_jack_card() {
    local period=${1:?harness_jack_card PERIOD [STORED_SECONDS]} stored=${2:-}
    command -v jackd >/dev/null || harness_fail "jackd is not installed (scripts/install-deps installs jackd2)"
    export JACK_DEFAULT_SERVER="quorvel-e2e-${harness_work##*.}"
    export JACK_NO_AUDIO_RESERVATION=1       # no D-Bus device reservation: the dummy driver has no device
    harness_output="$harness_work/output.raw"

    jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r "$harness_rate" -p "$period" -C 2 -P 2 > "$harness_work/jackd.log" 2>&1 &
    harness_also_stop $!
    jack_wait -w -t 10 >/dev/null 2>&1 || harness_fail "the JACK server did not start: $(cat "$harness_work/jackd.log")"

    "$harness_tool" jack quorvel_e2e "$harness_output" $stored > "$harness_work/jack-card.log" 2>&1 &
    harness_jack_pid=$!
    harness_helper_pids=("$harness_jack_pid" "${harness_helper_pids[@]}")    # stopped before the server
    local deadline=$(( $(date +%s) + 10 ))
    until grep -q '^ready' "$harness_work/jack-card.log"; do
        kill -0 "$harness_jack_pid" 2>/dev/null || harness_fail "the JACK card exited: $(cat "$harness_work/jack-card.log")"
        [ "$(date +%s)" -lt "$deadline" ] || harness_fail "the JACK card did not start within 10 s"
        sleep 0.1
    done

    # The program's JACK device takes a client's ports as its input or output "device".
    harness_audio_setup JACK quorvel_e2e_source quorvel_e2e_sink "$period"
}

# Stops the JACK card; its last line ("frames N passed P first F breaks B xruns X") goes to
# $harness_jack_summary.
harness_jack_stop() {
    [ -n "$harness_jack_pid" ] || return 0
    kill -TERM "$harness_jack_pid" 2>/dev/null
    wait "$harness_jack_pid" || harness_fail "the JACK card failed: $(cat "$harness_work/jack-card.log")"
    harness_jack_summary=$(grep '^frames ' "$harness_work/jack-card.log" | tail -n 1)
    harness_jack_pid=
}

# harness_jack_check_passed_through WHO AT
# Stops the JACK card and checks that everything WHO played, from its first frame of signal on,
# is the input passed through unchanged, with no breaks. AT (seconds so far) labels the report.
harness_jack_check_passed_through() {
    local who=$1 at=$2 passed heard good breaks
    harness_jack_stop
    passed=$("$harness_tool" check-passed "$harness_output") \
        || harness_fail "$who's output is not its input passed through"
    echo "$at s: the output holds input frames ${passed% *} on, ${passed#* } frames, unchanged"
    echo "    the JACK card: $harness_jack_summary"
    read -r _ heard _ good _ _ _ breaks _ _ <<< "$harness_jack_summary"
    [ "$breaks" -eq 0 ] || harness_fail "the signal broke off $breaks times in $who's output"
    [ "$good" -gt 0 ] && [ "$good" -le "$heard" ] || harness_fail "the JACK card heard no signal: $harness_jack_summary"
}

# Writes the preferences file on one line, without an XML declaration: the program rewrites it
# in JUCE's own layout when it saves at start, which tells that the program wrote it. A stored
# recording folder spares the first-run "Set Recording Directory" message.
harness_preferences() {
    local values="<VALUE name=\"Recording Path\" val=\"$harness_work/recordings\"/>" pair
    for pair in "$@"; do
        values+="<VALUE name=\"${pair%%=*}\" val=\"${pair#*=}\"/>"
    done
    printf '<PROPERTIES>%s</PROPERTIES>\n' "$values" > "$harness_preferences_file"
}

harness_start() {
    local app=${1:?harness_start APP}
    [ -x "$app" ] || harness_fail "no program at $app"
    "$app" > "$harness_work/app.log" 2>&1 &
    harness_pid=$!
}

harness_also_stop() {
    harness_helper_pids+=("${1:?harness_also_stop PID}")
}

harness_alive() {
    kill -0 "$harness_pid" 2>/dev/null
}

harness_wait_window() {
    local deadline=$(( $(date +%s) + ${1:-20} ))
    until harness_window=$(xdotool search --onlyvisible --name '^Quorvel$' 2>/dev/null | head -n 1) && [ -n "$harness_window" ]; do
        harness_alive || harness_fail "the program exited early"
        [ "$(date +%s)" -lt "$deadline" ] || harness_fail "no visible window named Quorvel after ${1:-20} s"
        sleep 0.1
    done
}

# Bytes of output the program has played so far.
harness_output_bytes() {
    stat -c %s "$harness_output" 2>/dev/null || echo 0
}
