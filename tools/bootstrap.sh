#!/usr/bin/env bash
# Installs what Corvane needs to build, run and test on Debian 12 / Ubuntu (apt-get, with
# sudo when not root); packages already present are left alone.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-dev
  qt6-base-dev libgl-dev libxcb1-dev libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation xvfb xauth trayer xdotool x11-utils imagemagick
  iproute2 iputils-ping xdg-utils dbus-x11
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
