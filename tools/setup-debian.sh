#!/usr/bin/env bash
# Installs what building, running and testing Sorvil needs on Debian 12.
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config liballegro4-dev libgtest-dev libgmock-dev googletest
          libbenchmark-dev lame twolame ffmpeg python3 clang xvfb xauth)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
