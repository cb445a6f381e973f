# Shared by the snippet tests (export_by_key.sh, drag_out.sh): the standalone program on its
# own X display with a 1000 x 120 editor, fed a signal that tells each frame's index
# (quorvel_e2e_audio write-indexed), a selection made with the pointer, and the check that a
# snippet file holds exactly the selected audio. Source it, then:
#
#   snippet_begin APP TOOL [jack PERIOD]
#                                   the harness, the sound card (ALSA's plug-ins, or a JACK server
#                                   with PERIOD-frame cycles and quorvel_e2e_audio's JACK card,
#                                   storing $snippet_stored_seconds of output when set), the
#                                   program; waits for its window
#   snippet_wait_passed             waits for the first signal out; $snippet_first and
#                                   $snippet_signal_column, the first column surely holding signal
#   snippet_wait_captured COLUMN    waits until the ring holds signal past editor column COLUMN
#   snippet_select FROM TO          presses at editor column FROM, drags to TO and releases
#   snippet_wait_file SECONDS       waits for the one complete file in the recording folder;
#                                   $snippet_file
#   snippet_check FILE FROM TO      FILE holds the audio the selection FROM..TO covers
#
# Columns and rows are editor pixels; snippet_screen_x/_y turn them into screen positions.

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

readonly snippet_editor_width=1000 snippet_editor_height=120
readonly snippet_margin=5                                          # the view's margin around the waveform
readonly snippet_area_width=$(( snippet_editor_width - 2 * snippet_margin ))   # one column per pixel
readonly snippet_capacity=$(( harness_rate * 30 ))                 # the ring: 30 s, the default
readonly snippet_row=$(( snippet_editor_height / 2 ))              # presses go to the middle row
readonly snippet_input_frames=$(( harness_rate * 60 ))             # more than any run needs

snippet_started=$(date +%s%N)
snippet_input= snippet_first= snippet_signal_column= snippet_file=
snippet_editor_x= snippet_editor_y= snippet_window_bottom=

snippet_elapsed() {
    local ns=$(( $(date +%s%N) - snippet_started ))
    printf '%d.%02d' $(( ns / 1000000000 )) $(( ns % 1000000000 / 10000000 ))
}

snippet_screen_x() { echo $(( snippet_editor_x + $1 )); }
snippet_screen_y() { echo $(( snippet_editor_y + $1 )); }

snippet_begin() {
    local app=${1:?snippet_begin APP TOOL}
    # A display of its own: the test moves the pointer and types, which must reach no other
    # program's window, and no other program's window may cover the waveform.
    unset DISPLAY
    harness_begin "${2:?snippet_begin APP TOOL}"

    if [ "${3:-alsa}" = jack ]; then
        snippet_input=-                    # the JACK card plays the indexed signal as long as it runs
        harness_jack_card "${4:?snippet_begin APP TOOL jack PERIOD}" "${snippet_stored_seconds:-}"
    else
        snippet_input="$harness_work/input.raw"
        "$harness_tool" write-indexed "$snippet_input" "$snippet_input_frames"
        harness_sound_card "$snippet_input"
    fi
    harness_preferences "Standalone Display Width=$snippet_editor_width" "Standalone Display Height=$snippet_editor_height"
    harness_start "$app"
    harness_wait_window 20
    echo "$(snippet_elapsed) s: display $DISPLAY, window $harness_window shown"

    # The window frames the editor with a title bar above and an equal border on the other
    # three sides (no window manager runs on this display).
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$harness_window")"
    local border=$(( (WIDTH - snippet_editor_width) / 2 ))
    [ "$border" -ge 0 ] && [ "$HEIGHT" -gt $(( snippet_editor_height + 2 * border )) ] \
        || harness_fail "a ${WIDTH}x${HEIGHT} window cannot hold the ${snippet_editor_width}x${snippet_editor_height} editor"
    snippet_editor_x=$(( X + border ))
    snippet_editor_y=$(( Y + HEIGHT - border - snippet_editor_height ))
    snippet_window_bottom=$(( Y + HEIGHT ))
}

