#!/usr/bin/env bash
# The CPU share of one core that the standalone program uses at its default size, with "Target
# FPS" 20, software rendering (no OpenGL) and a live input, on a virtual X display. Measured
# from the process's own CPU time over three windows of SECONDS (default 20) each, after a few
# seconds of settling; the median of the three is the figure, since a shared machine adds noise.
# First with the pointer away from the window (the program left running while the user plays),
# then with the pointer resting over the waveform, where the view polls it on every tick.
#
# usage: editor_cpu.sh QUORVEL_BINARY AUDIO_TOOL [SECONDS]
# Prints "figure editor_cpu_pct <median>" with the lowest and highest window, and the same
# figures for the pointer over the waveform as editor_cpu_pct_hover.
set -euo pipefail

app=${1:?usage: editor_cpu.sh QUORVEL_BINARY AUDIO_TOOL [SECONDS]}
seconds=${3:-20}
unset DISPLAY                              # a private display, the same for every run
source "$(dirname "$0")/../tests/e2e/harness.sh"
harness_begin "${2:?usage: editor_cpu.sh QUORVEL_BINARY AUDIO_TOOL [SECONDS]}"

"$harness_tool" write-demo "$harness_work/demo.raw" $(( 6 * seconds + 20 ))
harness_sound_card "$harness_work/demo.raw"
harness_preferences "OpenGL=0" "Target FPS=20"
harness_start "$app"
harness_wait_window 20
sleep 5

# utime and stime, in clock ticks: fields 14 and 15 of /proc/PID/stat (after the command name).
cpu_ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$harness_pid/stat"; }

# Prints the median, lowest and highest share of three windows under the given figure name.
measure() {
    local name=$1 shares=() window before after low median high
    for window in 1 2 3; do
        before=$(cpu_ticks)
        sleep "$seconds"
        after=$(cpu_ticks)
        harness_alive || harness_fail "the program exited during the measurement"
        shares+=("$(awk -v used=$(( after - before )) -v hz="$(getconf CLK_TCK)" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * used / hz / s }')")
    done
    read -r low median high < <(printf '%s\n' "${shares[@]}" | sort -g | tr '\n' ' '; echo)
    echo "figure ${name}_lowest $low"
    echo "figure ${name}_highest $high"
    echo "figure $name $median"
}

read -r x y w h < <(xdotool getwindowgeometry --shell "$harness_window" | awk -F= '/^(X|Y|WIDTH|HEIGHT)=/{printf "%s ", $2} END {print ""}')
xdotool mousemove $(( x + w + 50 )) $(( y + h + 50 ))
sleep 1
measure editor_cpu_pct

xdotool mousemove $(( x + w / 2 )) $(( y + h / 2 ))
sleep 1
measure editor_cpu_pct_hover
