#!/usr/bin/env bash
# Takes the desktop client's screenshot for the AppStream metainfo: the service with the demo
# data on loopback, the client on a virtual display, alice logs in and picks the first
# category of the hall. Writes res/screenshots/hall.png (or the file given); needs Xvfb,
# xdotool and ImageMagick, and a build in build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/res/screenshots/hall.png}
app=${TAVO_APP:-$root/build/app}
work=$(mktemp -d /tmp/tavo-shot.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

source "$root/scripts/demo-service.sh"
demo_service_start "$app" "$work/server.log"

# A display of our own, numbered by the server.
exec 3<> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n 1 "$work/display")

TAVO_CONFIG_HOME="$work/config" "$app/tavo" \
  --config-url "http://127.0.0.1:$web/config.xml" --server "127.0.0.1:$info" >"$work/client.log" 2>&1 &
pids+=($!)
# The hall is the widest window the client shows.
window=
for _ in $(seq 100); do
  window=$(for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
             eval "$(xdotool getwindowgeometry --shell "$w")"; echo "$WIDTH $w"
           done | sort -n | tail -n 1 | cut -d' ' -f2)
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "the client showed no window" >&2; cat "$work/client.log" >&2; exit 1; }
# The hall fetches its lists first.
sleep 10
# Without a window manager the keys go to the window under the pointer, so the pointer is
# moved onto each box before typing. Log in (the first button) as alice: the login box opens
# on the user name.
at() { xdotool mousemove --window "$window" "$1" "$2"; }
onto_box() {  # the pointer onto the newest window that is not the hall
  local box
  box=$(xdotool search --onlyvisible --name . 2>/dev/null | grep -vx "$window" | tail -n 1)
  [ -n "$box" ] || { echo "the client opened no box" >&2; exit 1; }
  eval "$(xdotool getwindowgeometry --shell "$box")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 8))
}
at 367 23; xdotool click 1; sleep 1
onto_box
xdotool type --delay 30 alice; xdotool key Tab; xdotool type --delay 30 alice123
xdotool key Return; sleep 2
onto_box; xdotool key Return; sleep 1   # the box saying the login went through
at 40 78; xdotool click 1; sleep 5
at 600 580
mkdir -p "$(dirname "$out")"
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip "$out"
echo "screenshot written to $out"
