# Sourced by the test scripts: a private headless PulseAudio server with a null sink, so audio
# tests have real devices on machines without sound hardware.
pulse_start() {
  if ! command -v pulseaudio >/dev/null; then
    echo "pulseaudio is not installed; audio tests will use the WAV-file devices" >&2
    return 0
  fi
  export XDG_RUNTIME_DIR=${TAVO_PULSE_DIR:-$(mktemp -d /tmp/tavo-pulse.XXXXXX)}
  chmod 700 "$XDG_RUNTIME_DIR"
  export PULSE_RUNTIME_PATH=$XDG_RUNTIME_DIR/pulse
  # No real-time scheduling: run as root on a loaded machine, a real-time daemon that overruns
  # its CPU-time limit is killed by the kernel in the middle of the suite.
  pulseaudio --daemonize=yes -n --exit-idle-time=-1 --disallow-exit --use-pid-file=yes \
    --realtime=no --high-priority=no \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=ci_sink" \
    --load="module-null-sink sink_name=ci_mic_feed" \
    --load="module-remap-source source_name=ci_mic master=ci_mic_feed.monitor" \
    >/dev/null 2>&1 || echo "pulseaudio did not start; audio tests will use the WAV-file devices" >&2
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-sink ci_sink >/dev/null 2>&1 || true
  pactl set-default-source ci_mic >/dev/null 2>&1 || true
}

pulse_stop() {
  if command -v pulseaudio >/dev/null && [ -n "${PULSE_RUNTIME_PATH:-}" ]; then
    pulseaudio -k >/dev/null 2>&1 || true
  fi
}
