#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Idempotent: when everything is already installed it does nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format ccache
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-webengine-dev qt6-webchannel-dev
  qt6-websockets-dev libgl1-mesa-dev libcurl4-openssl-dev nlohmann-json3-dev libsqlite3-dev
  zlib1g-dev libssl-dev libqrencode-dev libpulse-dev pulseaudio pulseaudio-utils
  pipewire pipewire-pulse wireplumber dbus-daemon
  libsndfile1-dev nanopb libnanopb-dev protobuf-compiler libplist-dev libgtest-dev
  libgmock-dev libbenchmark-dev libcpp-httplib-dev xvfb xauth fonts-wqy-microhei
  zbar-tools libsecret-1-dev
  # The secure item store's tests run against a private desktop keyring on a bus of their own.
  gnome-keyring dbus-bin
  libsystemd-dev
  clang-14 libclang-rt-14-dev
  # The end-to-end suite on the real program: a desktop of its own, driven through the
  # accessibility bus and judged with the sound server's, the database's and libsndfile's tools.
  openbox xdotool wmctrl x11-utils imagemagick dbus dbus-x11 at-spi2-core python3 python3-pyatspi
  espeak-ng sndfile-programs sqlite3 iproute2 util-linux
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
