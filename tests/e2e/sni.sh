#!/bin/bash
# The tray icon on a StatusNotifierItem host (xfce4-panel, private bus): dot size and colour, tooltip,
# menu as the host reads it over dbusmenu (current when opened, items work), clicks, a late host.
. "$(dirname "$0")/lib.sh"
e2e_init sni
for t in xfce4-panel dbus-daemon gdbus; do command -v "$t" >/dev/null || e2e_skip "no $t (scripts/setup --test)"; done
e2e_start_x
e2e_new_home
e2e_write_defaults '{"KorvaneHasLaunched": true}'
# dot COLOUR [AREA MIN]: MIN (11) pixels of COLOUR in AREA (the panel's middle row), as trayer's 13-pixel dot.
dot() {
    DOT_PIXELS=$(import -window root -crop "${2:-60x1+0+12}" -depth 8 txt:- | awk -v c="${1#\#}" -v H=0123456789ABCDEF '
        function hx(s, i) { return (index(H, substr(s, i, 1)) - 1) * 16 + index(H, substr(s, i + 1, 1)) - 1 }
        NR > 1 { split($0, f, "#"); ok = 1
                 for (i = 1; i <= 5; i += 2) { d = hx(f[2], i) - hx(c, i); if (d > 24 || d < -24) ok = 0 }
                 n += ok }
        END { print n + 0 }')
    [ "$DOT_PIXELS" -ge "${3:-11}" ]
}
tooltip() { call "$ITEM" /StatusNotifierItem org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem ToolTip; }
layout() { call "$ITEM" /MenuBar com.canonical.dbusmenu.GetLayout 0 -1 '@as []'; }
entry() { layout | grep -o "([0-9]*, {[^}]*'label': <'$1'>[^}]*}"; }
has() { entry "$1" | grep -q "$2"; }

e2e_sni_host
e2e_launch
e2e_wait_until 10 registered || e2e_fail "no StatusNotifierItem registered"
for row in "working $COLOR_WORKING working" "waiting $COLOR_RED answer" "idle $COLOR_IDLE Done"; do
    read -r state colour word <<<"$row"
    e2e_step "$state: dot, tooltip and first menu line"
    e2e_write_state c1 "$state" /tmp/alpha
    e2e_wait_until 5 dot "$colour" || e2e_fail "$DOT_PIXELS pixels of $colour across the icon"
    [ "$state" = waiting ] || ! dot "$COLOR_RED" 60x8+0+0 1 || e2e_fail "$DOT_PIXELS red pixels, none waits"
    e2e_shot "icon-$state" >/dev/null
    tooltip | grep -q "$word" || e2e_fail "the tooltip does not say $word"
    layout | grep -q "'enabled': <false>, 'label': <'[^']*$word" || e2e_fail "first menu line: $(layout | head -c 300)"
done

e2e_step "the menu as the host sees it, refreshed when it opens"
has Combined "'toggle-state': <1>" || e2e_fail "Combined unchecked: $(entry Combined)"
has 'One Light per Tab' "'enabled': <false>" || e2e_fail "per tab enabled in the combined layout"
has 'Floating Light Layout' "'children-display': <'submenu'>" || e2e_fail "the layout item is no submenu"
e2e_write_state c3 error /tmp/gamma
e2e_write_state c2 working /tmp/beta
e2e_wait_until 5 dot "$COLOR_WORKING" || e2e_fail "beta's working state not shown"
e2e_wait_until 3 dot "$COLOR_RED" 60x8+0+0 4 || e2e_fail "$DOT_PIXELS red pixels in the badge"
tooltip | grep -q 'working… • 1 needs you' || e2e_fail "the tooltip does not say who needs you: $(tooltip)"
call "$ITEM" /MenuBar com.canonical.dbusmenu.AboutToShow 0 >/dev/null
e2e_wait_until 3 entry '3 windows • 1 working • 1 needs you' >/dev/null || e2e_fail "summary: $(layout | head -c 400)"
entry 'gamma — Failed · [0-9]* s' >/dev/null || e2e_fail "no line for gamma: $(layout | head -c 600)"

e2e_step "an item chosen in the host's menu"
n='Notify When an Agent Needs You'
call "$ITEM" /MenuBar com.canonical.dbusmenu.Event "$(entry "$n" | grep -o '[0-9]*' | head -n 1)" clicked '<0>' 0 >/dev/null
e2e_wait_until 3 grep -q '"NotifyWhenAgentNeedsYou": true' "$DEFAULTS_FILE" || e2e_fail "$n not stored"
e2e_wait_until 3 has "$n" "'toggle-state': <1>" || e2e_fail "the menu was not refreshed: $(entry "$n")"

e2e_step "right click: the host's menu; left click: Korvane's"
xdotool mousemove 11 13 click 3 && sleep 1 && e2e_shot host-menu >/dev/null && xdotool key Escape
xdotool mousemove 11 13 click 1
e2e_wait_until 3 eval "e2e_windows | awk '\$5 > 100' | grep -q ." || e2e_fail "no menu after a left click"
e2e_shot korvane-menu >/dev/null && xdotool key Escape

e2e_step "the host starts after Korvane"
e2e_quit
kill "$PANEL_PID" && wait "$PANEL_PID"
e2e_launch
e2e_wait_until 5 grep -q "no system tray" "$E2E_TMP/korvane-$E2E_LAUNCHES.log" || e2e_fail "korvane started with a tray"
e2e_start_panel
e2e_wait_until 10 dot "$COLOR_WORKING" || e2e_fail "$DOT_PIXELS working pixels with a host that came later"
e2e_shot icon-late-host >/dev/null
e2e_pass
