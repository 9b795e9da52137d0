#!/usr/bin/env bash
# The built .deb in a clean Debian 12 root: apt installs it without -dev
# packages or test tools; the program, started by an ordinary user, makes their
# folder; Firefox ESR and Chromium, each from a fresh profile and restarted,
# have the extension and the companion answers with the page they show;
# removing the package leaves none of its files and the user's folder as it was.
# Usage: e2e-deb.sh keyrovia_<version>-1_<arch>.deb   (as root; 77 = skipped)
set -euo pipefail
deb="$(realpath "$1")"
mirror="${KEYROVIA_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }
step() { echo "== $(date +%T) $*"; }
[ "$(id -u)" -eq 0 ] || skip "making a Debian root needs root"
command -v mmdebstrap >/dev/null || skip "mmdebstrap is not installed"

step "lintian, appstreamcli, desktop-file-validate"
lintian --fail-on error --info "$deb"
unpacked="$(mktemp -d)"
dpkg-deb -x "$deb" "$unpacked"
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$unpacked/usr/share/applications/keyrovia.desktop"
rm -rf "$unpacked"

root="$(mktemp -d /var/tmp/keyrovia-root.XXXXXX)"
cleanup() {
  # Whatever still runs inside the root was started by this test.
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -9 "${p#/proc/}" 2>/dev/null
  done
  sleep 1
  for m in proc sys dev; do umount -R "$root/$m" 2>/dev/null || umount -lR "$root/$m" 2>/dev/null || true; done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
step "mmdebstrap bookworm"
mmdebstrap --quiet --variant=apt --include=ca-certificates bookworm "$root" "$mirror" </dev/null \
  || skip "no Debian root could be made from $mirror"
mount -t proc proc "$root/proc" && mount --rbind /dev "$root/dev" && mount --rbind /sys "$root/sys"
cp /etc/resolv.conf "$root/etc/resolv.conf"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
as_user() {
  chroot "$root" runuser -u tester -- env -i PATH=/usr/bin:/bin HOME=/home/tester DISPLAY=:99 \
    XDG_RUNTIME_DIR=/run/user/1000 "$@"
}
in_root apt-get -qq update

step "apt-get install ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
in_root dpkg-query -W -f='${Package}\n' | sort >"$root/tmp/before"
echo "without Recommends: $(in_root apt-get install -s --no-install-recommends "/tmp/$(basename "$deb")" | grep -c '^Inst ') packages"
in_root apt-get install -y -q "/tmp/$(basename "$deb")" | grep -E '^(After this|[0-9]+ upgraded)'
in_root dpkg-query -W -f='${Package}\n' | sort >"$root/tmp/after"
new="$(comm -13 "$root/tmp/before" "$root/tmp/after")"
echo "packages added: $(wc -l <<<"$new"); keyrovia's installed size: $(in_root dpkg-query -W -f='${Installed-Size}' keyrovia) KiB"
echo "added:" $new
bad="$(grep -E -- '-dev$|^(xvfb|xdotool|openbox|sway|foot|wtype|chromium|clang|gcovr|cmake|ninja-build|g\+\+|gcc)' <<<"$new" || true)"
[ -z "$bad" ] || fail "the package pulled build or test packages: $bad"
in_root dpkg -L keyrovia | sort >"$root/tmp/files"

step "test tools, an ordinary user, a page on 127.0.0.1"
in_root apt-get install -y -qq --no-install-recommends xvfb xauth x11-utils python3 firefox-esr chromium >/dev/null
in_root useradd -m -u 1000 tester
install -d -o 1000 -g 1000 -m 0700 "$root/run/user/1000"
mkdir -p "$root/srv/page" && echo '<title>Page de test</title>Bonjour' >"$root/srv/page/index.html"
in_root python3 -m http.server -b 127.0.0.1 -d /srv/page 8765 >/dev/null 2>&1 &
in_root Xvfb :99 -nolisten tcp >/dev/null 2>&1 &
sleep 2

# A new, empty vault opens without password: the password window, then the first-use message.
step "keyrovia at the first start"
as_user sh -c 'echo $$ >/tmp/keyrovia.pid; exec keyrovia >/dev/null 2>&1' &
folder="$root/home/tester/.local/share/keyrovia"
shown() { as_user xwininfo -name "$1" 2>/dev/null | grep -q IsViewable; }
for _ in $(seq 60); do shown Configuration && break; sleep 0.5; done
shown Form1 && shown Configuration || fail "no password window and first-use message at the first start"
[ "$(stat -c %a "$folder")" = 700 ] || fail "the user's folder is not 0700"
[ "$(stat -c %a "$folder/BDMDP.MDB")" = 600 ] || fail "the vault is not 0600"
cmp -s "$folder/ICON.ico" "$root/usr/lib/keyrovia/ICON.ico" || fail "no ICON.ico in the user's folder"

# The page the companion reports: the program's request on the companion's socket.
ask_page() {
  as_user python3 -c '
import glob, json, socket, sys
for path in glob.glob("/run/user/1000/keyrovia/companion-*.sock"):
    s = socket.socket(socket.AF_UNIX); s.settimeout(2)
    try:
        s.connect(path); s.sendall(b"KEYROVIA-PAGE 1\n")
        answer = json.loads(s.makefile().readline())
        if answer.get("state") == "page": print(answer["url"]); sys.exit(0)
    except OSError: pass
sys.exit(1)'
}
# browser_round NAME PROFILE COMMAND...: two starts on one fresh profile, each
# until the companion reports the local page; the browser is ended between them.
browser_round() {
  local name="$1" profile="$2"; shift 2
  for start in 1 2; do
    as_user sh -c 'echo $$ >/tmp/browser.pid; exec "$@" >/dev/null 2>&1' sh "$@" &
    local url=""
    for _ in $(seq 90); do
      url="$(ask_page || true)"
      [ "$url" = "http://127.0.0.1:8765/" ] && break
      sleep 1
    done
    [ "$url" = "http://127.0.0.1:8765/" ] || fail "$name, start $start: the companion answered '$url'"
    echo "$name, start $start: the companion answers $url"
    [ "$name" != firefox-esr ] || as_user python3 -c '
import json, sys
addons = json.load(open(sys.argv[1]))["addons"]
sys.exit(0 if any(a["id"] == sys.argv[2] and a["active"] and a["location"] == "app-system-share" for a in addons) else 1)' \
      "$profile/extensions.json" companion@keyrovia.quillmark.example || fail "firefox-esr: the extension is not active"
    local pid; pid="$(cat "$root/tmp/browser.pid")"
    kill "$pid"; for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
    kill -9 "$pid" 2>/dev/null || true
    # The companion ends with the browser's pipe: the next start must answer anew.
    for _ in $(seq 20); do ask_page >/dev/null || break; sleep 1; done
    ! ask_page >/dev/null || fail "$name: the companion outlived the browser"
  done
}
step "firefox-esr"
as_user mkdir -p /home/tester/ff
browser_round firefox-esr /home/tester/ff firefox-esr --headless --no-remote --profile /home/tester/ff \
  http://127.0.0.1:8765/
step "chromium"
browser_round chromium /home/tester/cr chromium --headless=new --no-sandbox --disable-gpu --no-first-run \
  --user-data-dir=/home/tester/cr http://127.0.0.1:8765/

step "apt-get remove keyrovia"
sums() { (cd "$folder" && find . -printf '%p %m %s\n' | sort && sha256sum BDMDP.MDB ICON.ico); }
kill "$(cat "$root/tmp/keyrovia.pid")" 2>/dev/null && sleep 1 || true
before="$(sums)"
in_root apt-get remove -y -qq keyrovia >/dev/null
left="$(while read -r f; do
  if [ -d "$root$f" ]; then [[ "$f" != *keyrovia* ]] || echo "$f"; elif [ -e "$root$f" ] || [ -L "$root$f" ]; then echo "$f"; fi
done <"$root/tmp/files")"
[ -z "$left" ] || fail "left after remove: $left"
[ "$(sums)" = "$before" ] || fail "the user's folder changed"
step "passed"
