#!/usr/bin/env bash
# Shows a translucent window on a real X server (Xvfb) and checks screenshots:
# with openbox and picom the half-transparent third blends with the blue
# backdrop below; with no compositor the fully transparent third is cut away
# by a window shape (blue shows through, never black). In every case a drag
# moves the window (by openbox's own move, or by the layer's without a window
# manager) and a message box lets the ticks go on; the program ends with
# status 0 on Escape, and minimised on the desktop's close.
# Usage: x11_test.sh path/to/platform_show_image
set -euo pipefail
tool=$1
for cmd in Xvfb openbox picom xdotool xwininfo xprop import xdpyinfo od; do
    if ! command -v "$cmd" >/dev/null; then
        echo "skipped: $cmd is not installed"
        exit 77
    fi
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}" "${desktop[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

unset SDL_VIDEODRIVER
export SDL_AUDIODRIVER=dummy

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The red, green and blue of the screenshot's pixel at x, y.
pixel() {
    od -An -tu1 -j $((($2 * 800 + $1) * 3)) -N3 "$work/shot.rgb" | xargs
}

# Expects the pixel at x, y within 3 of r g b.
expect_pixel() {
    local x=$1 y=$2 what=$6 got
    got=$(pixel "$x" "$y")
    read -r r g b <<<"$got"
    for pair in "$r:$3" "$g:$4" "$b:$5"; do
        local have=${pair%%:*} want=${pair##*:}
        if ((have - want > 3 || want - have > 3)); then
            fail "$what at $x,$y: got $got, want $3 $4 $5"
            { xwininfo -root -children | grep -v " 1x1+" | tail -n +6; cat "$work/out" "$work/err"; } >&2 || true
            return
        fi
    done
    echo "ok: $what at $x,$y is $got"
}

wait_for() { # seconds, command...
    local tries=$(($1 * 10))
    shift
    for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
    return 1
}

# Runs the tool, checks the three thirds of the window, drags it by 50, 40
# and ends it with Escape. $1: the name of the case; $2 r g b of the
# half-transparent third; $5 how it ends: escape, or minimise and a signal.
run_case() {
    local name=$1 ending=$5
    : >"$work/out" # empty before the start, so an earlier run's "ready" is not read
    "$tool" >>"$work/out" 2>"$work/err" &
    local tool_pid=$!
    pids+=("$tool_pid")
    if ! wait_for 15 grep -q ready "$work/out"; then
        fail "$name: the window never showed"
        kill "$tool_pid" 2>/dev/null || true
        return
    fi
    local id
    id=$(xwininfo -root -tree | awk '/"translucent"/ && !found {print $1; found = 1}')
    sleep 0.5
    import -window root -depth 8 "rgb:$work/shot.rgb"
    # The window sits at 100, 100; its thirds are 124 pixels wide.
    expect_pixel 150 225 255 0 0 "$name: opaque red"
    expect_pixel 286 225 "$2" "$3" "$4" "$name: half-transparent white"
    expect_pixel 410 225 0 0 255 "$name: transparent surround"
    expect_pixel 50 50 0 0 255 "$name: backdrop"
    # The cut-away third turns opaque: the window's shape follows its image.
    xdotool key --window "$id" s
    sleep 0.5
    import -window root -depth 8 "rgb:$work/shot.rgb"
    expect_pixel 410 225 0 255 0 "$name: the third made opaque"
    xdotool mousemove 150 225 mousedown 1
    sleep 0.2
    for step in 1 2 3 4 5; do
        xdotool mousemove $((150 + step * 10)) $((225 + step * 8))
        sleep 0.05
    done
    sleep 0.2
    xdotool mouseup 1
    sleep 0.3
    # A box on the desktop: the ticks go on until somebody answers it.
    # Keys go straight to the window, whoever has the focus.
    xdotool key --window "$id" b
    if wait_for 10 bash -c "xwininfo -root -tree | grep -q '\"Box caption\"'"; then
        local box
        box=$(xwininfo -root -tree | awk '/"Box caption"/ && !found {print $1; found = 1}')
        sleep 0.5
        # Return until the box goes: it may not take keys the moment it maps.
        # The key is typed, not sent, into the box given the focus: a box may
        # ignore sent keys, and without a window manager nothing focuses it.
        if wait_for 10 bash -c "xdotool windowfocus '$box' key Return 2>/dev/null;
                                sleep 0.4; grep -q 'box open for' '$work/out'"; then
            local ticks
            ticks=$(sed -n 's/box open for \([0-9]*\) ticks/\1/p' "$work/out")
            if ((ticks >= 10)); then
                echo "ok: $name: $ticks ticks ran while the box was open"
            else
                fail "$name: only $ticks ticks while the box was open"
            fi
        else
            fail "$name: the box did not go on Return"
        fi
    else
        fail "$name: no box appeared"
    fi
    if [[ $ending == escape ]]; then
        # The window may be gone before the key's release is sent.
        xdotool key --window "$id" Escape 2>/dev/null || true
    else
        # Minimised, then closed by the desktop (a signal arrives as its close).
        xdotool key --window "$id" m
        if wait_for 10 grep -q minimised "$work/out"; then
            if xprop -id "$id" WM_STATE | grep -q Iconic; then
                echo "ok: $name: minimised"
            else
                fail "$name: not iconic after minimising"
            fi
        else
            fail "$name: no WM_SIZE for the minimise"
        fi
        kill -TERM "$tool_pid"
    fi
    local status=0
    wait "$tool_pid" || status=$?
    [[ $status -eq 0 ]] || fail "$name: the tool ended with status $status"
    if grep -q "window at 150,140" "$work/out"; then
        echo "ok: $name: the drag moved the window by 50, 40"
    else
        fail "$name: after the drag: $(tail -1 "$work/out")"
    fi
}

# A fresh X server for each case, so nothing of one case (a key, a window
# id used again) reaches the next. $1: "wm" to start openbox; $2: "picom" to
# start the compositor as well.
desktop=()
start_desktop() {
    rm -f "$work/display"
    # -noreset: otherwise the server resets when its last client leaves (the
    # readiness probe) and refuses the next one for a moment.
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
    desktop=($!)
    wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$work/display")"
    wait_for 10 xdpyinfo >/dev/null 2>&1 || true
    if [[ $1 == wm ]]; then
        openbox --sm-disable >"$work/openbox.log" 2>&1 &
        desktop+=($!)
        wait_for 30 bash -c "xprop -root _NET_SUPPORTED | grep -q _NET_WM_MOVERESIZE" ||
            fail "openbox did not start: $(cat "$work/openbox.log")"
    fi
    if [[ ${2:-} == picom ]]; then
        picom --backend xrender --config /dev/null >"$work/picom.log" 2>&1 &
        desktop+=($!)
        wait_for 10 "$tool" compositor || fail "picom never took the compositor selection"
    fi
}
stop_desktop() {
    for pid in "${desktop[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${desktop[@]}"; do wait "$pid" 2>/dev/null || true; done
}

# No window manager: the layer moves the window itself.
start_desktop none
run_case "no window manager" 128 128 128 escape
stop_desktop

# Premultiplied white at half alpha over blue: 128 + 255 * 127 / 255.
start_desktop wm picom
run_case "openbox + picom" 128 128 255 escape
stop_desktop

# No compositor: no blending, the premultiplied colour shows as it is.
start_desktop wm
run_case "openbox, no compositor" 128 128 128 signal
stop_desktop

if ((failures)); then
    echo "--- tool stderr"; cat "$work/err"
    exit 1
fi
echo "all X11 checks passed"
