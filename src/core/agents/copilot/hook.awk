# events: SessionStart UserPromptSubmit PostToolUse PostToolUseFailure Notification Stop ErrorOccurred SessionEnd
# reads: sessionId notification_type error_context
# order: 15
# Without an argument: the variable the client sets for its hooks (its payloads carry an
# ISO timestamp too, so it must be asked before Gemini CLI).
function copilot_is() { return env("COPILOT_CLI") == "1" }
# Nothing on stdout: a notification answer would reach the model. No entry before a tool or
# at a permission request: there a failing hook denies the tool.
function copilot_rules() {
    if (ev == "SessionStart" || ev == "Stop") state = "idle"
    else if (ev == "UserPromptSubmit" || ev == "PostToolUse" || ev == "PostToolUseFailure") state = "working"
    else if (ev == "Notification") {
        t = str("notification_type")
        state = t == "permission_prompt" || t == "elicitation_dialog" ? "waiting" : ""
    }
    # Retries of a connection each report one; a tool or input error does not end the turn.
    else if (ev == "ErrorOccurred") state = str("error_context") == "model_call" ? "error" : ""
    else if (ev == "SessionEnd") state = "-"
    sessionFields("COPILOT_PROJECT_DIR")
    # Its notifications name the session in camelCase, under the same event key.
    if (conv == "") conv = str("sessionId")
    keepProcess("COPILOT_LOADER_PID")
}
