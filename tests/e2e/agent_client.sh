#!/bin/bash
# agent_client.sh AGENT: the real client of an agent (tests/harness/agents) in tmux, against
# the fake model server, runs the hooks Korvane merged; the tray dot shows each turn (see the steps), and
# leaves orange once the client is killed mid-turn or quits. Skips without the client.
. "$(dirname "$0")/lib.sh"
agent=$1
e2e_init "${agent}_client"
e2e_client "$agent"
command -v tmux >/dev/null || e2e_skip "tmux is not installed"

e2e_start_x
e2e_start_tray
e2e_new_home
# The client's own files first: they make the agent count as present, so Korvane merges its hooks.
reason=$(CLIENT_HOME=$E2E_HOME FAKE_DELAY=3 harness serve "$out" text 2>&1)
case $? in 0) ;; 77) e2e_skip "${reason#SKIP: }" ;; *) e2e_fail "harness: $reason" ;; esac
config=$(ls "$E2E_HOME"/.codex/config.toml "$E2E_HOME"/.gemini/settings.json "$E2E_HOME"/.copilot/config.json \
    "$E2E_HOME"/.qwen/settings.json "$E2E_HOME"/.config/opencode/opencode.json "$E2E_HOME"/.pi/agent/models.json 2>/dev/null)
e2e_write_defaults '{"KorvaneHasLaunched": true}'
e2e_launch
e2e_wait_tray_icon
e2e_wait_until 5 grep -qs signalwick "$E2E_HOME"/.codex/hooks.json "$E2E_HOME"/.gemini/settings.json \
    "$E2E_HOME"/.copilot/hooks/korvane.json "$E2E_HOME"/.qwen/settings.json "$E2E_HOME"/.config/opencode/plugin/korvane.js \
    "$E2E_HOME"/.pi/agent/extensions/korvane.js ||
    e2e_fail "no hooks beside $config"
client() { CLIENT_HOME=$E2E_HOME harness "$1" "$out" "${@:2}" || e2e_fail "harness: $* ($(cat "$out/screen-timeout.txt" 2>/dev/null))"; }
screen() { tmux -S "$out/tmux" capture-pane -p -t client | grep -v '^ *$' | tail -n "${1:-50}"; }
# say SCENARIO TEXT: the fake model's next turn, and the prompt for it.
say() { client turn "$1" && client type "$2"; }
dot() {
    e2e_step "$3"
    e2e_wait_pixel "$TRAY_CX" "$TRAY_CY" "$1" $(($2 * 1000)) 6 || e2e_fail "tray dot $E2E_SEEN, not $1: $(screen 8)"
    e2e_log "after $E2E_WAITED_MS ms"
}

client tui
sleep 2 # the prompt box shows before it takes keys
say text "Say hello"
dot "$COLOR_WORKING" 10 "orange during a plain turn"
dot "$COLOR_IDLE" 15 "green after the turn"
say write "Run a tool for me"
if harness approves "$out"; then # pi asks for none
    dot "$COLOR_RED" 15 "red while the approval prompt waits"
    client asks 5
    sleep 2 && client approve
fi
dot "$COLOR_WORKING" 5 "orange once approved (or running the tool)"
dot "$COLOR_IDLE" 15 "green after the approved command"
[ -f "$out/project/korvane-tool-ran" ] || e2e_fail "the approved command did not run"
say slow "Answer slowly"
dot "$COLOR_WORKING" 10 "orange during a slow turn"
client interrupt
dot "$COLOR_IDLE" 10 "green after the interrupt"
# Codex CLI runs no hook here, and Gemini CLI the same as for an Esc: the light reads its session log.
# Copilot CLI runs no hook at an interrupt: its event log tells.
say error "This one will fail"
dot "$COLOR_RED" 15 "red after the failed turn"
# Not hidden by what follows: Qwen Code reports the idle prompt just after a failure.
sleep 2 && dot "$COLOR_RED" 1 "still red after the failed turn"
say slow "Answer slowly"
dot "$COLOR_WORKING" 10 "orange during another slow turn"
client kill KILL
dot "$COLOR_UNKNOWN" 3 "grey once the client is killed mid-turn"
client tui && sleep 2 && say text "Say hello"
dot "$COLOR_WORKING" 10 "orange during a turn of a new session"
dot "$COLOR_IDLE" 15 "green after it"
client exit
dot "$COLOR_UNKNOWN" 3 "grey once the client quits"
e2e_pass
