#!/usr/bin/env bash
# Start-up time and memory to the first window, as a new user meets it: each run starts the
# application under a virtual display with a fresh home folder and reads, from the
# application's own start-up probe, when its first window reached the screen. Two cases: the
# login window (nobody signed in) and the main window (a stored login with "自动登录").
#
#   bench/startup-time.sh [-n RUNS] BINARY [OTHER_BINARY]
#
# Prints each run's milliseconds from exec to the first window, the median per case and the
# median peak resident memory of the runs (the probe quits right after the first window);
# with two binaries they run in turn (A B A B ...), so a drifting machine affects both alike.
# Then one more run per binary and case is held still at its first window (the probe's "stop")
# and shows its peak memory so far and the GL driver libraries mapped then: Mesa's GLX/EGL
# vendor libraries, libGL, the *_dri.so drivers, libglapi and libLLVM (the vendor-neutral
# dispatch libraries libGLX/libEGL/libOpenGL come with Qt's GUI library and are no driver). A
# binary whose probe cannot hold is watched while it runs instead. Exits 1 when BINARY has a
# GL driver mapped at its first window, or when any run of any binary does not end with status
# 0 (a crash on the way out is a failure, however fast the start).
set -euo pipefail

runs=7
if [ "${1:-}" = "-n" ]; then
  runs=$2
  shift 2
fi
[ $# -ge 1 ] || { echo "usage: $0 [-n RUNS] BINARY [OTHER_BINARY]" >&2; exit 2; }
binaries=("$@")
gl_drivers='libGL\.so|libGLX_[a-z]|libEGL_[a-z]|_dri\.so|libglapi|libgallium|libLLVM'

work=$(mktemp -d)
display_number=$((90 + RANDOM % 100))
Xvfb ":$display_number" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$display_number" ] && break
  sleep 0.1
done

new_home() {
  local case=$1 home
  home=$(mktemp -d "$work/home.XXXX")
  if [ "$case" = main ]; then
    mkdir -p "$home/.config/Pexmora"
    printf '{"LOGIN_TOKEN":"startup-bench-token","isAutoLogin":true}' \
      >"$home/.config/Pexmora/standard.json"
  fi
  echo "$home"
}

app_env() {
  local home=$1 probe=$2
  echo HOME="$home" PATH="$PATH" DISPLAY=":$display_number" QT_QPA_PLATFORM=xcb \
    PEXMORA_STARTUP_PROBE="$probe"
}

# One timed run: "<ms from just before exec to the first exposed window> <peak RSS in KiB>
# <exit status>" (the status as the shell gives it: 128 + N for a run ended by signal N).
run_once() {
  local binary=$1 case=$2 home start shown peak exit_status=0
  home=$(new_home "$case")
  start=$(date +%s%N)
  # shellcheck disable=SC2046 # the variables are words of their own
  env -i $(app_env "$home" 1) /usr/bin/time -f '%M' -o "$home/peak" "$binary" \
    2>"$home/stderr" >/dev/null || exit_status=$?
  # time(1) passes the program's status on, and for a program ended by a signal says so.
  if grep -q '^Command terminated by signal' "$home/peak" 2>/dev/null; then
    exit_status=$((128 + $(awk '/^Command terminated by signal/ { print $5; exit }' "$home/peak")))
  fi
  shown=$(awk '$1 == "first-window" { print $2; exit }' "$home/stderr")
  peak=$(tail -n 1 "$home/peak" 2>/dev/null || true)
  rm -rf "$home"
  if [ -z "$shown" ]; then
    echo "no-window - $exit_status"
  else
    echo "$(((shown - start) / 1000000)) ${peak:--} $exit_status"
  fi
}

# The GL driver libraries in /proc/PID/maps, one name each, space-separated.
gl_mapped() {
  { grep -oE "[^/ ]*($gl_drivers)[^/ ]*$" "/proc/$1/maps" 2>/dev/null || true; } | sort -u |
    tr '\n' ' '
}

# One held run: "held <VmHWM KiB> <exit status> <GL libraries...>" or "watched - <exit status>
# <GL libraries...>".
run_held() {
  local binary=$1 case=$2 home pid state seen="" held="" exit_status=0
  home=$(new_home "$case")
  # shellcheck disable=SC2046
  env -i $(app_env "$home" stop) "$binary" 2>"$home/stderr" >/dev/null &
  pid=$!
  for _ in $(seq 1000); do
    state=$(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null || true)
    [ -n "$state" ] && [ "$state" != Z ] || break
    seen="$seen $(gl_mapped "$pid")"
    if [ "$state" = T ]; then
      held=$(awk '$1 == "VmHWM:" { print $2 }' "/proc/$pid/status")
      seen=$(gl_mapped "$pid")
      kill -CONT "$pid"
      break
    fi
    sleep 0.01
  done
  wait "$pid" 2>/dev/null || exit_status=$?
  rm -rf "$home"
  local names
  names=$(tr ' ' '\n' <<<"$seen" | grep -v '^$' | sort -u | tr '\n' ' ' || true)
  if [ -n "$held" ]; then
    echo "held $held $exit_status $names"
  else
    echo "watched - $exit_status $names"
  fi
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else print v[int((NR + 1) / 2)] }'
}

mb() { awk -v kib="$1" 'BEGIN { if (kib ~ /^[0-9]+$/) printf "%.1f", kib / 1024; else print "-" }'; }

status=0
# A run that did not end with status 0 fails the whole measurement.
check_exit() {
  local binary=$1 case=$2 exit_status=$3
  [ "$exit_status" = 0 ] && return 0
  printf '%-5s %-50s ended with status %s\n' "$case" "$binary" "$exit_status"
  status=1
}

for case in login main; do
  declare -A times=() peaks=()
  for binary in "${binaries[@]}"; do  # warm-up
    read -r _ _ exit_status < <(run_once "$binary" "$case")
    check_exit "$binary" "$case" "$exit_status"
  done
  for _ in $(seq "$runs"); do
    for binary in "${binaries[@]}"; do
      read -r ms peak exit_status < <(run_once "$binary" "$case")
      check_exit "$binary" "$case" "$exit_status"
      times[$binary]+="$ms "
      peaks[$binary]+="$peak "
    done
  done
  for binary in "${binaries[@]}"; do
    figures=${times[$binary]}
    peak=$(tr ' ' '\n' <<<"${peaks[$binary]}" | grep -E '^[0-9]+$' | median)
    printf '%-5s %-50s median %4s ms   peak RSS median %6s MB   runs: %s\n' "$case" "$binary" \
      "$(tr ' ' '\n' <<<"$figures" | grep -E '^[0-9]+$' | median)" "$(mb "$peak")" "$figures"
  done
  for binary in "${binaries[@]}"; do
    read -r how hwm exit_status libraries < <(run_held "$binary" "$case")
    check_exit "$binary" "$case" "$exit_status"
    libraries=${libraries:-}
    if [ "$how" = held ]; then
      printf '%-5s %-50s at the first window: VmHWM %6s MB, GL driver mapped: %s\n' "$case" \
        "$binary" "$(mb "$hwm")" "${libraries:-none}"
    else
      printf '%-5s %-50s (probe cannot hold) GL driver seen while it ran: %s\n' "$case" \
        "$binary" "${libraries:-none}"
    fi
    if [ "$binary" = "${binaries[0]}" ] && { [ "$how" != held ] || [ -n "$libraries" ]; }; then
      status=1
    fi
  done
  unset times peaks
done
echo "goals: first window <= 90 ms, peak RSS to the first window <= 65 MB, no GL driver mapped," \
  "every run ends with status 0"
exit $status
