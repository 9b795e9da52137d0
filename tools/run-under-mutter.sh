#!/bin/sh
# Runs a command inside a headless GNOME session: mutter with a virtual
# monitor, a private session bus on which the desktop portal
# (xdg-desktop-portal-gnome) is started on demand, and a native Wayland
# terminal (foot) writing every byte it receives to KR_TYPED_FILE.
# Needs the packages mutter and xdg-desktop-portal-gnome (not installed by
# tools/keyrovia.sh: about 85 packages for one measurement). There is no
# XWayland here: Qt programs, Keyrovia included, run on Qt's Wayland plugin
# (qt6-wayland, in tools/keyrovia.sh's list).
set -eu
dir=$(mktemp -d /tmp/kr-mutter.XXXXXX)
mkdir -m 700 "$dir/run"
touch "$dir/typed"
unset DISPLAY
export HOME="$dir" XDG_RUNTIME_DIR="$dir/run" XDG_CURRENT_DESKTOP=GNOME WAYLAND_DISPLAY=wayland-kr
dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$dir/bus" 4>"$dir/bus.pid"
export DBUS_SESSION_BUS_ADDRESS="$(cat "$dir/bus")"
mutter --headless --wayland --no-x11 --wayland-display="$WAYLAND_DISPLAY" --virtual-monitor 1280x800 \
    >"$dir/mutter.log" 2>&1 &
mutter=$!
terminal=""
cleanup() {
    [ -n "$terminal" ] && kill "$terminal" 2>/dev/null
    kill "$mutter" "$(cat "$dir/bus.pid")" 2>/dev/null
    wait 2>/dev/null
    # The document portal mounts itself in the runtime folder: never remove through it.
    fusermount3 -u "$dir/run/doc" 2>/dev/null || true
    [ -n "${KR_KEEP_MUTTER:-}" ] || rm -rf --one-file-system "$dir"
}
trap cleanup EXIT INT TERM
for _ in $(seq 100); do
    [ -S "$dir/run/$WAYLAND_DISPLAY" ] && break
    sleep 0.1
done
foot -e sh -c "stty raw -echo icrnl; touch $dir/ready; exec cat > $dir/typed" >"$dir/foot.log" 2>&1 &
terminal=$!
for _ in $(seq 100); do
    [ -e "$dir/ready" ] && break
    sleep 0.1
done
sleep 0.5
export KR_TYPED_FILE="$dir/typed"
"$@"
