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
#   tools/keyrovia.sh package            build the Debian package (build-package/keyrovia_<version>-1_<arch>.deb),
#                                        check it with lintian, print its path last
#   tools/keyrovia.sh package-test       build it, then install, use and remove it in a clean
#                                        Debian 12 root (tests/package/e2e-deb.sh; root, mirror)
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

# Debian's packaging tools; the build dependencies themselves come from debian/control.
package_tools=(dpkg-dev debhelper lintian appstream desktop-file-utils)

build_package() {
  install_missing "${package_tools[@]}"
  local version
  version="$(sed -n 's/^project(Keyrovia VERSION \([0-9.]*\) .*/\1/p' "$here/CMakeLists.txt")"
  if [ "$(dpkg-parsechangelog -l "$here/debian/changelog" -S Version)" != "$version-1" ]; then
    echo "debian/changelog does not start with version $version-1 (CMakeLists.txt): add an entry (dch -v $version-1)" >&2
    exit 1
  fi
  if ! (cd "$here" && dpkg-checkbuilddeps >/dev/null 2>&1); then
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    (cd "$here" && "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 \
        build-dep -y -qq --no-install-recommends ./)
  fi
  # dpkg-buildpackage writes beside the source folder: build a copy, so that the
  # package and its by-products stay in one folder out of the tree.
  local out="${KEYROVIA_PACKAGE_DIR:-$here/build-package}"
  local src="$out/keyrovia-$version"
  rm -rf -- "$src" && mkdir -p -- "$src"
  tar -C "$here" --exclude=./.git --exclude='./build*' --exclude=./.cache -cf - . | tar -C "$src" -xf -
  # debhelper gives the build a HOME of its own: keep using this user's compiler cache.
  if command -v ccache >/dev/null; then
    CCACHE_DIR="$(ccache -k cache_dir)" CCACHE_BASEDIR="$(ccache -k base_dir)"
    export CCACHE_DIR CCACHE_BASEDIR
  fi
  (cd "$src" && dpkg-buildpackage -us -uc -b >&2)
  local deb
  deb="$out/keyrovia_${version}-1_$(dpkg-architecture -qDEB_HOST_ARCH).deb"
  lintian --fail-on error --info "$deb" >&2
  echo "$deb"
}

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
  package)
    build_package
    ;;
  package-test)
    install_missing mmdebstrap
    deb="$(build_package)"
    # 77: no Debian root could be made here (not root, no mirror); the script says so.
    "$here/tests/package/e2e-deb.sh" "$deb" || [ $? -eq 77 ]
    ;;
  *)
    echo "utilisation : $0 install|run|uninstall [--purge]|test|sanitize [options de ctest]|package|package-test" >&2
    exit 2
    ;;
esac
