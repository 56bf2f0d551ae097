# shellcheck shell=bash disable=SC2034
# KORVANE_BIN in a scratch HOME on a private Xvfb display with a tray host (trayer), driven by
# xdotool and judged by screen pixels; screenshots go to KORVANE_E2E_ARTIFACTS/<scenario>/.

COLOR_WORKING='#FF9500' COLOR_RED='#FF3B30' COLOR_IDLE='#34C759' COLOR_UNKNOWN='#8E8E93' COLOR_ROOT='#3366AA'
E2E_STEP=start-up E2E_LAUNCHES=0 KORVANE_PID=""
E2E_PIDS=()

e2e_skip() { echo "SKIP: $*" >&2 && exit 77; }
e2e_step() { E2E_STEP=$* && echo "[$E2E_NAME] $*" >&2; }
e2e_log() { echo "[$E2E_NAME] $*" >&2; }

# e2e_init NAME: checks the tools, makes the scratch and artifact folders, stops everything at exit.
e2e_init() {
    E2E_NAME=$1
    local t
    for t in Xvfb trayer xdotool xprop import xsetroot; do
        command -v "$t" >/dev/null || e2e_skip "$t is not installed (scripts/setup --test installs it)"
    done
    E2E_TMP=$(mktemp -d) && E2E_ARTIFACTS=${KORVANE_E2E_ARTIFACTS:-/tmp/korvane-e2e}/$E2E_NAME || exit 2
    rm -rf "$E2E_ARTIFACTS" && mkdir -p "$E2E_ARTIFACTS" || exit 2
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM HUP
}

# Stops this shell's jobs and E2E_PIDS (what a scenario started outside them, a tmux server say).
e2e_cleanup() {
    # shellcheck disable=SC2046 # one pid a word
    kill $(jobs -p) "${E2E_PIDS[@]}" 2>/dev/null
    wait
    rm -rf "$E2E_TMP"
}

e2e_alive() { kill -0 "$1" 2>/dev/null && ! grep -q '^State:.*[ZX]' "/proc/$1/status" 2>/dev/null; }

e2e_wait_until() {
    local end=$((${EPOCHREALTIME/./} + $1 * 1000000))
    shift
    until "$@"; do
        [ "${EPOCHREALTIME/./}" -lt "$end" ] || return 1
        sleep 0.05
    done
}

# Xvfb on a display number it picks itself, never reset (so the desktop keeps its colour).
e2e_start_x() {
    Xvfb -displayfd 3 -screen 0 1280x800x24 -noreset -nolisten tcp 3>"$E2E_TMP/display" >/dev/null 2>&1 &
    e2e_wait_until 10 grep -q '[0-9]' "$E2E_TMP/display" || e2e_fail "Xvfb did not start"
    DISPLAY=:$(tr -dc '0-9' <"$E2E_TMP/display") && export DISPLAY && xsetroot -solid "$COLOR_ROOT"
}

e2e_start_tray() { # once more where it missed its start under load (seen beside a window manager starting)
    for _ in 1 2; do trayer --edge top --align right --widthtype request --height 24 --transparent false \
        --tint 0xDCDAD5 --SetDockType true >/dev/null 2>&1 &
        if e2e_wait_until 5 eval 'xdotool search --onlyvisible --class trayer >/dev/null'; then return 0; fi; kill "$!"; done
    e2e_fail "no tray"; }

e2e_new_home() {
    E2E_HOME=$E2E_TMP/home STATE_DIR=$E2E_TMP/home/.cursor/signalwick/state
    DEFAULTS_FILE=$E2E_TMP/home/.config/Korvane/defaults.json
    rm -rf "$E2E_HOME" && mkdir -p "$E2E_HOME/.run" && chmod 700 "$E2E_HOME/.run"
}

e2e_write_defaults() { mkdir -p "${DEFAULTS_FILE%/*}" && printf '%s\n' "$1" >"$DEFAULTS_FILE"; }

# e2e_write_state ID STATE [WORKSPACE]: renamed into place as the hook script does; "none" removes it.
e2e_write_state() {
    mkdir -p "$STATE_DIR" && rm -f "$STATE_DIR/$1.json" && [ "$2" != none ] || return 0
    printf '{"state":"%s","ts":%s,"workspace":"%s","conversation_id":"%s"}\n' "$2" "$EPOCHREALTIME" \
        "${3:-/tmp/p}" "$1" >"$STATE_DIR/.$1.tmp" && mv "$STATE_DIR/.$1.tmp" "$STATE_DIR/$1.json"
}

