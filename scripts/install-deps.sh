#!/usr/bin/env bash
# Installs the Debian 12 packages the viewer needs, and only those that are missing.
# Quiet when everything is already there; needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools
  libpcl-dev libvtk9-qt-dev libpcap-dev
  libbenchmark-dev libzstd-dev liblz4-dev zlib1g-dev libeigen3-dev
  libwebsocketpp-dev libasio-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libpng-dev ffmpeg python3-pil
  xvfb xauth tcpdump
  python3-open3d pcl-tools python3-numpy
  pybind11-dev python3-dev python3-dask python3-pytest parallel
  nodejs
)
# The npm packages the tests read our exports with, pinned by tests/readers/package-lock.json.
install_readers() {
  local readers=tests/readers
  if ! cmp -s "$readers/package-lock.json" "$readers/node_modules/.installed-lock.json"; then
    echo "Installing the test readers of $readers (npm ci)" >&2
    (cd "$readers" && npm ci --no-audit --no-fund --loglevel=error >/dev/null \
       && cp package-lock.json node_modules/.installed-lock.json)
  fi
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
cd "$(dirname "$0")/.."
if [ ${#missing[@]} -eq 0 ] && command -v npm >/dev/null 2>&1; then
  install_readers
  exit 0
fi
command -v npm >/dev/null 2>&1 || missing+=(npm)

echo "Installing missing packages: ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
install_readers
