#!/bin/bash
# Without a tray host and with the floating light hidden, nothing is on screen: a
# second launch exits 0 and brings back the light and the settings window. A right
# click on the light opens the menu; a tray host that starts later gets the icon.
. "$(dirname "$0")/lib.sh"
e2e_init no_tray
e2e_start_x
e2e_new_home
e2e_write_defaults '{"KorvaneHasLaunched": true, "OverlayWasVisible": false}'
e2e_launch
first=$KORVANE_PID
e2e_wait_until 5 test -S "$E2E_HOME/.run/korvane.socket" || e2e_fail "korvane did not start"
e2e_wait_panels 0

e2e_step "a second launch brings the light and the settings window back"
e2e_launch
e2e_wait_exit "$KORVANE_PID" 5 || e2e_fail "the second launch still runs"
[ "$E2E_RC" -eq 0 ] || e2e_fail "the second launch exited with $E2E_RC"
KORVANE_PID=$first
e2e_wait_panels 1
settings() { e2e_windows | awk '$6 == "NORMAL" && $5 > 100' | grep -q .; }
e2e_wait_until 3 settings || e2e_fail "no settings window: $(e2e_windows)"
e2e_shot reopened >/dev/null

e2e_step "a right click on the light opens the menu"
xdotool mousemove $((PANEL_X + PANEL_W / 2)) $((PANEL_Y + 43)) click 3
menus() { [ "$(e2e_windows | awk '$6 == "NORMAL" && $5 > 100' | wc -l)" -eq "$1" ]; }
e2e_wait_until 3 menus 2 || e2e_fail "no menu"
xdotool key Escape
e2e_wait_until 3 menus 1 || e2e_fail "the menu stays after Escape"

e2e_step "a tray host started later gets the icon"
e2e_start_tray
e2e_wait_tray_icon 5
e2e_pass
