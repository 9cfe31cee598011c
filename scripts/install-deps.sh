#!/usr/bin/env bash
# Installs, with apt-get, whatever the build, the tests and the demo need and this
# Debian 12 machine does not have yet. Does nothing when everything is present.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
    libqt6sql6-sqlite libqt6svg6 libgl1-mesa-dev
    libcurl4-openssl-dev libssl-dev curl libicu-dev
    python3 python3-pyftpdlib
    xvfb xauth imagemagick
    desktop-file-utils appstream dpkg-dev file
)
if [ "${PELORIN_WITH_CLANG:-0}" = 1 ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
