#!/bin/sh
# The floating lights on a real X server: screenshots of each layout at two
# scales and both orientations on a coloured desktop, with and without a
# compositing manager (without one the rounded corners must still show the
# desktop, not black), and dragging a light with and without a window manager
# (the place is saved, reused by the next run, and the light never takes focus).
#
#   tests/overlay/screenshots.sh [--quick] BUILD_DIR OUT_DIR
#
# --quick takes only scale 1 (CTest runs it so). Needs Xvfb, xsetroot, xdotool
# and ImageMagick; openbox and xcompmgr when present. Exits 77 (skipped) when
# any of the required ones is missing.
set -eu

quick=false
if [ "${1:-}" = "--quick" ]; then
    quick=true
    shift
fi
build=${1:?build directory}
out=${2:?output directory}
demo="$build/tests/overlay/overlay_demo"
root_colour='#3366AA'

for tool in Xvfb xsetroot xdotool import convert; do
    command -v "$tool" >/dev/null 2>&1 || { echo "$tool missing: skipped"; exit 77; }
done
[ -x "$demo" ] || { echo "no $demo"; exit 1; }
mkdir -p "$out"

scratch=$(mktemp -d)
xvfb_pid=""
comp_pid=""
wm_pid=""
demo_pid=""
cleanup() {
    for pid in $demo_pid $comp_pid $wm_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT INT TERM

# Nothing that talks to the X server may hang the whole run.
x() {
    timeout 20 "$@"
}

# A display number nobody uses: Xvfb picks it and tells us.
Xvfb -displayfd 3 -screen 0 1280x800x24 -noreset -nolisten tcp 3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
tries=0
until [ -s "$scratch/display" ]; do
    tries=$((tries + 1))
    [ "$tries" -gt 100 ] && { echo "Xvfb did not start"; cat "$scratch/xvfb.log"; exit 1; }
    sleep 0.1
done
DISPLAY=":$(cat "$scratch/display")"
export DISPLAY
x xsetroot -solid "$root_colour"

# Three windows: working, waiting, idle (the last one with a long name).
export HOME="$scratch/home"
export XDG_RUNTIME_DIR="$scratch"
export QT_LOGGING_RULES='korvane.*.debug=false'
state="$HOME/.cursor/signalwick/state"
mkdir -p "$state"
now=$(date +%s)
write_state() {
    printf '{"state":"%s","ts":%s,"workspace":"%s","conversation_id":"%s"}\n' "$1" "$now" "$2" "$3" >"$state/$3.json"
}
write_state working /home/u/korvane c1
write_state waiting /home/u/webshop c2
write_state idle /home/u/a-rather-long-project-name c3

failures=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}
pixel() { # image x y -> "r,g,b"
    convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | sed -n '2s/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'
}

