# Claude Code, from scripts/setup-claude (or $CLAUDE_BIN), on the Anthropic Messages API.
# shellcheck shell=sh disable=SC2034,SC2154  # read by client.sh, which sets here and out
binary() { echo "${CLAUDE_BIN:-$("$here/../../scripts/setup-claude" --print 2>/dev/null)}"; }
ready='for shortcuts' ask='Do you want to' yes=Enter quit=/exit
tui_args='--permission-mode manual' print_args=-p pause=0.3
# Past the first-run screens: onboarding, the API key, trusting the folder.
setup() {
    printf '{"hasCompletedOnboarding":true,"theme":"dark","hasSeenAutoDefaultNotice":true,%s,%s}\n' \
        '"customApiKeyResponses":{"approved":["sk-ant-fake-key"],"rejected":[]}' \
        "\"projects\":{\"$out/project\":{\"hasTrustDialogAccepted\":true}}" >"$1/.claude.json"
    mkdir -p "$1/.claude"
}
environment() {
    echo "ANTHROPIC_BASE_URL=$1 ANTHROPIC_API_KEY=sk-ant-fake-key DISABLE_TELEMETRY=1 DISABLE_AUTOUPDATER=1" \
        "DISABLE_ERROR_REPORTING=1 CLAUDE_CODE_MAX_RETRIES=0 CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC=1"
}
