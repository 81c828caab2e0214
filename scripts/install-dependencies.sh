#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Further packages may be named as arguments (the screenshots want a Japanese font).
# Idempotent: packages already present are left alone, and the package lists
# are refreshed only when something is missing.
set -euo pipefail

packages=(
  "$@"
  cmake ninja-build g++ pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  libgtest-dev libgmock-dev googletest
  locales iproute2 netcat-openbsd
  dbus dbus-daemon python3 python3-dbusmock
  xvfb at-spi2-core python3-pyatspi
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=""
if ((EUID != 0)); then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
