#!/usr/bin/env bash
# Installs what Sitedex needs on a Debian machine (only what is missing), then configures and builds.
# Usage: scripts/setup.sh [build-dir]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}

packages=(build-essential cmake ninja-build ccache pkg-config qt6-base-dev libgl1-mesa-dev
          libboost-context-dev libgtest-dev libgmock-dev googletest libbenchmark-dev libsqlite3-dev
          xvfb xauth xclip fonts-liberation poppler-utils
          desktop-file-utils appstream man-db dpkg-dev lintian
          tidy buku python3)  # tidy, buku, python3: peers that read the export's output in the tests
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    # A package run that was cut short leaves dpkg refusing every install until it is finished.
    DEBIAN_FRONTEND=noninteractive $sudo dpkg --configure -a
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/sitedex-ccache}
# Paths relative to the checkout, so that a fresh clone in another folder finds what an earlier
# build compiled.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$here} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j "$(nproc)"
