#!/usr/bin/env bash
# Installs what is missing, builds the application and runs it against the local stand-in
# service (started here on its fixed demo port and stopped when the application quits).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

dir=build/app
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEXMORA_BUILD_BENCH=OFF >/dev/null
# Only what the demo runs: the application and the stand-in service.
cmake --build "$dir" -j "$(nproc)" --target pexmora standin-service

standin="$dir/tools/standin-service/standin-service"
if [ -x "$standin" ]; then
  port=$(grep -E '^PEXMORA_STANDIN_PORT:' "$dir/CMakeCache.txt" | cut -d= -f2)
  speech_port=$(grep -E '^PEXMORA_STANDIN_SPEECH_PORT:' "$dir/CMakeCache.txt" | cut -d= -f2)
  "$standin" --port "$port" --speech-port "$speech_port" &
  standin_pid=$!
  trap 'kill $standin_pid 2>/dev/null || true' EXIT
  # The application's first requests go out at once: wait until the stand-in listens.
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
fi

# The captcha page runs in Chromium, whose sandbox refuses to start as root; for this local
# demo only, it runs without it then.
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi

# Without a display (a bare server), run under a virtual one.
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  exec_prefix=(xvfb-run -a)
else
  exec_prefix=()
fi
"${exec_prefix[@]}" "$dir/bin/pexmora"
