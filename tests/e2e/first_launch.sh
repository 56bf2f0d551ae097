#!/bin/bash
# The first launch turns the floating light on and says hello once; "Got it" closes
# the welcome, and the next launch brings the light back without a word.
. "$(dirname "$0")/lib.sh"
e2e_init first_launch
e2e_start_x
e2e_start_tray
e2e_new_home
e2e_launch
dialogs() { [ "$(e2e_windows | grep -c ' DIALOG$')" -eq "$1" ]; }

e2e_step "the welcome and the light"
e2e_wait_until 10 dialogs 1 || e2e_fail "no welcome alert"
e2e_wait_panels 1
e2e_wait_tray_icon
e2e_step "Return presses Got it"
xdotool key Return
e2e_wait_until 3 dialogs 0 || e2e_fail "the welcome is still shown"

e2e_step "the second launch"
e2e_quit TERM
e2e_launch
e2e_wait_tray_icon
e2e_wait_panels 1
sleep 1.5
dialogs 0 || e2e_fail "the welcome was shown again"
e2e_pass
