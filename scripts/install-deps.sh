#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and benchmark.
# Idempotent: packages already present are left alone. Needs root (or sudo).
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config ccache clang lld libclang-rt-14-dev
  # libraries
  libcurl4-openssl-dev libjsoncpp-dev libglib2.0-dev libgtk-3-dev libpugixml-dev libzip-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # test servers and tools
  nginx-light dnsmasq-base openssl iproute2 python3 procps psmisc
  # picture and real-window tests
  xvfb xdotool imagemagick fonts-noto-cjk zip
  # skin artwork (scripts/render-skin.sh)
  librsvg2-bin
  # benchmark peers
  aria2 curl time
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# Services that packages would start on install are not wanted: tests start their own servers.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
  $SUDO chmod +x /usr/sbin/policy-rc.d
  trap '$SUDO rm -f /usr/sbin/policy-rc.d' EXIT
fi
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
