#!/usr/bin/env bash
# Installs the packages the project needs (skipped with TAVO_SKIP_INSTALL=1), builds, and runs
# every test under CTest with a private sound server.
#   scripts/test.sh             the RelWithDebInfo build in build/ and its tests
#   scripts/test.sh --sanitize  an ASan + UBSan build with gcc in build-asan/ and the same
#                               tests, then the fuzzers built with clang in build-fuzz/, each run
#                               for TAVO_FUZZ_SECONDS (20 by default)
#   scripts/test.sh --no-gui    a build without the desktop client in build-nogui/ and its
#                               tests, which shows that nothing below ui/ needs Qt Widgets
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
# Compiler cache entries are keyed on paths relative to the checkout, so a fresh clone in
# another folder reuses what earlier builds compiled.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
if [ "${TAVO_SKIP_INSTALL:-0}" != 1 ]; then
  bash scripts/install-deps.sh
fi

if [ "$mode" = "--sanitize" ]; then
  # The tests run under ASan + UBSan built with gcc (the crash listing reads gcc's line
  # tables); the fuzzers need clang and get a build of their own.
  build=build-asan
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DTAVO_SANITIZE=ON -DTAVO_BUILD_BENCH=OFF
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
elif [ "$mode" = "--no-gui" ]; then
  # Built with the flags of the main build, so the compiler cache answers nearly every file.
  build=build-nogui
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAVO_BUILD_GUI=OFF -DTAVO_BUILD_BENCH=OFF
else
  build=build
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build"

# Audio tests need a sound server; a private headless one is started for the run.
source scripts/pulse-env.sh
pulse_start
trap pulse_stop EXIT

export QT_QPA_PLATFORM=offscreen
# Every tool the tests use is installed above: a test that misses one (a program, a sound
# server of its own) fails instead of skipping.
export TAVO_REQUIRE_TOOLS=1
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300

if [ "$mode" = "--sanitize" ]; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTAVO_SANITIZE=ON -DTAVO_FUZZ=ON -DTAVO_BUILD_TESTS=OFF -DTAVO_BUILD_BENCH=OFF
  cmake --build build-fuzz --target fuzzers
  bash scripts/run-fuzzers.sh build-fuzz "${TAVO_FUZZ_SECONDS:-20}"
fi
