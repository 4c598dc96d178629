#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the tests need
# (as root). Asks apt only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev googletest
    libjpeg62-turbo-dev libfontconfig-dev
    netbase iproute2 util-linux net-tools
    xvfb xauth x11-apps xdotool imagemagick fonts-dejavu-core fonts-liberation
    valgrind xdg-utils ccache desktop-file-utils appstream time
    clang libclang-rt-14-dev
    snmpd snmp libsnmp-dev
    libsqlite3-dev sqlite3 qt6-charts-dev qtkeychain-qt6-dev dbus-daemon pkexec polkitd
    gnome-keyring libsecret-1-0 libxml2-utils
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages need root: run as root, or: sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q "${missing[@]}"
fi
