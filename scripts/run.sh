#!/usr/bin/env bash
# Builds Velkor, fills ./demo with sample quotes that end today and starts the program
# there: the window where there is a display, otherwise the headless batch run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
demo="$PWD/demo"
today="$(date +%F)"
mkdir -p "$demo"
./build/velkor-sample --out "$demo/quotes" --end "$today" >/dev/null
# The demo's data folder, as the folder dialog would write it (UTF-8 with BOM, CR LF).
printf '\xEF\xBB\xBF%s/\r\n' "$demo/quotes" > "$demo/config.txt"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/velkor --workdir "$demo" "$@"
else
  exec ./build/velkor --batch --workdir "$demo" --today "$today" "$@"
fi
