#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when any is missing.
# As root it uses apt-get directly, otherwise sudo; where neither works it names the packages
# and stops.
set -euo pipefail

packages=(
    build-essential cmake ninja-build qt6-base-dev qt6-base-dev-tools libgl-dev
    shared-mime-info fonts-liberation
    xvfb xauth xdotool x11-utils imagemagick strace openbox wmctrl python3-xlib
    fuse3 libfuse3-dev pkg-config
    dosfstools fusefat exfatprogs exfat-fuse ntfs-3g btrfs-progs xfsprogs
    dbus at-spi2-core python3-pyatspi
    desktop-file-utils dpkg-dev file
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    run=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    run=(sudo)
else
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them as root: apt-get install ${missing[*]}" >&2
    exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${run[@]}" apt-get update -qq
"${run[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
