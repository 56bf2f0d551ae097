#!/bin/sh
# Drives a real agent client against fake_api.py, offline: client.sh AGENT COMMAND OUT ...
# AGENT names tests/harness/agents/AGENT.sh, which says how to run that client.
#   serve OUT SCENARIO        the fake API, and the client's HOME ($CLIENT_HOME, else OUT/home;
#                             its XDG_RUNTIME_DIR: $CLIENT_RUNTIME_DIR, else none)
#   turn OUT SCENARIO         the fake API's scenario for the next request
#   print OUT PROMPT [ARG..]  one turn in print mode: OUT/client.out and .err
#   tui OUT [ARG..]           the client in tmux, asking before each tool, once its input box is ready
#   type OUT TEXT | key OUT KEY.. | approve OUT   text and Enter | tmux key names | yes to a prompt
#   interrupt OUT             the keys that stop a turn (Escape, unless the agent names others)
#   exit OUT                  quits, until the client has gone
#   wait OUT ERE [SECS]       until the screen matches (OUT/screen-timeout.txt if not)
#   asks OUT [SECS]           until the client asks to approve a tool
#   approves OUT              whether the client asks before a tool at all
#   answered OUT [SECS]       until the model has answered and the input box is back
#   kill OUT [SIGNAL] | stop OUT    signals the client's processes | stops everything
#   record OUT                the installed hook script logs each call to OUT/calls
# The client project is OUT/project. Exits 77 with the reason when the client, python3 or
# tmux is missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
agent=$1 cmd=$2 out=$3
shift 3
skip() {
    echo "SKIP: $*" >&2
    exit 77
}
[ -f "$here/agents/$agent.sh" ] || { echo "client.sh: no agent $agent" >&2 && exit 2; }
# Defines binary (the client's path); sets ready (the input box), ask (an approval prompt), yes, quit, interrupt (keys),
# tui_args, print_args, pause (between text and Enter); defines setup HOME API (the client's files) and environment API.
# shellcheck source=SCRIPTDIR/agents/claude-code.sh
. "$here/agents/$agent.sh"
home=${CLIENT_HOME:-$out/home}
screen() { tmux -S "$out/tmux" capture-pane -p -t client 2>/dev/null; }
until_ok() { # for ${secs:-60} seconds
    end=$(($(date +%s) + ${secs:-60}))
    until "$@"; do
        [ "$(date +%s)" -lt "$end" ] || { screen >"$out/screen-timeout.txt"; return 1; }
        sleep 0.1
    done
}
# template NAME FILE API: data/NAME with the API's address and the project's path filled in.
template() { sed "s|@API@|$3|; s|@WORK@|$out/project|" "$here/data/$1" >"$2"; }
q() { printf "'%s'" "$(printf %s "$1" | sed "s/'/'\\\\''/g")"; } # quoted for sh
matches() { screen | grep -Eq "$1"; }
gone() { ! ps -o stat= -p "$(cat "$out/client.pid")" | grep -q '^[^Z]'; }
answered() { grep -Eq '"stop": "(end_turn|error)"' "$out/api.jsonl" && matches "$ready"; }

case $cmd in
serve)
    client=$(binary)
    [ -x "$client" ] || skip "no $agent client at '$client' (scripts/setup-agents installs it)"
    command -v python3 >/dev/null || skip "python3 is not installed"
    mkdir -p "$out/project" "$home"
    : >"$out/api.jsonl"
    echo "$1" >"$out/turn"
    rm -f "$out/port"
    python3 "$here/fake_api.py" "$out" "$out/project" </dev/null >"$out/fake_api.err" 2>&1 &
    echo $! >"$out/server.pid"
    secs=10 until_ok test -s "$out/port" || { cat "$out/fake_api.err" >&2; exit 1; }
    api=http://127.0.0.1:$(cat "$out/port")
    setup "$home" "$api"
    # The client's whole environment, which its hooks inherit.
    cat >"$out/client.sh" <<END
