# events: UserPromptSubmit PreToolUse PostToolUse Notification Stop StopFailure SessionStart SessionEnd PermissionRequest PostToolUseFailure
# reads: tool_name notification_type message source permission_mode
# order: 90
# Without an argument, any other payload with an event is taken for one of Claude Code.
function claude_code_is() { return ev != "" }
function claude_code_rules() {
    if (ev == "SessionStart") state = str("source") == "compact" ? "" : "idle"
    else if (ev == "UserPromptSubmit" || ev == "PostToolUse" || ev == "PostToolUseFailure") state = "working"
    # Fires before every tool call, also auto-approved ones; a real permission
    # prompt is reported by the Notification about 6 s later.
    else if (ev == "PreToolUse") {
        t = str("tool_name")
        state = t == "AskUserQuestion" || t == "ExitPlanMode" ? "waiting" : "working"
    }
    else if (ev == "PermissionRequest") {
        state = "waiting"
        # Answered from the desktop only where the terminal can answer too, and
        # never where the user chose to be asked nothing.
        ask = env("CLAUDE_CODE_SESSION_ATTENDED") != "0" && str("permission_mode") != "bypassPermissions"
    }
    else if (ev == "Notification") {
        t = str("notification_type")
        if (t == "permission_prompt" || t ~ /^elicitation(_url)?_dialog$/ || t == "agent_needs_input") state = "waiting"
        else if (!("notification_type" in T) && index(str("message"), "needs your permission")) state = "waiting"
    }
    else if (ev == "Stop") state = "idle"
    else if (ev == "StopFailure") state = "error"
    else if (ev == "SessionEnd") state = "-"

    sessionFields("CLAUDE_PROJECT_DIR")
    keepProcess("CLAUDE_PID")
    if (conv == "") { conv = env("CLAUDE_CODE_SESSION_ID"); convRaw = 1 }
}
