#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Tavel needs.
# Safe to run again; needs root (or sudo).
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang-format
  # rendering: GL/EGL through libepoxy, Mesa's llvmpipe for machines without a GPU
  libepoxy-dev libegl-dev libgl-dev libegl-mesa0 libglx-mesa0 libgl1-mesa-dri
  # data and images
  nlohmann-json3-dev libpng-dev
  # the event loop, X11 and D-Bus
  libasio-dev libsdbus-c++-dev libsdbus-c++-bin libsystemd-dev
  libx11-dev libxrandr-dev libxss-dev libxext-dev libxi-dev libxfixes-dev
  # the desktop program's icons drawn over the effect (Composite, Damage)
  libxcomposite-dev libxdamage-dev
  # Wayland: the client and EGL window libraries, wayland-scanner and the protocols
  libwayland-dev libwayland-egl-backend-dev wayland-protocols plasma-wayland-protocols
  # movie export: FFmpeg's muxer, encoders (libx265 comes with libavcodec) and scaler
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  # the gallery window: GLFW, Dear ImGui, the desktop's fonts through fontconfig and FreeType
  libglfw3-dev libimgui-dev libfontconfig-dev libfreetype-dev fonts-dejavu-core
  # the manual pages (scdoc to roff)
  scdoc
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev glslang-tools
  # the fuzz targets: clang with libFuzzer and its sanitizer runtimes (the asan preset
  # uses gcc's, which come with build-essential)
  clang libclang-rt-dev
  # the installed tree's checks: desktop entries, AppStream metainfo, manual pages
  desktop-file-utils appstream man-db
  ffmpeg
  xvfb xdotool x11-utils x11-xserver-utils dbus-daemon dbus
  # a real headless Wayland compositor, its screenshots and a virtual keyboard
  sway grim wtype
  # a login's parts of a sway session: Xwayland (with $DISPLAY), the background program
  # and the bar with its tray (a status notifier host and watcher)
  xwayland swaybg waybar
  # the GNOME desktop picture's setter against the real gsettings and its schema
  libglib2.0-bin gsettings-desktop-schemas
  # a real compositing manager and window manager for the X11 coverage tests
  picom openbox
  # real X11 desktops as their logins start them, for the desktop tests: XFCE (xfwm4, its
  # panel, xfdesktop, and Thunar, through which xfdesktop opens what is double-clicked),
  # GNOME on Xorg with its desktop-icons extension, MATE's marco (with the settings
  # schemas it needs) and caja; gvfs keeps a launcher's "trusted" mark; the X-Resource
  # library tells the tests which program made a window
  xfwm4 xfce4-panel xfdesktop4 xfconf thunar
  gnome-shell gnome-shell-extension-desktop-icons-ng
  marco mate-settings-daemon-common caja
  gvfs-daemons libxres-dev
  # a KDE Plasma session for the wallpaper plugin's tests: KWin with Xwayland, plasmashell
  # with the desktop shell package (plasma-desktop), the activity and kded daemons it
  # needs, Qt's Wayland platform for its programs, and spectacle for screenshots
  kwin-wayland plasma-workspace plasma-desktop kactivitymanagerd kded5 qtwayland5
  kde-spectacle
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo > /dev/null; then
    echo "install-deps.sh: run it as root (sudo is not installed)" >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${packages[@]}"
