#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz, or VELKOR_FUZZ_BUILD_DIR) and runs
# each for DURATION seconds (default 60), one after the other, starting from the seed corpus
# in tests/fuzz/corpus/<target>. New inputs go to a work corpus beside the build; a crash
# leaves its input as crash-* in tests/fuzz/findings/<target>/.
#   bash tests/fuzz/run.sh [DURATION] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/../.."
duration="${1:-60}"
shift || true
build="${VELKOR_FUZZ_BUILD_DIR:-build-fuzz}"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

bash scripts/install-deps.sh --fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_FUZZ=ON \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

status=0
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  findings="tests/fuzz/findings/$t"
  mkdir -p "$work" "$findings"
  echo "== $t: ${duration}s"
  if ! ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
       "$build/$t" -max_total_time="$duration" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
       -artifact_prefix="$findings/" "$work" "tests/fuzz/corpus/$t"; then
    echo "== $t: FAILED (input kept in $findings/)"
    status=1
  fi
done
exit $status
