#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need, if any are missing.
# As root it runs apt-get itself, otherwise through sudo; without either it prints the command and fails.
set -euo pipefail

packages=(
    cmake g++ pkg-config ninja-build make
    qt6-base-dev qt6-serialport-dev libqt6serialport6 qt6-tools-dev qt6-l10n-tools libmodbus-dev
    libxcb1-dev libpcap-dev
    xvfb xauth xdotool imagemagick x11-utils
    fonts-noto-cjk fonts-arphic-uming fonts-dejavu-core fonts-dejavu-extra
    socat tshark mbpoll clang-format clang libclang-rt-14-dev
    dpkg-dev desktop-file-utils appstream man-db groff-base
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

cmd=(apt-get install -y --no-install-recommends "${missing[@]}")
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    sudo=(sudo)
else
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with:  sudo apt-get update && sudo ${cmd[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive "${cmd[@]}" -qq
