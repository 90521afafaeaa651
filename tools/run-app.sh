#!/usr/bin/env bash
# Installs what is missing, builds the application and runs it against the local stand-in
# service (started here on its fixed demo port and stopped when the application quits).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

dir=build/app
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEXMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"

standin="$dir/tools/standin-service/standin-service"
if [ -x "$standin" ]; then
  port=$(grep -E '^PEXMORA_STANDIN_PORT:' "$dir/CMakeCache.txt" | cut -d= -f2)
  "$standin" --port "$port" &
  standin_pid=$!
  trap 'kill $standin_pid 2>/dev/null || true' EXIT
fi

# Without a display (a bare server), run under a virtual one.
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  exec_prefix=(xvfb-run -a)
else
  exec_prefix=()
fi
"${exec_prefix[@]}" "$dir/bin/pexmora"
