#!/bin/bash
# A tray that speaks only StatusNotifierItem: waybar on a headless sway, Korvane through its XWayland, on
# a private bus. The bar starts after Korvane, and again while it runs; the dot follows each time, and a
# left click opens the menu at the bar.
. "$(dirname "$0")/lib.sh"
e2e_init waybar
for t in sway waybar grim Xwayland unshare dbus-daemon gdbus; do
    command -v "$t" >/dev/null || e2e_skip "no $t (scripts/setup --test)"
done
e2e_new_home
e2e_write_defaults '{"KorvaneHasLaunched": true, "OverlayWasVisible": true}'
e2e_write_state c1 working /tmp/alpha
e2e_private_bus
export XDG_RUNTIME_DIR=$E2E_HOME/.run XDG_CONFIG_HOME=$E2E_TMP/config
mkdir -p "$XDG_CONFIG_HOME/waybar"
echo '{"position": "top", "height": 26, "modules-left": ["tray"], "tray": {"icon-size": 22}}' \
    >"$XDG_CONFIG_HOME/waybar/config"
echo 'window#waybar { background: #202020; }' >"$XDG_CONFIG_HOME/waybar/style.css"
printf 'xwayland force\noutput HEADLESS-1 resolution 1280x800\nexec env >%s\n' "$E2E_TMP/sway.env" >"$E2E_TMP/sway.conf"
# sway refuses to run as root; in a user namespace of its own it runs as uid 1000 (files stay root's).
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    as_user=(unshare --user --map-user=1000 --map-group=1000)
    "${as_user[@]}" true 2>/dev/null || e2e_skip "sway refuses root, and no user namespace can be made here"
fi
e2e_spawn sway "${as_user[@]}" env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway -c "$E2E_TMP/sway.conf"
e2e_wait_until 15 grep -qs '^DISPLAY=' "$E2E_TMP/sway.env" || e2e_fail "sway did not start: $(tail -n 5 "$E2E_TMP/sway.log")"
eval "export $(grep -E '^(DISPLAY|WAYLAND_DISPLAY|SWAYSOCK)=' "$E2E_TMP/sway.env" | tr '\n' ' ')"

# dot COLOUR: the middle of the bar's first tray slot.
dot() {
    E2E_SEEN=$(grim -g '0,0 40x26' - | convert - -crop 1x1+11+13 -depth 8 txt:- | awk 'NR == 2 { print $3 }')
    [ "$E2E_SEEN" = "$1" ]
}
bar() {
    e2e_spawn "waybar-$1" waybar
    BAR_PID=$!
    e2e_wait_until 10 registered || e2e_fail "no StatusNotifierItem registered: $(tail -n 3 "$E2E_TMP/waybar-$1.log")"
    e2e_wait_until 5 dot "$2" || e2e_fail "the bar's tray shows $E2E_SEEN, not $2"
    grim -g '0,0 200x26' "$E2E_ARTIFACTS/bar-$1.png"
}

e2e_step "Korvane first, no tray yet"
e2e_launch
e2e_wait_until 10 grep -q "no system tray" "$E2E_TMP/korvane-1.log" || e2e_fail "korvane started with a tray"
e2e_step "waybar starts later"
bar late "$COLOR_WORKING"
e2e_step "a new state"
e2e_write_state c1 idle /tmp/alpha
e2e_wait_until 5 dot "$COLOR_IDLE" || e2e_fail "the dot shows $E2E_SEEN, not green"
e2e_step "a left click opens the menu where the bar was clicked, which X does not know under Wayland"
gdbus call --session -d "$ITEM" -o /StatusNotifierItem -m org.kde.StatusNotifierItem.Activate 40 26 >/dev/null
e2e_wait_until 3 eval "e2e_windows | grep -q '^[0-9]* 40 26 '" || e2e_fail "no menu at 40,26: $(e2e_windows)"
grim "$E2E_ARTIFACTS/menu.png" && xdotool key Escape
e2e_step "waybar restarts"
kill "$BAR_PID" && wait "$BAR_PID"
bar again "$COLOR_IDLE"
e2e_step "a click on the light: sway's IPC focuses the agent's terminal (asked over X11, sway would only mark it urgent)"
xterm -T SW-A -e sleep 60 >/dev/null 2>&1 & # the agent's, then another one in front
printf '{"state":"waiting","ts":%s,"workspace":"/tmp/alpha","conversation_id":"c1","where":{"chain":[[1,"agent"],[%s,"xterm"]]}}' \
    "$EPOCHREALTIME" $! >"$STATE_DIR/.c1" && mv "$STATE_DIR/.c1" "$STATE_DIR/c1.json" && sleep 0.5 && xterm -T SW-B -e sleep 60 &
focused() { swaymsg -t get_tree | python3 -c 'import json, sys
f = lambda n: [n["name"]] if n.get("focused") else sum((f(c) for c in n["nodes"] + n["floating_nodes"]), [])
sys.exit(f(json.load(sys.stdin)) != [sys.argv[1]])' "$1"; }
e2e_wait_until 5 focused SW-B && e2e_wait_panels 1 && xdotool mousemove "${LAMP_X[1]}" "${LAMP_Y[1]}" click 1
e2e_wait_until 3 focused SW-A || e2e_fail "sway did not focus the agent's terminal"
e2e_pass
