#!/usr/bin/env bash
# Installs what is missing, builds the application and runs it against the local stand-in
# service (started here on its fixed demo port and stopped when the application quits).
# Started again while its own demo runs, it hands over to the running application, whose
# window comes to the front, and returns.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

demo_targets=(pexmora standin-service speech-sample)

# The demo builds in the test command's normal build folder, with the same settings as
# tools/run-tests.sh's release configuration, so that either command reuses what the other
# built. A folder that is configured already keeps its settings (the build step below
# configures it again when the project's build files changed); so a second start while the
# demo runs leaves its folder alone.
dir=${PEXMORA_APP_BUILD_DIR:-build/release}
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -G Ninja -DPEXMORA_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
port=$(grep -E '^PEXMORA_STANDIN_PORT:' "$dir/CMakeCache.txt" | cut -d= -f2)
speech_port=$(grep -E '^PEXMORA_STANDIN_SPEECH_PORT:' "$dir/CMakeCache.txt" | cut -d= -f2)

# A running demo notes its stand-in and its application here; the file goes when it ends.
runtime=${XDG_RUNTIME_DIR:-}
[ -n "$runtime" ] && [ -d "$runtime" ] || runtime=${TMPDIR:-/tmp}
run_file="$runtime/pexmora-run-app-$(id -u)-$port"

port_taken() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# The process that listens on 127.0.0.1:$1, when it is the user's own.
listener_of() {
  ss -Hltnp "sport = :$1" 2>/dev/null | grep -o 'pid=[0-9]*' | head -n 1 | cut -d= -f2
}

# Whether both ports are held by the stand-in of this script's own demo, as its run file says.
demo_runs() {
  local standin
  [ -f "$run_file" ] || return 1
  standin=$(sed -n 's/^standin=//p' "$run_file")
  [ -n "$standin" ] && [ "$(listener_of "$port")" = "$standin" ] &&
    [ "$(listener_of "$speech_port")" = "$standin" ]
}

# Another start of the application finds the running one and has its window come to the
# front. A run that has just started its stand-in may not have its application listening for
# such starts yet: that is waited for.
hand_over() {
  local app binary
  binary=$(sed -n 's/^binary=//p' "$run_file")
  echo "run-app: the demo already runs (its stand-in listens on 127.0.0.1:$port);" \
    "bringing its window to the front"
  for _ in $(seq 300); do
    app=$(sed -n 's/^app=//p' "$run_file" 2>/dev/null)
    if [ -n "$app" ] && ss -Hxlp 2>/dev/null | grep -q 'pexmora-[0-9a-f]\{16\} .*"pexmora"'; then
      break
    fi
    sleep 0.1
  done
  # Without a display the running demo is on a virtual one; this start only passes the word.
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
  fi
  "${binary:-$dir/bin/pexmora}"
  exit 0
}

# The application's hosts are fixed to these ports when it is built: with another program
# listening there it would talk to that program, so the demo refuses to start (before the
# build, which may take a while).
for taken in "$port" "$speech_port"; do
  if port_taken "$taken"; then
    if demo_runs; then hand_over; fi
    echo "run-app: port $taken on 127.0.0.1 is already in use (another stand-in or program);" \
      "stop it, or configure $dir with other PEXMORA_STANDIN_PORT / PEXMORA_STANDIN_SPEECH_PORT" >&2
    exit 1
  fi
done
# Only what the demo runs: the application and the stand-in service.
cmake --build "$dir" -j "$(nproc)" --target "${demo_targets[@]}"

cleanup() {
  local helpers=(${speaker_loop:-} ${microphone_loop:-} ${pulse_pid:-} ${standin_pid:-})
  for pid in "${helpers[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  # The command returns once the sound server and the stand-in have really gone, and the
  # server's folder is removed only after it stopped writing there.
  for pid in "${helpers[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  if [ -n "${pulse_dir:-}" ]; then rm -rf "$pulse_dir"; fi
  if [ -n "${wrote_run_file:-}" ]; then rm -f "$run_file"; fi
}
trap cleanup EXIT

standin="$dir/tools/standin-service/standin-service"
if [ -x "$standin" ]; then
  "$standin" --port "$port" --speech-port "$speech_port" &
  standin_pid=$!
  # The application's first requests go out at once: wait until the stand-in listens. A
  # stand-in that could not bind ends at once; carrying on would leave the ports to whoever
  # takes them.
  listening=
  for _ in $(seq 50); do
    if ! kill -0 "$standin_pid" 2>/dev/null; then break; fi
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null &&
      (exec 3<>"/dev/tcp/127.0.0.1/$speech_port") 2>/dev/null; then
      listening=1
      break
    fi
    sleep 0.1
  done
  if [ -z "$listening" ] || ! kill -0 "$standin_pid" 2>/dev/null; then
    echo "run-app: the stand-in service could not listen on 127.0.0.1:$port and :$speech_port" >&2
    exit 1
  fi
  printf 'standin=%s\nbinary=%s\n' "$standin_pid" "$(cd "$dir" && pwd)/bin/pexmora" >"$run_file"
  wrote_run_file=1
fi

# Without a running sound server (a bare machine), start a private one with the devices of an
# interview machine — speakers and a microphone — and play a short speech-like sample in a loop
# on the speakers and into the microphone, so a session has something to hear in either audio
# mode. The loopback "velqoOutput 2ch" is not there: as on a user's machine, the application
# offers to create it when a session with system sound starts. On a desktop the user's own
# server is used as it is.
if ! pactl info >/dev/null 2>&1; then
  pulse_dir=$(mktemp -d)
  mkdir -p "$pulse_dir/runtime" "$pulse_dir/state" "$pulse_dir/home"
  {
    echo "load-module module-native-protocol-unix socket=$pulse_dir/native auth-anonymous=1"
    echo "load-module module-null-sink sink_name=speakers sink_properties=device.description=Speakers"
    echo "load-module module-null-sink sink_name=demo_mic sink_properties=\"device.description='Demo Microphone'\""
    echo "set-default-sink speakers"
    echo "set-default-source demo_mic.monitor"
  } >"$pulse_dir/server.pa"
  export PULSE_SERVER="unix:$pulse_dir/native" PULSE_COOKIE="$pulse_dir/cookie"
  HOME="$pulse_dir/home" XDG_RUNTIME_DIR="$pulse_dir/runtime" XDG_CONFIG_HOME="$pulse_dir/home" \
    PULSE_RUNTIME_PATH="$pulse_dir/runtime" PULSE_STATE_PATH="$pulse_dir/state" \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --system=no --use-pid-file=no \
    --realtime=no --high-priority=no --log-target=stderr --log-level=error \
    -F "$pulse_dir/server.pa" 2>"$pulse_dir/server.log" &
  pulse_pid=$!
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  "$dir/tools/demo-sound/speech-sample" "$pulse_dir/sample.wav"
  (while :; do paplay "$pulse_dir/sample.wav" || sleep 1; done) >/dev/null 2>&1 &
  speaker_loop=$!
  (while :; do paplay -d demo_mic "$pulse_dir/sample.wav" || sleep 1; done) >/dev/null 2>&1 &
  microphone_loop=$!
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
# In the foreground, so that Ctrl+C reaches it; its process is noted for a second start.
(
  if [ -n "${wrote_run_file:-}" ]; then echo "app=$BASHPID" >>"$run_file"; fi
  exec "${exec_prefix[@]}" "$dir/bin/pexmora"
)