# The ring starts empty when the program starts processing. JUCE's standalone wrapper drops
# the input until the processor is attached, then mutes it until its message loop has run: ring
# index 0 holds an input frame from 0 to $snippet_first, the first frame passed through unmuted
# (the output tells, as the input tells each frame's index), and holds signal from ring index
# $snippet_first on at the latest, which is in editor column $snippet_signal_column or before.
snippet_wait_passed() {
    local deadline=$(( $(date +%s) + 30 )) passed status
    until passed=$("$harness_tool" first-passed "$harness_output"); do
        status=$?
        [ "$status" -eq 3 ] || harness_fail "the output is not the input passed through"
        harness_alive || harness_fail "the program exited early"
        [ "$(date +%s)" -lt "$deadline" ] || harness_fail "the program passed no signal through in 30 s (did the ALSA device open?)"
        sleep 0.1
    done
    snippet_first=${passed% *}
    snippet_signal_column=$(( snippet_margin + (snippet_first * snippet_area_width + snippet_capacity - 1) / snippet_capacity ))
    echo "$(snippet_elapsed) s: the program passed input frame $snippet_first through first; signal from column $snippet_signal_column on"
}

# Waits until the ring holds signal up to editor column COLUMN and half a second beyond: the
# write head is at least as far ahead of ring index 0 as the output is of $snippet_first.
snippet_wait_captured() {
    local column=${1:?snippet_wait_captured COLUMN} deadline=$(( $(date +%s) + 30 )) passed
    local frames=$(( (column - snippet_margin) * snippet_capacity / snippet_area_width + harness_rate / 2 ))
    while passed=$("$harness_tool" first-passed "$harness_output") && [ "${passed#* }" -lt "$frames" ]; do
        harness_alive || harness_fail "the program exited early"
        [ "$(date +%s)" -lt "$deadline" ] || harness_fail "the program passed ${passed#* } frames through in 30 s, not $frames"
        sleep 0.1
    done
    [ -n "$passed" ] || harness_fail "the output is not the input passed through"
    echo "$(snippet_elapsed) s: the program passed ${passed#* } frames through, the ring holds signal past column $column"
}

# The view reads the pointer on its 16 ms tick while selecting, so the pointer rests at the end
# before the release; the steps on the way stand for a hand's motion.
snippet_select() {
    local from=${1:?snippet_select FROM TO} to=${2:?snippet_select FROM TO} y step
    y=$(snippet_screen_y "$snippet_row")
    xdotool mousemove "$(snippet_screen_x "$from")" "$y" sleep 0.1 mousedown 1
    for step in 1 2 3 4; do
        xdotool mousemove "$(snippet_screen_x $(( from + (to - from) * step / 5 )))" "$y" sleep 0.03
    done
    xdotool mousemove "$(snippet_screen_x "$to")" "$y" sleep 0.5 mouseup 1
    echo "$(snippet_elapsed) s: selected editor columns $from to $to"
}

# Everything in the recording folder, one a line.
snippet_recordings() {
    find "$harness_work/recordings" -mindepth 1 -printf '%f\n' | sort
}

# Waits until the recording folder holds one file, which the program has closed and whose size
# stays put from one look to the next.
snippet_wait_file() {
    local deadline=$(( $(date +%s) + ${1:-10} )) size=0 last=-1 entries
    snippet_file=
    while :; do
        harness_alive || harness_fail "the program exited early"
        entries=$(snippet_recordings)
        if [ -n "$entries" ] && [ "$(wc -l <<< "$entries")" -eq 1 ]; then
            snippet_file="$harness_work/recordings/$entries"
            size=$(stat -c %s "$snippet_file" 2>/dev/null || echo -1)
            if [ "$size" -gt 0 ] && [ "$size" -eq "$last" ] \
               && [ -z "$(find "/proc/$harness_pid/fd" -lname "$snippet_file" 2>/dev/null)" ]; then
                break
            fi
            last=$size
        fi
        [ "$(date +%s)" -lt "$deadline" ] \
            || harness_fail "no one complete file in the recording folder after ${1:-10} s: $(tr '\n' ' ' <<< "${entries:-nothing}")"
        sleep 0.1
    done
    echo "$(snippet_elapsed) s: the program wrote ${snippet_file##*/} ($size bytes)"
}

