#!/usr/bin/env bash
# Fuzzes every target (or those named) for longer than the test run does.
#   tools/fuzz-long.sh [seconds per target, default 600] [Name ...]
# PEXMORA_FUZZ_PARALLEL targets run at once (default 3). New inputs collect in
# build/fuzz/fuzz/scratch/<Name>; a crash leaves its input as build/fuzz/fuzz/logs/crash-*
# and its report in build/fuzz/fuzz/logs/<Name>.log. Add a crashing input, once mended, to
# fuzz/corpus/<Name>/ as a regression seed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
parallel=${PEXMORA_FUZZ_PARALLEL:-3}
dir=build/fuzz

cmake -S . -B "$dir" -G Ninja -DPEXMORA_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DPEXMORA_SANITIZE=ON \
  -DPEXMORA_FUZZ=ON -DPEXMORA_BUILD_TESTS=OFF -DPEXMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target fuzz_all

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for seeds in fuzz/corpus/*/; do names+=("$(basename "$seeds")"); done
fi

export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
logs=$dir/fuzz/logs
mkdir -p "$logs"

run() {
  local name=$1 scratch=$dir/fuzz/scratch/$1
  mkdir -p "$scratch"
  if "$dir/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$logs/" "$scratch" "fuzz/corpus/$name" \
    >"$logs/$name.log" 2>&1; then
    echo "$name: ok, $(grep -a -E '^#[0-9]+.*(DONE|pulse)' "$logs/$name.log" | tail -1)"
  else
    echo "$name: FAILED, see $logs/$name.log"
    return 1
  fi
}

status=0
running=0
for name in "${names[@]}"; do
  run "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit $status
