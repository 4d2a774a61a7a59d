#!/usr/bin/env bash
# What an idle client costs: the desktop client sits in room 1001 of the reference service with
# a second member (a console client) and nobody speaks. Both run on a private sound server
# started with its normal module set, as on a desktop. Prints the share of one core each
# process used over the measured time, and how often its threads woke (context switches).
#   bench/idle-cpu.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-20}
app=$build/app
for program in pulseaudio pactl "$app/tavo" "$app/tavo-cli" "$app/tavo-serverd"; do
  command -v "$program" >/dev/null || { echo "missing: $program" >&2; exit 2; }
done

work=$(mktemp -d /tmp/tavo-idle.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${TAVO_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT INT TERM

# The sound server: the distribution's default.pa in a runtime folder of its own.
export XDG_RUNTIME_DIR=$work/run HOME=$work/home
mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
pulseaudio --daemonize=no --exit-idle-time=-1 --log-target=file:"$work/pulse.log" &
pids+=($!)
pulse=$!
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl load-module module-null-sink sink_name=speakers >/dev/null
pactl load-module module-null-sink sink_name=mic_feed >/dev/null
pactl load-module module-remap-source source_name=mic master=mic_feed.monitor >/dev/null
pactl set-default-sink speakers
pactl set-default-source mic

source "$root/scripts/demo-service.sh"
demo_service_start "$app" "$work/server.log"
args=(--config-url "http://127.0.0.1:$web/config.xml" --server "127.0.0.1:$info" --program-folder "$app")

printf 'login bob bob123\nwait-line 登陆成功 10\nenter 1001\nwait-line window open 30\nsleep %d\n' $((seconds + 60)) >"$work/member.tavo"
TAVO_CONFIG_HOME=$work/member "$app/tavo-cli" "${args[@]}" --script "$work/member.tavo" \
  >"$work/member.log" 2>&1 &
pids+=($!)
member=$!
# A screen as large as a desktop's, so that the client does not ask to change it.
printf '{"screens": [{"name": "idle", "x": 0, "y": 0, "width": 1920, "height": 1080}]}' \
  >"$work/screen.json"
QT_QPA_PLATFORM=offscreen:configfile=$work/screen.json TAVO_CONFIG_HOME=$work/desktop "$app/tavo" "${args[@]}" 1001 \
  >"$work/desktop.log" 2>&1 &
pids+=($!)
desktop=$!

# Settled: in the room, players open, first timers run.
sleep 15

# Time on a core of all of a process's threads, in nanoseconds; their context switches.
ticks() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{n += $1} END {printf "%.0f\n", n}'; }
switches() {
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^(voluntary|nonvoluntary)_ctxt_switches/ {n += $2} END {print n + 0}'
}
declare -A t0 s0
for pid in $desktop $member $pulse; do t0[$pid]=$(ticks "$pid"); s0[$pid]=$(switches "$pid"); done
sleep "$seconds"
printf '%-22s %8s %12s\n' process "% core" "wakeups/s"
for entry in "tavo (desktop):$desktop" "tavo-cli (member):$member" "pulseaudio:$pulse"; do
  name=${entry%%:*}
  pid=${entry##*:}
  t=$(ticks "$pid")
  s=$(switches "$pid")
  awk -v n="$name" -v d=$((t - t0[$pid])) -v w=$((s - s0[$pid])) -v sec="$seconds" \
    'BEGIN { printf "%-22s %8.3f %12.1f\n", n, 100 * d / 1e9 / sec, w / sec }'
done
grep -q 'window open' "$work/member.log" || echo "note: the member never entered the room" >&2
