#!/bin/sh
# Screenshots of the floating lights on a real X server, for looking at by hand:
# each layout at two scales and both orientations, on a coloured desktop, with
# and without a compositing manager (without one the rounded corners must
# still show the desktop, not black). Also checks a few pixels.
#
#   tests/overlay/screenshots.sh BUILD_DIR OUT_DIR [DISPLAY_NUMBER]
#
# Needs Xvfb, xsetroot, ImageMagick (import, convert); xcompmgr for the
# composited half. Exits 77 (skipped) when Xvfb is missing.
set -eu

build=${1:?build directory}
out=${2:?output directory}
num=${3:-87}
demo="$build/tests/overlay/overlay_demo"
root_colour='#3366AA'

command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb missing: skipped"; exit 77; }
[ -x "$demo" ] || { echo "no $demo"; exit 1; }
mkdir -p "$out"

scratch=$(mktemp -d)
xvfb_pid=""
comp_pid=""
cleanup() {
    [ -n "$comp_pid" ] && kill "$comp_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT INT TERM

Xvfb ":$num" -screen 0 1280x800x24 -noreset >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$num"
tries=0
until xsetroot -solid "$root_colour" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -gt 50 ] && { echo "Xvfb did not start"; exit 1; }
    sleep 0.1
done

# Three windows: working, waiting, idle (the last one with a long name).
state="$scratch/home/.cursor/signalwick/state"
mkdir -p "$state"
now=$(date +%s)
write_state() {
    printf '{"state":"%s","ts":%s,"workspace":"%s","conversation_id":"%s"}\n' "$1" "$now" "$2" "$3" >"$state/$3.json"
}
write_state working /home/u/korvane c1
write_state waiting /home/u/webshop c2
write_state idle /home/u/a-rather-long-project-name c3

failures=0
pixel() { # x y -> "r,g,b"
    convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | sed -n '2s/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'
}

shoot() { # name, demo arguments...
    name=$1
    shift
    rm -f "$scratch/home/.config/Korvane/defaults.json" # default placement every time
    HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch" QT_LOGGING_RULES='korvane.*.debug=false' \
        "$demo" "$@" --quit-after 1800 >"$scratch/$name.txt" 2>&1 &
    pid=$!
    sleep 1.2
    import -window root "$out/$name.png"
    wait "$pid" || true
    cat "$scratch/$name.txt"
    # The top-left corner pixel of the first panel lies outside the rounded plate:
    # it must be the desktop, not black.
    line=$(grep '^panel' "$scratch/$name.txt" | head -n 1)
    x=$(echo "$line" | sed 's/.* at \([-0-9]*\),.*/\1/')
    y=$(echo "$line" | sed 's/.* at [-0-9]*,\([-0-9]*\) .*/\1/')
    # A compositor without a root pixmap paints its own grey: compare with a
    # desktop pixel far from every panel.
    corner=$(pixel "$out/$name.png" "$x" "$y")
    desktop=$(pixel "$out/$name.png" 5 795)
    if [ "$corner" != "$desktop" ]; then
        echo "FAIL $name: corner pixel at $x,$y is $corner, not the desktop ($desktop)"
        failures=$((failures + 1))
    fi
}

run_all() { # suffix
    for scale in 1 2; do
        shoot "combined-s$scale$1" --mode combined --scale "$scale"
        shoot "combined-h-s$scale$1" --mode combined --scale "$scale" --horizontal
        shoot "perwindow-s$scale$1" --mode perWindow --scale "$scale"
        shoot "perwindow-h-s$scale$1" --mode perWindow --scale "$scale" --horizontal
        shoot "row-s$scale$1" --mode row --scale "$scale"
        shoot "row-h-s$scale$1" --mode row --scale "$scale" --horizontal
        shoot "row-v-nolabels-s$scale$1" --mode row --scale "$scale" --no-labels
    done
}

# Drags the combined light by its background and checks that the new place is
# saved and used again by the next run. $1 names the case.
drag_check() {
    rm -f "$scratch/home/.config/Korvane/defaults.json"
    HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch" QT_LOGGING_RULES='korvane.*.debug=false' \
        "$demo" --mode combined --quit-after 3000 >"$scratch/drag.txt" 2>&1 &
    pid=$!
    sleep 1.2
    xdotool mousemove 1230 40 mousedown 1
    for step in 1 2 3 4 5; do
        xdotool mousemove $((1230 - 100 * step)) $((40 + 40 * step))
        sleep 0.05
    done
    xdotool mouseup 1
    panel_id=$(xdotool search --name '^Korvane$' | head -n 1)
    active=$(xdotool getactivewindow 2>/dev/null || echo none)
    if [ -n "$panel_id" ] && [ "$active" = "$panel_id" ]; then
        echo "FAIL drag $1: the panel took the focus"
        failures=$((failures + 1))
    fi
    wait "$pid" || true
    saved=$(grep -o '"OverlayOrigin": *"[^"]*"' "$scratch/home/.config/Korvane/defaults.json" || true)
    # Pressed at 24,28 inside the panel, released at 730,240.
    if [ "$saved" != '"OverlayOrigin": "{706, 212}"' ]; then
        echo "FAIL drag $1: saved $saved"
        failures=$((failures + 1))
        return
    fi
    HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch" QT_LOGGING_RULES='korvane.*.debug=false' \
        "$demo" --mode combined --quit-after 1500 >"$scratch/drag2.txt" 2>&1 || true
    if ! grep -q 'panel OverlayOrigin at 706,212 ' "$scratch/drag2.txt"; then
        echo "FAIL drag $1: reopened as $(cat "$scratch/drag2.txt")"
        failures=$((failures + 1))
        return
    fi
    echo "drag $1: saved {706, 212} and reopened there"
}

run_all ""
drag_check "without a window manager"
if command -v openbox >/dev/null 2>&1; then
    openbox >/dev/null 2>&1 &
    wm_pid=$!
    sleep 1
    drag_check "under openbox"
    shoot "combined-s1-openbox" --mode combined --scale 1
    kill "$wm_pid" 2>/dev/null || true
    wait "$wm_pid" 2>/dev/null || true
fi
if command -v xcompmgr >/dev/null 2>&1; then
    xcompmgr >/dev/null 2>&1 &
    comp_pid=$!
    sleep 0.5
    run_all "-composited"
else
    echo "xcompmgr missing: composited half skipped"
fi

echo "screenshots in $out"
[ "$failures" -eq 0 ]
