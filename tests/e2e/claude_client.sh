#!/bin/bash
# The real Claude Code client, driven by tests/harness against its fake model server,
# runs the hooks Korvane merged into ~/.claude/settings.json: the tray dot is orange
# during a turn, red while a permission prompt waits, green after the turn, red after
# a failed turn, and grey once the session has ended. Skips without the client or tmux.
. "$(dirname "$0")/lib.sh"
e2e_init claude_client

harness=$(cd "$(dirname "$0")/../harness" && pwd)/claude.sh
out=$E2E_TMP/client
reason=$(CLAUDE_HOME=$E2E_TMP/probe "$harness" serve "$out" text 2>&1)
[ $? -eq 77 ] && e2e_skip "${reason#SKIP: }"
"$harness" stop "$out"
command -v tmux >/dev/null || e2e_skip "tmux is not installed"

e2e_start_x
e2e_start_tray
e2e_new_home
# ~/.claude makes Claude Code count as present, so its settings get the hooks.
mkdir -p "$E2E_HOME/.claude"
e2e_write_defaults '{"KorvaneHasLaunched": true}'
e2e_launch
e2e_wait_tray_icon
e2e_expect_pixel "$TRAY_CX" "$TRAY_CY" "$COLOR_UNKNOWN" 1000 6 "tray dot"
e2e_wait_until 5 grep -q signalwick "$E2E_HOME/.claude/settings.json" || e2e_fail "no hooks in settings.json"

# The client runs in Korvane's HOME, with the hooks as Korvane installed them.
client() { CLAUDE_HOME=$E2E_HOME "$harness" "$1" "$out" "${@:2}" || e2e_fail "harness: $1 failed ($(cat "$out"/screen-timeout.txt 2>/dev/null))"; }

# dot COLOUR SECONDS WHAT: the tray dot shows COLOUR within SECONDS.
dot() {
    e2e_step "$3"
    e2e_wait_pixel "$TRAY_CX" "$TRAY_CY" "$1" $(($2 * 1000)) 6 || e2e_fail "tray dot $E2E_SEEN, expected $1"
    e2e_shot "$(printf '%s' "$3" | tr -c '[:alnum:]' '-')" >/dev/null
}

e2e_step "print mode: a slow answer"
client serve slow
client print "Say hello" &
print_pid=$!
dot "$COLOR_WORKING" 30 "orange during the turn"
e2e_wait_exit "$print_pid" 60 || e2e_fail "the client did not finish"
dot "$COLOR_UNKNOWN" 3 "grey once the session has ended"
client stop

e2e_step "interactive: a permission prompt, answered after 9 s"
client serve write
client tui
client type "Create hello.txt"
client wait 'Do you want to'
dot "$COLOR_RED" 15 "red while the permission prompt waits"
sleep 9
client key Enter
client answered
dot "$COLOR_IDLE" 15 "green after the turn"
client type /exit
dot "$COLOR_UNKNOWN" 10 "grey once the session has ended"
client stop

e2e_step "interactive: the model fails"
client serve error
client tui
client type "Say hello"
dot "$COLOR_RED" 30 "red after the failed turn"
client stop
e2e_pass
