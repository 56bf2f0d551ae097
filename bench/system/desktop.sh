# shellcheck shell=bash disable=SC2034
# tests/e2e/lib.sh plus what the system figures, scripts/screenshots and scripts/demo
# need beyond the tests: a build, the compositor, cropped shots and korvane_xprobe's
# fast pixel reads and window list (id x y w h type popup|- class|instance name).
# shellcheck source-path=SCRIPTDIR source=../../tests/e2e/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/lib.sh"

# e2e_use_build TOP BUILD_DIR: builds korvane and korvane_xprobe there when needed.
e2e_use_build() {
    if [ ! -f "$2/CMakeCache.txt" ]; then
        cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
    elif ! grep -q '^KORVANE_BUILD_BENCH:BOOL=ON' "$2/CMakeCache.txt"; then
        # scripts/run leaves the benchmarks out, and korvane_xprobe with them.
        cmake -S "$1" -B "$2" -DKORVANE_BUILD_BENCH=ON >/dev/null || exit 1
    fi
    cmake --build "$2" --target korvane korvane_xprobe >/dev/null || { echo "building korvane failed" >&2; exit 1; }
    export KORVANE_BIN=$2/src/main/korvane KORVANE_XPROBE=$2/bench/system/korvane_xprobe
}

# xcompmgr paints the desktop from a wallpaper pixmap, so the root colour is given as one.
e2e_start_compositor() {
    command -v xcompmgr >/dev/null || return 1
    "$KORVANE_XPROBE" root-colour "$COLOR_ROOT"
    xcompmgr >/dev/null 2>&1 &
    e2e_wait_until 5 "$KORVANE_XPROBE" compositor
}

e2e_korvane_command() {
    E2E_CMD=(env -i PATH="$PATH" HOME="$E2E_HOME" LANG=C.UTF-8 DISPLAY="$DISPLAY"
        XDG_RUNTIME_DIR="$E2E_HOME/.run" QT_QPA_PLATFORM=xcb "$@" "$KORVANE_BIN")
}

e2e_now() { printf '%s' "$EPOCHREALTIME"; }
e2e_pixel() { "$KORVANE_XPROBE" pixel "$1" "$2"; }
e2e_app_windows() { "$KORVANE_XPROBE" windows | awk 'tolower($8) ~ /korvane/'; }
e2e_panels() { e2e_app_windows | awk '$6 == "UTILITY" && $7 == "-"'; }
e2e_menus() { e2e_app_windows | awk '$7 == "popup"'; }
e2e_has_menu() { e2e_menus | grep -q .; }
e2e_key() { xdotool key --delay 60 "$@"; }
e2e_click() { xdotool mousemove --sync "$1" "$2" click "${3:-1}"; }

# e2e_shot NAME [WxH+X+Y]
e2e_shot() {
    import -window root ${2:+-crop "$2" +repage} "$E2E_ARTIFACTS/$1.png" 2>/dev/null
    echo "$E2E_ARTIFACTS/$1.png"
}
e2e_log() { echo "[$E2E_NAME] $*" >&2; }
