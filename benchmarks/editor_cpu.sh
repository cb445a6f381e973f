#!/usr/bin/env bash
# The CPU share of one core that the standalone program uses at its default size, with "Target
# FPS" 20, software rendering (no OpenGL) and a live input, on a virtual X display. Measured
# from the process's own CPU time over three windows of SECONDS (default 20) each, after a few
# seconds of settling; the median of the three is the figure, since a shared machine adds noise.
#
# usage: editor_cpu.sh QUORVEL_BINARY AUDIO_TOOL [SECONDS]
# Prints "figure editor_cpu_pct <median>" and the lowest and highest window.
set -euo pipefail

app=${1:?usage: editor_cpu.sh QUORVEL_BINARY AUDIO_TOOL [SECONDS]}
seconds=${3:-20}
unset DISPLAY                              # a private display, the same for every run
source "$(dirname "$0")/../tests/e2e/harness.sh"
harness_begin "${2:?usage: editor_cpu.sh QUORVEL_BINARY AUDIO_TOOL [SECONDS]}"

"$harness_tool" write-demo "$harness_work/demo.raw" $(( 3 * seconds + 15 ))
harness_sound_card "$harness_work/demo.raw"
harness_preferences "OpenGL=0" "Target FPS=20"
harness_start "$app"
harness_wait_window 20
sleep 5

# utime and stime, in clock ticks: fields 14 and 15 of /proc/PID/stat (after the command name).
cpu_ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$harness_pid/stat"; }

shares=()
for window in 1 2 3; do
    before=$(cpu_ticks)
    sleep "$seconds"
    after=$(cpu_ticks)
    harness_alive || harness_fail "the program exited during the measurement"
    shares+=("$(awk -v used=$(( after - before )) -v hz="$(getconf CLK_TCK)" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * used / hz / s }')")
done

read -r low median high < <(printf '%s\n' "${shares[@]}" | sort -g | tr '\n' ' '; echo)
echo "figure editor_cpu_pct_lowest $low"
echo "figure editor_cpu_pct_highest $high"
echo "figure editor_cpu_pct $median"