cd $(q "$out/project") || exit 1
echo \$\$ >$(q "$out/client.pid")
exec env -i PATH=$(q "$PATH") HOME=$(q "$home") TERM=xterm-256color LANG=C.UTF-8 \\
  ${CLIENT_RUNTIME_DIR:+XDG_RUNTIME_DIR=$(q "$CLIENT_RUNTIME_DIR")} \\
  $(environment "$api") $(q "$client") "\$@"
END
    ;;
turn) echo "$1" >"$out/turn" ;;
print) # shellcheck disable=SC2086 # words
    sh "$out/client.sh" $print_args "$@" >"$out/client.out" 2>"$out/client.err" </dev/null
    ;;
tui)
    command -v tmux >/dev/null || skip "tmux is not installed"
    # Under a shell that waits for it, as in a terminal: a killed client is gone at once.
    tmux -S "$out/tmux" kill-session -t client 2>/dev/null
    tmux -S "$out/tmux" new-session -d -s client -x 200 -y 50 "sh $(q "$out/client.sh") $tui_args $*; true" \; \
        set-option -t client remain-on-exit on >/dev/null </dev/null
    until_ok matches "$ready"
    ;;
type) tmux -S "$out/tmux" send-keys -t client -l "$1" && sleep "$pause" && tmux -S "$out/tmux" send-keys -t client Enter ;;
key) sleep 0.5 && tmux -S "$out/tmux" send-keys -t client "$@" ;; # a dialog is drawn before it takes keys
approve) "$0" "$agent" key "$out" "$yes" ;;
interrupt) for k in ${interrupt:-Escape}; do "$0" "$agent" key "$out" "$k"; done ;; # one key after another
exit) # by its pid: a process the client leaves behind can keep the pane open
    "$0" "$agent" type "$out" "$quit" && until_ok gone
    ;;
wait) secs=${2:-60} until_ok matches "$1" ;;
asks) secs=${1:-60} until_ok matches "$ask" ;;
approves) [ -n "$ask" ] ;;
answered) secs=${1:-60} until_ok answered ;;
kill) # its process group, as closing the terminal does: some clients are a launcher and a child
    kill "-${1:-TERM}" "-$(ps -o pgid= -p "$(cat "$out/client.pid")" | tr -d ' ')" ;;
record) # the installed hook script runs inside "hook", which logs its calls to OUT/calls
    s=$home/.cursor/hooks/signalwick.sh
    mv "$s" "$s.real" && printf '#!/bin/sh\ntrap "" TERM\nexec /bin/sh %s %s hook %s %s\n' "$(q "$0")" "$agent" \
        "$(q "$out")" "$(q "$s.real")" >"$s" && chmod 755 "$s" "$s.real"
    ;;
hook) # a line a call: the event, the exit status, the bytes printed, and then the state files
    trap '' TERM HUP INT PIPE
    cat >"$out/in.$$"
    "$1" <"$out/in.$$" >"$out/out.$$"
    rc=$?
    event=$(sed -n 's/.*"hook_event_name": *"\([A-Za-z]*\)".*/\1/p' "$out/in.$$")
    state=$(cat "$HOME"/.cursor/signalwick/state/*.json 2>/dev/null | tr '\n' ' ')
    printf '%s\t%s\t%s\t%s\n' "$event" "$rc" "$(wc -c <"$out/out.$$" | tr -d ' ')" "${state:--}" >>"$out/calls"
    cat "$out/out.$$" && rm -f "$out/in.$$" "$out/out.$$"
    ;;
stop)
    [ -S "$out/tmux" ] && tmux -S "$out/tmux" kill-server 2>/dev/null
    [ -s "$out/server.pid" ] && kill "$(cat "$out/server.pid")" 2>/dev/null
    rm -f "$out/server.pid"
    ;;
*) echo "client.sh: unknown command $cmd" >&2 && exit 2 ;;
esac