# Whether a child still runs (a zombie answers kill -0 until it is waited for).
running() {
    state=$(ps -o stat= -p "$1" 2>/dev/null || true)
    [ -n "$state" ] && [ "${state#Z}" = "$state" ]
}
# Ends a child we started: politely, then for sure.
stop_pid() {
    kill "$1" 2>/dev/null || true
    tries=0
    while running "$1" && [ "$tries" -lt 50 ]; do
        tries=$((tries + 1))
        sleep 0.1
    done
    kill -9 "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# Starts the demo and waits until it reports its panels (placed, shown, resynced).
start_demo() {
    : >"$scratch/demo.txt" # not the last run's report
    "$demo" "$@" >"$scratch/demo.txt" 2>&1 &
    demo_pid=$!
    tries=0
    until grep -q '^panel' "$scratch/demo.txt"; do
        tries=$((tries + 1))
        if [ "$tries" -gt 150 ] || ! running "$demo_pid"; then
            echo "the demo did not show its panels:"
            cat "$scratch/demo.txt"
            exit 1
        fi
        sleep 0.1
    done
}
stop_demo() {
    stop_pid "$demo_pid"
    demo_pid=""
}

shoot() { # name, demo arguments...
    name=$1
    shift
    rm -f "$HOME/.config/Korvane/defaults.json" # default placement every time
    start_demo "$@"
    x import -window root "$out/$name.png" || fail "$name: no screenshot"
    stop_demo
    sed "s/^/$name: /" "$scratch/demo.txt"
    # The top-left corner pixel of a panel lies outside the rounded plate: it
    # must be the desktop. A compositor without a root pixmap paints its own
    # grey, so compare with a desktop pixel far from every panel.
    line=$(grep '^panel' "$scratch/demo.txt" | head -n 1)
    x=$(echo "$line" | sed 's/.* at \([-0-9]*\),.*/\1/')
    y=$(echo "$line" | sed 's/.* at [-0-9]*,\([-0-9]*\) .*/\1/')
    corner=$(pixel "$out/$name.png" "$x" "$y")
    desktop=$(pixel "$out/$name.png" 5 795)
    [ "$corner" = "$desktop" ] || fail "$name: corner pixel at $x,$y is $corner, not the desktop ($desktop)"
}

run_all() { # suffix
    scales="1 2"
    $quick && scales=1
    for scale in $scales; do
        shoot "combined-s$scale$1" --mode combined --scale "$scale"
        shoot "perwindow-s$scale$1" --mode perWindow --scale "$scale"
        shoot "row-s$scale$1" --mode row --scale "$scale"
        $quick && continue
        shoot "combined-h-s$scale$1" --mode combined --scale "$scale" --horizontal
        shoot "perwindow-h-s$scale$1" --mode perWindow --scale "$scale" --horizontal
        shoot "row-h-s$scale$1" --mode row --scale "$scale" --horizontal
        shoot "row-v-nolabels-s$scale$1" --mode row --scale "$scale" --no-labels
    done
}

# Drags the combined light by its background; the new place must be saved and
# used by the next run, and the light must not take the focus.
drag_check() { # description
    rm -f "$HOME/.config/Korvane/defaults.json"
    start_demo --mode combined
    # The default place of a 52 px wide light is 1206,12: press at 24,28 inside it.
    x xdotool mousemove 1230 40 mousedown 1
    for step in 1 2 3 4 5; do
        x xdotool mousemove $((1230 - 100 * step)) $((40 + 40 * step))
    done
    x xdotool mouseup 1
    panel_id=$(x xdotool search --name '^Korvane$' | head -n 1)
    active=$(x xdotool getactivewindow 2>/dev/null || echo none)
    [ "$active" != "$panel_id" ] || fail "drag $1: the light took the focus"
    stop_demo
    saved=$(grep -o '"OverlayOrigin": *"[^"]*"' "$HOME/.config/Korvane/defaults.json" || true)
    if [ "$saved" != '"OverlayOrigin": "{706, 212}"' ]; then
        fail "drag $1: saved $saved, not {706, 212}"
        return
    fi
    start_demo --mode combined
    stop_demo
    if grep -q 'panel OverlayOrigin at 706,212 ' "$scratch/demo.txt"; then
        echo "drag $1: saved {706, 212} and reopened there"
    else
        fail "drag $1: reopened as $(cat "$scratch/demo.txt")"
    fi
}

run_all ""
drag_check "without a window manager"
if command -v openbox >/dev/null 2>&1; then
    openbox >/dev/null 2>&1 &
    wm_pid=$!
    sleep 1 # openbox takes the screen
    drag_check "under openbox"
    shoot "combined-s1-openbox" --mode combined --scale 1
    stop_pid "$wm_pid"
    wm_pid=""
else
    echo "openbox missing: the window-manager half skipped"
fi
if command -v xcompmgr >/dev/null 2>&1; then
    xcompmgr >/dev/null 2>&1 &
    comp_pid=$!
    sleep 0.5 # xcompmgr takes the compositing selection
    run_all "-composited"
else
    echo "xcompmgr missing: the composited half skipped"
fi

echo "screenshots in $out"
echo "$failures failed"
[ "$failures" -eq 0 ]
