#!/bin/bash
# "Take me there" with the real korvane, openbox, xterms and tmux: the agent runs in a tmux window
# no client shows, another terminal is active; the real hook records where. A click on the light, its
# row in the tray menu and the notification's action each bring that xterm forward with the pane
# selected, also from another desktop, minimized, with a second tmux client, with only another
# session's client attached; no notification while the user looks at it; a stale WINDOWID is not
# trusted; a pane whose agent's hook saw no TMUX is found by its terminal; a light per window and a
# dot of the row each take their own agent there; a gone pane is told, not jumped to.
. "$(dirname "$0")/lib.sh"
e2e_init jump
for t in openbox xterm tmux dunst dunstctl dbus-daemon dbus-monitor stdbuf; do
    command -v "$t" >/dev/null || e2e_skip "no $t (scripts/setup --test)"
done
e2e_start_x
HOME=$E2E_TMP openbox >/dev/null 2>&1 &
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"; }
e2e_wait_until 5 wm_up || e2e_fail "no openbox"
e2e_start_tray
e2e_new_home
e2e_write_defaults '{"KorvaneHasLaunched": true, "OverlayWasVisible": true, "NotifyWhenAgentNeedsYou": true,
    "OverlayOrigin": "{20, 300}"}'
mkdir -p "$E2E_HOME/.claude" "$E2E_TMP/bin" # Claude Code "installed": korvane deploys the hook
ln -s "$(command -v bash)" "$E2E_TMP/bin/agent" # a process on a terminal that is not a shell
e2e_private_bus
# The scenario's tmux server is the default one for korvane too, as a user's is.
export TMUX_TMPDIR=$E2E_TMP
printf '#!/bin/sh\nTMUX_TMPDIR=%s exec "%s"\n' "$E2E_TMP" "$KORVANE_BIN" >"$E2E_TMP/on-tmux"
chmod +x "$E2E_TMP/on-tmux" && KORVANE_BIN=$E2E_TMP/on-tmux
stdbuf -oL dbus-monitor --session "interface='org.freedesktop.Notifications'" >"$E2E_TMP/monitor.log" 2>&1 &
HOME=$E2E_HOME dunst >/dev/null 2>&1 &
e2e_launch
HOOK=$E2E_HOME/.cursor/hooks/signalwick.sh
e2e_wait_until 10 test -s "$HOOK" || e2e_fail "no hook deployed"
e2e_wait_panels 1

tm() { env -u TMUX tmux "$@"; }
for a in a1:alpha s1:sigma; do
    printf '{"hook_event_name":"Notification","notification_type":"permission_prompt","session_id":"%s","cwd":"/tmp/%s"}' \
        "${a%:*}" "${a#*:}" >"$E2E_TMP/${a%:*}.json"
done
printf '{"hook_event_name":"Stop","session_id":"%s","cwd":"/tmp/%s"}' d1 delta >"$E2E_TMP/d1.json"
# agent ID: what the agent runs once started; the hook's record is its place.
agent() { echo "HOME=$E2E_HOME PATH=$E2E_TMP/bin:$PATH agent -c 'sh $HOOK claude-code <$E2E_TMP/$1.json; exec sleep 600'"; }
tm -f /dev/null new-session -d -s work -n main -x 80 -y 24
tm new-session -d -s other -n else
tm new-window -d -t work: -n agent "$(agent a1)"
AGENT_PANE=$(tm list-panes -t work:agent -F '#{pane_id}')
E2E_PIDS+=("$(tm display -p '#{pid}')")
# term TITLE COMMAND...: an xterm; sets WIN to its window.
term() {
    local title=$1
    shift
    xterm -T "$title" -geometry 80x24 -e "$@" >/dev/null 2>&1 &
    mapped() { WIN=$(xdotool search --name "^$1\$" | head -n 1) && [ -n "$WIN" ]; }
    e2e_wait_until 5 mapped "$title" || e2e_fail "no xterm $title"
}
term TERM-A env -u TMUX tmux attach -t work
A=$WIN
term TERM-B sleep 600
B=$WIN
# The pane a client shows (display -c names the client, not the pane its formats read).
pane_of() { tm list-clients -F '#{client_tty} #{pane_id}' | awk -v t="$1" '$1 == t { print $2 }'; }
tty_of() { tm list-clients -F '#{client_tty} #{client_session}' | awk -v s="$1" '$2 == s { print $1; exit }'; }
attached() { [ -n "$(tty_of "$1")" ]; }
e2e_wait_until 5 attached work || e2e_fail "TERM-A attached no tmux client"
TTY_A=$(tty_of work)
e2e_wait_until 5 test -s "$STATE_DIR/a1.json" || e2e_fail "the agent's hook wrote nothing"
grep -q "\"TMUX_PANE\":\"$AGENT_PANE\"" "$STATE_DIR/a1.json" || e2e_fail "no pane in $(cat "$STATE_DIR/a1.json")"

