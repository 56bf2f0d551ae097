#!/bin/bash
# What a state file says reaches the tray dot and the floating light's lamps within a second.
. "$(dirname "$0")/lib.sh"
e2e_init states
e2e_start_x
e2e_start_tray
e2e_new_home
e2e_write_defaults '{"KorvaneHasLaunched": true, "OverlayWasVisible": true}'
e2e_launch
e2e_wait_tray_icon
e2e_wait_panels 1
dim() { e2e_wait_pixel "$1" "$2" '#000000' 1000 112; }

# c1's state, another window's, the dot's colour, the lit lamp (0 red, 1 orange, 2 green, 3 none),
# and whether someone the dot does not show needs you: a badge on the dot, the red lamp softly lit.
while read -r state other colour lamp attention; do
    e2e_step "$state, another window $other"
    e2e_write_state c2 "$other" /tmp/other
    e2e_write_state c1 "$state"
    e2e_expect_pixel "$TRAY_CX" "$TRAY_CY" "${!colour}" 1000 6 "tray dot"
    if [ "$attention" = 1 ]; then
        e2e_expect_pixel $((TRAY_X + 16)) $((TRAY_Y + 5)) "$COLOR_RED" 1000 6 "the dot's badge"
        e2e_wait_pixel "${LAMP_X[0]}" "${LAMP_Y[0]}" '#C82E25' 1000 24 || e2e_fail "the red lamp does not glow softly: $E2E_SEEN"
    elif e2e_wait_pixel $((TRAY_X + 16)) $((TRAY_Y + 5)) "$COLOR_RED" 0 24; then
        e2e_fail "a badge while nobody else needs you"
    fi
    for i in 0 1 2; do
        if [ "$i" -eq "$lamp" ]; then
            e2e_expect_pixel "${LAMP_X[i]}" "${LAMP_Y[i]}" "${!colour}" 1000 10 "lamp $i"
        elif [ "$i$attention" != 01 ]; then
            dim "${LAMP_X[i]}" "${LAMP_Y[i]}" || e2e_fail "lamp $i is lit: $E2E_SEEN"
        fi
    done
done <<'STATES'
working waiting COLOR_WORKING 1 1
working none COLOR_WORKING 1 0
waiting none COLOR_RED 0 0
idle error COLOR_IDLE 2 1
none none COLOR_UNKNOWN 3 0
STATES
e2e_pass
