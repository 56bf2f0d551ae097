#!/bin/sh
# Drives the real Claude Code client against fake_api.py, offline: claude.sh COMMAND OUT ...
#   serve OUT SCENARIO        the fake API, and the client's HOME ($CLAUDE_HOME, else OUT/home)
#   print OUT PROMPT [ARG..]  one turn in print mode: OUT/client.out and .err
#   tui OUT [ARG..]           the client in tmux, asking before each tool, once its input box is ready
#   type OUT TEXT | key OUT KEY..   text and Enter | tmux key names
#   wait OUT ERE [SECS]       until the screen matches (OUT/screen-timeout.txt if not)
#   answered OUT [SECS]       until the model has answered and the input box is back
#   kill OUT [SIGNAL] | stop OUT    signals the client | stops everything
#   record OUT                the installed hook script logs each call to OUT/calls (see recorder.sh)
# The client is $CLAUDE_BIN or scripts/setup-claude's; exits 77 with the reason when it,
# python3 or tmux is missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
cmd=$1 out=$2
shift 2
skip() {
    echo "SKIP: $*" >&2
    exit 77
}
screen() { tmux -S "$out/tmux" capture-pane -p -t claude 2>/dev/null; }
until_ok() { # for ${secs:-60} seconds
    end=$(($(date +%s) + ${secs:-60}))
    until "$@"; do
        [ "$(date +%s)" -lt "$end" ] || { screen >"$out/screen-timeout.txt"; return 1; }
        sleep 0.1
    done
}
q() { printf "'%s'" "$(printf %s "$1" | sed "s/'/'\\\\''/g")"; } # quoted for sh
matches() { screen | grep -Eq "$1"; }
answered() { grep -Eq '"stop": "(end_turn|error)"' "$out/api.jsonl" && matches 'for shortcuts'; }

case $cmd in
serve)
    client=${CLAUDE_BIN:-$("$here/../../scripts/setup-claude" --print 2>/dev/null)}
    [ -x "$client" ] || skip "no Claude Code client (scripts/setup-claude installs it)"
    command -v python3 >/dev/null || skip "python3 is not installed"
    home=${CLAUDE_HOME:-$out/home}
    mkdir -p "$out/project" "$home/.claude"
    : >"$out/api.jsonl"
    # Past the first-run screens: onboarding, the API key, trusting the folder.
    printf '{"hasCompletedOnboarding":true,"theme":"dark","hasSeenAutoDefaultNotice":true,%s,%s}\n' \
        '"customApiKeyResponses":{"approved":["sk-ant-fake-key"],"rejected":[]}' \
        "\"projects\":{\"$out/project\":{\"hasTrustDialogAccepted\":true}}" >"$home/.claude.json"
    rm -f "$out/port"
    python3 "$here/fake_api.py" "$1" "$out/port" "$out/api.jsonl" "$out/project" </dev/null >"$out/fake_api.err" 2>&1 &
    echo $! >"$out/server.pid"
    secs=10 until_ok test -s "$out/port" || { cat "$out/fake_api.err" >&2; exit 1; }
    # The client's whole environment, which its hooks inherit.
    cat >"$out/client.sh" <<EOF
cd $(q "$out/project") || exit 1
echo \$\$ >$(q "$out/client.pid")
exec env -i PATH=$(q "$PATH") HOME=$(q "$home") TERM=xterm-256color LANG=C.UTF-8 \\
  ANTHROPIC_BASE_URL=http://127.0.0.1:$(cat "$out/port") ANTHROPIC_API_KEY=sk-ant-fake-key \\
  DISABLE_TELEMETRY=1 DISABLE_AUTOUPDATER=1 DISABLE_ERROR_REPORTING=1 CLAUDE_CODE_MAX_RETRIES=0 \\
  CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC=1 $(q "$client") "\$@"
EOF
    ;;
print) sh "$out/client.sh" -p "$@" >"$out/client.out" 2>"$out/client.err" </dev/null ;;
tui)
    command -v tmux >/dev/null || skip "tmux is not installed"
    tmux -S "$out/tmux" new-session -d -s claude -x 200 -y 50 "sh $(q "$out/client.sh") --permission-mode manual $*" \; set-option -t claude remain-on-exit on >/dev/null </dev/null
    until_ok matches 'for shortcuts'
    ;;
type) tmux -S "$out/tmux" send-keys -t claude -l "$1" && sleep 0.3 && tmux -S "$out/tmux" send-keys -t claude Enter ;;
key) tmux -S "$out/tmux" send-keys -t claude "$@" ;;
wait) secs=${2:-60} until_ok matches "$1" ;;
answered) secs=${1:-60} until_ok answered ;;
kill) kill "-${1:-TERM}" "$(cat "$out/client.pid")" ;;
record) # the installed hook script, inside recorder.sh writing to OUT/calls
    s=${CLAUDE_HOME:-$out/home}/.cursor/hooks/signalwick.sh
    mv "$s" "$s.real" && chmod 755 "$s.real" && printf '#!/bin/sh\ntrap "" TERM\nRECORD_HOOK=%s RECORD_LOG=%s exec /bin/sh %s\n' \
        "$(q "$s.real")" "$(q "$out/calls")" "$(q "$here/recorder.sh")" >"$s" && chmod 755 "$s"
    ;;
stop)
    [ -S "$out/tmux" ] && tmux -S "$out/tmux" kill-server 2>/dev/null
    [ -s "$out/server.pid" ] && kill "$(cat "$out/server.pid")" 2>/dev/null
    rm -f "$out/server.pid"
    ;;
*) echo "claude.sh: unknown command $cmd" >&2 && exit 2 ;;
esac
