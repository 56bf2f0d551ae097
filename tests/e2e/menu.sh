#!/bin/bash
# A click on the tray icon opens the menu; its layout, size and per-tab commands
# change the floating lights: "Row of Dots" replaces the combined light by a strip
# with a dot per window, "Large (150%)" scales it, "One Light per Tab" gives a dot
# per conversation.
. "$(dirname "$0")/lib.sh"
e2e_init menu
e2e_start_x
e2e_start_tray
e2e_new_home
e2e_write_defaults '{"KorvaneHasLaunched": true, "OverlayWasVisible": true, "OverlayMode": "combined"}'
# Two windows: alpha with a working and a waiting conversation, beta idle.
e2e_write_state c1 working /tmp/alpha
e2e_write_state c3 waiting /tmp/alpha
e2e_write_state c2 idle /tmp/beta
e2e_launch
e2e_wait_tray_icon
e2e_wait_panels 1
combined_w=$PANEL_W
combined_h=$PANEL_H

# choose NAME KEYS...: opens the menu with a left click on the tray icon, picks an item with
# the keyboard (the arrows skip the two disabled information lines and the separators) and
# waits for the menu to close.
choose() {
    local name=$1
    shift
    e2e_step "menu: $name"
    e2e_click "$TRAY_CX" "$TRAY_CY" 1
    e2e_wait_until 3 e2e_has_menu || e2e_fail "no menu after a click on the tray icon"
    sleep 0.2
    e2e_key "$@"
    sleep 0.2
    e2e_shot "menu-$name" >/dev/null
    e2e_key Return
    e2e_wait_until 3 e2e_no_menu || e2e_fail "the menu is still open after choosing $name"
}

# Items below the two information lines: Show Floating Light, Floating Light Layout >,
# Orientation >, One Light per Tab, Light Size >, Settings...
choose row-of-dots Down Down Right Down Down
e2e_step "the row of dots replaces the combined light"
row_shown() { e2e_wait_panels 1 && { [ "$PANEL_W" -ne "$combined_w" ] || [ "$PANEL_H" -ne "$combined_h" ]; }; }
e2e_wait_until 3 row_shown || e2e_fail "still a ${PANEL_W}x${PANEL_H} light after choosing Row of Dots"
e2e_dots 1 vertical 2
e2e_shot row-of-dots "$((PANEL_W + 40))x$((PANEL_H + 40))+$((PANEL_X - 20))+$((PANEL_Y - 20))" >/dev/null
e2e_log "row at $PANEL_X,$PANEL_Y ${PANEL_W}x${PANEL_H}; dots $(e2e_dot_colours)"
want="$COLOR_IDLE $COLOR_WORKING"
[ "$(e2e_dot_colours)" = "$want" ] || e2e_fail "dots show $(e2e_dot_colours), expected $want (beta idle, alpha working)"
row_w=$PANEL_W
row_h=$PANEL_H

choose large Down Down Down Down Down Right Down Down Down Down
e2e_step "Large (150%) scales the row by 1.5"
scaled() { e2e_wait_panels 1 && [ "$PANEL_W" -ne "$row_w" ]; }
e2e_wait_until 3 scaled || e2e_fail "the row stayed ${PANEL_W}x${PANEL_H} after choosing Large"
expected_w=$(awk -v w="$row_w" 'BEGIN { printf "%d", (w - 2) * 1.5 + 2 }')
e2e_within "$PANEL_W" "$expected_w" 1 ||
    e2e_fail "row ${PANEL_W} wide at 150%, expected ${expected_w} (${row_w} at 100%)"
[ "$PANEL_H" -gt "$row_h" ] || e2e_fail "row ${PANEL_H} high at 150%, not taller than ${row_h}"
e2e_dots 1.5 vertical 2
[ "$(e2e_dot_colours)" = "$want" ] || e2e_fail "dots show $(e2e_dot_colours) at 150%, expected $want"
e2e_shot large "$((PANEL_W + 40))x$((PANEL_H + 40))+$((PANEL_X - 20))+$((PANEL_Y - 20))" >/dev/null
e2e_json "$DEFAULTS_FILE" 'd["OverlayScale"] == 1.5 and d["OverlayMode"] == "row"' ||
    e2e_fail "preferences after the menu: $(cat "$DEFAULTS_FILE")"
large_h=$PANEL_H

choose per-tab Down Down Down Down
e2e_step "One Light per Tab shows a dot per conversation"
three() { e2e_wait_panels 1 && [ "$PANEL_H" -gt "$large_h" ]; }
e2e_wait_until 3 three || e2e_fail "the row stayed ${PANEL_W}x${PANEL_H} after One Light per Tab"
e2e_dots 1.5 vertical 3
want3=$(printf '%s\n' "$COLOR_RED" "$COLOR_IDLE" "$COLOR_WORKING" | sort | tr '\n' ' ' | sed 's/ $//')
[ "$(e2e_dot_colours)" = "$want3" ] || e2e_fail "dots show $(e2e_dot_colours), expected $want3 (one per tab)"
e2e_shot per-tab "$((PANEL_W + 40))x$((PANEL_H + 40))+$((PANEL_X - 20))+$((PANEL_Y - 20))" >/dev/null
e2e_json "$DEFAULTS_FILE" 'd["OverlayPerTab"] is True' || e2e_fail "OverlayPerTab not stored: $(cat "$DEFAULTS_FILE")"
e2e_pass
