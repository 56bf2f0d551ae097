#!/bin/bash
# Without a tray host the floating light is the way in: a right click opens the menu.
# A tray host that starts later gets the icon without a restart.
. "$(dirname "$0")/lib.sh"
e2e_init no_tray
e2e_start_x
e2e_new_home
e2e_write_defaults '{"KorvaneHasLaunched": true, "OverlayWasVisible": true}'
e2e_launch
e2e_wait_panels 1

e2e_step "a right click on the light opens the menu"
xdotool mousemove $((PANEL_X + PANEL_W / 2)) $((PANEL_Y + 43)) click 3
menu() { e2e_windows | awk '$6 == "NORMAL" && $5 > 100' | grep -q .; }
e2e_wait_until 3 menu || e2e_fail "no menu"
xdotool key Escape
e2e_wait_until 3 eval '! menu' || e2e_fail "the menu stays after Escape"

e2e_step "a tray host started later gets the icon"
e2e_start_tray
e2e_wait_tray_icon 5
e2e_pass
