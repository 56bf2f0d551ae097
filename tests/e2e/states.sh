#!/bin/bash
# Every state a state file can carry reaches the tray dot and the combined light's
# lamps within a second of the file being renamed into the state directory; a
# "pending" record turns from working to waiting once it is six seconds old.
. "$(dirname "$0")/lib.sh"
e2e_init states
e2e_boot '{"KorvaneHasLaunched": true, "OverlayWasVisible": true, "OverlayMode": "combined"}'
e2e_wait_panels 1
e2e_lamps 1 vertical
e2e_shot unknown >/dev/null

# set_state STATE COLOUR LAMP: renames a fresh state file of conversation c1 into place and
# expects the tray dot in COLOUR within 1 s of the rename, and LAMP (0 red, 1 orange,
# 2 green, -1 none) lit.
set_state() {
    local state=$1 colour=$2 lamp=$3
    e2e_step "$state"
    mkdir -p "$STATE_DIR"
    written_at=${EPOCHREALTIME/./}
    if [ "$state" = none ]; then
        e2e_wait_pixel "$TRAY_CX" "$TRAY_CY" "$colour" 1000 6 -r "$STATE_DIR/c1.json" "$E2E_TMP/c1.removed"
    else
        printf '{"state":"%s","ts":%s,"workspace":"/tmp/p","conversation_id":"c1"}\n' \
            "$state" "$(e2e_now)" >"$E2E_TMP/c1.json"
        e2e_wait_pixel "$TRAY_CX" "$TRAY_CY" "$colour" 1000 6 -r "$E2E_TMP/c1.json" "$STATE_DIR/c1.json"
    fi || e2e_fail "tray dot is $E2E_SEEN ${E2E_WAITED_MS} ms after the change, expected $colour"
    e2e_log "tray dot $colour after $E2E_WAITED_MS ms"
    e2e_expect_lamps "$lamp" "$colour"
    e2e_shot "$state" >/dev/null
}

set_state working "$COLOR_WORKING" 1
set_state waiting "$COLOR_RED" 0
set_state idle "$COLOR_IDLE" 2

set_state pending "$COLOR_WORKING" 1
e2e_step "pending is still working after 5 s"
sleep "$(awk -v t="$((${EPOCHREALTIME/./} - written_at))" 'BEGIN { s = 5 - t / 1e6; print (s > 0 ? s : 0) }')"
[ "$(e2e_pixel "$TRAY_CX" "$TRAY_CY")" = "$COLOR_WORKING" ] || e2e_fail "pending turned early: $(e2e_pixel "$TRAY_CX" "$TRAY_CY")"
e2e_step "pending turns waiting after 6 s"
e2e_expect_pixel "$TRAY_CX" "$TRAY_CY" "$COLOR_RED" 3000 6 "tray dot"
e2e_expect_lamps 0 "$COLOR_RED"
e2e_shot pending-waiting >/dev/null

set_state idle "$COLOR_IDLE" 2
set_state error "$COLOR_RED" 0
set_state none "$COLOR_UNKNOWN" -1
e2e_pass
