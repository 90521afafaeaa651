#!/usr/bin/env bash
# Runs one scenario of the end-to-end suite on a desktop of its own: a private network
# namespace (so the ports the application was built for are free here, whatever else runs on
# the machine) and mount namespace (a scenario may give the application a small file system,
# gone with the scenario), inside a D-Bus session of its own for the accessibility bus, whose sockets go
# to a runtime folder of its own (scenarios run side by side).
#   run-scenario.sh BUILD_DIR ARTIFACTS_DIR SCENARIO
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
namespace=(unshare --net --mount)
[ "$(id -u)" -eq 0 ] || namespace=(unshare --user --map-root-user --net --mount)
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR=$runtime
rm -rf "$2"
"${namespace[@]}" -- dbus-run-session -- /usr/bin/python3 "$here/scenarios.py" "$@"
