#!/usr/bin/env bash
# Installs what Corvane needs on Debian 12 / Ubuntu (apt-get, with sudo when not root);
# packages already present are left alone.
#
#   tools/bootstrap.sh          what building and running the program need
#   tools/bootstrap.sh --test   that, and everything the tests, benchmarks, sanitizer and
#                               fuzz builds, the package check and the screenshot use
set -euo pipefail

# Building and running, and making the Debian package (CPack looks at the binary with file).
run_packages=(
  build-essential cmake ninja-build pkg-config file
  qt6-base-dev libgl-dev libxcb1-dev
  fonts-liberation xdg-utils
)
# Tests, benchmarks, fuzzing, the package check and tools/screenshot.sh.
test_packages=(
  clang clang-format libclang-rt-dev libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth trayer xdotool x11-utils imagemagick
  iproute2 iputils-ping dbus-x11 python3 locales
  openbox kwin-x11 x11-xserver-utils dbus-daemon libglib2.0-bin haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils
  dpkg-dev fakeroot lintian desktop-file-utils appstream
)

packages=("${run_packages[@]}")
case "${1:-}" in
  "") ;;
  --test) packages+=("${test_packages[@]}") ;;
  *) echo "usage: $0 [--test]" >&2; exit 2 ;;
esac

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
