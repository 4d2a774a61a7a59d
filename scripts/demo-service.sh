# Sourced by the scripts that run the reference service with the demo data on loopback.
# demo_service_ports LOG: waits for the service's first line in LOG and sets `ports` (that
# line), `info` and `web`. demo_service_start APP LOG: starts APP/tavo-serverd on ports the
# system chooses, its output in LOG, adds it to the caller's `pids`, and reads its ports.
demo_service_ports() {
  local log=$1
  for _ in $(seq 100); do grep -q '^tavo-serverd: info=' "$log" && break; sleep 0.1; done
  ports=$(grep '^tavo-serverd: info=' "$log") || { cat "$log" >&2; return 1; }
  info=$(sed -E 's/.*info=([0-9]+).*/\1/' <<<"$ports")
  web=$(sed -E 's/.*web=([0-9]+).*/\1/' <<<"$ports")
}
demo_service_start() {
  local app=$1 log=$2
  "$app/tavo-serverd" --db :memory: --seed --listen 127.0.0.1 --public-host 127.0.0.1 \
    --info-port 0 --hall-port 0 --route-port 0 --room-ports 0:0 --web-port 0 >"$log" 2>&1 &
  pids+=($!)
  demo_service_ports "$log"
}
