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

# state, colour, lit lamp (0 red, 1 orange, 2 green, 3 none)
while read -r state colour lamp; do
    e2e_step "$state"
    e2e_write_state c1 "$state"
    e2e_expect_pixel "$TRAY_CX" "$TRAY_CY" "${!colour}" 1000 6 "tray dot"
    for i in 0 1 2; do
        if [ "$i" -eq "$lamp" ]; then
            e2e_expect_pixel "${LAMP_X[i]}" "${LAMP_Y[i]}" "${!colour}" 1000 10 "lamp $i"
        else
            dim "${LAMP_X[i]}" "${LAMP_Y[i]}" || e2e_fail "lamp $i is lit: $E2E_SEEN"
        fi
    done
done <<'STATES'
working COLOR_WORKING 1
waiting COLOR_RED 0
idle COLOR_IDLE 2
none COLOR_UNKNOWN 3
STATES
e2e_pass
