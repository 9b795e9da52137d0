#!/usr/bin/env bash
# Set-up, build, run and test of Keyrovia on Debian 12.
#   tools/keyrovia.sh install            install what is missing, build, install the program for
#                                        this user (menu entry, icons, ~/.local/bin/keyrovia)
#   tools/keyrovia.sh run                the same, then start the installed program
#   tools/keyrovia.sh uninstall [--purge] remove it again (--purge: the vault too, after a confirmation)
#   tools/keyrovia.sh test               install what is missing, build, run the whole test suite
#   tools/keyrovia.sh sanitize           the unit and widget tests again, under ASan and UBSan
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KEYROVIA_BUILD_DIR:-$here/build}"

packages=(
  g++ cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-websockets-dev libgl-dev
  libsqlcipher-dev libssl-dev libargon2-dev argon2 sqlcipher
  libx11-dev libxtst-dev libxkbcommon-dev
  libbenchmark-dev
  xvfb xauth xdotool x11-xserver-utils xclip openbox x11-utils
  fonts-dejavu-core
  desktop-file-utils
  gcovr clang-tidy
  chromium
  # Typing on Wayland: the virtual keyboard (libwayland-client, wayland-scanner),
  # the portal (QtDBus is in qt6-base-dev), and the desktop its tests run on;
  # Qt's Wayland plugin for the program on a desktop without XWayland
  # (tools/run-under-mutter.sh).
  libwayland-dev dbus-daemon sway foot wtype xwayland qt6-wayland
)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  # Wait for another apt or dpkg run to release its lock rather than fail.
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 \
      install -y -qq --no-install-recommends "${missing[@]}"
}

build_all() {
  local werror=OFF
  [ "${CI:-}" = "true" ] && werror=ON
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEYROVIA_WERROR="$werror"
  cmake --build "$build" -j "$(nproc)"
}

installer="$here/tools/keyrovia-install.sh"

case "${1:-}" in
  install)
    install_missing
    build_all
    "$installer" install "$build"
    ;;
  run)
    install_missing
    build_all
    "$installer" install "$build"
    exec "$("$installer" folder)/Keyrovia"
    ;;
  uninstall)
    "$installer" uninstall "${@:2}"
    ;;
  test)
    install_missing
    build_all
    cd "$build"
    ctest --output-on-failure --timeout 900 "${@:2}"
    ;;
  sanitize)
    # The unit and widget tests once more, built with AddressSanitizer and
    # UndefinedBehaviorSanitizer: any finding fails the test that made it.
    install_missing
    cmake -S "$here" -B "$build-sanitize" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKEYROVIA_SANITIZE=ON -DKEYROVIA_BUILD_BENCH=OFF
    cmake --build "$build-sanitize" -j "$(nproc)"
    cd "$build-sanitize"
    ctest --output-on-failure --timeout 900 -L '^(unit|gui)$' "${@:2}"
    ;;
  *)
    echo "usage: $0 install|run|uninstall [--purge]|test|sanitize [ctest options]" >&2
    exit 2
    ;;
esac
