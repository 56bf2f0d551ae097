# shellcheck shell=bash disable=SC2034
# (SC2034: the colours and the TRAY_* values are for the scripts that source this.)
# Shared helpers for running the real korvane binary on a private X display.
# Sourced by the scenarios in tests/e2e/, by scripts/screenshots, scripts/demo
# and bench/system. Bash, because the traps, arrays and $EPOCHREALTIME make the
# bookkeeping honest; nothing here needs more than Debian's bash 5.
#
# Inputs (environment; the CTest registration and the scripts set them):
#   KORVANE_BIN            the korvane executable
#   KORVANE_XPROBE         the korvane_xprobe helper (tests/e2e/xprobe.cpp)
#   KORVANE_SOURCE_DIR     the source tree (optional; for the agent client harness)
#   KORVANE_E2E_ARTIFACTS  where screenshots and logs go (a folder per scenario)
#   KORVANE_E2E_KEEP=1     keep the scratch folder (HOME, logs) after the run
#
# A scenario looks like:
#   . "$(dirname "$0")/lib.sh"
#   e2e_init states
#   e2e_start_x; e2e_start_tray; e2e_new_home; e2e_launch; e2e_wait_tray_icon
#   e2e_step "working turns the dot orange"
#   e2e_write_state c1 working
#   e2e_expect_pixel "$TRAY_CX" "$TRAY_CY" "$COLOR_WORKING" 1000
#   e2e_pass

# The state colours of the light palette (what the tray dot and the dots show)
# and the desktop colour behind everything.
COLOR_WORKING='#FF9500'
COLOR_RED='#FF3B30'
COLOR_IDLE='#34C759'
COLOR_UNKNOWN='#8E8E93'
COLOR_ROOT='#3366AA'
COLOR_TRAY_BG='#DCDAD5'

E2E_NAME=
E2E_TMP=
E2E_ARTIFACTS=
E2E_STEP="start-up"
E2E_SHOTS=0
E2E_LAUNCHES=0
E2E_XVFB_PID=
E2E_TRAY_PID=
KORVANE_PID=
KORVANE_LOG=
E2E_PIDS=()
E2E_T0=${EPOCHREALTIME/./}

e2e_log() {
    local now=${EPOCHREALTIME/./}
    printf '[%s +%6.2fs] %s\n' "${E2E_NAME:-e2e}" "$(((now - E2E_T0) / 10000))e-2" "$*" >&2
}

e2e_skip() {
    echo "SKIP: $*" >&2
    exit 77
}

# e2e_use_build TOP BUILD_DIR: points KORVANE_BIN and KORVANE_XPROBE into BUILD_DIR, building
# the two targets first when they are missing (for the scripts run by hand; CTest passes
# both paths itself). Configures like scripts/run when the folder is not configured yet.
e2e_use_build() {
    local top=$1 build=$2
    KORVANE_BIN=$build/src/app/korvane
    KORVANE_XPROBE=$build/tests/e2e/korvane_xprobe
    KORVANE_SOURCE_DIR=$top
    export KORVANE_BIN KORVANE_XPROBE KORVANE_SOURCE_DIR
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
    fi
    cmake --build "$build" --target korvane korvane_xprobe -j "$(nproc 2>/dev/null || echo 2)" >/dev/null ||
        { echo "building korvane failed (cmake --build $build)" >&2; exit 1; }
}

# e2e_init NAME: checks the tools, makes the scratch and artifact folders, arms the traps.
e2e_init() {
    E2E_NAME=$1
    local t
    for t in Xvfb xdotool xwininfo import convert xsetroot; do
        command -v "$t" >/dev/null 2>&1 || e2e_skip "$t is not installed (scripts/setup --test installs it)"
    done
    [ -x "${KORVANE_BIN:-}" ] || { echo "KORVANE_BIN is not an executable: ${KORVANE_BIN:-unset}" >&2; exit 2; }
    [ -x "${KORVANE_XPROBE:-}" ] || { echo "KORVANE_XPROBE is not an executable: ${KORVANE_XPROBE:-unset}" >&2; exit 2; }
    E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/korvane-e2e-$E2E_NAME.XXXXXX") || exit 2
    E2E_ARTIFACTS=${KORVANE_E2E_ARTIFACTS:-${TMPDIR:-/tmp}/korvane-e2e-artifacts}/$E2E_NAME
    rm -rf "$E2E_ARTIFACTS"
    mkdir -p "$E2E_ARTIFACTS" || exit 2
    : >"$E2E_TMP/pids"
    trap e2e_cleanup EXIT
    trap 'e2e_log "interrupted"; exit 130' INT TERM HUP
    e2e_start_reaper
}

