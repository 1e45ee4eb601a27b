#!/usr/bin/env bash
# Installs what is missing and builds every target into build/ (or $VELKOR_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
dir="${VELKOR_BUILD_DIR:-build}"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j2
