#!/bin/bash
# The real Claude Code client in tmux (tests/harness, against its fake model server) runs
# the hooks Korvane installed, and the tray dot tells the truth: (a) red within 1 s of a
# permission prompt, red while it waits 8 s, green after the turn; (b) green once the
# prompt is refused with Esc and (c) once a slow answer is interrupted with Esc, within
# 1 s; (d) grey within 2 s once the client is killed mid-turn. No hook reports (b)-(d):
# the client's session registry does, and Korvane watches its files.
# Prints the time from each moment to the colour. Skips without the client or tmux.
. "$(dirname "$0")/lib.sh"
e2e_init claude_client

e2e_client claude-code
command -v tmux >/dev/null || e2e_skip "tmux is not installed"

e2e_start_x
e2e_start_tray
e2e_new_home
# ~/.claude makes Claude Code count as present, so its settings get the hooks.
mkdir -p "$E2E_HOME/.claude"
e2e_write_defaults '{"KorvaneHasLaunched": true}'
e2e_launch
e2e_wait_tray_icon
e2e_wait_until 5 grep -q signalwick "$E2E_HOME/.claude/settings.json" || e2e_fail "no hooks in settings.json"

# The client runs in Korvane's HOME, with the hooks as Korvane installed them.
client() { CLIENT_HOME=$E2E_HOME harness "$1" "$out" "${@:2}" || e2e_fail "harness: $* ($(cat "$out/screen-timeout.txt" 2>/dev/null))"; }
# dot COLOUR MS WHAT: the tray dot shows COLOUR within MS milliseconds of now.
dot() {
    e2e_wait_pixel "$TRAY_CX" "$TRAY_CY" "$1" "$2" 6 || e2e_fail "$3: tray dot $E2E_SEEN after $2 ms, expected $1"
    echo "claude_client: $3 after $E2E_WAITED_MS ms" | tee -a "$E2E_ARTIFACTS/times.txt"
}
# start SCENARIO PROMPT: a client of its own, once the dot is grey again.
start() {
    dot "$COLOR_UNKNOWN" 5000 "grey before the next client"
    client stop
    client serve "$1"
    client tui
    client type "$2"
}

e2e_step "(a) a permission prompt, answered after 8 s"
start write "Create hello.txt"
client wait 'Do you want to'
dot "$COLOR_RED" 1000 "(a) red once the prompt shows"
for _ in $(seq 16); do
    sleep 0.5
    e2e_wait_pixel "$TRAY_CX" "$TRAY_CY" "$COLOR_RED" 0 6 || e2e_fail "(a) the dot turned $E2E_SEEN while the prompt waited"
done
client key Enter
dot "$COLOR_IDLE" 10000 "(a) green after the answered turn"
client exit

e2e_step "(b) the prompt refused with Esc"
start write "Create hello.txt"
client wait 'Do you want to'
dot "$COLOR_RED" 1000 "(b) red once the prompt shows"
client key Escape
dot "$COLOR_IDLE" 1000 "(b) green after Esc"
client exit

e2e_step "(c) Esc during a slow answer"
start slow "Say hello"
client wait 'esc to interrupt'
dot "$COLOR_WORKING" 1000 "(c) orange while the model answers"
client key Escape
dot "$COLOR_IDLE" 1000 "(c) green after Esc"
client key C-u # the interrupted prompt comes back into the input box
client exit

e2e_step "(d) the client killed mid-turn"
start slow "Say hello"
dot "$COLOR_WORKING" 3000 "(d) orange while the model answers"
client kill KILL
dot "$COLOR_UNKNOWN" 2000 "(d) grey after SIGKILL"
client stop
e2e_pass
