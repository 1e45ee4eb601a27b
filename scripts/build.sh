#!/usr/bin/env bash
# Installs what is missing and builds into build/ (or $VELKOR_BUILD_DIR): every target, or
# only those named in $VELKOR_TARGETS (separated by spaces).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
dir="${VELKOR_BUILD_DIR:-build}"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
targets=()
for t in ${VELKOR_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" -j2 "${targets[@]}"
