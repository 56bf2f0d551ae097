#!/bin/bash
# shellcheck disable=SC2119,SC2317
# System figures of the real korvane binary on a private Xvfb display with trayer,
# printed side by side with their goals. Run by hand:
#
#   bench/system/run.sh [-b BUILD_DIR] [-n CHANGES] [-l LAUNCHES] [-i IDLE_SECONDS] [-s]
#
#   latency  a state file renamed into the state directory -> the tray icon's centre pixel
#            on the X server shows the new colour. korvane_xprobe does the rename itself and
#            then reads that pixel over xcb every 0.5 ms, so the figure is what a user would
#            see, screen included, with sub-millisecond resolution. Working and idle alternate,
#            with a random pause between changes so they fall anywhere in the store's
#            1-second timer. The floating light's lamp is timed from the same rename: until
#            it leaves its dim colour (the repaint) and until it is lit (after its cross-fade).
#   launch   fork of korvane -> its icon window is a mapped child of trayer's socket, and
#            -> the icon's centre no longer shows trayer's background (painted).
#   idle     IDLE_SECONDS (600) with 50 state files in 5 workspaces and one floating light
#            per workspace: CPU seconds (utime + stime of /proc/<pid>/stat) and RSS after.
#   -s       skip the idle run (it takes ten minutes).
#
# Builds korvane into BUILD_DIR (default build/) when needed; quote figures of an optimised
# build (scripts/run and scripts/test build RelWithDebInfo into build/).
set -u
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
build=$top/build
changes=50
launches=10
idle_seconds=600
while getopts b:n:l:i:s opt; do
    case $opt in
    b) build=$(cd "$OPTARG" && pwd) ;;
    n) changes=$OPTARG ;;
    l) launches=$OPTARG ;;
    i) idle_seconds=$OPTARG ;;
    s) idle_seconds=0 ;;
    *) sed -n '2,22p' "$0" >&2; exit 2 ;;
    esac
