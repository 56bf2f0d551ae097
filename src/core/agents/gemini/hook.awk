# events: SessionStart BeforeAgent BeforeTool AfterTool Notification AfterAgent SessionEnd
# reads: timestamp prompt_response notification_type source
# order: 20
# Without an argument: an ISO timestamp in the payload, or the session variable the client sets.
function gemini_is() { return ("timestamp" in T) || env("GEMINI_SESSION_ID") != "" }
# Nothing on stdout: it would reach the screen.
function gemini_rules() {
    if (ev == "SessionStart") state = str("source") == "compact" ? "" : "idle"
    else if (ev == "BeforeAgent" || ev == "BeforeTool" || ev == "AfterTool") state = "working"
    # A failed request and an Esc before any text both end the turn so; Korvane
    # tells them apart in the session log.
    else if (ev == "AfterAgent") state = str("prompt_response") == "[no response text]" ? "error" : "idle"
    else if (ev == "Notification") state = str("notification_type") == "ToolPermission" ? "waiting" : ""
    else if (ev == "SessionEnd") state = "-"
    sessionFields("CLAUDE_PROJECT_DIR")
    if (state == "error") keepLog()
    keepProcess("")
}
