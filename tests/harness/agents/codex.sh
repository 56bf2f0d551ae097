# Codex CLI, from scripts/setup-agents, on the OpenAI Responses API.
# shellcheck shell=sh disable=SC2034,SC2154  # read by client.sh, which sets here and out
binary() { echo "$here/../../.deps/codex/node_modules/.bin/codex"; }
ready='for shortcuts' ask='Would you like to run' yes=y quit=/quit
# Trusting new hooks is the user's review in Codex's /hooks screen; the flag stands in for it.
tui_args='--dangerously-bypass-hook-trust -a on-request' print_args='exec --dangerously-bypass-hook-trust' pause=1
setup() { mkdir -p "$1/.codex" && template codex-config.toml "$1/.codex/config.toml" "$2"; }
environment() { echo FAKE_KEY=x; }
