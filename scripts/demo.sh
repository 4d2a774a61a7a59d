#!/usr/bin/env bash
# The main job: installs and builds, starts the reference service on loopback with the demo
# data, and then
#   - with a display: the desktop client pointed at it (log in as alice/alice123 or
#     bob/bob123, enter room 1001);
#   - without one: two console clients, alice and bob, who log in, enter room 1001, chat, and
#     where alice takes the microphone, speaks a WAV file that bob records and shows a
#     test-pattern camera whose pictures bob saves.
# Every process it starts is stopped when it ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# TAVO_DEMO_APP names a folder of built or installed programs (the end-to-end test and the
# package check use it), which find their pages and pictures themselves; otherwise
# everything is installed and built here.
app=${TAVO_DEMO_APP:-}
if [ -z "$app" ]; then
  if [ "${TAVO_SKIP_INSTALL:-0}" != 1 ]; then
    bash scripts/install-deps.sh
  fi
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --target tavo-serverd tavo-cli $( [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && echo tavo )
  app=$root/build/app
fi
work=$(mktemp -d /tmp/tavo-demo.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

# The service on ports the system chooses; it prints them on its first line. TAVO_DEMO_SERVICE
# names the output of a service with the demo data that runs already (the package check starts
# the installed one), and then none is started here.
source "$root/scripts/demo-service.sh"
if [ -n "${TAVO_DEMO_SERVICE:-}" ]; then
  demo_service_ports "$TAVO_DEMO_SERVICE"
else
  demo_service_start "$app" "$work/server.log"
fi
echo "$ports"
client_args=(--config-url "http://127.0.0.1:$web/config.xml" --server "127.0.0.1:$info")

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${TAVO_DEMO_CONSOLE:-0}" != 1 ]; then
  echo "Starting the desktop client; the demo accounts are alice/alice123, bob/bob123 (rooms 1001-1005)."
  TAVO_CONFIG_HOME="$work/desktop" "$app/tavo" "${client_args[@]}"
  exit $?
fi

# A spoken sentence when a speech synthesiser is there, else a chord; 22050 Hz stereo.
if command -v espeak-ng >/dev/null; then
  espeak-ng -w "$work/speech-raw.wav" "Hello Bob, this is Alice speaking on the main microphone." 2>/dev/null
  sox "$work/speech-raw.wav" -r 22050 -c 2 -b 16 "$work/speech.wav"
else
  sox -n -r 22050 -c 2 -b 16 "$work/speech.wav" synth 4 sine 440 sine 660 gain -6
fi

(cd "$work" && TAVO_CONFIG_HOME="$work/bob" "$app/tavo-cli" "${client_args[@]}" --script "$root/demo/bob.tavo") >"$work/bob.log" 2>&1 &
bob=$!
pids+=($bob)
sleep 1
set +e
(cd "$work" && TAVO_CONFIG_HOME="$work/alice" \
  TAVO_VIDEO_SOURCE="${TAVO_VIDEO_SOURCE:-videotestsrc pattern=ball is-live=true}" "$app/tavo-cli" "${client_args[@]}" --script "$root/demo/alice.tavo")
alice_status=$?
wait "$bob"
bob_status=$?
set -e
echo "---- bob's console ----"
cat "$work/bob.log"
# Each of the room's players writes its own file; the one that played is the largest.
heard=$(ls -S "$work"/bob-heard*.wav 2>/dev/null | head -n 1 || true)
if [ -n "$heard" ]; then
  echo "---- what bob recorded: $heard ----"
  sox "$heard" -n stat 2>&1 | grep -E 'Length|RMS +amplitude|Maximum amplitude' || true
fi
echo "alice exited $alice_status, bob exited $bob_status"
[ "$alice_status" = 0 ] && [ "$bob_status" = 0 ] || exit 1
# With TAVO_DEMO_REQUIRE_VOICE=1 the run fails unless bob's recording holds sound.
if [ "${TAVO_DEMO_REQUIRE_VOICE:-0}" = 1 ]; then
  rms=$( [ -n "$heard" ] && sox "$heard" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}' )
  awk -v r="${rms:-0}" 'BEGIN { exit !(r > 0.01) }' || { echo "bob heard no voice (RMS ${rms:-none})"; exit 1; }
  echo "bob heard alice (RMS $rms)"
fi
pictures=$(ls "$work"/bob-frames/video1-*.bmp 2>/dev/null | wc -l)
echo "bob saved $pictures pictures of video 1 in $work/bob-frames"
# With TAVO_DEMO_REQUIRE_VIDEO=1 the run fails unless bob saw alice's camera.
if [ "${TAVO_DEMO_REQUIRE_VIDEO:-0}" = 1 ] && [ "$pictures" -lt 8 ]; then
  echo "bob saw no video"
  exit 1
fi
