#!/usr/bin/env bash
# End-to-end test of the LV2 plug-in in a real host: lilv (lv2info) finds the bundle the build
# wrote and lists the plug-in's ports, and jalv runs it on a private JACK server (dummy driver,
# 1024-frame cycles) with quorvel_e2e_audio's JACK card around it. The card plays the indexed
# signal into the plug-in and records what it plays: from the first frame of signal on, every
# frame must be the next frame of the input, bit for bit. The signal tells each frame's index,
# so whatever latency the JACK graph adds needs no search. When its input closes, jalv must
# shut the plug-in down cleanly.
#
# usage: lv2_jalv.sh LV2_BINARY AUDIO_TOOL
#   LV2_BINARY: the plug-in's library inside its bundle (Quorvel.lv2/libQuorvel.so)
set -euo pipefail

binary=${1:?usage: lv2_jalv.sh LV2_BINARY AUDIO_TOOL}
tool=${2:?usage: lv2_jalv.sh LV2_BINARY AUDIO_TOOL}
readonly uri=http://varrow.audio/plugins/quorvel client=quorvel_lv2
readonly seconds=4    # of signal through the plug-in

source "$(dirname "$0")/harness.sh"
started=$(date +%s%N)
elapsed() {
    local ns=$(( $(date +%s%N) - started ))
    printf '%d.%02d' $(( ns / 1000000000 )) $(( ns % 1000000000 / 10000000 ))
}

harness_begin "$tool"
for t in lv2info jalv jack_lsp jack_connect; do
    command -v "$t" >/dev/null || harness_fail "$t is not installed (scripts/install-deps installs jalv, lilv-utils, jackd2)"
done
[ -f "$binary" ] || harness_fail "no LV2 plug-in at $binary"

# Only the built bundle: no plug-in installed on the machine can stand in for it.
bundle=$(dirname "$(realpath "$binary")")
export LV2_PATH=$(dirname "$bundle")

# The ports as lilv reads them from the bundle's description: "INDEX SYMBOL DIRECTION KIND".
lv2info "$uri" > "$harness_work/lv2info.txt" 2>&1 || harness_fail "lv2info does not know $uri: $(cat "$harness_work/lv2info.txt")"
ports=$(awk '
    function flush() { if (index_ != "") print index_, symbol, direction, kind; index_ = "" }
    /^\tPort [0-9]+:/      { flush(); index_ = $2; sub(":", "", index_); direction = kind = symbol = "?"; next }
    /#InputPort$/          { direction = "in" }
    /#OutputPort$/         { direction = "out" }
    /#AudioPort$/          { kind = "audio" }
    /#ControlPort$/        { kind = "control" }
    /atom#AtomPort$/       { kind = "atom" }
    /^\t\tSymbol:/         { symbol = $2 }
    END                    { flush() }' "$harness_work/lv2info.txt")
expected_ports="0 audio_in_1 in audio
1 audio_in_2 in audio
2 audio_out_1 out audio
3 audio_out_2 out audio
4 in in atom
5 out out atom
6 latency out control
7 freeWheeling in control
8 enabled in control"
if [ "$ports" != "$expected_ports" ]; then
    printf 'ports listed by lv2info:\n%s\nexpected:\n%s\n' "$ports" "$expected_ports"
    harness_fail "the plug-in's ports are not two audio inputs, two audio outputs and the framework's atom and control ports"
fi
grep -E '^\s+Bundle:' "$harness_work/lv2info.txt" | grep -qF "file://$bundle/" \
    || harness_fail "lilv found the plug-in elsewhere than in $bundle"
echo "$(elapsed) s: lv2info lists 2 audio inputs, 2 audio outputs, atom in/out, latency, freeWheeling, enabled"

harness_preferences                      # a recording folder, so that no message box is asked for
harness_jack_card 1024

# jalv's console reads commands from its standard input and quits when it ends: a pipe kept
# open here holds it running until the test closes it.
mkfifo "$harness_work/jalv-input"
jalv -x -n "$client" "$uri" < "$harness_work/jalv-input" > "$harness_work/app.log" 2>&1 &
harness_pid=$!
exec 4> "$harness_work/jalv-input"

deadline=$(( $(date +%s) + 20 ))
until jack_lsp 2>/dev/null | grep -qx "$client:audio_out_2"; do
    harness_alive || harness_fail "jalv exited early"
    [ "$(date +%s)" -lt "$deadline" ] || harness_fail "jalv registered no ports in 20 s"
    sleep 0.1
done
echo "$(elapsed) s: jalv runs the plug-in as JACK client $client"

# The outputs first, so that the card hears the plug-in from the first cycle it plays into it.
for channel in 1 2; do
    jack_connect "$client:audio_out_$channel" "quorvel_e2e_sink:in_$channel" || harness_fail "cannot connect the plug-in's output $channel"
done
for channel in 1 2; do
    jack_connect "quorvel_e2e_source:out_$channel" "$client:audio_in_$channel" || harness_fail "cannot connect the plug-in's input $channel"
done

deadline=$(( $(date +%s) + 30 ))
while :; do
    if passed=$("$harness_tool" first-passed "$harness_output"); then
        [ "${passed#* }" -ge $(( seconds * harness_rate )) ] && break
    else
        [ $? -eq 3 ] || harness_fail "the plug-in's output is not its input passed through"
    fi
    harness_alive || harness_fail "jalv exited while playing"
    [ "$(date +%s)" -lt "$deadline" ] || harness_fail "less than $seconds s of signal came through in 30 s"
    sleep 0.2
done

harness_jack_check_passed_through "the plug-in" "$(elapsed)"

# Closing its input quits jalv, which deactivates and frees the plug-in.
exec 4>&-
deadline=$(( $(date +%s) + 20 ))
while harness_alive; do
    [ "$(date +%s)" -lt "$deadline" ] || harness_fail "jalv did not quit within 20 s of its input closing"
    sleep 0.1
done
wait "$harness_pid" || harness_fail "jalv exited with status $?"
harness_pid=
# The framework reports failed assertions and leaked objects on standard error in debug builds.
if grep -E 'JUCE Assertion failure|Leaked objects detected' "$harness_work/app.log" >/dev/null; then
    harness_fail "the plug-in reported assertions or leaks in jalv"
fi
echo "PASS in $(elapsed) s"
