# GitHub Copilot CLI, from scripts/setup-agents, on the OpenAI Chat Completions API.
# shellcheck shell=sh disable=SC2034,SC2154  # read by client.sh, which sets here and out
binary() { echo "$here/../../.deps/copilot/node_modules/.bin/copilot"; }
# Esc sent by tmux does not reach it in a turn; Ctrl+C does.
ready='/ commands' ask='Do you want to run' yes=Enter quit=/exit interrupt=C-c
tui_args=--no-auto-update print_args='--no-auto-update -p' pause=1
# The project folder trusted, as its first-run dialog would remember it.
setup() { mkdir -p "$1/.copilot" && echo "{\"trustedFolders\": [\"$out/project\"]}" >"$1/.copilot/config.json"; }
environment() {
    echo "COPILOT_PROVIDER_BASE_URL=$1/v1 COPILOT_PROVIDER_API_KEY=x COPILOT_MODEL=gpt-4o COPILOT_OFFLINE=true"
}
