#!/bin/bash
# A permission prompt of the real Claude Code client (tmux, fake model server) answered from the
# menu's row, as a StatusNotifierItem host (xfce4-panel, private bus) chooses an item: Allow runs
# the tool, also from the notification's button (dunst, one notification); Deny does not and the
# model reads why; Yes or Esc in the terminal first takes the choices back; Always Allow writes the
# rule and the next call asks nothing; print mode asks nothing (the client denies); answering turned
# off in the menu takes Korvane's entry out and the light still turns red; with Korvane not running
# the terminal asks as before. Prints the times.
. "$(dirname "$0")/lib.sh"
e2e_init answer
for t in xfce4-panel dbus-daemon gdbus tmux dunst dunstctl; do command -v "$t" >/dev/null || e2e_skip "no $t (scripts/setup --test)"; done
e2e_client claude-code

e2e_start_x
e2e_new_home
e2e_write_defaults '{"KorvaneHasLaunched": true, "NotifyWhenAgentNeedsYou": true}'
mkdir -p "$E2E_HOME/.claude" "$E2E_HOME/.run" && chmod 700 "$E2E_HOME/.run"
e2e_sni_host
# dunst's context menu asks this "dmenu" which action to take: the one named in $E2E_TMP/pick.
# shellcheck disable=SC2016 # expands when dunst runs it
printf '#!/bin/sh\ngrep -m 1 "^#$(cat %s) ("\n' "$E2E_TMP/pick" >"$E2E_TMP/pick.sh" && chmod +x "$E2E_TMP/pick.sh"
install -D /dev/null "$E2E_HOME/.config/dunst/dunstrc" && printf '[global]\n    dmenu = %s\n' "$E2E_TMP/pick.sh" >"$E2E_HOME/.config/dunst/dunstrc"
env "${E2E_SESSION[@]}" dunst >/dev/null 2>&1 &
e2e_launch
e2e_wait_until 10 registered || e2e_fail "no StatusNotifierItem registered"
e2e_wait_until 5 test -S "$E2E_HOME/.run/korvane/ask.sock" || e2e_fail "korvane listens for no prompts"

# The id of the shown menu line LABEL, as the host reads the menu when it opens; choice: one under the row
# (after two em spaces).
EM=$(printf '\342\200\203')
line() {
    call "$ITEM" /MenuBar com.canonical.dbusmenu.AboutToShow 0 >/dev/null
    ID=$(call "$ITEM" /MenuBar com.canonical.dbusmenu.GetLayout 0 -1 '@as []' |
        grep -o "([0-9]*, {[^}]*'label': <'$1'>[^}]*}" | grep -v "'visible': <false>" | grep -o '^([0-9]*' |
        tr -d '(') && [ -n "$ID" ]
}
choice() { line "$EM$EM$1"; }
choose() { call "$ITEM" /MenuBar com.canonical.dbusmenu.Event "$ID" clicked '<0>' 0 >/dev/null; }
client() { CLIENT_HOME=$E2E_HOME CLIENT_RUNTIME_DIR=$E2E_HOME/.run harness "$1" "$out" "${@:2}" ||
    e2e_fail "harness: $* ($(cat "$out/screen-timeout.txt" 2>/dev/null))"; }
fresh() { client stop && rm -f "$out/project/"*.txt && client serve "${1:-write}"; }
# prompt [SCENARIO TEXT]: the client at its permission prompt; asked: and the choices under the row.
prompt() { fresh "$@" && client tui && client type "${2:-Create hello.txt}" && client wait 'Do you want to'; }
asked() { prompt "$@" && { e2e_wait_until 5 choice Allow || e2e_fail "no Allow under the row"; }; }
ms_since() { echo $(((${EPOCHREALTIME/./} - $1) / 1000)); }
took() { echo "answer: $1 after $(ms_since "$2") ms" | tee -a "$E2E_ARTIFACTS/times.txt"; }

e2e_step "Allow from the menu runs the tool"
asked
choice Bash >/dev/null && e2e_fail "a Bash line for a Write"
choice 'Write: .*hello.txt' || e2e_fail "the request is not named"
choice 'Always Allow' || e2e_fail "no Always Allow for a prompt with suggestions"
xdotool mousemove 11 13 click 1 && sleep 1 && e2e_shot menu >/dev/null && xdotool key Escape
choice Allow
t0=${EPOCHREALTIME/./}
choose
e2e_wait_until 10 test -f "$out/project/hello.txt" || e2e_fail "the tool did not run"
took "click to tool run" "$t0"
e2e_wait_until 3 eval '! choice Allow' || e2e_fail "the choices stayed after the answer"
client exit

