#!/bin/bash
# The real Claude Code client, driven by the fake model server of the claude-harness,
# runs the hooks that Korvane merged into ~/.claude/settings.json: the tray dot is
# orange during a turn, green after it, and red after a turn that failed.
# Skips when the client is not installed (scripts/setup --test installs it).
. "$(dirname "$0")/lib.sh"
e2e_init claude_client

src=${KORVANE_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
claude=${KORVANE_CLAUDE_BIN:-$src/.deps/claude-code/node_modules/.bin/claude}
harness=${KORVANE_CLAUDE_HARNESS:-$src/../shared/tools/claude-harness}
[ -x "$claude" ] || e2e_skip "the Claude Code client is not installed at $claude"
[ -f "$harness/run.sh" ] || e2e_skip "the claude-harness is not at $harness"
command -v python3 >/dev/null || e2e_skip "python3 is not installed"

e2e_start_x
e2e_start_tray
e2e_new_home
# ~/.claude makes Claude Code count as present, so its settings get the hooks.
mkdir -p "$E2E_HOME/.claude"
e2e_write_defaults '{"KorvaneHasLaunched": true}'
e2e_launch
e2e_wait_tray_icon
e2e_expect_pixel "$TRAY_CX" "$TRAY_CY" "$COLOR_UNKNOWN" 1000 6 "tray dot"
hook=$E2E_HOME/.cursor/hooks/signalwick.sh
e2e_wait_until 5 test -x "$hook" || e2e_fail "no hook script deployed at $hook"

# Turns slow enough to be seen: the fake model answers after a delay.
cat >"$E2E_TMP/plain.json" <<'JSON'
{"steps": [{"text": "Hello from the fake model.", "delay": 3}]}
JSON
cat >"$E2E_TMP/tool.json" <<'JSON'
{"steps": [
  {"text": "I will run a command.", "delay": 1,
   "tool_use": {"name": "Bash", "input": {"command": "sleep 1; echo hi", "description": "Print hi"}}},
  {"text": "The command printed hi.", "delay": 1}
]}
JSON

# turn NAME SCENARIO [DURING_COLOUR] AFTER_COLOUR: runs one print-mode turn of the client with
# HOME pointing at Korvane's HOME, so that the client reads the settings Korvane wrote and the
# hook script writes into the state directory Korvane watches.
turn() {
    local name=$1 scenario=$2 during=$3 after=$4 out=$E2E_TMP/harness-$1
    e2e_step "$name: the client runs"
    HARNESS_ARGS="--allowedTools Bash" CLAUDE_BIN="$claude" \
        sh "$harness/run.sh" -t 60 -o "$out" -e "HOME=$E2E_HOME" "$scenario" "$hook" \
        </dev/null >"$E2E_TMP/harness-$name.log" 2>&1 &
    local harness_pid=$!
    if [ -n "$during" ]; then
        e2e_step "$name: the dot is $during during the turn"
        e2e_wait_pixel "$TRAY_CX" "$TRAY_CY" "$during" 30000 6 ||
            e2e_fail "tray dot $E2E_SEEN during the turn, expected $during ($(tail -n 3 "$E2E_TMP/harness-$name.log"))"
        e2e_shot "$name-during" >/dev/null
    fi
    e2e_step "$name: the client finishes"
    e2e_wait_exit "$harness_pid" 90 || e2e_fail "the harness is still running after 90 s"
    local rc=$E2E_RC
    cp "$E2E_TMP/harness-$name.log" "$E2E_ARTIFACTS/" 2>/dev/null
    [ "$rc" -eq 0 ] || e2e_fail "the harness reported failure ($rc): $(tail -n 5 "$E2E_TMP/harness-$name.log")"
    e2e_step "$name: the dot is $after after the turn"
    e2e_expect_pixel "$TRAY_CX" "$TRAY_CY" "$after" 2000 6 "tray dot"
    e2e_shot "$name-after" >/dev/null
}

turn plain "$E2E_TMP/plain.json" "$COLOR_WORKING" "$COLOR_IDLE"
turn tool "$E2E_TMP/tool.json" "$COLOR_WORKING" "$COLOR_IDLE"
turn failing error529 "" "$COLOR_RED"

e2e_step "the state files came from the hook script"
ls "$STATE_DIR"/*.json >/dev/null 2>&1 || e2e_fail "no state file in $STATE_DIR"
e2e_log "state files: $(cat "$STATE_DIR"/*.json | tr '\n' ' ')"
e2e_pass
