#!/usr/bin/env bash
# Builds the programs and the Debian package build/velkor_<version>_<arch>.deb (or in
# $VELKOR_BUILD_DIR); install it with: sudo apt install ./build/velkor_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${VELKOR_BUILD_DIR:-build}"
VELKOR_TARGETS="velkor velkor-sample" bash scripts/build.sh
cpack --config "$dir/CPackConfig.cmake" -B "$dir" >/dev/null
ls "$dir"/velkor_*.deb
