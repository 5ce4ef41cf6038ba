#!/usr/bin/env bash
# Installs the packages that building, testing and running TW-CLI-UI need on
# Debian 12 or Ubuntu 24.04 (or newer), with apt-get, through sudo when not
# run as root; with --windows also what the Windows build needs, with
# --screenshots what scripts/screenshots.sh needs. Installs nothing, and
# asks for nothing, when every package is already there, so it is cheap to
# run before each build.
#
# TW_SKIP_DEPS=1 skips the whole step (other distributions, offline machines).
set -euo pipefail

packages=(
    # Build
    cmake ninja-build g++ pkg-config
    # Qt 6 Widgets and Qt Test (6.4 or newer). Qt6Gui's CMake package
    # requires the OpenGL headers (WrapOpenGL); qt6-base-dev pulls them in on
    # Debian, named here so that a slimmer packaging cannot miss them.
    qt6-base-dev qt6-base-dev-tools qt6-base-private-dev libgl-dev
    # The translations: Qt's lupdate and lrelease, and Qt's own German
    # texts (qtbase_de.qm), built into the program beside its own
    qt6-l10n-tools qt6-translations-l10n
    # X11 client headers; xcb gives the top-most placement over EWMH
    libxcb1-dev libx11-dev
    # Headless runs (the demo without a display, the X11 tests): xvfb-run
    # needs xauth, the top-most tests need a window manager, and xprop or
    # xdpyinfo help to look at a running panel.
    xvfb xauth openbox x11-utils fonts-dejavu-core fonts-liberation
    # Faster rebuilds; the plain test build is made with Clang (the
    # sanitizer build with GCC); the style checks of scripts/lint.sh
    ccache clang clang-format shellcheck
    # Checking the menu entries and the AppStream metainfo; building and
    # checking the Debian package (dpkg-shlibdeps is in dpkg-dev); closing
    # the panel's window as a user would in the package tests
    desktop-file-utils appstream dpkg-dev lintian wmctrl
    # GLib's desktop entry launcher (gio launch), which starts the
    # start-at-login entry as a GNOME session does
    libglib2.0-bin
    # A system tray on the private X server of the tray test, and a private
    # session bus for the notification test (dbus-run-session)
    trayer dbus-daemon
    # The accessibility bus (AT-SPI, started by the private session bus) and
    # its Python client, which the screen-reader test reads the panel with
    at-spi2-core python3-pyatspi
    # The panel's start and end tests: a window minimized as a user does,
    # and a session manager of their own (libSM's server side)
    xdotool libsm-dev libice-dev
    # Always On Top on a Wayland session: GNOME's compositor run headless
    # with XWayland, and Qt's Wayland platform for the panel run on Wayland
    # by the user's choice
    mutter xwayland qt6-wayland
    # The metrics tests: promtool reads the exposition text and the example
    # rules; the real Prometheus scrapes the panel-like fixture and the real
    # node_exporter its textfile; the alert delivery tests post to the real
    # Alertmanager
    prometheus prometheus-node-exporter prometheus-alertmanager
    # The webhook's https test makes its own certificate; Qt's TLS backend
    # on Linux is OpenSSL (libssl3, which openssl brings)
    openssl
)

# --windows: what the Windows build and its tests under Wine need besides.
if [[ "${1:-}" == --windows ]]; then
    packages+=(
        # The cross compiler with the posix thread model, which Qt needs
        g++-mingw-w64-x86-64-posix
        # Wine runs the 64-bit Windows programs (tests, end-to-end run)
        wine wine64
        # Unpacking and patching Debian's qt6-base source
        xz-utils patch zip
        # The end-to-end run scrapes the panel's metrics endpoint and picks
        # a free port for it; the program's icon file is made from its
        # pictures with Python too
        curl python3
        # The setup program: makensis builds it on this machine
        nsis
    )
fi

# --screenshots: what scripts/screenshots.sh needs besides.
if [[ "${1:-}" == --screenshots ]]; then
    packages+=(xdotool imagemagick)
fi

if [[ "${TW_SKIP_DEPS:-0}" == 1 ]]; then
    echo "install-deps: skipped (TW_SKIP_DEPS=1)"
    exit 0
fi

if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
    echo "install-deps: this is not a Debian or Ubuntu system (no dpkg-query/apt-get)." >&2
    echo "install-deps: install the equivalents of: ${packages[*]}" >&2
    echo "install-deps: then run again with TW_SKIP_DEPS=1." >&2
    exit 1
fi

installed() {
    [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == "install ok installed" ]]
}

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done

if ((${#missing[@]} > 0)); then
    echo "install-deps: installing ${missing[*]}"
    as_root=()
    if [[ "$(id -u)" != 0 ]]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "install-deps: not root and no sudo: install ${missing[*]} as root" >&2
            exit 1
        fi
        as_root=(sudo)
    fi
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Older releases (Ubuntu 22.04 has Qt 6.2) install fine but cannot build.
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)
qt_version=${qt_version#*:}
if ! dpkg --compare-versions "${qt_version%%+*}" ge 6.4; then
    echo "install-deps: qt6-base-dev is ${qt_version:-missing}; TW-CLI-UI needs Qt 6.4 or newer" >&2
    exit 1
fi
