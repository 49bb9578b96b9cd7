#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the run command need.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-multimedia-dev libqt6svg6 qt6-qpa-plugins
    libgl-dev libxkbcommon-dev
    libx11-dev libxext-dev
    clang libclang-rt-14-dev
    fonts-liberation
    desktop-file-utils appstream
    dpkg-dev file lintian
    xvfb xdotool trayer openbox faketime x11-utils x11-apps x11-xserver-utils imagemagick
    xfce4-panel xfce4-notifyd dbus-daemon dbus-bin libglib2.0-bin
    at-spi2-core python3-pyatspi python3-pytest python3-dbus libxfixes3
    libical-dev libical3
    libcanberra-dev libcanberra-pulse sound-theme-freedesktop libpulse-dev
    qtkeychain-qt6-dev libsecret-1-0 radicale gnome-keyring curl openssl
    pulseaudio pulseaudio-utils sox pipewire pipewire-pulse wireplumber xterm
    procps python3 tzdata util-linux
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
