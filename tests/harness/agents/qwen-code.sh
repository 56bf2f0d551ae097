# Qwen Code, from scripts/setup-agents, on the OpenAI Chat Completions API.
# shellcheck shell=sh disable=SC2034,SC2154  # read by client.sh, which sets here and out
binary() { echo "$here/../../.deps/qwen/node_modules/.bin/qwen"; }
ready='Type your message' ask='Allow execution' yes=Enter quit=/quit
# Its default asks a model whether a tool may run; this mode asks the user.
tui_args='--approval-mode default' print_args=-p pause=1
setup() {
    mkdir -p "$1/.qwen"
    [ -f "$1/.qwen/settings.json" ] ||
        echo '{"security": {"auth": {"selectedType": "openai"}}}' >"$1/.qwen/settings.json"
    echo "{\"$out/project\": \"TRUST_FOLDER\"}" >"$1/.qwen/trustedFolders.json"
}
environment() { echo "OPENAI_BASE_URL=$1/v1 OPENAI_API_KEY=x OPENAI_MODEL=fake-model"; }
