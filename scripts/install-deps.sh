#!/usr/bin/env bash
# Installs, by Debian package name, whatever the build, the program and the tests need and is
# not there yet. Does nothing when everything is installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgpgme-dev gnupg gpg-agent
  qt6-base-dev qt6-qpa-plugins
  libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool x11-utils xauth
  fonts-dejavu-core fonts-liberation2
  rnp
  pinentry-qt  # the graphical passphrase prompt the agent shows for protected keys
  xclip        # end-to-end tests: another program on the X clipboard
  xdg-utils           # xdg-mime and xdg-open in the desktop integration test
  desktop-file-utils  # update-desktop-database after a change of associations; desktop-file-validate
  debhelper dpkg-dev  # scripts/package.sh: the Debian package
  lintian             # the package's checks
  appstream           # appstreamcli validate on the AppStream data
  man-db              # man -w on the installed manual pages
  libgtk-3-bin        # gtk-launch: the desktop's launcher starting the installed entry
  libnautilus-extension-dev  # the file managers' extension interfaces for the context-menu modules
  libthunarx-3-dev
  libnemo-extension-dev
  libcaja-extension-dev
  libkf5kio-dev  # Dolphin's file-item actions (KF5, Qt 5: that one plugin only)
  xz-utils  # unpacks the thousand-key ring of the import tests
  clang           # the fuzz targets (fuzz/run.sh)
  clang-format    # scripts/check-format.sh
  clang-tidy      # scripts/check-tidy.sh
  libclang-rt-14-dev  # libFuzzer and clang's sanitizer runtimes
  python3         # scripts/reliability-report.sh
  libx11-dev      # end-to-end tests: the pointer's cursor seen through the X server
  libxfixes-dev   # (XFixesGetCursorImage)
)

# With --desktop (the test command), also GNOME's desktop packages, so that the suite runs on the
# kind of machine Zembra's users run: Nautilus, its keyring (which makes pinentry-gnome3 the
# system's pinentry) and dbus-x11 (which lets a program without a session bus start one). The
# end-to-end tests start a session bus of their own with dbus-daemon; Thunar is the second file
# manager they drive. GNOME's compositor and Qt's Wayland platform let the window be tested in a
# Wayland session, as GNOME starts one by default.
if [ "${1:-}" = "--desktop" ]; then
  packages+=(nautilus gnome-keyring dbus-x11 dbus-daemon thunar)
  packages+=(mutter qt6-wayland)
fi

# The agent asks for passphrases through /usr/bin/pinentry; a desktop user has no terminal, so a
# terminal-only choice there is replaced by the Qt one.
use_qt_pinentry() {
  local current
  current="$(readlink -f /usr/bin/pinentry 2>/dev/null || true)"
  case "$current" in
    ""|*/pinentry-curses|*/pinentry-tty)
      if [ -x /usr/bin/pinentry-qt ] && command -v update-alternatives >/dev/null; then
        $sudo update-alternatives --quiet --set pinentry /usr/bin/pinentry-qt || true
      fi
      ;;
  esac
}

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  use_qt_pinentry
  exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
use_qt_pinentry
