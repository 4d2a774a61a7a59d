#!/usr/bin/env bash
# Builds the Debian packages, unpacks them into a scratch root (dpkg-deb -x, no install on
# this machine) and runs what they hold from there: tavo-serverd --version, its refusal of a
# configuration with an unknown key, the service as its systemd unit starts it with the
# packaged configuration, and the scripted console demo with the packaged tavo-cli against it. Then checks the desktop entry, the metainfo and, when
# lintian is there, the packages (errors fail). The packages are left in build-pkg/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
if [ "${TAVO_SKIP_INSTALL:-0}" != 1 ]; then
  bash scripts/install-deps.sh
fi

build=build-pkg
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DTAVO_BUILD_TESTS=OFF -DTAVO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

work=$(mktemp -d /tmp/tavo-pkg.XXXXXX)
service=
cleanup() {
  [ -n "$service" ] && kill "$service" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
fail() { echo "package check: $*" >&2; exit 1; }

unpacked=$work/root
for deb in "$build"/*.deb; do
  dpkg-deb -x "$deb" "$unpacked"
done

said=$("$unpacked/usr/bin/tavo-serverd" --version)
[ "$said" = "tavo-serverd $version" ] || fail "tavo-serverd --version said '$said', not $version"
for program in tavo tavo-cli; do
  said=$(QT_QPA_PLATFORM=offscreen "$unpacked/usr/bin/$program" --version)
  [ "$said" = "$program $version" ] || fail "$program --version said '$said'"
done

# The service as the unit starts it: its command line with the unpacked files in place of the
# system's. The database goes where the configuration puts it, which must be the unit's state
# folder; ports the system chooses and the demo data stand in for a real community's.
unit=$unpacked/lib/systemd/system/tavo-serverd.service
config=$unpacked/etc/tavo/tavo-serverd.ini
[ -f "$unit" ] && [ -f "$config" ] || fail "the unit or its configuration is missing"
state=$(sed -n 's/^StateDirectory=//p' "$unit")
database=$(sed -n 's/^database *= *//p' "$config")
[ "$(dirname "$database")" = "/var/lib/$state" ] ||
  fail "the database ($database) is outside the unit's state folder /var/lib/$state"
# A configuration the service cannot read whole stops it, with the line named.
printf '[server]\nhall_prot = 30000\n' >"$work/bad.ini"
if "$unpacked/usr/bin/tavo-serverd" --config "$work/bad.ini" --db :memory: 2>"$work/bad.log"; then
  fail "the service started with an unknown key in its configuration"
fi
grep -q "bad.ini:2:" "$work/bad.log" || fail "the service did not name the bad line: $(cat "$work/bad.log")"
mkdir -p "$unpacked/var/lib/$state"
read -r -a command <<<"$(sed -n 's/^ExecStart=//p' "$unit")"
for i in "${!command[@]}"; do
  case ${command[$i]} in /*) command[$i]=$unpacked${command[$i]} ;; esac
done
[ -f "${command[0]}" ] || fail "ExecStart names ${command[0]#"$unpacked"}, which the package lacks"
"${command[@]}" --db "$unpacked$database" --seed --listen 127.0.0.1 --public-host 127.0.0.1 \
  --info-port 0 --hall-port 0 --route-port 0 --room-ports 0:0 --web-port 0 >"$work/service.log" 2>&1 &
service=$!

source scripts/pulse-env.sh
pulse_start
trap 'pulse_stop; cleanup' EXIT INT TERM
TAVO_DEMO_APP=$unpacked/usr/bin TAVO_DEMO_SERVICE=$work/service.log TAVO_DEMO_CONSOLE=1 \
  TAVO_SKIP_INSTALL=1 TAVO_DEMO_REQUIRE_VOICE=1 bash scripts/demo.sh | tee "$work/demo.log"
# A client that missed its data folder still runs, but says it could not read its pictures.
missed=$(awk -F'\t' '$2 == "IDS_FACES_FAILED" { print $3 }' res/strings/*.txt)
[ -n "$missed" ] && ! grep -qF "$missed" "$work/demo.log" ||
  fail "the packaged client did not find its pictures in /usr/share/tavo"
[ -s "$unpacked$database" ] || fail "the service wrote no database at $database"
kill -TERM "$service"
wait "$service" || fail "the service did not end cleanly on SIGTERM"
service=

desktop-file-validate "$unpacked"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml
if command -v lintian >/dev/null; then
  lintian --fail-on error "$build"/*.deb
else
  echo "lintian is not installed: the packages were not linted"
fi
echo "package check: $(cd "$build" && ls *.deb | tr '\n' ' ')passed"
