#!/usr/bin/env bash
# Installs the Debian packages Vividra builds, runs and tests with; only what is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build lld pkg-config clang-format clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-image-formats-plugins libgl1-mesa-dev libxkbcommon-dev
    libopenjp2-7-dev libheif-dev liblcms2-dev libexiv2-dev libxcb1-dev libgif-dev libjpeg62-turbo-dev libtbb-dev libzip-dev
    libopencv-imgproc-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libgs-common xvfb xdotool x11-apps x11-utils imagemagick openbox wmctrl fontconfig fonts-dejavu-core fonts-urw-base35
    file dpkg-dev desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
    # A package that has no candidate on this release is simply skipped below.
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
available=()
for p in "${missing[@]}"; do
    if apt-cache show "$p" >/dev/null 2>&1; then available+=("$p"); fi
done
[ ${#available[@]} -eq 0 ] && exit 0
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${available[@]}"
