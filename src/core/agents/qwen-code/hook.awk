# events: SessionStart UserPromptSubmit PermissionRequest PreToolUse PostToolUse Notification Stop StopFailure SessionEnd
# reads: notification_type source
# order: 15
# Without an argument: the session variable the client sets, or a session log below ~/.qwen. Its
# payloads carry a timestamp too, and would be taken for Gemini CLI ones.
function qwen_code_is() {
    return env("QWEN_CODE_SESSION_ID") != "" || str("transcript_path") ~ /\/\.qwen\/projects\/[^\/]*\/chats\//
}
# The state recorded for the conversation, if any.
function qwen_code_recorded(    f, line) {
    f = ENVIRON["SIGNALWICK_BASE"]
    if (f == "") return ""
    sub(/[^\/]*$/, "", f)
    f = f fname(jstr(conv, convRaw)) ".json"
    if ((getline line < f) <= 0) line = ""
    close(f)
    return match(line, /^\{"state":"[a-z]*"/) ? substr(line, 11, RLENGTH - 11) : ""
}
# Nothing on stdout: it would reach the model, or the screen.
function qwen_code_rules() {
    sessionFields("QWEN_PROJECT_DIR")
    if (ev == "SessionStart") state = str("source") == "compact" ? "" : "idle"
    # The tool events come after the user approved.
    else if (ev == "UserPromptSubmit" || ev == "PreToolUse" || ev == "PostToolUse") state = "working"
    else if (ev == "PermissionRequest") state = "waiting"
    else if (ev == "Notification") {
        t = str("notification_type")
        if (t == "permission_prompt") state = "waiting"
        # After an Esc, and within milliseconds of every failed request, whose red must stay. The
        # hook of the failure may run alongside this one: a turn not ended yet gives it time to write.
        else if (t == "idle_prompt") {
            was = qwen_code_recorded()
            if (was == "working") { system("sleep 0.3"); was = qwen_code_recorded() }
            state = was == "error" ? "" : "idle"
        }
    }
    else if (ev == "Stop") state = "idle"
    else if (ev == "StopFailure") state = "error"
    else if (ev == "SessionEnd") state = "-"
    keepProcess("QWEN_CODE_LAUNCHER_PID")
}
