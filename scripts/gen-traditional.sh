#!/usr/bin/env bash
# Generates the Traditional-Chinese (Hong Kong) string tables from the simplified ones with
# OpenCC. Run after editing res/strings/*.txt and commit the result.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
command -v opencc >/dev/null || { echo "opencc is not installed (apt-get install opencc)" >&2; exit 1; }
rm -f "$root"/res/strings-hk/*.txt
for f in "$root"/res/strings/*.txt; do
  opencc -c s2hk.json -i "$f" -o "$root/res/strings-hk/$(basename "$f")"
done