# Selections are whole columns of 30 s / 990 = 1454.5 frames, stored as view fractions; a
# selection from column FROM to TO covers ring frames (FROM - margin) * capacity / width up to
# (TO - margin) * capacity / width. The exporter may round each edge to a sample or to its
# column, so each edge may be off by up to a column's frames: a tolerance of two columns allows
# that and still catches an edge taken from the wrong pointer position or a length measured in
# the wrong unit. Where the file starts in the ring is known as closely as ring index 0 is (see
# snippet_wait_passed): input frame START lies at a ring index from START - $snippet_first to
# START.
snippet_check() {
    local file=${1:?snippet_check FILE FROM TO} from=${2:?} to=${3:?} result start frames
    local name=${file##*/}
    snippet_check_name "$name"

    result=$("$harness_tool" check-snippet "$snippet_input" "$file" 2>&1) \
        || harness_fail "the file does not hold a run of the input: $result"
    read -r start frames <<< "$(tail -n 1 <<< "$result")"

    local expected_start=$(( (from - snippet_margin) * snippet_capacity / snippet_area_width ))
    local expected_frames=$(( (to - from) * snippet_capacity / snippet_area_width ))
    local tolerance=$(( 2 * snippet_capacity / snippet_area_width ))
    echo "$(snippet_elapsed) s: $(head -n 1 <<< "$result")"
    echo "    it holds input frames $start to $(( start + frames )) bit for bit, from ring index $(( start - snippet_first )) to $start on;"
    echo "    the selection covers ring $expected_start to $(( expected_start + expected_frames )) (tolerance $tolerance)"

    [ $(( start - snippet_first - expected_start )) -le "$tolerance" ] && [ $(( expected_start - start )) -le "$tolerance" ] \
        || harness_fail "the file starts at ring frame $(( start - snippet_first )) to $start; the selection at $expected_start"
    [ $(( frames - expected_frames )) -le "$tolerance" ] && [ $(( expected_frames - frames )) -le "$tolerance" ] \
        || harness_fail "the file holds $frames frames; the selection is $expected_frames frames long"
}

# VA_<ISO 8601 date and time>[_<tempo>BPM].wav, the time within two minutes of the clock. In
# the name the time may have "_" for its decimal point and for the "+" of its zone, which file
# names keep clear of.
snippet_check_name() {
    local name=$1 zone
    local pattern='^VA_([0-9]{4})-?([0-9]{2})-?([0-9]{2})T([0-9]{2}):?([0-9]{2}):?([0-9]{2})([.,_][0-9]+)?(Z|[-+_][0-9]{2}(:?[0-9]{2})?)?(_[0-9]+(\.[0-9]+)?BPM)?\.wav$'
    [[ "$name" =~ $pattern ]] || harness_fail "the file's name $name is not VA_<ISO 8601 time>[_<tempo>BPM].wav"

    local m=("${BASH_REMATCH[@]}")
    zone=${m[8]/#_/+}                      # none means local time, which date assumes too
    case "$zone" in
        Z)                         zone=+00:00 ;;
        [+-][0-9][0-9])            zone+=:00 ;;
        [+-][0-9][0-9][0-9][0-9])  zone="${zone:0:3}:${zone:3:2}" ;;
    esac
    local stamp
    stamp=$(date -d "${m[1]}-${m[2]}-${m[3]} ${m[4]}:${m[5]}:${m[6]}${zone}" +%s 2>/dev/null) \
        || harness_fail "the time in the file's name $name is no valid time"
    local drift=$(( $(date +%s) - stamp ))
    [ "${drift#-}" -le 120 ] || harness_fail "the time in the file's name $name is ${drift} s off the clock"
}
