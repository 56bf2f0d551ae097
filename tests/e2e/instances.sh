#!/bin/bash
# Korvane runs once per user: a second launch exits 0 at once and leaves the first
# running with its one tray icon. SIGTERM then quits with 0 and leaves the
# preferences file whole.
. "$(dirname "$0")/lib.sh"
e2e_init instances
e2e_boot '{"KorvaneHasLaunched": true, "OverlayWasVisible": true, "OverlayScale": 1.5}'
e2e_wait_panels 1
first=$KORVANE_PID

e2e_step "a second launch exits 0"
e2e_launch
second=$KORVANE_PID
e2e_wait_exit "$second" 5 || e2e_fail "the second instance is still running after 5 s"
[ "$E2E_RC" -eq 0 ] || e2e_fail "the second instance exited with $E2E_RC"
KORVANE_PID=$first

e2e_step "the first keeps running with one tray icon and one light"
sleep 1
e2e_expect_running
icons=$("$KORVANE_XPROBE" tray-icons | wc -l)
[ "$icons" -eq 1 ] || e2e_fail "$icons tray icons after the second launch"
[ "$(e2e_panel_count)" -eq 1 ] || e2e_fail "$(e2e_panel_count) floating lights after the second launch"
e2e_write_state c1 working
e2e_expect_pixel "$TRAY_CX" "$TRAY_CY" "$COLOR_WORKING" 2000 6 "the first instance's tray dot"

e2e_step "SIGTERM quits with 0"
e2e_quit TERM
[ "$KORVANE_RC" -eq 0 ] || e2e_fail "exit status $KORVANE_RC after SIGTERM"

e2e_step "the preferences file is whole"
e2e_json "$DEFAULTS_FILE" 'd["KorvaneHasLaunched"] is True and d["OverlayWasVisible"] is True and d["OverlayScale"] == 1.5' ||
    e2e_fail "defaults after SIGTERM: $(cat "$DEFAULTS_FILE" 2>&1)"
[ "$(ls -A "$(dirname "$DEFAULTS_FILE")")" = defaults.json ] ||
    e2e_fail "leftovers beside the preferences: $(ls -A "$(dirname "$DEFAULTS_FILE")")"

e2e_step "SIGINT quits with 0 as well"
e2e_launch
e2e_wait_tray_icon
e2e_quit INT
[ "$KORVANE_RC" -eq 0 ] || e2e_fail "exit status $KORVANE_RC after SIGINT"
e2e_pass
