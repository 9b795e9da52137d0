#!/bin/sh
# Runs a command inside a headless sway session whose focused window is a
# native Wayland terminal (foot) writing every byte it receives to a file.
# The command gets WAYLAND_DISPLAY, DISPLAY (sway's XWayland) and
# KR_TYPED_FILE. sway refuses to run as root: then it runs as "nobody".
set -eu
dir=$(mktemp -d /tmp/kr-sway.XXXXXX)
chmod 755 "$dir"
mkdir -m 700 "$dir/run"
touch "$dir/typed"
as=""
if [ "$(id -u)" = 0 ]; then
    chown nobody "$dir/run" "$dir/typed"
    as="setpriv --reuid=nobody --regid=nogroup --clear-groups"
fi
cat > "$dir/config" <<CONFIG
output HEADLESS-1 resolution 1280x800
xwayland force
exec sh -c 'xhost +si:localuser:root +si:localuser:\$(id -un) >/dev/null; echo "\$DISPLAY" > $dir/run/display'
exec foot -e sh -c 'stty raw -echo icrnl; touch $dir/run/ready; exec cat > $dir/typed'
CONFIG
chmod 644 "$dir/config"
cd "$dir"
$as env -i HOME="$dir" PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$dir/run" WLR_BACKENDS=headless \
    WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$dir/config" >"$dir/sway.log" 2>&1 &
sway=$!
hold=""
cleanup() {
    [ -n "$hold" ] && kill "$hold" 2>/dev/null
    kill "$sway" 2>/dev/null
    wait 2>/dev/null
    [ -n "${KR_KEEP_SWAY:-}" ] || rm -rf "$dir"
}
trap cleanup EXIT INT TERM
for _ in $(seq 100); do
    [ -S "$dir/run/wayland-1" ] && [ -s "$dir/run/display" ] && [ -e "$dir/run/ready" ] && break
    sleep 0.1
done
export WAYLAND_DISPLAY="$dir/run/wayland-1" DISPLAY="$(cat "$dir/run/display")" KR_TYPED_FILE="$dir/typed"
export XDG_RUNTIME_DIR="$dir/run" DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/no-bus"
# The headless seat has no keyboard until one exists: hold one for the run.
wtype -s 100000000 &
hold=$!
sleep 0.5
"$@"
