#!/usr/bin/env bash
# Builds from scratch and runs the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
export VELKOR_BUILD_DIR="${VELKOR_BUILD_DIR:-build-test}"
rm -rf "$VELKOR_BUILD_DIR"
bash scripts/build.sh
cd "$VELKOR_BUILD_DIR"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
