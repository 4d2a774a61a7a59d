#!/usr/bin/env bash
# Runs every fuzzer of a fuzzing build for a bounded time, from its committed seed corpus.
set -euo pipefail
build=$1
seconds=${2:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
ran=0
for fuzzer in "$build"/fuzz/fuzz_*; do
  # autogen folders match the pattern too; only programs are fuzzers
  [ -f "$fuzzer" ] && [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus=$(mktemp -d)
  if [ -d "$root/fuzz/corpus/$name" ]; then cp -r "$root/fuzz/corpus/$name/." "$corpus/"; fi
  echo "== $name (${seconds}s)"
  ran=$((ran + 1))
  if ! "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" \
      > "$build/$name.log" 2>&1; then
    tail -n 60 "$build/$name.log"
    status=1
  fi
  rm -rf "$corpus"
done
if [ "$ran" -eq 0 ]; then echo "no fuzzers found under $build/fuzz" >&2; exit 1; fi
exit $status
