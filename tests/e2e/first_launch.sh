#!/bin/bash
# First launch in an empty HOME (with ~/.claude, so Claude Code counts as present):
# the welcome alert is shown once, both hook configurations are merged, the script is
# deployed executable, the floating light is on, and "Got it" closes the alert.
. "$(dirname "$0")/lib.sh"
e2e_init first_launch
e2e_start_x
e2e_start_tray
e2e_new_home
mkdir -p "$E2E_HOME/.claude"
e2e_launch

e2e_step "the welcome alert is shown"
alerts() { e2e_app_windows | awk '($6 == "DIALOG" || $6 == "NORMAL") && $7 == "-"'; }
dialog_shown() { alerts | grep -q .; }
e2e_wait_until 10 dialog_shown || e2e_fail "no welcome alert within 10 s"
# Centred on the 1280x800 screen (it may be placed a moment after it is mapped).
centred() {
    read -r alert_id alert_x alert_y alert_w alert_h _ <<<"$(alerts | head -n 1)"
    e2e_within $((alert_x + alert_w / 2)) 640 2 && e2e_within $((alert_y + alert_h / 2)) 400 2
}
e2e_wait_until 2 centred ||
    e2e_fail "alert at $alert_x,$alert_y ${alert_w}x${alert_h} is not centred on the screen"
e2e_log "alert $alert_id at $alert_x,$alert_y ${alert_w}x${alert_h}"
e2e_shot welcome-alert >/dev/null

e2e_step "the hook script is deployed with mode 0755"
script=$E2E_HOME/.cursor/hooks/signalwick.sh
[ -f "$script" ] || e2e_fail "$script is missing"
[ "$(stat -c %a "$script")" = 755 ] || e2e_fail "$script has mode $(stat -c %a "$script")"
head -n 1 "$script" | grep -q '^#!' || e2e_fail "$script does not start with #!"

e2e_step "Cursor's hooks.json carries the entry for all eleven events"
e2e_json "$E2E_HOME/.cursor/hooks.json" '
d.get("version") == 1 and all(
    [e.get("command") for e in d["hooks"][ev]] == ["./hooks/signalwick.sh"]
    for ev in ["beforeSubmitPrompt", "beforeShellExecution", "beforeMCPExecution", "postToolUse",
               "afterFileEdit", "afterShellExecution", "afterMCPExecution", "afterAgentResponse",
               "sessionStart", "sessionEnd", "stop"])' ||
    e2e_fail "unexpected ~/.cursor/hooks.json: $(cat "$E2E_HOME/.cursor/hooks.json" 2>&1)"

e2e_step "Claude Code's settings.json carries one group for all eight events"
e2e_json "$E2E_HOME/.claude/settings.json" '
all(d["hooks"][ev] == [{"hooks": [{"type": "command", "command": "'"$script"'"}]}]
    for ev in ["UserPromptSubmit", "PreToolUse", "PostToolUse", "Notification", "Stop",
               "StopFailure", "SessionStart", "SessionEnd"])' ||
    e2e_fail "unexpected ~/.claude/settings.json: $(cat "$E2E_HOME/.claude/settings.json" 2>&1)"

e2e_step "the floating light is on, beside the alert"
e2e_wait_panels 1
e2e_lamps 1 vertical
e2e_expect_lamps -1 none
e2e_wait_tray_icon
e2e_expect_pixel "$TRAY_CX" "$TRAY_CY" "$COLOR_UNKNOWN" 1000 6 "tray dot"

e2e_step "Got it closes the alert"
e2e_key Return
alert_gone() { ! e2e_windows | grep -q "^$alert_id "; }
e2e_wait_until 3 alert_gone ||
    e2e_fail "the alert is still shown after Return"
e2e_shot after-got-it >/dev/null
e2e_wait_panels 1
e2e_json "$DEFAULTS_FILE" 'd["KorvaneHasLaunched"] is True and d["OverlayWasVisible"] is True' ||
    e2e_fail "defaults after the first launch: $(cat "$DEFAULTS_FILE" 2>&1)"

e2e_step "the second launch shows no alert and brings the light back"
e2e_quit TERM
e2e_launch
e2e_wait_tray_icon
e2e_wait_panels 1
sleep 1.5
dialog_shown && e2e_fail "the welcome alert was shown again"
e2e_shot second-launch >/dev/null
e2e_pass
