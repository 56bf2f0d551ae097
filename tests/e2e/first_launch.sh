#!/bin/bash
# The first launch says hello once and shows the floating light. Hidden, with no tray,
# nothing is on screen: a second launch brings back the light and the settings window.
. "$(dirname "$0")/lib.sh"
e2e_init first_launch
e2e_start_x
e2e_new_home
e2e_launch
windows() { [ "$(e2e_windows | grep -c " $1$")" -eq "$2" ]; }

e2e_step "the welcome and the light"
e2e_wait_until 10 windows DIALOG 1 || e2e_fail "no welcome alert"
e2e_wait_panels 1
xdotool key Return
e2e_wait_until 3 windows DIALOG 0 || e2e_fail "Return does not close the welcome"

e2e_step "Show Floating Light, from the light's own menu"
xdotool mousemove $((PANEL_X + PANEL_W / 2)) $((PANEL_Y + 43)) click 3
e2e_wait_until 3 windows NORMAL 1 || e2e_fail "no menu on a right click"
xdotool key Down Return
e2e_wait_panels 0

e2e_step "the next launch: no welcome, no light"
e2e_quit TERM
e2e_launch
first=$KORVANE_PID
e2e_wait_until 5 test -S "$E2E_HOME/.run/korvane.socket" || e2e_fail "korvane did not start"
sleep 1
windows DIALOG 0 || e2e_fail "the welcome was shown again"
e2e_wait_panels 0

e2e_step "a second launch brings the light and the settings window back"
e2e_launch
e2e_wait_exit "$KORVANE_PID" 5 || e2e_fail "the second launch still runs"
[ "$E2E_RC" -eq 0 ] || e2e_fail "the second launch exited with $E2E_RC"
KORVANE_PID=$first
e2e_wait_panels 1
e2e_wait_until 3 windows NORMAL 1 || e2e_fail "no settings window"

e2e_pass