# If this shell is killed outright (a CTest timeout sends SIGKILL), its EXIT trap
# never runs; a watcher then stops whatever it had started.
e2e_start_reaper() {
    local parent=$$ tmp=$E2E_TMP
    (
        trap '' INT TERM HUP
        while kill -0 "$parent" 2>/dev/null; do sleep 1; done
        if [ -f "$tmp/pids" ]; then
            tac "$tmp/pids" | while read -r pid; do kill -9 "$pid" 2>/dev/null; done
        fi
        [ -f "$tmp/keep" ] || rm -rf "$tmp"
    ) </dev/null >/dev/null 2>&1 &
    disown 2>/dev/null || true
}

# e2e_spawn LOG CMD...: start CMD in the background, output into $E2E_TMP/LOG.log;
# sets E2E_SPAWNED to its pid. Everything spawned is stopped at exit.
e2e_spawn() {
    local log=$1
    shift
    "$@" </dev/null >"$E2E_TMP/$log.log" 2>&1 &
    E2E_SPAWNED=$!
    E2E_PIDS+=("$E2E_SPAWNED")
    echo "$E2E_SPAWNED" >>"$E2E_TMP/pids"
}

e2e_alive() {
    local state
    [ -r "/proc/$1/stat" ] || return 1
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)
    [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# e2e_stop PID [SECONDS]: TERM, then KILL after SECONDS (default 3); returns its exit status
# when it is our child.
e2e_stop() {
    local pid=$1 limit=${2:-3} i=0
    kill -TERM "$pid" 2>/dev/null || true
    while e2e_alive "$pid" && [ $i -lt $((limit * 20)) ]; do
        sleep 0.05
        i=$((i + 1))
    done
    if e2e_alive "$pid"; then
        e2e_log "pid $pid ignored SIGTERM for ${limit}s; killing it"
        kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
}

e2e_cleanup() {
    local rc=$? i
    trap - EXIT INT TERM HUP
    if [ -n "$KORVANE_PID" ] && e2e_alive "$KORVANE_PID"; then
        e2e_stop "$KORVANE_PID" 3
    fi
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        e2e_alive "${E2E_PIDS[i]}" && e2e_stop "${E2E_PIDS[i]}" 2
    done
    if [ -n "$E2E_TMP" ] && [ -d "$E2E_TMP" ]; then
        if [ $rc -ne 0 ] && [ $rc -ne 77 ]; then
            cp "$E2E_TMP"/*.log "$E2E_ARTIFACTS"/ 2>/dev/null
        fi
        if [ "${KORVANE_E2E_KEEP:-0}" = 1 ]; then
            touch "$E2E_TMP/keep"
            e2e_log "scratch folder kept: $E2E_TMP"
        else
            rm -rf "$E2E_TMP"
        fi
    fi
    exit $rc
}

# ---------------------------------------------------------------- the display

# e2e_start_x [WxH]: Xvfb on a display number the server picks itself (-displayfd),
# never reset, with a coloured root so that translucency faults show.
e2e_start_x() {
    local size=${1:-1280x800} i=0
    command -v Xvfb >/dev/null || e2e_skip "Xvfb is not installed"
    : >"$E2E_TMP/displayfd"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -noreset -nolisten tcp \
        3>"$E2E_TMP/displayfd" </dev/null >"$E2E_TMP/xvfb.log" 2>&1 &
    E2E_XVFB_PID=$!
    E2E_PIDS+=("$E2E_XVFB_PID")
    echo "$E2E_XVFB_PID" >>"$E2E_TMP/pids"
    until grep -q '[0-9]' "$E2E_TMP/displayfd" 2>/dev/null; do
        e2e_alive "$E2E_XVFB_PID" || { cat "$E2E_TMP/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
        [ $i -lt 200 ] || { echo "Xvfb did not report a display in 10 s" >&2; exit 1; }
        sleep 0.05
        i=$((i + 1))
    done
    DISPLAY=:$(tr -dc '0-9' <"$E2E_TMP/displayfd")
    export DISPLAY
    xsetroot -solid "$COLOR_ROOT" || { echo "xsetroot failed on $DISPLAY" >&2; exit 1; }
    e2e_log "Xvfb on $DISPLAY (${size})"
}

# e2e_start_compositor: xcompmgr, so that translucent windows blend with the desktop as on
# a composited desktop. The root colour is given again as a wallpaper pixmap, which is what
# xcompmgr paints behind everything (a plain root colour would come out grey).
e2e_start_compositor() {
    command -v xcompmgr >/dev/null || return 1
    "$KORVANE_XPROBE" root-colour "$COLOR_ROOT"
    e2e_spawn xcompmgr xcompmgr
    e2e_wait_until 5 e2e_has_compositor || e2e_fail "xcompmgr did not take the compositing selection"
}

e2e_has_compositor() { "$KORVANE_XPROBE" compositor; }

# e2e_start_tray: trayer, the XEmbed tray host, in the top-right corner.
e2e_start_tray() {
    command -v trayer >/dev/null || e2e_skip "trayer is not installed"
    e2e_spawn trayer trayer --edge top --align right --widthtype request --height 24 \
        --transparent false --tint 0xDCDAD5 --SetDockType true
    E2E_TRAY_PID=$E2E_SPAWNED
    e2e_wait_until 5 e2e_has_window 'trayer\|panel' || e2e_fail "trayer did not map its panel"
    e2e_log "trayer running (pid $E2E_TRAY_PID)"
}

e2e_stop_tray() {
    [ -n "$E2E_TRAY_PID" ] && e2e_stop "$E2E_TRAY_PID" 2
    E2E_TRAY_PID=
}

# ---------------------------------------------------------------- HOME and files

# e2e_new_home: a fresh HOME with the XDG folders inside; nothing of the real one is seen.
e2e_new_home() {
    E2E_HOME=$E2E_TMP/home
    rm -rf "$E2E_HOME"
    mkdir -p "$E2E_HOME/.config" "$E2E_HOME/.local/share" "$E2E_HOME/.cache" "$E2E_HOME/.local/state" \
        "$E2E_HOME/.run"
    chmod 700 "$E2E_HOME/.run"
    STATE_DIR=$E2E_HOME/.cursor/signalwick/state
    DEFAULTS_FILE=$E2E_HOME/.config/Korvane/defaults.json
}

# e2e_write_defaults JSON: the preferences file as it is found at launch.
e2e_write_defaults() {
    mkdir -p "$(dirname "$DEFAULTS_FILE")"
    printf '%s\n' "$1" >"$DEFAULTS_FILE"
}

e2e_now() { printf '%s' "${EPOCHREALTIME}"; }

# e2e_write_state ID STATE [WORKSPACE] [TS]: one state file, written aside and renamed into place
# as the hook script does. STATE "none" removes the file.
e2e_write_state() {
    local id=$1 state=$2 ws=${3:-/tmp/p} ts=${4:-$(e2e_now)}
    mkdir -p "$STATE_DIR"
    if [ "$state" = none ]; then
        rm -f "$STATE_DIR/$id.json"
        return
    fi
    printf '{"state":"%s","ts":%s,"workspace":"%s","conversation_id":"%s"}\n' \
        "$state" "$ts" "$ws" "$id" >"$STATE_DIR/.$id.tmp"
    mv -f "$STATE_DIR/.$id.tmp" "$STATE_DIR/$id.json"
}

# e2e_json FILE PYTHON_EXPRESSION: true when FILE parses as JSON and the expression, over the
# parsed document `d`, is true (python3: the hook files and preferences are checked with it).
e2e_json() {
    python3 - "$1" "$2" <<'PY' 2>/dev/null
import json, sys
with open(sys.argv[1], encoding="utf-8") as fh:
    d = json.load(fh)
sys.exit(0 if eval(sys.argv[2], {"d": d}) else 1)
PY
}

# ---------------------------------------------------------------- the application

# e2e_korvane_command [NAME=VALUE...]: sets E2E_CMD to the command line that starts korvane
# in the scratch HOME on the private display. The environment is built from nothing, so no
# session bus, desktop or theme of the machine running the tests leaks in (without D-Bus
# the tray icon takes the XEmbed path).
e2e_korvane_command() {
    local passthrough=() v
    for v in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS QT_LOGGING_RULES; do
        [ -n "${!v:-}" ] && passthrough+=("$v=${!v}")
    done
    E2E_CMD=(env -i PATH="$PATH" HOME="$E2E_HOME" USER="${USER:-e2e}" LANG=C.UTF-8 DISPLAY="$DISPLAY"
        XDG_CONFIG_HOME="$E2E_HOME/.config" XDG_DATA_HOME="$E2E_HOME/.local/share"
        XDG_CACHE_HOME="$E2E_HOME/.cache" XDG_STATE_HOME="$E2E_HOME/.local/state"
        XDG_RUNTIME_DIR="$E2E_HOME/.run" QT_QPA_PLATFORM=xcb "${passthrough[@]}" "$@" "$KORVANE_BIN")
}

# e2e_launch [NAME=VALUE...]: starts korvane (see e2e_korvane_command); sets KORVANE_PID.
e2e_launch() {
    E2E_LAUNCHES=$((E2E_LAUNCHES + 1))
    KORVANE_LOG=$E2E_TMP/korvane-$E2E_LAUNCHES.log
    e2e_korvane_command "$@"
    "${E2E_CMD[@]}" </dev/null >"$KORVANE_LOG" 2>&1 &
    KORVANE_PID=$!
    E2E_PIDS+=("$KORVANE_PID")
    echo "$KORVANE_PID" >>"$E2E_TMP/pids"
    e2e_log "korvane started (pid $KORVANE_PID, launch $E2E_LAUNCHES)"
}

# e2e_quit [SIGNAL]: ends korvane with SIGNAL (TERM) and waits; sets KORVANE_RC.
e2e_quit() {
    local sig=${1:-TERM} i=0
    kill "-$sig" "$KORVANE_PID" 2>/dev/null
    while e2e_alive "$KORVANE_PID" && [ $i -lt 100 ]; do
        sleep 0.05
        i=$((i + 1))
    done
    e2e_alive "$KORVANE_PID" && e2e_fail "korvane still running 5 s after SIG$sig"
    wait "$KORVANE_PID"
    KORVANE_RC=$?
    e2e_log "korvane exited with $KORVANE_RC after SIG$sig"
    KORVANE_PID=
}

# e2e_wait_exit PID SECONDS: waits for PID to end; sets E2E_RC. Fails the step when it does not.
e2e_wait_exit() {
    local pid=$1 limit=$2 i=0
    while e2e_alive "$pid" && [ $i -lt $((limit * 20)) ]; do
        sleep 0.05
        i=$((i + 1))
    done
    e2e_alive "$pid" && return 1
    wait "$pid"
    E2E_RC=$?
    return 0
}

e2e_expect_running() {
    e2e_alive "$KORVANE_PID" || {
        wait "$KORVANE_PID"
        e2e_fail "korvane exited (status $?)"
    }
}

# e2e_boot [--no-tray] [DEFAULTS_JSON]: display, tray host, fresh HOME with the given
# preferences, korvane, and (with the tray) its embedded icon.
e2e_boot() {
    local tray=1
    if [ "${1:-}" = --no-tray ]; then
        tray=0
        shift
    fi
    e2e_start_x
    [ $tray = 1 ] && e2e_start_tray
    e2e_new_home
    [ -n "${1:-}" ] && e2e_write_defaults "$1"
    e2e_launch
    [ $tray = 1 ] && e2e_wait_tray_icon
    return 0
}

# ---------------------------------------------------------------- windows, pixels, input

# e2e_windows: the viewable top-level windows, one per line:
#   id x y w h type popup|- class|instance name
# (type is the _NET_WM_WINDOW_TYPE without its prefix; "popup" marks override-redirect
# windows such as menus).
e2e_windows() { "$KORVANE_XPROBE" windows; }

e2e_has_window() { e2e_windows | grep -q -- "$1"; }

# Korvane's own top-level windows (panels, menus, dialogs), with the same columns.
e2e_app_windows() { e2e_windows | awk 'tolower($8) ~ /korvane/'; }

# The floating lights: Korvane's utility windows (frameless tool windows), one line each.
e2e_panels() { e2e_app_windows | awk '$6 == "UTILITY" && $7 == "-"'; }

# Korvane's open menus (override-redirect windows).
e2e_menus() { e2e_app_windows | awk '$7 == "popup"'; }

e2e_has_menu() { e2e_menus | grep -q .; }
e2e_no_menu() { ! e2e_has_menu; }

e2e_panel_count() { e2e_panels | wc -l; }

# e2e_wait_panels COUNT [SECONDS]: waits until exactly COUNT floating lights are shown and
# reads the first into PANEL_ID PANEL_X PANEL_Y PANEL_W PANEL_H.
e2e_wait_panels() {
    local want=$1 limit=${2:-5}
    e2e_wait_until "$limit" e2e_panel_count_is "$want" ||
        e2e_fail "expected $want floating light(s), found $(e2e_panel_count)"
    [ "$want" -gt 0 ] && e2e_read_panel "$(e2e_panels | head -n 1)"
    return 0
}

e2e_panel_count_is() { [ "$(e2e_panel_count)" -eq "$1" ]; }

# e2e_read_panel LINE: splits a line of e2e_windows into PANEL_ID PANEL_X PANEL_Y PANEL_W PANEL_H.
e2e_read_panel() {
    read -r PANEL_ID PANEL_X PANEL_Y PANEL_W PANEL_H _ <<<"$1"
}

# e2e_lamps SCALE ORIENTATION: the centres of the red, orange and green lamps of the
# housed light in PANEL_*: LAMP_X[i] LAMP_Y[i]. The lamps are 26*s wide with 8*s gaps
# behind 12*s of padding, inside a 1-pixel panel margin; across, they are centred.
e2e_lamps() {
    local s=$1 orientation=$2 i first pitch
    first=$(awk -v s="$s" 'BEGIN { printf "%d", 1 + 25 * s }')
    pitch=$(awk -v s="$s" 'BEGIN { printf "%d", 34 * s }')
    LAMP_X=() LAMP_Y=()
    for i in 0 1 2; do
        if [ "$orientation" = horizontal ]; then
            LAMP_X[i]=$((PANEL_X + first + i * pitch))
            LAMP_Y[i]=$((PANEL_Y + first))
        else
            LAMP_X[i]=$((PANEL_X + PANEL_W / 2))
            LAMP_Y[i]=$((PANEL_Y + first + i * pitch))
        fi
    done
}

# e2e_expect_lamps STATE_COLOUR_INDEX COLOUR: lamp INDEX (0 red, 1 orange, 2 green, -1 none)
# is lit in COLOUR and the other two are dim.
e2e_expect_lamps() {
    local lit=$1 colour=$2 i names=(red orange green)
    for i in 0 1 2; do
        if [ "$i" -eq "$lit" ]; then
            e2e_expect_pixel "${LAMP_X[i]}" "${LAMP_Y[i]}" "$colour" 1000 10 "${names[i]} lamp"
        else
            e2e_wait_until 1 e2e_is_dark_at "${LAMP_X[i]}" "${LAMP_Y[i]}" ||
                e2e_fail "${names[i]} lamp is $(e2e_pixel "${LAMP_X[i]}" "${LAMP_Y[i]}"), expected it dim"
        fi
    done
}

# e2e_dots SCALE ORIENTATION COUNT: the centres DOT_X[i] DOT_Y[i] of the COUNT dots of the row
# panel in PANEL_*. A cell is 26*s (68*s with captions) wide; its height comes from the panel,
# so captions of any font height are covered.
e2e_dots() {
    local s=$1 orientation=$2 n=$3 out dx dy
    out=$(awk -v s="$s" -v o="$orientation" -v n="$n" -v x="$PANEL_X" -v y="$PANEL_Y" \
        -v w="$PANEL_W" -v h="$PANEL_H" 'BEGIN {
            if (o == "horizontal") {
                cw = (w - 2 - 32 * s - 16 * s * (n - 1)) / n
                for (i = 0; i < n; i++)
                    printf "%d %d\n", x + 1 + 16 * s + cw / 2 + i * (cw + 16 * s), y + 1 + 25 * s
            } else {
                ch = (h - 2 - 24 * s - 16 * s * (n - 1)) / n
                for (i = 0; i < n; i++)
                    printf "%d %d\n", x + w / 2, y + 1 + 25 * s + i * (ch + 16 * s)
            }
        }')
    DOT_X=() DOT_Y=()
    while read -r dx dy; do
        DOT_X+=("$dx")
        DOT_Y+=("$dy")
    done <<<"$out"
}

# e2e_dot_colours: the colours of the dots found by e2e_dots, sorted, space-separated.
e2e_dot_colours() {
    local i
    for i in "${!DOT_X[@]}"; do e2e_pixel "${DOT_X[i]}" "${DOT_Y[i]}"; done | sort | tr '\n' ' ' | sed 's/ $//'
}

e2e_is_dark_at() { e2e_is_dark "$(e2e_pixel "$1" "$2")"; }

# e2e_wait_until SECONDS CMD...: polls CMD every 50 ms until it succeeds.
e2e_wait_until() {
    local limit=$1 i=0
    shift
    until "$@"; do
        [ $i -lt $((limit * 20)) ] || return 1
        sleep 0.05
        i=$((i + 1))
    done
}

# e2e_wait_tray_icon [SECONDS]: waits until korvane's icon is embedded in trayer and sets
# TRAY_ID TRAY_X TRAY_Y TRAY_W TRAY_H and the centre TRAY_CX TRAY_CY.
e2e_wait_tray_icon() {
    local limit=${1:-10} line
    line=$("$KORVANE_XPROBE" tray-icon -p -T $((limit * 1000))) || e2e_fail "no tray icon embedded within ${limit}s"
    read -r TRAY_ID TRAY_X TRAY_Y TRAY_W TRAY_H _ <<<"$line"
    TRAY_CX=$((TRAY_X + TRAY_W / 2))
    TRAY_CY=$((TRAY_Y + TRAY_H / 2))
    e2e_log "tray icon $TRAY_ID at ${TRAY_X},${TRAY_Y} ${TRAY_W}x${TRAY_H}"
}

e2e_pixel() { "$KORVANE_XPROBE" pixel "$1" "$2"; }

# e2e_wait_pixel X Y COLOUR [TIMEOUT_MS] [TOLERANCE] [extra xprobe options]: sets E2E_WAITED_MS and
# E2E_SEEN (the last colour read); returns non-zero on timeout.
e2e_wait_pixel() {
    local x=$1 y=$2 colour=$3 timeout=${4:-1000} tol=${5:-6} out rc
    shift 5 2>/dev/null || shift $#
    out=$("$KORVANE_XPROBE" wait-pixel "$x" "$y" "$colour" -T "$timeout" -t "$tol" "$@")
    rc=$?
    read -r E2E_WAITED_MS E2E_SEEN <<<"$out"
    return $rc
}

# e2e_expect_pixel X Y COLOUR TIMEOUT_MS [TOLERANCE] [WHAT]: fails the step unless (X, Y) shows
# COLOUR within TIMEOUT_MS.
e2e_expect_pixel() {
    local what=${6:-"pixel $1,$2"}
    if e2e_wait_pixel "$1" "$2" "$3" "$4" "${5:-6}"; then
        e2e_log "$what is $E2E_SEEN after ${E2E_WAITED_MS} ms"
    else
        e2e_fail "$what shows $E2E_SEEN, expected $3 within $4 ms"
    fi
}

# e2e_within A B TOLERANCE: |A - B| <= TOLERANCE (integers).
e2e_within() {
    local d=$(($1 - $2))
    [ "${d#-}" -le "$3" ]
}

e2e_is_dark() {
    local c=${1#\#}
    [ $((16#${c:0:2})) -lt 112 ] && [ $((16#${c:2:2})) -lt 112 ] && [ $((16#${c:4:2})) -lt 112 ]
}

# e2e_move X Y: moves the pointer and waits until it is there. (xdotool's own --sync waits
# for a motion event, which never comes when the pointer already is at X, Y.)
e2e_move() {
    local i=0
    xdotool mousemove "$1" "$2"
    until [ "$(xdotool getmouselocation | awk '{ print $1, $2 }')" = "x:$1 y:$2" ]; do
        [ $i -lt 100 ] || e2e_fail "the pointer did not reach $1,$2"
        sleep 0.01
        i=$((i + 1))
    done
}

# e2e_click X Y [BUTTON]
e2e_click() {
    e2e_move "$1" "$2"
    xdotool click "${3:-1}"
}

# e2e_drag X1 Y1 X2 Y2: press, move in steps, release (a manual drag, as a user does).
e2e_drag() {
    local x1=$1 y1=$2 x2=$3 y2=$4 i steps=10
    e2e_move "$x1" "$y1"
    xdotool mousedown 1
    for ((i = 1; i <= steps; i++)); do
        e2e_move $((x1 + (x2 - x1) * i / steps)) $((y1 + (y2 - y1) * i / steps))
        sleep 0.02
    done
    xdotool mouseup 1
}

e2e_key() { xdotool key --delay 60 "$@"; }

# ---------------------------------------------------------------- screenshots, steps, verdict

# e2e_shot NAME [CROP]: saves the whole screen (or the CROP WxH+X+Y) as NAME.png among the
# artifacts; prints the path.
e2e_shot() {
    local file=$E2E_ARTIFACTS/$1.png
    if [ -n "${2:-}" ]; then
        import -window root -crop "$2" +repage "$file" 2>/dev/null
    else
        import -window root "$file" 2>/dev/null
    fi
    echo "$file"
}

# Reads a pixel of a saved picture, as #RRGGBB.
e2e_image_pixel() {
    convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | awk 'NR == 2 { print $3 }'
}

e2e_step() {
    E2E_STEP=$*
    e2e_log "step: $E2E_STEP"
}

# e2e_fail MESSAGE: screenshot of the failing step under the build folder, its path, the
# application's log, exit 1.
e2e_fail() {
    local slug shot
    E2E_SHOTS=$((E2E_SHOTS + 1))
    slug=$(printf '%s' "$E2E_STEP" | tr -c 'A-Za-z0-9' '-' | tr -s '-' | cut -c1-60)
    if [ -n "${DISPLAY:-}" ] && [ -n "$E2E_XVFB_PID" ] && e2e_alive "$E2E_XVFB_PID"; then
        shot=$(e2e_shot "FAILED-$E2E_SHOTS-${slug%-}")
    fi
    {
        echo "FAIL [$E2E_NAME] step \"$E2E_STEP\": $*"
        [ -n "${shot:-}" ] && echo "screenshot: $shot"
        echo "windows on $DISPLAY:"
        e2e_windows 2>/dev/null | sed 's/^/  /'
        if [ -n "$KORVANE_LOG" ] && [ -s "$KORVANE_LOG" ]; then
            echo "korvane output (last 30 lines of $(basename "$KORVANE_LOG")):"
            tail -n 30 "$KORVANE_LOG" | sed 's/^/  /'
        fi
    } >&2
    exit 1
}

# e2e_pass: a scenario ends with korvane quitting cleanly on SIGTERM and no sanitizer report
# in any of its logs (so a crash or a report at any point of a scenario fails it).
e2e_pass() {
    if [ -n "$KORVANE_PID" ]; then
        e2e_step "quit at the end"
        e2e_alive "$KORVANE_PID" || e2e_fail "korvane is no longer running"
        e2e_quit TERM
        [ "$KORVANE_RC" -eq 0 ] || e2e_fail "exit status $KORVANE_RC after SIGTERM"
    fi
    local report
    report=$(grep -l -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$E2E_TMP"/korvane-*.log 2>/dev/null | head -n 1)
    if [ -n "$report" ]; then
        KORVANE_LOG=$report
        e2e_fail "sanitizer report in $(basename "$report")"
    fi
    e2e_log "passed; artifacts in $E2E_ARTIFACTS"
    exit 0
}
