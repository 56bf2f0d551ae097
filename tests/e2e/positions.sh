#!/bin/bash
# A light dragged with the mouse reopens where it was dropped: after a rebuild and
# after a restart of the application.
. "$(dirname "$0")/lib.sh"
e2e_init positions
e2e_boot '{"KorvaneHasLaunched": true, "OverlayWasVisible": true, "OverlayMode": "combined"}'
e2e_wait_panels 1
e2e_log "combined light at $PANEL_X,$PANEL_Y ${PANEL_W}x${PANEL_H}"
e2e_shot before-drag >/dev/null

e2e_step "drag the light by (-400, +250)"
# Grab it on the plate between two lamps, away from the edges.
grab_x=$((PANEL_X + PANEL_W / 2))
grab_y=$((PANEL_Y + 43))
want_x=$((PANEL_X - 400))
want_y=$((PANEL_Y + 250))
e2e_drag "$grab_x" "$grab_y" $((grab_x - 400)) $((grab_y + 250))
moved_to() { e2e_wait_panels 1 && [ "$PANEL_X" -eq "$1" ] && [ "$PANEL_Y" -eq "$2" ]; }
e2e_wait_until 2 moved_to "$want_x" "$want_y" ||
    e2e_fail "light at $PANEL_X,$PANEL_Y after the drag, expected $want_x,$want_y"
e2e_shot after-drag >/dev/null
e2e_wait_until 2 e2e_json "$DEFAULTS_FILE" 'd.get("OverlayOrigin") is not None' ||
    e2e_fail "no OverlayOrigin saved after the drag: $(cat "$DEFAULTS_FILE")"
e2e_log "saved origin: $(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["OverlayOrigin"])' "$DEFAULTS_FILE")"

e2e_step "quit and relaunch: the light reopens where it was dropped"
e2e_quit TERM
e2e_launch
e2e_wait_tray_icon
e2e_wait_panels 1
# Give a late re-placement after show the time to happen before judging.
sleep 0.6
moved_to "$want_x" "$want_y" ||
    e2e_fail "light at $PANEL_X,$PANEL_Y after the relaunch, expected $want_x,$want_y"
e2e_shot after-relaunch >/dev/null
e2e_pass
