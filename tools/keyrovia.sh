#!/usr/bin/env bash
# Set-up, build, run and test of Keyrovia on Debian 12.
#   tools/keyrovia.sh install            install the build and run-time packages that are missing,
#                                        build the program alone (build-program/), install it for
#                                        this user (menu entry, icons, ~/.local/bin/keyrovia)
#   tools/keyrovia.sh run                the same, then start the installed program
#   tools/keyrovia.sh uninstall [--purge] remove it again (--purge: the vault too, after a confirmation)
#   tools/keyrovia.sh test               the same packages and the test tools, build everything
#                                        (build/), run the whole test suite
#   tools/keyrovia.sh sanitize           the unit and widget tests again, under ASan and UBSan
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KEYROVIA_BUILD_DIR:-$here/build}"

# What building and running the program needs: the compiler and build tools, Qt, the vault's
# engine and key derivation, X11 and Wayland typing (wayland-scanner comes with libwayland-dev),
# and desktop-file-validate for the menu entry the install writes.
packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlcipher-dev libssl-dev libargon2-dev
  libx11-dev libxtst-dev libxkbcommon-dev libwayland-dev
  desktop-file-utils
)
# What the tests, benchmarks and checks need on top of that.
test_packages=(
  git qt6-websockets-dev libbenchmark-dev argon2 sqlcipher
  xvfb xauth xdotool x11-xserver-utils xclip openbox x11-utils
  fonts-dejavu-core
  gcovr clang-tidy
  chromium
  # Typing on Wayland: the portal's bus and the desktop its tests run on; Qt's Wayland
  # plugin for the program on a desktop without XWayland (tools/run-under-mutter.sh).
  dbus-daemon sway foot wtype xwayland qt6-wayland
)
# What a user runs and the install copies; nothing else is built for them.
program_targets=(Keyrovia keyrovia-companion keyrovia-browser-extension keyrovia-makedb keyrovia_icon
  keyrovia_theme_icons)
# The program's own build, apart from the test build so that neither undoes the other's settings.
program_build="${KEYROVIA_PROGRAM_BUILD_DIR:-$here/build-program}"

install_missing() { # package...
  local missing=() installed
  # One query for all of them: a second install spends its time on nothing else.
  installed=$'\n'"$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "$@" 2>/dev/null || true)"$'\n'
  for p in "$@"; do
    case "$installed" in *$'\n'"$p installed"$'\n'*) ;; *) missing+=("$p") ;; esac
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Paquets à installer : ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  # Wait for another apt or dpkg run to release its lock rather than fail.
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 \
      install -y -qq --no-install-recommends "${missing[@]}"
}

werror() { if [ "${CI:-}" = "true" ]; then echo ON; else echo OFF; fi; }

build_all() {
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEYROVIA_WERROR="$(werror)"
  cmake --build "$build" -j "$(nproc)"
}

# Only the program's targets, tests and benchmarks off: a second run finds nothing to do.
build_program() {
  cmake -S "$here" -B "$program_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKEYROVIA_WERROR="$(werror)" -DKEYROVIA_BUILD_TESTS=OFF -DKEYROVIA_BUILD_BENCH=OFF >/dev/null
  cmake --build "$program_build" -j "$(nproc)" --target "${program_targets[@]}"
}

installer="$here/tools/keyrovia-install.sh"

case "${1:-}" in
  install)
    install_missing "${packages[@]}"
    build_program
    "$installer" install "$program_build"
    ;;
  run)
    install_missing "${packages[@]}"
    build_program
    "$installer" install "$program_build"
    exec "$("$installer" folder)/Keyrovia"
    ;;
  uninstall)
    "$installer" uninstall "${@:2}"
    ;;
  test)
    install_missing "${packages[@]}" "${test_packages[@]}"
    build_all
    cd "$build"
    ctest --output-on-failure --timeout 900 "${@:2}"
    ;;
  sanitize)
    # The unit and widget tests once more, built with AddressSanitizer and
    # UndefinedBehaviorSanitizer: any finding fails the test that made it.
    install_missing "${packages[@]}" "${test_packages[@]}"
    cmake -S "$here" -B "$build-sanitize" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKEYROVIA_SANITIZE=ON -DKEYROVIA_BUILD_BENCH=OFF
    cmake --build "$build-sanitize" -j "$(nproc)"
    cd "$build-sanitize"
    ctest --output-on-failure --timeout 900 -L '^(unit|gui)$' "${@:2}"
    ;;
  *)
    echo "utilisation : $0 install|run|uninstall [--purge]|test|sanitize [options de ctest]" >&2
    exit 2
    ;;
esac
