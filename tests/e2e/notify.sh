#!/bin/bash
# Notifications from the real korvane to a real server (dunst) on a private session bus,
# every call seen by dbus-monitor: a window turning red is announced once (one red at launch
# never is), taken back when it leaves red; a click shows the light; no server breaks nothing.
. "$(dirname "$0")/lib.sh"
e2e_init notify
for t in dunst dunstctl dbus-daemon dbus-monitor stdbuf; do command -v "$t" >/dev/null || e2e_skip "no $t (scripts/setup --test)"; done
e2e_start_x
e2e_start_tray
e2e_new_home
e2e_write_defaults '{"KorvaneHasLaunched": true, "NotifyWhenAgentNeedsYou": true}'
e2e_private_bus
stdbuf -oL dbus-monitor --session "interface='org.freedesktop.Notifications'" >"$E2E_TMP/monitor.log" 2>&1 &
HOME=$E2E_HOME dunst >/dev/null 2>&1 &
DUNST_PID=$!
displayed() { [ "$(dunstctl count displayed 2>/dev/null)" = "$1" ]; }
shown() { e2e_wait_until 3 displayed "$1" || e2e_fail "dunst shows $(dunstctl count displayed)"; }
ncalls() { grep -c "member=$1\$" "$E2E_TMP/monitor.log"; }
ncalls_are() { [ "$(ncalls "$1")" -eq "$2" ]; }
calls() { e2e_wait_until "${3:-3}" ncalls_are "$1" "$2" || e2e_fail "$(ncalls "$1") $1 calls, expected $2"; }
shown 0
e2e_write_state c0 waiting /tmp/gamma
e2e_write_state c1 working /tmp/alpha
e2e_launch
e2e_wait_tray_icon

e2e_step "alpha turns red: one notification, not repeated"
e2e_write_state c1 waiting /tmp/alpha
calls Notify 1
grep -A12 'member=Notify$' "$E2E_TMP/monitor.log" | grep -q '"alpha"' || e2e_fail "the notification does not name alpha"
grep -A30 'member=Notify$' "$E2E_TMP/monitor.log" | grep -q '"message-new-instant"' || e2e_fail "no sound asked for"
shown 1
e2e_shot notification >/dev/null
sleep 2.5
calls Notify 1 0

e2e_step "alpha working again: closed; red again and clicked: the floating light shows"
e2e_write_state c1 working /tmp/alpha
calls CloseNotification 1
shown 0
e2e_write_state c1 error /tmp/alpha
shown 1
e2e_wait_panels 0
dunstctl action 0
e2e_wait_panels 1

e2e_step "no notification server: nothing breaks"
kill "$DUNST_PID" && wait "$DUNST_PID"
e2e_write_state c2 waiting /tmp/beta
calls Notify 3
e2e_write_state c1 working /tmp/alpha
e2e_expect_pixel "$TRAY_CX" "$TRAY_CY" "$COLOR_WORKING" 2000 10 "tray dot"
e2e_pass