# set_state ID STATE: the agent's record says STATE now; where it runs stays.
set_state() {
    sed "s/\"state\":\"[a-z]*\"/\"state\":\"$2\"/; s/\"ts\":[0-9.]*/\"ts\":$EPOCHREALTIME/" "$STATE_DIR/$1.json" >"$E2E_TMP/s" &&
        mv "$E2E_TMP/s" "$STATE_DIR/$1.json"
}
active() { printf '%d' "$(xprop -root _NET_ACTIVE_WINDOW | sed 's/.*# //; s/,.*//')"; }
is_active() { [ "$(active)" = "$1" ]; }
# away: the other terminal in front, the agent's tmux window not shown, on the first desktop.
away() {
    xdotool set_desktop 0 && tm select-window -t work:main
    xdotool windowactivate --sync "$B" >/dev/null 2>&1
    e2e_wait_until 3 is_active "$B" || e2e_fail "TERM-B does not come forward"
}
# arrived WIN TTY: that xterm is active and its client shows the agent's pane.
arrived() {
    shows() { is_active "$1" && [ "$(pane_of "$2")" = "$AGENT_PANE" ]; }
    e2e_wait_until 3 shows "$1" "$2" ||
        e2e_fail "active $(active) (wanted $1), $2 shows $(pane_of "$2"); clients:
$(tm list-clients -F '#{client_tty} #{client_session} #{client_activity}')"
}
# timed_jump WIN TTY COMMAND...: COMMAND takes the user there; how long it took goes to times.txt.
timed_jump() {
    local start=${EPOCHREALTIME/./}
    "${@:3}"
    arrived "$1" "$2"
    echo "jump: $E2E_STEP: $(((${EPOCHREALTIME/./} - start) / 1000)) ms" | tee -a "$E2E_ARTIFACTS/times.txt"
}
click_light() { timed_jump "$1" "$2" xdotool mousemove "${LAMP_X[1]}" "${LAMP_Y[1]}" click 1; }

e2e_step "a click on the light: TERM-A, the agent's tmux window"
away
click_light "$A" "$TTY_A"
e2e_shot jumped >/dev/null

e2e_step "already there: no notification when it asks again"
ncalls() { grep -c "member=Notify\$" "$E2E_TMP/monitor.log"; }
before=$(ncalls)
set_state a1 idle
sleep 1.2
set_state a1 waiting
sleep 1.5
[ "$(ncalls)" -eq "$before" ] || e2e_fail "a notification while the user looks at the agent"

e2e_step "the notification's action"
away
set_state a1 idle
sleep 1.2
set_state a1 waiting
displayed() { [ "$(dunstctl count displayed)" = 1 ]; }
e2e_wait_until 3 displayed || e2e_fail "no notification"
dunstctl action 0
arrived "$A" "$TTY_A"

e2e_step "TERM-A on another desktop"
away
xdotool set_desktop_for_window "$A" 2
click_light "$A" "$TTY_A"
[ "$(xdotool get_desktop)" = 2 ] || e2e_fail "desktop $(xdotool get_desktop), wanted 2"
xdotool set_desktop_for_window "$A" 0

e2e_step "TERM-A minimized"
away
xdotool windowminimize --sync "$A"
click_light "$A" "$TTY_A"

e2e_step "a second client, on another session and more recent: it stays there"
term TERM-C env -u TMUX tmux attach -t other
C=$WIN
e2e_wait_until 5 attached other || e2e_fail "TERM-C attached no tmux client"
TTY_C=$(tty_of other)
away
click_light "$A" "$TTY_A"
[ "$(tm list-clients -F '#{client_tty} #{session_name}' | grep -c "^$TTY_C other\$")" = 1 ] || e2e_fail "TERM-C's client was moved"

e2e_step "no client on the agent's session: the most recent client goes there"
tm detach-client -t "$TTY_A"
away
click_light "$C" "$TTY_C"

e2e_step "a stale WINDOWID (TERM-B's) outside tmux: the agent's own xterm"
term TERM-D env WINDOWID="$B" bash -c "$(agent d1)"
D=$WIN
e2e_wait_until 5 test -s "$STATE_DIR/d1.json" || e2e_fail "the second agent's hook wrote nothing"
grep -q "\"WINDOWID\":\"$B\"" "$STATE_DIR/d1.json" || e2e_fail "no stale WINDOWID in $(cat "$STATE_DIR/d1.json")"
set_state a1 idle
set_state d1 waiting && sleep 1.2 # seen by korvane, also when a loaded machine slows its pass
away
xdotool mousemove "${LAMP_X[1]}" "${LAMP_Y[1]}" click 1
e2e_wait_until 3 is_active "$D" || e2e_fail "active $(active), wanted TERM-D $D"

