# Claude Code, from scripts/setup-claude (or $CLAUDE_BIN), on the Anthropic Messages API.
# shellcheck shell=sh disable=SC2034,SC2154  # read by client.sh, which sets here and out
binary() { echo "${CLAUDE_BIN:-$("$here/../../scripts/setup-claude" --print 2>/dev/null)}"; }
ready='for shortcuts' ask='Do you want to' yes=Enter quit=/exit
tui_args='--permission-mode manual' print_args=-p pause=0.3
# Past the first-run screens: onboarding, the API key, trusting the folder.
setup() { mkdir -p "$1/.claude" && template claude.json "$1/.claude.json" "$2"; }
environment() {
    echo "ANTHROPIC_BASE_URL=$1 ANTHROPIC_API_KEY=sk-ant-fake-key DISABLE_TELEMETRY=1 DISABLE_AUTOUPDATER=1" \
        "DISABLE_ERROR_REPORTING=1 CLAUDE_CODE_MAX_RETRIES=0 CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC=1"
}
