#!/bin/bash
# Without any tray host Korvane still runs: the floating light is the way in, and
# a right click on it opens the same menu. A tray host that starts later gets the
# icon without a restart.
. "$(dirname "$0")/lib.sh"
e2e_init no_tray
e2e_boot --no-tray '{"KorvaneHasLaunched": true, "OverlayWasVisible": true, "OverlayMode": "combined"}'
e2e_wait_panels 1
e2e_write_state c1 working
e2e_lamps 1 vertical
e2e_expect_lamps 1 "$COLOR_WORKING"

e2e_step "a right click on the light opens the menu"
e2e_click $((PANEL_X + PANEL_W / 2)) $((PANEL_Y + 43)) 3
e2e_wait_until 3 e2e_has_menu || e2e_fail "no menu after a right click on the light"
e2e_shot menu-from-light >/dev/null
read -r menu_id menu_x menu_y menu_w menu_h _ <<<"$(e2e_menus | head -n 1)"
e2e_log "menu $menu_id at $menu_x,$menu_y ${menu_w}x${menu_h}"
[ "$menu_h" -gt 200 ] || e2e_fail "the menu is ${menu_w}x${menu_h}, too small to be the full menu"

e2e_step "Escape closes it"
e2e_key Escape
e2e_wait_until 2 e2e_no_menu || e2e_fail "the menu is still open after Escape"

e2e_step "a tray host started later gets the icon"
e2e_start_tray
e2e_wait_tray_icon 5
e2e_expect_pixel "$TRAY_CX" "$TRAY_CY" "$COLOR_WORKING" 1000 6 "tray dot"
e2e_expect_running
e2e_shot tray-arrived >/dev/null
e2e_pass
