#!/usr/bin/env bash
# tools/run-app.sh with the stand-in's port already held by another program: it must refuse
# with a message and a non-zero status, and start nothing, even beside a demo's note that names
# another process. Runs in a network namespace of its
# own, so the port is free but for the program this test puts there.
#   run-app-port-taken.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
if [ "$1" != --inside ]; then
  namespace=(unshare --net)
  [ "$(id -u)" -eq 0 ] || namespace=(unshare --user --map-root-user --net)
  exec "${namespace[@]}" -- bash "$0" --inside "$@"
fi
source_dir=$2
build_dir=$3
ip link set lo up
# The demo's default port, as a fresh configuration gets it.
port=$(sed -n 's/^set(PEXMORA_STANDIN_PORT "\([0-9]*\)".*/\1/p' "$source_dir/cmake/Deployment.cmake")
/usr/bin/python3 -c '
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(); print("listening", flush=True)
time.sleep(600)' "$port" >/dev/null &
holder=$!
trap 'kill $holder 2>/dev/null || true' EXIT
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done

# A demo's note that names a stand-in which is not the program on the port (a stale note, or
# another program's) does not make it the demo's own.
runtime=$(mktemp -d)
trap 'kill $holder 2>/dev/null || true; rm -rf "$runtime"' EXIT
printf 'standin=%s\nbinary=/bin/false\napp=%s\n' $$ $$ >"$runtime/pexmora-run-app-$(id -u)-$port"

status=0
output=$(PEXMORA_APP_BUILD_DIR="$build_dir" DISPLAY= QT_QPA_PLATFORM=offscreen \
  XDG_RUNTIME_DIR="$runtime" bash "$source_dir/tools/run-app.sh" 2>&1) || status=$?
echo "$output"
if [ "$status" -eq 0 ]; then
  echo "FAIL: run-app.sh carried on with port $port taken"
  exit 1
fi
if ! grep -q "port $port on 127.0.0.1 is already in use" <<<"$output"; then
  echo "FAIL: run-app.sh failed without saying the port is taken"
  exit 1
fi
if [ -e "$build_dir/bin/pexmora" ]; then
  echo "FAIL: run-app.sh built the application before refusing"
  exit 1
fi
echo "PASS run-app-port-taken"