done
export KORVANE_E2E_ARTIFACTS=$build/bench-system
# shellcheck source-path=SCRIPTDIR source=desktop.sh
. "$top/bench/system/desktop.sh"
e2e_use_build "$top" "$build"
e2e_init system
e2e_start_x
e2e_start_tray

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
quantile() { sort -n | awk -v q="$1" '{ v[NR] = $1 } END { i = int(q * (NR - 1)) + 1; print v[i] }'; }
results=$E2E_TMP/results
: >"$results"
# figure NAME VALUE UNIT GOAL [DETAIL]
figure() { printf '%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" "${5:-}" >>"$results"; }

# ---- latency: state file -> tray icon (and the combined light's lamp)
e2e_new_home
e2e_write_defaults '{"KorvaneHasLaunched": true, "OverlayWasVisible": true, "OverlayMode": "combined"}'
e2e_launch
e2e_wait_tray_icon
e2e_wait_panels 1
mkdir -p "$STATE_DIR"
sleep 1
: >"$E2E_TMP/tray.ms"
: >"$E2E_TMP/lamp.ms"
: >"$E2E_TMP/lamp-start.ms"
for ((i = 0; i < changes; i++)); do
    if ((i % 2 == 0)); then state=working colour=$COLOR_WORKING lamp=1; else state=idle colour=$COLOR_IDLE lamp=2; fi
    printf '{"state":"%s","ts":%s,"workspace":"/tmp/bench","conversation_id":"c1"}\n' \
        "$state" "$(e2e_now)" >"$E2E_TMP/c1.json"
    before=$(e2e_pixel "${LAMP_X[lamp]}" "${LAMP_Y[lamp]}")
    if out=$("$KORVANE_XPROBE" wait-pixel "$TRAY_CX" "$TRAY_CY" "$colour" \
        -P "${LAMP_X[lamp]}" "${LAMP_Y[lamp]}" "$before" -p "${LAMP_X[lamp]}" "${LAMP_Y[lamp]}" "$colour" \
        -t 10 -T 3000 -r "$E2E_TMP/c1.json" "$STATE_DIR/c1.json"); then
        read -r tray_ms _ start_ms _ lit_ms _ <<<"$out"
        echo "$tray_ms" >>"$E2E_TMP/tray.ms"
        echo "$start_ms" >>"$E2E_TMP/lamp-start.ms"
        echo "$lit_ms" >>"$E2E_TMP/lamp.ms"
    else
        echo "change $i to $state: not seen within 3 s (tray, lamp starting, lamp lit: $out)" >&2
    fi
    sleep "0.$((RANDOM % 9 + 1))"
done
n=$(wc -l <"$E2E_TMP/tray.ms")
figure "state file -> tray icon repainted (median of $n)" "$(median <"$E2E_TMP/tray.ms")" ms 5 \
    "p90 $(quantile 0.9 <"$E2E_TMP/tray.ms") ms, max $(quantile 1 <"$E2E_TMP/tray.ms") ms"
n=$(wc -l <"$E2E_TMP/lamp.ms")
figure "state file -> floating lamp starts to light (median of $n)" "$(median <"$E2E_TMP/lamp-start.ms")" ms 50 \
    "p90 $(quantile 0.9 <"$E2E_TMP/lamp-start.ms") ms"
figure "state file -> floating lamp fully lit (median of $n)" "$(median <"$E2E_TMP/lamp.ms")" ms - \
    "p90 $(quantile 0.9 <"$E2E_TMP/lamp.ms") ms; includes the 180 ms cross-fade"
e2e_quit TERM

# ---- launch -> tray icon embedded
gone() { ! kill -0 "$1" 2>/dev/null; }
no_tray_icons() { [ -z "$("$KORVANE_XPROBE" tray-icons)" ]; }
: >"$E2E_TMP/embed.ms"
: >"$E2E_TMP/paint.ms"
for ((i = 0; i < launches; i++)); do
    e2e_new_home
    e2e_write_defaults '{"KorvaneHasLaunched": true}'
    e2e_korvane_command
    out=$("$KORVANE_XPROBE" tray-icon -p -T 10000 -- "${E2E_CMD[@]}" 2>"$E2E_TMP/launch.err")
    pid=$(awk '$1 == "pid" { print $2 }' <<<"$out")
    [ -n "$pid" ] && echo "$pid" >>"$E2E_TMP/pids"
    read -r _ _ _ _ _ embedded painted <<<"$(grep -v '^pid' <<<"$out")"
    if [ -n "${painted:-}" ]; then
        echo "$embedded" >>"$E2E_TMP/embed.ms"
        echo "$painted" >>"$E2E_TMP/paint.ms"
    else
        echo "launch $i: $(cat "$E2E_TMP/launch.err")" >&2
    fi
    # xprobe's child, not ours: stop it by pid and wait until its icon is gone.
    [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null
    e2e_wait_until 5 gone "$pid"
    e2e_wait_until 5 no_tray_icons
done
n=$(wc -l <"$E2E_TMP/embed.ms")
figure "launch -> tray icon embedded (median of $n)" "$(median <"$E2E_TMP/embed.ms")" ms 300 \
    "max $(quantile 1 <"$E2E_TMP/embed.ms") ms"
figure "launch -> tray icon painted (median of $n)" "$(median <"$E2E_TMP/paint.ms")" ms 300 \
    "max $(quantile 1 <"$E2E_TMP/paint.ms") ms"

# ---- idle: 50 state files, lights on
if [ "$idle_seconds" -gt 0 ]; then
    e2e_new_home
    e2e_write_defaults '{"KorvaneHasLaunched": true, "OverlayWasVisible": true, "OverlayMode": "perWindow"}'
    states=(idle working waiting idle error)
    for ((i = 0; i < 50; i++)); do
        e2e_write_state "conv-$i" "${states[i % 5]}" "/home/user/project-$((i % 5))"
    done
    e2e_launch
    e2e_wait_tray_icon
    e2e_wait_panels 5
    sleep 5
    ticks=$(getconf CLK_TCK)
    cpu() { awk '{ print $14 + $15 }' "/proc/$KORVANE_PID/stat"; }
    c0=$(cpu)
    e2e_log "idle run: ${idle_seconds} s"
    sleep "$idle_seconds"
    c1=$(cpu)
    rss=$(awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$KORVANE_PID/status")
    hwm=$(awk '/^VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$KORVANE_PID/status")
    cpu_s=$(awk -v a="$c0" -v b="$c1" -v t="$ticks" 'BEGIN { printf "%.2f", (b - a) / t }')
    goal_cpu=$(awk -v s="$idle_seconds" 'BEGIN { printf "%.2f", 0.7 * s / 600 }')
    figure "idle CPU over ${idle_seconds} s, 50 files, 5 lights" "$cpu_s" s "$goal_cpu" "(${ticks} ticks/s)"
    figure "idle RSS after ${idle_seconds} s" "$rss" MB 60 "peak ${hwm} MB"
    e2e_quit TERM
fi

echo
printf '%-60s %10s %10s %7s  %s\n' figure measured goal ratio ""
awk -F'\t' '{ ratio = ($4 + 0 > 0 && $2 == $2 + 0) ? sprintf("%.2f", $2 / $4) : "-";
              printf "%-60s %7s %-2s %7s %-2s %7s  %s\n", $1, $2, $3, $4, $3, ratio, $5 }' "$results"
echo "(ratio = measured / goal; below 1 meets the goal. korvane: $KORVANE_BIN)"
e2e_pass
