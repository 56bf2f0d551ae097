#!/bin/sh
# A hook command that runs $RECORD_HOOK with the payload and appends one line per
# call to $RECORD_LOG: the event, the exit status, the bytes it printed and the
# state files right after the call (one line each; "-" when there is none).
trap '' TERM HUP INT PIPE
tmp=$RECORD_LOG.$$
cat >"$tmp.in"
"$RECORD_HOOK" <"$tmp.in" >"$tmp.out"
rc=$?
event=$(sed -n 's/.*"hook_event_name":"\([A-Za-z]*\)".*/\1/p' "$tmp.in")
state=$(cat "$HOME"/.cursor/signalwick/state/*.json 2>/dev/null | tr '\n' ' ')
printf '%s\t%s\t%s\t%s\n' "$event" "$rc" "$(wc -c <"$tmp.out" | tr -d ' ')" "${state:--}" >>"$RECORD_LOG"
cat "$tmp.out"
rm -f "$tmp.in" "$tmp.out"
