#!/usr/bin/env bash
# How long the standalone program takes to start: from starting it on a virtual X display until
# its window is mapped, with ALSA's file and null plug-ins as its sound card and a recording
# folder stored (so no first-run message). Five starts; the median is the figure.
#
# usage: startup.sh QUORVEL_BINARY AUDIO_TOOL [RUNS]
# Prints "figure startup_ms <median>" with the fastest and slowest start.
set -euo pipefail

app=${1:?usage: startup.sh QUORVEL_BINARY AUDIO_TOOL [RUNS]}
runs=${3:-5}
unset DISPLAY                              # a private display, the same for every run
source "$(dirname "$0")/../tests/e2e/harness.sh"
harness_begin "${2:?usage: startup.sh QUORVEL_BINARY AUDIO_TOOL [RUNS]}"

"$harness_tool" write-demo "$harness_work/demo.raw" 60
harness_sound_card "$harness_work/demo.raw"
harness_preferences "OpenGL=0"

times=()
for _ in $(seq "$runs"); do
    started=$(date +%s%N)
    harness_start "$app"
    until xdotool search --onlyvisible --name '^Quorvel$' >/dev/null 2>&1; do
        harness_alive || harness_fail "the program exited early"
        [ $(( $(date +%s%N) - started )) -lt 30000000000 ] || harness_fail "no window after 30 s"
        sleep 0.005
    done
    times+=("$(( ($(date +%s%N) - started) / 1000000 ))")
    kill -KILL "$harness_pid"
    wait "$harness_pid" 2>/dev/null || true
    harness_pid=
    sleep 0.5                              # the next start finds the sound card free
done

sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "figure startup_ms_fastest ${sorted[0]}"
echo "figure startup_ms_slowest ${sorted[-1]}"
echo "figure startup_ms ${sorted[$(( ${#sorted[@]} / 2 ))]}"
