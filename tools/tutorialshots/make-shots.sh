#!/usr/bin/env bash
# Remakes the toolbar tutorial's two pictures (resources/toolbar/AddIE1.png and
# AddIE2.png) from real screenshots of Debian's Chromium, in French, under a
# private Xvfb:
#   page 1: the extensions menu (the puzzle piece) opened, Keyrovia listed;
#   page 2: Keyrovia pinned from that menu, then its button in the toolbar.
# Usage: tools/tutorialshots/make-shots.sh [BUILD_DIR]   (default: build)
# Needs: Xvfb, xdotool, chromium and chromium-l10n (French), a built tree.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
tool="$build/tools/tutorialshots/keyrovia-tutorialshots"
icon="$build/Keyrovia/ICON.ico"
out="$root/resources/toolbar"
for f in "$tool" "$icon"; do
  [[ -e $f ]] || { echo "missing $f: build first (ninja -C $build)" >&2; exit 1; }
done
for p in Xvfb xdotool chromium; do
  command -v "$p" >/dev/null || { echo "missing $p" >&2; exit 1; }
done
[[ -e /usr/lib/chromium/locales/fr.pak ]] || echo "warning: chromium-l10n is not installed, the browser will not speak French" >&2

work=$(mktemp -d)
xvfb_pid=
chromium_pid=
cleanup() {
  [[ -n $chromium_pid ]] && kill "$chromium_pid" 2>/dev/null || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  sleep 1 # the browser's helpers finish writing the profile
  rm -rf "$work" 2>/dev/null || rm -rf "$work" || true
}
trap cleanup EXIT

# A private display; Xvfb tells its number once it is ready.
Xvfb -displayfd 3 -screen 0 1024x700x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [[ -s $work/display ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/run"
mkdir -m 0700 "$work/run"

# The extension as the user loads it, with its toolbar action and icon.
mkdir "$work/ext"
cp "$root/resources/browser-extension/chromium/manifest.json" "$root/resources/browser-extension/background.js" "$work/ext/"
"$tool" icon "$icon" "$work/ext/icon32.png" 32
# Its toolbar action (title and icon), added after the "version" line unless
# the extension has one of its own.
grep -q '"action"' "$work/ext/manifest.json" || sed -i 's|^\(  "version": .*\)$|\1\n  "action": {"default_title": "Keyrovia", "default_icon": {"32": "icon32.png"}},\n  "icons": {"32": "icon32.png"},|' \
  "$work/ext/manifest.json"
grep -q '"action"' "$work/ext/manifest.json" || { echo "could not add the toolbar action to the manifest" >&2; exit 1; }
cat >"$work/connexion.html" <<'HTML'
<!doctype html><html lang="fr"><head><meta charset="utf-8"><title>Connexion</title></head>
<body style="font-family:sans-serif;margin:40px"><h2>Connexion</h2>
<p>Identifiant<br><input size="30"></p><p>Mot de passe<br><input type="password" size="30"></p></body></html>
HTML

LANGUAGE=fr LANG=C.UTF-8 chromium --no-sandbox --test-type --disable-gpu --no-first-run \
  --no-default-browser-check --disable-background-networking --disable-component-update --disable-sync \
  --disable-features=Translate --lang=fr --user-data-dir="$work/profile" --load-extension="$work/ext" \
  --window-position=0,0 --window-size=1000,640 "file://$work/connexion.html" >"$work/chromium.log" 2>&1 &
chromium_pid=$!
for _ in $(seq 100); do
  xdotool search --onlyvisible --name "Connexion" >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 3 # the extension loads after the window

# Places in the 1000x640 window (no window manager: it sits at 0,0).
puzzle="887 62"   # the extensions menu button
pin="817 224"     # the pin beside "Keyrovia" in that menu
pinned="850 62"   # where the pinned button then appears

shot() { "$tool" grab "$work/$1.png"; }
# A click that missed leaves the screen as it was: another browser version
# moved its buttons, and the places above need a new look.
changed() { ! cmp -s "$work/$1.png" "$work/$2.png" || { echo "the click on $3 changed nothing" >&2; exit 1; }; }
shot start
xdotool mousemove $puzzle click 1; sleep 1.5; shot menu; changed start menu "the extensions button"
xdotool mousemove $pin click 1; sleep 1.5; shot pinning; changed menu pinning "the pin"
xdotool key Escape; sleep 0.5
xdotool mousemove 400 450 click 1; sleep 0.5
xdotool mousemove $pinned; sleep 2.5; shot pinned # with its tooltip

"$tool" compose "$out/AddIE1.png" 485 326 \
  "note=8,2,470,54:1. Cliquez sur la pièce de puzzle « Extensions », à droite de la barre d'adresse : Keyrovia y est listé." \
  "image=$work/menu.png:520,40,480,266:2,58" \
  "circle=348,59,42,38" \
  "arrow=300,80,344,78"

"$tool" compose "$out/AddIE2.png" 542 463 \
  "note=8,2,526,40:2. Cliquez sur l'épingle à côté de « Keyrovia »." \
  "image=$work/menu.png:560,40,440,200:4,44" \
  "circle=240,209,42,38" \
  "arrow=190,250,238,232" \
  "note=8,252,526,44:3. Le bouton Keyrovia est dans la barre d'outils : un clic lance Keyrovia." \
  "image=$work/pinned.png:560,40,440,110:4,300" \
  "circle=273,303,42,38"
echo "written: $out/AddIE1.png $out/AddIE2.png"
