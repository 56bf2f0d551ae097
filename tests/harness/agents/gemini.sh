# Gemini CLI, from scripts/setup-agents, on the Gemini API.
# shellcheck shell=sh disable=SC2034,SC2154  # read by client.sh, which sets here and out
binary() { echo "$here/../../.deps/gemini/node_modules/.bin/gemini"; }
ready='Type your message' ask='Allow execution' yes=Enter quit=/quit
tui_args='' print_args=-p pause=1
setup() {
    mkdir -p "$1/.gemini"
    [ -f "$1/.gemini/settings.json" ] ||
        echo '{"security": {"auth": {"selectedType": "gemini-api-key"}}}' >"$1/.gemini/settings.json"
    echo "{\"$out/project\": \"TRUST_FOLDER\"}" >"$1/.gemini/trustedFolders.json"
}
# Without CI in its environment (env -i leaves it out): Gemini CLI then refuses to be interactive.
environment() { echo "GEMINI_API_KEY=x GOOGLE_GEMINI_BASE_URL=$1"; }
