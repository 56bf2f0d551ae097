# events: beforeSubmitPrompt beforeShellExecution beforeMCPExecution postToolUse afterFileEdit afterShellExecution afterMCPExecution afterAgentResponse sessionStart sessionEnd stop
# reads: conversation_id cursor_version workspace_roots sandbox status
# order: 10
# Cursor also runs the entries of ~/.claude/settings.json, with its own payloads.
# runs-for: claude-code
function cursor_is() {
    return ("cursor_version" in T) || ("workspace_roots" in T) || ("conversation_id" in T) || ev ~ /^[a-z]/ ||
        (ev == "" && !("session_id" in T) && ENVIRON["CURSOR_VERSION"] != "")
}
function cursor_rules() {
    reply = "{}"
    if (ev == "beforeShellExecution" || ev == "beforeMCPExecution" || ev == "preToolUse" || ev == "beforeReadFile" || ev == "subagentStart")
        reply = "{\"permission\":\"allow\"}"
    else if (ev == "beforeSubmitPrompt")
        reply = "{\"continue\":true}"

    if (ev == "sessionStart") state = "idle"
    else if (ev == "beforeSubmitPrompt" || ev == "preToolUse" || ev == "postToolUse" || ev == "postToolUseFailure" || ev == "afterShellExecution" || ev == "afterMCPExecution" || ev == "afterFileEdit" || ev == "afterAgentResponse") state = "working"
    # No permission event: a command that may need approval turns red only when
    # nothing follows it within the grace period.
    else if (ev == "beforeShellExecution") state = ("sandbox" in T) && V["sandbox"] == "true" && T["sandbox"] == "v" ? "working" : "pending"
    else if (ev == "beforeMCPExecution") state = "pending"
    else if (ev == "stop") state = str("status") == "error" ? "error" : "idle"
    else if (ev == "sessionEnd") state = "-"

    conv = str("conversation_id"); if (conv == "") conv = str("session_id")
    if (("workspace_roots" in T) && T["workspace_roots"] == "a" && V["workspace_roots"] != "") ws = V["workspace_roots"]
    else if (env("CURSOR_PROJECT_DIR") != "") { ws = env("CURSOR_PROJECT_DIR"); wsRaw = 1 }
    else ws = str("cwd")
    # The editor runs its agent without a terminal, so no process is kept; the
    # walk still leads to the editor, whose window is where the user answers.
    keepProcess("")
}
