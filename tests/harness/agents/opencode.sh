# OpenCode, from scripts/setup-agents, on the OpenAI Chat Completions API; it asks before bash runs.
# shellcheck shell=sh disable=SC2034,SC2154  # read by client.sh, which sets here and out
binary() { echo "$here/../../.deps/opencode/node_modules/.bin/opencode"; }
# One Esc in a turn only asks for another.
ready='ctrl\+p commands' ask='Permission required' yes=Enter quit=/exit interrupt='Escape Escape' pause=1
tui_args='' print_args=run
# Its plugin folder's dependencies in place: it would install them from the network at start.
setup() {
    mkdir -p "$1/.config/opencode/node_modules"
    cp "$here/data/opencode/package.json" "$here/data/opencode/package-lock.json" "$1/.config/opencode/"
    template opencode/opencode.json "$1/.config/opencode/opencode.json" "$2"
}
environment() { echo "OPENCODE_DISABLE_MODELS_FETCH=1 OPENCODE_DISABLE_AUTOUPDATE=1"; }
