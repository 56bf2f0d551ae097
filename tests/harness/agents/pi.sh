# pi, from scripts/setup-agents, on the OpenAI Chat Completions API. It asks for no approvals.
# shellcheck shell=sh disable=SC2034,SC2154  # read by client.sh, which sets here and out
binary() { echo "$here/../../.deps/pi/node_modules/.bin/pi"; }
ready='fake-model' ask='' yes=Enter quit=/quit pause=1 tui_args='--provider fake --model fake-model' print_args="$tui_args -p"
setup() { mkdir -p "$1/.pi/agent" && echo "{\"providers\": {\"fake\": {\"baseUrl\": \"$2/v1\",
    \"api\": \"openai-completions\", \"apiKey\": \"x\", \"models\": [{\"id\": \"fake-model\"}]}}}" >"$1/.pi/agent/models.json"; }
environment() { echo PI_OFFLINE=1; }
