#!/usr/bin/env bash
# Installs the Debian 12 packages Quillory needs to build, run, test, install, package and benchmark.
# Quick when everything is already there: it asks dpkg first and calls apt only for what is missing.
set -euo pipefail

packages=(
  g++ clang libclang-rt-14-dev cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libgmime-3.0-dev python3
  qt6-base-dev qt6-webengine-dev qt6-webengine-dev-tools libqt6webenginecore6-bin
  libgl-dev fonts-dejavu-core
  xvfb xauth imagemagick xdotool
  desktop-file-utils shared-mime-info man-db libxml2-utils dpkg-dev file
  mblaze procmail notmuch
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
