#!/bin/bash
# The real Codex CLI or Gemini CLI (gemini_client.sh links here) in tmux, against fake_agent_api.py, runs
# the hooks Korvane merged; the tray dot shows each turn (see the steps). Skips without the client.
. "$(dirname "$0")/lib.sh"
which=$(basename "$0" _client.sh)
e2e_init "${which}_client"
bin=${KORVANE_SOURCE_DIR:-$(dirname "$0")/../..}/.deps/$which/node_modules/.bin/$which
[ -x "$bin" ] || e2e_skip "the $which client is not installed at $bin (scripts/setup-agents)"
for t in tmux python3; do command -v $t >/dev/null || e2e_skip "$t is not installed"; done

e2e_start_x
e2e_start_tray
e2e_new_home
echo text >"$E2E_TMP/turn"
e2e_spawn fake env FAKE_DELAY=3 python3 "$(dirname "$0")/fake_agent_api.py" "$E2E_TMP/turn"
e2e_wait_until 10 test -s "$E2E_TMP/fake.log" || e2e_fail "the fake model server did not start"
api=http://127.0.0.1:$(head -n 1 "$E2E_TMP/fake.log") work=$E2E_HOME/project
mkdir -p "$work" && cp -r "$(dirname "$0")/data/$which" "$E2E_HOME/.$which"
sed -i "s|@API@|$api|; s|@WORK@|$work|" "$E2E_HOME/.$which"/*
if [ "$which" = codex ]; then
    # Trusting new hooks is the user's review in Codex's /hooks screen; the flag stands in for it.
    run=("$bin" --dangerously-bypass-hook-trust -a on-request) config=$E2E_HOME/.codex/hooks.json
    ready='for shortcuts' ask='Would you like to run' yes=y
else
    run=("$bin") config=$E2E_HOME/.gemini/settings.json ready='Type your message' ask='Allow execution' yes=Enter
fi
e2e_write_defaults '{"KorvaneHasLaunched": true}'
e2e_launch
e2e_wait_tray_icon
e2e_wait_until 5 grep -q signalwick "$config" || e2e_fail "no hooks in $config"
T() { tmux -L "korvane-e2e-$$" "$@"; }
# The pane outlives the client, so that a client that quits at start shows why. Without CI in its
# environment: Gemini CLI then refuses to be interactive.
T -f /dev/null new-session -d -s c -x 160 -y 50 -c "$work" sh -c '"$@"; echo "[client exited: $?]"; sleep 600' \
    sh env -u CI -u CONTINUOUS_INTEGRATION HOME="$E2E_HOME" FAKE_KEY=x GEMINI_API_KEY=x \
    GOOGLE_GEMINI_BASE_URL="$api" TERM=xterm-256color "${run[@]}" && E2E_PIDS+=("$(T display -p '#{pid}')")
screen() { T capture-pane -p -t c | grep -v '^ *$' | tail -n "${1:-50}"; }
shows() { screen | grep -q -- "$1"; }
# say TURN TEXT: the fake model's next turn, and the prompt for it (typed fast, Enter would count as pasted).
say() { echo "$1" >"$E2E_TMP/turn" && T send-keys -t c -l "$2" && sleep 1 && T send-keys -t c Enter; }
dot() {
    e2e_step "$3"
    e2e_wait_pixel "$TRAY_CX" "$TRAY_CY" "$1" $(($2 * 1000)) 6 || e2e_fail "tray dot $E2E_SEEN, not $1: $(screen 8)"
    e2e_log "after $E2E_WAITED_MS ms"
}

ready_or_exited() { shows "$ready" || shows '^\[client exited'; }
{ e2e_wait_until 60 ready_or_exited && shows "$ready"; } || e2e_fail "the client did not start: $(screen 12)"
sleep 2 # the prompt box shows before it takes keys
say text "Say hello"
dot "$COLOR_WORKING" 10 "orange during a plain turn"
dot "$COLOR_IDLE" 15 "green after the turn"
say tool "Run a tool for me"
dot "$COLOR_RED" 15 "red while the approval prompt waits"
e2e_wait_until 5 shows "$ask" || e2e_fail "no approval prompt: $(screen 8)"
sleep 2 && T send-keys -t c "$yes"
dot "$COLOR_IDLE" 15 "green after the approved command"
[ -f "$work/korvane-tool-ran" ] || e2e_fail "the approved command did not run"
say slow "Answer slowly"
dot "$COLOR_WORKING" 10 "orange during a slow turn"
T send-keys -t c Escape
dot "$COLOR_IDLE" 10 "green after the interrupt"
# Codex CLI runs no hook here, and Gemini CLI the same as for an Esc: the light reads its session log.
say fail "This one will fail"
dot "$COLOR_RED" 15 "red after the failed turn"
say text /quit
dot "$COLOR_UNKNOWN" 15 "grey once the session has ended"
e2e_pass
