# events: SessionStart UserPromptSubmit PreToolUse PermissionRequest PostToolUse Stop Interrupt SessionEnd
# reads: turn_id source
# order: 30
# Without an argument: a turn id, an interrupt, or a session log named rollout-*.jsonl.
function codex_is() {
    return ("turn_id" in T) || ev == "Interrupt" || str("transcript_path") ~ /\/rollout-[^\/]*\.jsonl$/
}
# Nothing on stdout: it would reach the model.
function codex_rules() {
    if (ev == "SessionStart") state = str("source") == "compact" ? "" : "idle"
    else if (ev == "UserPromptSubmit" || ev == "PreToolUse" || ev == "PostToolUse") state = "working"
    else if (ev == "PermissionRequest") state = "waiting"
    else if (ev == "Stop" || ev == "Interrupt") state = "idle"
    else if (ev == "SessionEnd") state = "-"
    sessionFields("CLAUDE_PROJECT_DIR")
    # A failed turn runs no hook: Korvane reads how the turn ended in the session log.
    if (str("turn_id") != "") { extra = ",\"turn_id\":\"" jstr(str("turn_id")) "\""; keepLog() }
    keepProcess("")
}
