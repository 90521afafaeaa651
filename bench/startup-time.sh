#!/usr/bin/env bash
# Start-up time to the first window, as a new user meets it: each run starts the application
# under a virtual display with a fresh home folder and reads, from the application's own
# start-up probe, when its first window reached the screen. Two cases: the login window
# (nobody signed in) and the main window (a stored login with "自动登录").
#
#   bench/startup-time.sh [-n RUNS] BINARY [OTHER_BINARY]
#
# Prints each run's milliseconds from exec to the first window and the median per case; with
# two binaries they run in turn (A B A B ...), so a drifting machine affects both alike.
set -euo pipefail

runs=7
if [ "${1:-}" = "-n" ]; then
  runs=$2
  shift 2
fi
[ $# -ge 1 ] || { echo "usage: $0 [-n RUNS] BINARY [OTHER_BINARY]" >&2; exit 2; }
binaries=("$@")

work=$(mktemp -d)
display_number=$((90 + RANDOM % 100))
Xvfb ":$display_number" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$display_number" ] && break
  sleep 0.1
done

# One run: a fresh home (with the stored login for the main window), then the time from
# just before exec to the first exposed window, in milliseconds.
run_once() {
  local binary=$1 case=$2
  local home
  home=$(mktemp -d "$work/home.XXXX")
  if [ "$case" = main ]; then
    mkdir -p "$home/.config/Pexmora"
    printf '{"LOGIN_TOKEN":"startup-bench-token","isAutoLogin":true}' \
      >"$home/.config/Pexmora/standard.json"
  fi
  local start
  start=$(date +%s%N)
  env -i HOME="$home" PATH="$PATH" DISPLAY=":$display_number" QT_QPA_PLATFORM=xcb \
    PEXMORA_STARTUP_PROBE=1 "$binary" 2>"$home/stderr" >/dev/null || true
  local shown
  shown=$(awk '$1 == "first-window" { print $2; exit }' "$home/stderr")
  rm -rf "$home"
  if [ -z "$shown" ]; then
    echo "no window"
  else
    echo $(((shown - start) / 1000000))
  fi
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else print v[int((NR + 1) / 2)] }'
}

for case in login main; do
  declare -A results=()
  for binary in "${binaries[@]}"; do run_once "$binary" "$case" >/dev/null; done  # warm-up
  for _ in $(seq "$runs"); do
    for binary in "${binaries[@]}"; do
      results[$binary]+="$(run_once "$binary" "$case") "
    done
  done
  for binary in "${binaries[@]}"; do
    figures=${results[$binary]}
    printf '%-5s %-50s median %4s ms   runs: %s\n' "$case" "$binary" \
      "$(tr ' ' '\n' <<<"$figures" | grep -E '^[0-9]+$' | median)" "$figures"
  done
  unset results
done