e2e_step "Deny from the menu: not run, and the model is told"
asked
choice Deny && choose
client wait 'Denied from Korvane' 10
[ ! -e "$out/project/hello.txt" ] || e2e_fail "the tool ran after Deny"
e2e_wait_until 5 grep -rqs 'Denied from Korvane' "$E2E_HOME/.claude/projects" || e2e_fail "the model was not told"
client exit

e2e_step "Yes in the terminal first takes the choices and the notification back"
asked
shown() { [ "$(dunstctl count displayed)" = "$1" ]; }
e2e_wait_until 3 shown 1 || e2e_fail "$(dunstctl count displayed) notifications, expected the prompt's alone"
client approve
t0=${EPOCHREALTIME/./}
e2e_wait_until 3 eval '! choice Allow' || e2e_fail "the choices stayed after the terminal's answer"
took "terminal answer to choices gone" "$t0"
e2e_wait_until 3 shown 0 || e2e_fail "the notification stayed after the terminal's answer"
took "terminal answer to notification gone" "$t0"
e2e_wait_until 10 test -f "$out/project/hello.txt" || e2e_fail "the tool did not run"
client exit

e2e_step "Allow from the notification's button"
asked
e2e_wait_until 3 shown 1 || e2e_fail "$(dunstctl count displayed) notifications, expected the prompt's alone"
e2e_shot notification >/dev/null
echo Allow >"$E2E_TMP/pick"
dunstctl context
e2e_wait_until 10 test -f "$out/project/hello.txt" || e2e_fail "the tool did not run"
e2e_wait_until 3 eval '! choice Allow' || e2e_fail "the choices stayed after the answer"
client exit

e2e_step "Esc in the terminal takes the choices back"
asked
client key Escape
e2e_wait_until 2 eval '! choice Allow' || e2e_fail "the choices stayed after Esc"
client exit

e2e_step "Always Allow writes the rule, and the next call asks nothing"
client record
asked twice "Append twice"
choice 'Always Allow' || e2e_fail "no Always Allow for a Bash prompt"
t0=${EPOCHREALTIME/./}
choose
client wait 'Both ran' 20
took "Always Allow to the second call run" "$t0"
grep -qF "\"Bash(sh -c 'echo ran >>ran.txt')\"" "$out/project/.claude/settings.local.json" || e2e_fail "no rule written"
[[ $(grep -c '^PermissionRequest' "$out/calls") = 1 && $(cat "$out/project/ran.txt") = $'ran\nran' ]] || e2e_fail "the second call asked"
client exit

e2e_step "Print mode asks nothing, and the client denies the call"
fresh && : >"$out/calls" && t0=${EPOCHREALTIME/./}
client print "Create hello.txt" &
unasked() { ! choice Allow || e2e_fail "print mode asked"; ! e2e_alive "$1"; }
e2e_wait_until 30 unasked $! || e2e_fail "print mode runs after 30 s"
took "print mode turn" "$t0"
[ ! -e "$out/project/hello.txt" ] || e2e_fail "the tool ran unasked"
grep -q "^PermissionRequest	0	0	" "$out/calls" || e2e_fail "no PermissionRequest, or it decided: $(cat "$out/calls")"

e2e_step "Answering turned off: Korvane's entry leaves, the terminal asks, the light still turns red"
line 'Answer Permission Prompts' || e2e_fail "no Answer Permission Prompts in the menu"
choose
listening() { test -S "$E2E_HOME/.run/korvane/ask.sock"; }
e2e_wait_until 5 eval '! listening' || e2e_fail "still listening for prompts"
! grep -q PermissionRequest "$E2E_HOME/.claude/settings.json" || e2e_fail "the PermissionRequest entry stayed"
prompt
red() { call "$ITEM" /StatusNotifierItem org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem ToolTip |
    grep -q 'Waiting for your answer'; }
t0=${EPOCHREALTIME/./}
e2e_wait_until 20 red || e2e_fail "not red at the prompt"
took "prompt to red without the entry" "$t0"
! choice Allow || e2e_fail "choices offered while answering is off"
client approve
e2e_wait_until 10 test -f "$out/project/hello.txt" || e2e_fail "the tool did not run"
client exit
line 'Answer Permission Prompts' && choose
e2e_wait_until 5 listening || e2e_fail "not listening again when turned on"
grep -q PermissionRequest "$E2E_HOME/.claude/settings.json" || e2e_fail "the entry is not back"

e2e_step "Korvane not running: the terminal asks as before"
e2e_quit
[ ! -e "$E2E_HOME/.run/korvane/ask.sock" ] || e2e_fail "the socket outlived korvane"
prompt
client approve
e2e_wait_until 10 test -f "$out/project/hello.txt" || e2e_fail "the tool did not run"
client exit
KORVANE_PID=
e2e_pass
