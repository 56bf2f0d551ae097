#!/bin/sh
# signalwick.sh - Korvane's hook for the coding agents it serves.
#
# The agents run it at their hook events with a JSON payload on stdin and the
# agent's id as the argument (entries written by earlier versions pass none: the
# payload's shape tells the agent then). It records what the agent is doing in
# ~/.cursor/signalwick/state/<conversation>.json, which Korvane reads, and tells
# the caller to go on. It never blocks the agent: it always exits 0, prints only
# what the calling agent expects, and sends nothing to stderr.
#
# Every process start costs milliseconds on every tool call, so the work is one
# awk (parse, map, escape, answer, write the record aside) and one mv (the atomic
# replace). Not even a command substitution: forking the shell costs as much as
# starting a program. Portable: POSIX sh and awk only (dash, bash 3.2+, busybox;
# mawk, bwk awk).
#
# Each agent's rules (its events, the state each means, its answers) live in its
# own folder of Korvane's sources and are put in at the marker line of the awk
# program when Korvane is built.

# Finish the few milliseconds of work even when the caller gives up on us:
# some agents end a hook almost at once when a turn fails.
trap '' TERM HUP INT PIPE
exec 2>/dev/null
# The records name the user's projects: the folder and its files are theirs alone.
umask 077

# The record is written aside as <pid>-<name>.tmp (or <pid>-<name>.rm for a
# removal) by awk, which alone can turn a conversation id into a safe name.
dir=
case ${HOME} in
/*)
    dir=${HOME}/.cursor/signalwick/state
    # LC_ALL=C spares a tool loading the locale's files: milliseconds per call.
    [ -d "${dir}" ] || LC_ALL=C mkdir -p "${dir}"
    ;;
*) ;; # no usable home: answer the caller, record nothing
esac

# A permission prompt may be answered from the desktop: only while Korvane
# listens on its socket and the helper that speaks to it is here. Both tests
# are builtins; the helper runs only for such a prompt.
ask=
case ${XDG_RUNTIME_DIR:-} in
/*) [ -n "${dir}" ] && [ -S "${XDG_RUNTIME_DIR}/korvane/ask.sock" ] && [ -x "${0%/*}/signalwick-ask" ] &&
    ask=${dir}/$$.ask ;;
*) ;;
esac

# shellcheck disable=SC3028  # bash 5 gives microseconds for free; elsewhere it is empty
SIGNALWICK_AGENT=${1:-} SIGNALWICK_T=${EPOCHREALTIME:-} SIGNALWICK_BASE=${dir:+${dir}/$$} PWD=${PWD} \
    SIGNALWICK_PPID=${PPID} SIGNALWICK_ASK=${ask} LC_ALL=C awk '
function ord(c,    i) {
    if (!ordReady) {
        for (i = 1; i < 256; i++) ORD[sprintf("%c", i)] = i
        ordReady = 1
    }
    return ORD[c] + 0
}
# Length of the well-formed UTF-8 sequence at s[i] (its lead byte is >= 0x80), or 0.
function utf8len(s, i,    b, n, k, c, lo, hi) {
    b = ord(substr(s, i, 1))
    lo = 128; hi = 191
    if (b >= 194 && b <= 223) n = 1
    else if (b >= 224 && b <= 239) { n = 2; if (b == 224) lo = 160; if (b == 237) hi = 159 }
    else if (b >= 240 && b <= 244) { n = 3; if (b == 240) lo = 144; if (b == 244) hi = 143 }
    else return 0
    for (k = 1; k <= n; k++) {
        c = ord(substr(s, i + k, 1))
        if (c < lo || c > hi) return 0
        lo = 128; hi = 191
    }
    return n + 1
}
# The body of a valid JSON string for s. raw: s is plain text (escape every
# backslash); otherwise s is the body of a JSON string token from the payload,
# whose valid escapes are kept. Control characters, lone surrogates and bytes
# that are not UTF-8 are escaped or replaced, so the reader never rejects a file.
function jstr(s, raw,    out, i, n, c, e, h, b, k) {
    if (s !~ /[^ -~]/ && !index(s, "\"") && !index(s, "\\")) return s
    out = ""; n = length(s)
    for (i = 1; i <= n; i++) {
        c = substr(s, i, 1)
        if (c == "\\") {
            e = substr(s, i + 1, 1)
            if (!raw && e != "" && index("\"\\/bfnrt", e)) { out = out c e; i++; continue }
            if (!raw && e == "u" && substr(s, i + 2, 4) ~ /^[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]$/) {
                h = substr(s, i + 2, 4)
                if (h ~ /^[dD][89abAB]/) {
                    if (substr(s, i + 6, 6) ~ /^\\u[dD][c-fC-F][0-9A-Fa-f][0-9A-Fa-f]$/) {
                        out = out substr(s, i, 12); i += 11
                    } else { out = out "\\ufffd"; i += 5 }
                } else if (h ~ /^[dD][c-fC-F]/) { out = out "\\ufffd"; i += 5 }
                else { out = out substr(s, i, 6); i += 5 }
                continue
            }
            out = out "\\\\"; continue
        }
        if (c == "\"") { out = out "\\\""; continue }
        b = ord(c)
        if (b < 32) { out = out sprintf("\\u%04x", b); continue }
        if (b < 128) { out = out c; continue }
        k = utf8len(s, i)
        if (k) { out = out substr(s, i, k); i += k - 1 } else out = out "\\ufffd"
    }
    return out
}
# A file name for the conversation id: lower-case letters, digits and "-" stay,
# every other byte becomes _XX, so no id can name another directory, a dot file
# or the file of another id, even where file names ignore case. Long ids keep a
# prefix and a hash of the whole id.
function fname(s,    out, i, n, c, h1, h2) {
    if (s == "") return "_"
    out = s
    if (s ~ /[^a-z0-9-]/) {
        out = ""; n = length(s)
        for (i = 1; i <= n; i++) {
            c = substr(s, i, 1)
            if (c ~ /[a-z0-9-]/) out = out c
            else out = out sprintf("_%02X", ord(c))
        }
    }
    if (length(out) > 120) {
        h1 = 0; h2 = 7; n = length(s)
        for (i = 1; i <= n; i++) {
            c = ord(substr(s, i, 1)) + 1
            h1 = (h1 * 257 + c) % 2147483647
            h2 = (h2 * 263 + c) % 2147483629
        }
        out = substr(out, 1, 96) "~" sprintf("%08x%08x", h1, h2)
    }
    return out
}
# Top-level members of the payload object: V[key] is the token body of a string
# (or of the first element of an array of strings), T[key] its kind ("s", "a",
# or "v" for anything else). The text is cut at its quotes; a piece that ends in
# an odd run of backslashes continues the same string. Every step is linear in
# the input, in every awk (gsub and per-character loops are not, in some).
# Input that is not one whole object yields nothing.
function parse(doc,    P, X, n, i, k, pos, depth, seg, L, inStr, start, len, key, want, nx, lit) {
    if (doc !~ /^[ \t\r\n]*\{/) return
    # split() of the original awk also cuts at newlines when its separator is a
    # single character; a regular expression avoids that, but is slow in busybox.
    if (split("a\nb", P, "\"") > 1) n = split(doc, P, /"/)
    else n = split(doc, P, "\"")
    pos = 1; depth = 0; inStr = 0; want = ""
    for (i = 1; i <= n; i++) {
        seg = P[i]; L = length(seg)
        if (!inStr) {
            if (seg ~ /[][{}]/) depth += split(seg, X, /[[{]/) - split(seg, X, /[]}]/)
            if (i < n) { inStr = 1; start = pos + L + 1; len = 0 }
        } else {
            len += L
            for (k = 0; k < L && substr(seg, L - k, 1) == "\\"; k++) ;
            if (k % 2 && i < n) { len++; pos += L + 1; continue }
            inStr = 0
            if (len > 8192) len = 8192 # no id or path is longer; bounds the work below
            if (want != "") { V[want] = substr(doc, start, len); want = "" }
            else if (depth == 1 && i < n && P[i + 1] ~ /^[ \t\r\n]*:/) {
                key = substr(doc, start, len)
                if (key in WANT) {
                    nx = P[i + 1]
                    if (nx ~ /^[ \t\r\n]*:[ \t\r\n]*$/) { T[key] = "s"; want = key }
                    else if (nx ~ /^[ \t\r\n]*:[ \t\r\n]*\[[ \t\r\n]*$/) { T[key] = "a"; want = key }
                    else {
                        lit = substr(nx, 1, 64); sub(/^[ \t\r\n]*:[ \t\r\n]*/, "", lit); sub(/[]} \t\r\n,].*$/, "", lit)
                        T[key] = "v"; V[key] = lit
                    }
                }
            }
        }
        pos += L + 1
    }
    if (depth != 0 || inStr) { split("", T); split("", V) }
}
function str(k) { return (k in T) && T[k] == "s" ? V[k] : "" }
function env(k) { return substr(ENVIRON[k], 1, 8192) }
# The conversation and its workspace as the agents of the hook-group kind send
# them: the variable naming the project folder wins over the working folder.
function sessionFields(projectVar) {
    conv = str("session_id")
    if (env(projectVar) != "") { ws = env(projectVar); wsRaw = 1 }
    else if (str("cwd") != "") ws = str("cwd")
    else { ws = env("PWD"); wsRaw = 1 }
}
# The session log the agent keeps, where Korvane reads what no hook reports.
function keepLog() {
    if (str("transcript_path") != "") extra = extra ",\"transcript_path\":\"" jstr(str("transcript_path")) "\""
}
# The process of the agent, so that Korvane forgets a conversation whose agent
# was killed: the pid the agent names in the variable pidVar, else the first
# ancestor of the hook that is not a shell (some agents start one for the hook),
# if it holds a terminal; an editor holds none. Its start time (field 22 of
# /proc/<pid>/stat) tells a reused pid apart. The walk goes on a few levels above
# it, so that Korvane can find the terminal or the editor that shows the agent,
# and keeps the terminal of the agent (tty_nr, which names a tmux pane too). A read
# of /proc per ancestor, no process.
function keepProcess(pidVar,    p, own, i, n, line, comm, f, file) {
    own = pidVar == "" ? "" : ENVIRON[pidVar]
    p = own == "" ? ENVIRON["SIGNALWICK_PPID"] : own
    n = 0
    for (i = 0; i < 12 && n < 6; i++) {
        if (p !~ /^[1-9][0-9]*$/ || p == 1) return
        file = "/proc/" p "/stat"; line = ""
        if ((getline line < file) <= 0) { close(file); return }
        close(file)
        comm = line; sub(/^[^(]*\(/, "", comm); sub(/\)[^)]*$/, "", comm)
        sub(/^.*\) /, "", line)
        split(line, f, " ")
        if (!n) {
            if (own == "" && comm ~ /^(sh|bash|dash|ash|zsh|ksh|mksh|busybox)$/) { p = f[2]; continue }
            if ((own != "" || f[5] != 0) && f[20] ~ /^[0-9]+$/)
                extra = extra ",\"pid\":" p ",\"proc_start\":\"" f[20] "\""
            if (f[5] ~ /^[1-9][0-9]*$/) tty = f[5]
        }
        chain = chain (n++ ? "," : "") "[" p ",\"" jstr(comm, 1) "\"]"
        p = f[2]
    }
}
# Where the agent runs, for Korvane to take the user there: the walk above and
# what the terminal, tmux or the editor tell their children. Only keys with a value.
function where(    K, k, n, s, v) {
    s = tty == "" ? "" : ",\"tty_nr\":" tty
    if (chain != "") s = s ",\"chain\":[" chain "]"
    n = split("TMUX TMUX_PANE STY WINDOWID KITTY_WINDOW_ID KITTY_LISTEN_ON KITTY_PID WEZTERM_PANE " \
        "WEZTERM_UNIX_SOCKET GNOME_TERMINAL_SCREEN GNOME_TERMINAL_SERVICE KONSOLE_DBUS_SERVICE " \
        "KONSOLE_DBUS_SESSION KONSOLE_DBUS_WINDOW TERM_PROGRAM VSCODE_IPC_HOOK_CLI " \
        "VSCODE_GIT_ASKPASS_NODE CURSOR_TRACE_ID DISPLAY WAYLAND_DISPLAY", K, " ")
    for (k = 1; k <= n; k++)
        if ((v = env(K[k])) != "") s = s ",\"" K[k] "\":\"" jstr(v, 1) "\""
    if (s != "") extra = extra ",\"where\":{" substr(s, 2) "}"
}
#@agents@
BEGIN {
    RS = "\001"
    split("hook_event_name session_id cwd transcript_path", w, " ")
    for (i in w) WANT[w[i]] = 1
}
# JSON holds no raw control characters: a second record means it is not JSON,
# and the rest is only drained.
NR == 1 { doc = $0 }
NR == 2 { doc = "" }
END {
    if (substr(doc, 1, 3) == "\357\273\277") doc = substr(doc, 4)
    parse(doc)
    ev = str("hook_event_name")
    state = ""; reply = ""; ws = ""; wsRaw = 0; conv = ""; convRaw = 0; extra = ""; tty = ""; chain = ""; ask = 0
    agent = agentOf(ENVIRON["SIGNALWICK_AGENT"])
    rules(agent)
    where()

    # The answer first: whatever happens to the record, the caller goes on.
    if (reply != "") { print reply; fflush() }
    base = ENVIRON["SIGNALWICK_BASE"]
    if (state == "" || base == "") exit
    conv = jstr(conv, convRaw)
    file = base "-" fname(conv) (state == "-" ? ".rm" : ".tmp")
    if (state == "-") printf "" > file
    else {
        t = ENVIRON["SIGNALWICK_T"]
        if (t ~ /^[0-9]+[.,][0-9]+$/) sub(/,/, ".", t)
        else { srand(); t = sprintf("%d", srand()) }
        printf "{\"state\":\"%s\",\"ts\":%s,\"workspace\":%s,\"conversation_id\":\"%s\",\"agent\":\"%s\"%s}\n", \
            state, t, (ws == "" ? "null" : "\"" jstr(ws, wsRaw) "\""), conv, agent, extra > file
    }
    close(file)
    # The prompt, for the helper to pass on once the record says we wait.
    if (ask && state != "" && state != "-" && ENVIRON["SIGNALWICK_ASK"] != "") {
        file = ENVIRON["SIGNALWICK_ASK"]
        printf "%s", doc > file
        close(file)
    }
}' || cat >/dev/null

[ -n "${dir}" ] || exit 0
for f in "${dir}/$$-"*; do
    name=${f#"${dir}/$$-"}
    case ${name} in
    *.tmp) LC_ALL=C mv -f "${f}" "${dir}/${name%.tmp}.json" ;;
    *.rm) LC_ALL=C rm -f "${f}" "${dir}/${name%.rm}.json" ;;
    *) ;; # nothing of ours (the glob matched no file)
    esac
done
[ -n "${ask}" ] && [ -f "${ask}" ] || exit 0
# shellcheck disable=SC2094  # opened first, then unlinked: the helper reads the open file
{
    LC_ALL=C rm -f "${ask}"
    "${0%/*}/signalwick-ask"
} <"${ask}"
exit 0
