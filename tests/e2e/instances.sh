#!/bin/bash
# Korvane runs once per user: a second launch exits 0 at once and the first keeps
# its one tray icon; SIGINT quits as cleanly as SIGTERM.
. "$(dirname "$0")/lib.sh"
e2e_init instances
e2e_start_x
e2e_start_tray
e2e_new_home
e2e_write_defaults '{"KorvaneHasLaunched": true}'
e2e_launch
e2e_wait_tray_icon
first=$KORVANE_PID

e2e_step "a second launch exits 0"
e2e_launch
e2e_wait_exit "$KORVANE_PID" 5 || e2e_fail "the second instance still runs"
[ "$E2E_RC" -eq 0 ] || e2e_fail "the second instance exited with $E2E_RC"
KORVANE_PID=$first
sleep 1
e2e_alive "$first" || e2e_fail "the first instance has gone"
[ "$(e2e_windows | awk '$3 < 24' | wc -l)" -eq 1 ] || e2e_fail "tray icons: $(e2e_windows)"

e2e_step "SIGINT"
e2e_quit INT
[ "$KORVANE_RC" -eq 0 ] || e2e_fail "exit status $KORVANE_RC after SIGINT"
e2e_pass
