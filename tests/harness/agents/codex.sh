# Codex CLI, from scripts/setup-agents, on the OpenAI Responses API.
# shellcheck shell=sh disable=SC2034,SC2154  # read by client.sh, which sets here and out
binary() { echo "$here/../../.deps/codex/node_modules/.bin/codex"; }
ready='for shortcuts' ask='Would you like to run' yes=y quit=/quit
# Trusting new hooks is the user's review in Codex's /hooks screen; the flag stands in for it.
tui_args='--dangerously-bypass-hook-trust -a on-request' print_args='exec --dangerously-bypass-hook-trust' pause=1
setup() {
    mkdir -p "$1/.codex"
    [ -f "$1/.codex/config.toml" ] || cat >"$1/.codex/config.toml" <<END
model = "gpt-5.1-codex"
model_provider = "fake"

[model_providers.fake]
name = "fake"
base_url = "$2/v1"
wire_api = "responses"
env_key = "FAKE_KEY"
request_max_retries = 0
stream_max_retries = 0

[projects."$out/project"]
trust_level = "trusted"
END
}
environment() { echo FAKE_KEY=x; }
