#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: a normal build with
# warnings as errors, whose sound tests run on a private PulseAudio server and again on a private
# PipeWire stack, and one with AddressSanitizer + UndefinedBehaviorSanitizer (PulseAudio only). A third
# configuration builds only the fuzz targets with clang and libFuzzer and runs each over its
# seeds plus a few seconds of fuzzing (tools/fuzz-long.sh fuzzes for longer). A fourth builds
# with ThreadSanitizer only the test programs of the concurrent parts (target tsan_tests, label
# tsan) and runs them. Every bench program runs briefly as a smoke test (label bench). After each
# configuration's tests, the reason of every skipped test is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

export QT_QPA_PLATFORM=offscreen
# Chromium (the captcha page) refuses to run as root with its sandbox on; tests only.
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
jobs=$(nproc)

# Named configurations; PEXMORA_TEST_CONFIGS picks some by name ("fuzz") or gives
# "name:flags" entries of its own.
declare -A presets=(
  [release]="-DCMAKE_BUILD_TYPE=RelWithDebInfo"
  [sanitize]="-DCMAKE_BUILD_TYPE=Debug -DPEXMORA_SANITIZE=ON -DPEXMORA_PIPEWIRE_TESTS=OFF"
  [fuzz]="-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DPEXMORA_SANITIZE=ON -DPEXMORA_FUZZ=ON -DPEXMORA_BUILD_TESTS=OFF -DPEXMORA_BUILD_BENCH=OFF"
  [tsan]="-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEXMORA_TSAN=ON -DPEXMORA_BUILD_BENCH=OFF -DPEXMORA_PIPEWIRE_TESTS=OFF"
)
configs=(release sanitize fuzz tsan)
[ -n "${PEXMORA_TEST_CONFIGS:-}" ] && read -r -a configs <<<"$PEXMORA_TEST_CONFIGS"

status=0
for entry in "${configs[@]}"; do
  if [[ $entry == *:* ]]; then
    name=${entry%%:*}
    flags=${entry#*:}
  else
    name=$entry
    flags=${presets[$name]:?"unknown configuration $name"}
  fi
  dir=build/$name
  echo "=== $name: configure and build"
  # shellcheck disable=SC2086
  cmake -S . -B "$dir" -G Ninja -DPEXMORA_WERROR=ON $flags >/dev/null
  target=()
  selection=()
  [[ $flags == *-DPEXMORA_FUZZ=ON* ]] && target=(--target fuzz_all)
  if [[ $flags == *-DPEXMORA_TSAN=ON* ]]; then
    target=(--target tsan_tests)
    selection=(-L tsan)
  fi
  cmake --build "$dir" -j "$jobs" "${target[@]}"
  echo "=== $name: test"
  if [ -x "$dir/tools/gallery/gallery" ]; then
    "$dir/tools/gallery/gallery" "$dir/gallery" >/dev/null || status=1
  fi
  # ctest names the skipped tests but not why; their reasons follow its summary.
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600 "${selection[@]}") 2>&1 |
    tee "$dir/ctest-output.log" || status=1
  python3 tools/skipped-tests.py "$dir" "$dir/ctest-output.log" || status=1
done
exit $status
