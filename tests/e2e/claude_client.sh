#!/bin/bash
# The real Claude Code client, driven by the fake model server of the claude-harness,
# runs the hooks that Korvane merged into ~/.claude/settings.json: the tray dot is
# orange during a turn, red while a permission prompt waits, green after the turn, red
# after a turn that failed, and grey once the session has ended.
# Skips when the client is not installed (scripts/setup --test installs it into
# .deps/claude-code) or the harness (shared/tools/claude-harness beside the checkout),
# python3 or tmux are missing.
. "$(dirname "$0")/lib.sh"
e2e_init claude_client

src=${KORVANE_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
claude=${KORVANE_CLAUDE_BIN:-$src/.deps/claude-code/node_modules/.bin/claude}
harness=${KORVANE_CLAUDE_HARNESS:-$src/../shared/tools/claude-harness}
[ -x "$claude" ] || e2e_skip "the Claude Code client is not installed at $claude"
[ -f "$harness/run.sh" ] || e2e_skip "the claude-harness is not at $harness"
command -v python3 >/dev/null || e2e_skip "python3 is not installed"
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
hook=$E2E_HOME/.cursor/hooks/signalwick.sh
e2e_wait_until 5 test -x "$hook" || e2e_fail "no hook script deployed at $hook"

# A plain turn in print mode, slow enough to be seen: the fake model answers after 3 s.
cat >"$E2E_TMP/plain.json" <<'JSON'
{"steps": [{"text": "Hello from the fake model.", "delay": 3}]}
JSON

# client NAME SCENARIO [HARNESS OPTIONS...]: starts one client run in the background (sets
# CLIENT_PID). The client's HOME is Korvane's HOME (-e HOME=...), so it reads the hooks Korvane
# merged into ~/.claude/settings.json, and the deployed script writes into the state
# directory Korvane watches. The harness's own first-run answers (~/.claude.json, which the
# interactive client needs) are linked into that HOME.
client() {
    local name=$1 scenario=$2 out=$E2E_TMP/harness-$1
    shift 2
    e2e_step "$name: the client starts"
    ln -sfn "$out/home/.claude.json" "$E2E_HOME/.claude.json"
    CLAUDE_BIN="$claude" sh "$harness/run.sh" -t 60 -o "$out" -e "HOME=$E2E_HOME" "$@" "$scenario" "$hook" \
        </dev/null >"$E2E_TMP/harness-$name.log" 2>&1 &
    CLIENT_PID=$!
    CLIENT_NAME=$name
}

client_done() {
    e2e_step "$CLIENT_NAME: the client finishes"
    e2e_wait_exit "$CLIENT_PID" 120 || e2e_fail "the harness is still running after 120 s"
    cp "$E2E_TMP/harness-$CLIENT_NAME.log" "$E2E_ARTIFACTS/" 2>/dev/null
    cp "$E2E_TMP/harness-$CLIENT_NAME"/screen-*.txt "$E2E_ARTIFACTS/" 2>/dev/null
    [ "$E2E_RC" -eq 0 ] || e2e_fail "the harness reported failure ($E2E_RC): $(tail -n 5 "$E2E_TMP/harness-$CLIENT_NAME.log")"
}

# dot COLOUR SECONDS WHAT: the tray dot shows COLOUR within SECONDS.
dot() {
    e2e_step "$CLIENT_NAME: $3"
    e2e_wait_pixel "$TRAY_CX" "$TRAY_CY" "$1" $(($2 * 1000)) 6 ||
        e2e_fail "tray dot $E2E_SEEN, expected $1 ($(tail -n 2 "$E2E_TMP/harness-$CLIENT_NAME.log" | tr '\n' ' '))"
    e2e_shot "$CLIENT_NAME-$(printf '%s' "$3" | tr -c '[:alnum:]' '-')" >/dev/null
}

# Print mode: the turn ends with the session, whose end removes the conversation's record.
client plain "$E2E_TMP/plain.json"
dot "$COLOR_WORKING" 30 "orange during the turn"
client_done
dot "$COLOR_UNKNOWN" 3 "grey once the session has ended"

# Interactive, with a tool that needs permission: the client asks, the harness answers after
# 9 s (the permission notification comes about 6 s after the prompt), then stays 4 s idle.
client tool perm -n 9 -i 4
dot "$COLOR_WORKING" 30 "orange during the turn"
dot "$COLOR_RED" 15 "red while the permission prompt waits"
dot "$COLOR_IDLE" 15 "green after the turn"
client_done
dot "$COLOR_UNKNOWN" 3 "grey once the session has ended"

# Interactive, the model fails with HTTP 529; the client stays open 4 s afterwards.
client failing tui-error529 -i 4
dot "$COLOR_RED" 45 "red after the failed turn"
client_done
e2e_pass
