#!/usr/bin/env bash
# Set-up, build, run and test of Keyrovia on Debian 12.
#   tools/keyrovia.sh install            install what is missing, build, install the program for
#                                        this user (menu entry, icons, ~/.local/bin/keyrovia)
#   tools/keyrovia.sh run                the same, then start the installed program
#   tools/keyrovia.sh uninstall [--purge] remove it again (--purge: the vault too, after a confirmation)
#   tools/keyrovia.sh test               install what is missing, build, run the whole test suite
#   tools/keyrovia.sh sanitize           the unit and widget tests again, under ASan and UBSan
#   tools/keyrovia.sh package            build the Debian package (build-package/keyrovia_<version>-1_<arch>.deb),
#                                        check it with lintian, print its path last
#   tools/keyrovia.sh package-test       build it, then install, use and remove it in a clean
#                                        Debian 12 root (tests/package/e2e-deb.sh; root, mirror)
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
  # the portal (QtDBus is in qt6-base-dev), and the desktop its tests run on.
  libwayland-dev dbus-daemon sway foot wtype xwayland
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

# Debian's packaging tools; the build dependencies themselves come from debian/control.
package_tools=(dpkg-dev debhelper lintian appstream desktop-file-utils)

build_package() {
  packages=("${package_tools[@]}")
  install_missing
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
  package)
    build_package
    ;;
  package-test)
    packages=(mmdebstrap)
    install_missing
    deb="$(build_package)"
    # 77: no Debian root could be made here (not root, no mirror); the script says so.
    "$here/tests/package/e2e-deb.sh" "$deb" || [ $? -eq 77 ]
    ;;
  *)
    echo "usage: $0 install|run|uninstall [--purge]|test|sanitize [ctest options]|package|package-test" >&2
    exit 2
    ;;
esac