# e2e_private_bus [ENV...]: a session bus of the scenario's own, korvane on it too. With ENV, the bus
# starts the services it knows (as a desktop's does) with ENV; without, none.
e2e_private_bus() {
    local config=--session
    [ $# -gt 0 ] || config=--config-file=${BASH_SOURCE[0]%/*}/data/session-bus.conf
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$E2E_TMP/bus
    env "$@" dbus-daemon --nofork "$config" --address="$DBUS_SESSION_BUS_ADDRESS" >/dev/null 2>&1 &
    e2e_wait_until 5 test -S "$E2E_TMP/bus" || e2e_fail "no private session bus"
    printf '#!/bin/sh\nDBUS_SESSION_BUS_ADDRESS=%s exec "%s"\n' "$DBUS_SESSION_BUS_ADDRESS" "$KORVANE_BIN" >"$E2E_TMP/on-bus"
    chmod +x "$E2E_TMP/on-bus" && KORVANE_BIN=$E2E_TMP/on-bus
}

# e2e_client AGENT: harness runs tests/harness/client.sh AGENT, stopped at exit, on $out; skips without the client.
e2e_client() {
    E2E_AGENT=$1 out=$E2E_TMP/client
    harness() { "${BASH_SOURCE[0]%/*}/../harness/client.sh" "$E2E_AGENT" "$@"; }
    trap 'rc=$?; harness stop "$out"; (exit $rc); e2e_cleanup' EXIT
    reason=$(CLIENT_HOME=$E2E_TMP/probe harness serve "$out" text 2>&1)
    [ $? -eq 77 ] && e2e_skip "${reason#SKIP: }"; harness stop "$out"
}

# e2e_sni_host: xfce4-panel's status tray (PANEL_PID) on a private bus whose services (xfconfd) get E2E_SESSION,
# the scratch HOME and no accessibility bus. call DEST PATH METHOD ARG..; registered: Korvane's item, in ITEM.
e2e_sni_host() {
    install -D "${BASH_SOURCE[0]%/*}/data/xfce4-panel.xml" "$E2E_HOME/.config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"
    E2E_SESSION=(HOME="$E2E_HOME" XDG_CONFIG_HOME="$E2E_HOME/.config" XDG_CACHE_HOME="$E2E_HOME/.cache"
        XDG_RUNTIME_DIR="$E2E_HOME/.run" NO_AT_BRIDGE=1)
    e2e_private_bus "${E2E_SESSION[@]}" && e2e_start_panel
}
e2e_start_panel() { env "${E2E_SESSION[@]}" xfce4-panel --disable-wm-check >/dev/null 2>&1 & PANEL_PID=$!
    e2e_wait_until 10 call org.kde.StatusNotifierWatcher /StatusNotifierWatcher org.freedesktop.DBus.Peer.Ping || e2e_fail "xfce4-panel started no status tray"; }
call() { gdbus call --session -d "$1" -o "$2" -m "$3" -- "${@:4}" 2>/dev/null; }
registered() { ITEM=$(call org.kde.StatusNotifierWatcher /StatusNotifierWatcher org.freedesktop.DBus.Properties.Get \
    org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems | grep -o ':[0-9.]*' | head -n 1) && [ -n "$ITEM" ]; }

# e2e_launch: korvane in the scratch HOME, with nothing of this machine's session; sets KORVANE_PID.
e2e_launch() {
    E2E_LAUNCHES=$((E2E_LAUNCHES + 1))
    env -i PATH="$PATH" HOME="$E2E_HOME" LANG=C.UTF-8 DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$E2E_HOME/.run" ${SWAYSOCK:+"SWAYSOCK=$SWAYSOCK"} \
        QT_QPA_PLATFORM=xcb ASAN_OPTIONS="${ASAN_OPTIONS:-}" "${KORVANE_BIN:?}" \
        >"$E2E_TMP/korvane-$E2E_LAUNCHES.log" 2>&1 </dev/null &
    KORVANE_PID=$!
}

# e2e_spawn NAME COMMAND...: in the background, its output in $E2E_TMP/NAME.log.
e2e_spawn() {
    local name=$1
    shift
    "$@" </dev/null >"$E2E_TMP/$name.log" 2>&1 &
}

e2e_wait_exit() { e2e_wait_until "$2" eval "! e2e_alive $1" && { wait "$1"; E2E_RC=$?; }; }

e2e_quit() {
    kill "-${1:-TERM}" "$KORVANE_PID"
    e2e_wait_exit "$KORVANE_PID" 5 || e2e_fail "korvane still runs 5 s after SIG${1:-TERM}"
    KORVANE_RC=$E2E_RC KORVANE_PID=
}

# e2e_windows: Korvane's viewable windows, one a line: id x y w h type (UTILITY, DIALOG, NORMAL, ...).
e2e_windows() {
    local w X Y WIDTH HEIGHT
    for w in $(xdotool search --onlyvisible --class korvane 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        echo "$w $X $Y $WIDTH $HEIGHT $(xprop -id "$w" _NET_WM_WINDOW_TYPE | sed 's/.*= //; s/,.*//; s/.*_TYPE_//')"
    done
}

# e2e_wait_panels COUNT: exactly COUNT floating lights; the first in PANEL_* and LAMP_X/Y[0..2].
e2e_wait_panels() {
    panels_are() { [ "$(e2e_windows | grep -c ' UTILITY$')" -eq "$1" ]; }
    e2e_wait_until 5 panels_are "$1" || e2e_fail "expected $1 floating light(s): $(e2e_windows)"
    read -r _ PANEL_X PANEL_Y PANEL_W PANEL_H _ <<<"$(e2e_windows | grep ' UTILITY$' | head -n 1)"
    # The centres of the combined light's red, orange and green lamps.
    LAMP_X=($((PANEL_X + PANEL_W / 2)){,,}) LAMP_Y=($((PANEL_Y + 26)) $((PANEL_Y + 60)) $((PANEL_Y + 94)))
}

# The tray icon is the small window inside the 24-pixel tray at the top; sets TRAY_CX TRAY_CY.
e2e_wait_tray_icon() {
    local line
    tray_icon() { line=$(e2e_windows | awk '$3 < 24 && $5 <= 24' | head -n 1) && [ -n "$line" ]; }
    e2e_wait_until "${1:-10}" tray_icon || e2e_fail "no tray icon embedded"
    read -r _ TRAY_X TRAY_Y TRAY_W TRAY_H _ <<<"$line"
    TRAY_CX=$((TRAY_X + TRAY_W / 2)) TRAY_CY=$((TRAY_Y + TRAY_H / 2))
}

e2e_pixel() { import -window root -crop "1x1+$1+$2" -depth 8 txt:- | awk 'NR == 2 { print $3 }'; }

# e2e_wait_pixel X Y COLOUR TIMEOUT_MS [TOLERANCE]: sets E2E_SEEN and E2E_WAITED_MS.
e2e_wait_pixel() {
    local start=${EPOCHREALTIME/./} rc
    near() {
        local i d
        E2E_SEEN=$(e2e_pixel "$1" "$2")
        for i in 1 3 5; do
            d=$((16#${E2E_SEEN:i:2} - 16#${3:i:2}))
            [ "${d#-}" -le "${5:-6}" ] || return 1
        done
    }
    e2e_wait_until $((($4 + 999) / 1000)) near "$@"
    rc=$? E2E_WAITED_MS=$(((${EPOCHREALTIME/./} - start) / 1000))
    return "$rc"
}

e2e_expect_pixel() { e2e_wait_pixel "$@" || e2e_fail "${6:-pixel $1,$2} shows $E2E_SEEN, expected $3"; }


e2e_shot() { import -window root "$E2E_ARTIFACTS/$1.png" && echo "$E2E_ARTIFACTS/$1.png"; }

# e2e_fail MESSAGE: the screen and korvane's last output beside the message, exit 1.
e2e_fail() {
    echo "FAIL [$E2E_NAME] step \"$E2E_STEP\": $*" >&2
    [ -n "${DISPLAY:-}" ] && echo "screenshot: $(e2e_shot "FAILED-${E2E_STEP//[^[:alnum:]]/-}")" >&2
    tail -n 20 "$E2E_TMP"/korvane-*.log >&2
    exit 1
}

# e2e_pass: korvane quits with 0 on SIGTERM, and no sanitizer spoke in any of its runs.
e2e_pass() {
    E2E_STEP="quit at the end"
    [ -z "${KORVANE_PID:-}" ] || e2e_quit TERM
    [ "${KORVANE_RC:-0}" -eq 0 ] || e2e_fail "exit status $KORVANE_RC after SIGTERM"
    ! grep -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$E2E_TMP"/korvane-*.log || e2e_fail "sanitizer"
    exit 0
}