e2e_step "rows of the tray menu: delta's first, as it needs you, then alpha's (TERM-C shows alpha now)"
e2e_wait_tray_icon
menu_open() { e2e_windows | awk '$5 > 100 && $6 != "UTILITY"' | grep -q .; }
tray_menu() {
    away && sleep 0.5 # two clicks on the tray icon this close would be a double click
    xdotool mousemove "$TRAY_CX" "$TRAY_CY" click 1
    e2e_wait_until 3 menu_open || e2e_fail "no menu on a click on the tray icon"
}
tray_menu
e2e_shot menu-rows >/dev/null
xdotool key Down Return # Down passes over the lines that are no rows
e2e_wait_until 3 is_active "$D" || e2e_fail "the first row brought $(active) forward, not TERM-D $D"
for _ in 1 2 3; do
    tray_menu
    timed_jump "$C" "$TTY_C" xdotool key Down Down Return
done

e2e_step "a light per window, then a row of dots: each takes its own agent there (TERM-C shows alpha now)"
# lit X Y...: clicks each point in turn and prints the window each brought forward, sorted.
lit() { while [ $# -gt 1 ]; do away && xdotool mousemove "$1" "$2" click 1 && sleep 0.5 && active && echo && shift 2; done | sort; }
for mode in perWindow row combined; do
    e2e_quit && dunstctl close-all
    e2e_write_defaults "{\"KorvaneHasLaunched\": true, \"OverlayWasVisible\": true, \"OverlayMode\": \"$mode\", \"OverlayOrigin\": \"{20, 300}\"}"
    e2e_launch
    if [ $mode = perWindow ]; then e2e_wait_panels 2; else e2e_wait_panels 1; fi
    [ $mode != combined ] || break # as before, for what follows
    # The middle of each light, or the two dots of the row (down or across it).
    read -ra at <<<"$(e2e_windows | awk -v mode=$mode '/UTILITY$/ { v = $5 > $4
        if (mode != "row") printf "%d %d ", $2 + $4 / 2, $3 + $5 / 2
        else for (i = 1; i <= 3; i += 2) printf "%d %d ", $2 + $4 * (v ? 2 : i) / 4, $3 + $5 * (v ? i : 2) / 4 }')"
    got=$(lit "${at[@]}")
    e2e_shot "$mode" >/dev/null
    [ "$got" = "$(printf '%s\n' "$C" "$D" | sort)" ] || e2e_fail "$mode: the clicks brought $got forward, not $C and $D"
done

e2e_step "an agent whose hook saw no TMUX: its pane found by its terminal"
tm new-window -d -t work: -n stripped "env -u TMUX -u TMUX_PANE $(agent s1)"
e2e_wait_until 5 test -s "$STATE_DIR/s1.json" || e2e_fail "the stripped agent's hook wrote nothing"
if grep -q TMUX "$STATE_DIR/s1.json" || ! grep -q tty_nr "$STATE_DIR/s1.json"; then
    e2e_fail "TMUX or no tty in $(cat "$STATE_DIR/s1.json")"
fi
set_state d1 idle && sleep 1.2 # both records seen by korvane first
AGENT_PANE=$(tm list-panes -t work:stripped -F '#{pane_id}') click_light "$C" "$TTY_C"
rm "$STATE_DIR/s1.json"

e2e_step "a gone pane: told where it was"
sed "s/$AGENT_PANE/%99/; s/\"state\":\"[a-z]*\"/\"state\":\"waiting\"/; s/\"pid\":[0-9]*,\"proc_start\":\"[0-9]*\",//" \
    "$STATE_DIR/a1.json" >"$E2E_TMP/s" && mv "$E2E_TMP/s" "$STATE_DIR/g1.json"
set_state d1 idle
rm -f "$STATE_DIR/a1.json"
sleep 1.2
away
xdotool mousemove "${LAMP_X[1]}" "${LAMP_Y[1]}" click 1
e2e_wait_until 3 grep -q "tmux pane %99" "$E2E_TMP/monitor.log" || e2e_fail "no word of the gone pane"
[ "$(active)" = "$B" ] || e2e_fail "a jump for a gone pane"
e2e_shot gone-pane >/dev/null
e2e_pass
