#!/usr/bin/env bash
# Keyrovia's per-user install, from a built tree.
#   keyrovia-install.sh install <build dir>     program folder, menu entry, icons, link, browser side
#   keyrovia-install.sh uninstall [--purge]     takes them away; keeps the vault unless --purge
#   keyrovia-install.sh folder                  prints the program folder
# Where things go (XDG): the program folder ${XDG_DATA_HOME:-~/.local/share}/keyrovia/ (the
# program, its icon, the browser companion and extension, and beside them the vault BDMDP.MDB,
# PARAM.ini and Logz.ini), the menu entry in applications/, the icons in icons/hicolor/, and
# the link ~/.local/bin/keyrovia. The vault, settings and log are never overwritten.
set -euo pipefail

data="${XDG_DATA_HOME:-}"
data="${data%"${data##*[!/]}"}" # without trailing slashes
case "$data" in /?*) ;; *) data="$HOME/.local/share" ;; esac # unset, empty or relative: the default
folder="$data/keyrovia"
entry="$data/applications/keyrovia.desktop"
icons="$data/icons/hicolor"
link="$HOME/.local/bin/keyrovia"
sizes=(16 24 32 48 64 128 256)
program_files=(Keyrovia keyrovia-companion ICON.ico)
user_files=(BDMDP.MDB PARAM.ini Logz.ini)
skipped=()

say() { printf '%s\n' "$*"; }
die() { printf 'keyrovia : %s\n' "$*" >&2; exit 1; }
have() { command -v "$1" >/dev/null 2>&1; }

# Puts a file in place by a rename, so a running program keeps the one it started from.
put_file() { # source target [mode]
  local tmp
  tmp="$(dirname "$2")/.$(basename "$2").new-$$"
  cp -p -- "$1" "$tmp" || { rm -f -- "$tmp"; die "copie impossible vers $2"; }
  [ -n "${3:-}" ] && chmod "$3" "$tmp"
  mv -f -- "$tmp" "$2"
}

# A folder is swapped in whole: the new one beside, then two renames.
put_folder() { # source target
  local tmp="$2.new-$$" old="$2.old-$$"
  rm -rf -- "$tmp"
  cp -rp -- "$1" "$tmp" || { rm -rf -- "$tmp"; die "copie impossible vers $2"; }
  [ -e "$2" ] && mv -- "$2" "$old"
  mv -- "$tmp" "$2"
  rm -rf -- "$old"
}

# The Exec value of a desktop entry: the path quoted, then escaped as a string.
exec_value() {
  local p="$1"
  p="${p//\\/\\\\}"; p="${p//\"/\\\"}"; p="${p//\`/\\\`}"; p="${p//\$/\\\$}"
  p="\"$p\""
  p="${p//\\/\\\\}"; p="${p//%/%%}"
  printf '%s' "$p"
}

write_entry() {
  mkdir -p -- "$(dirname "$entry")"
  local tmp="${entry%.desktop}.new-$$.desktop" # the validator wants the extension
  cat >"$tmp" <<EOF
[Desktop Entry]
Type=Application
Version=1.4
Name=Keyrovia
GenericName=Gestionnaire de mots de passe
Comment=Garde vos identifiants et les tape pour vous dans les sites et les programmes
Exec=$(exec_value "$folder/Keyrovia")
Icon=keyrovia
Terminal=false
Categories=Utility;Security;
Keywords=mot de passe;identifiant;coffre;password;
StartupWMClass=Keyrovia
EOF
  if have desktop-file-validate; then
    local verdict
    verdict="$(desktop-file-validate "$tmp" 2>&1)" || {
      rm -f -- "$tmp"; printf '%s\n' "$verdict" >&2; die "entrée de menu refusée par desktop-file-validate"; }
  else
    skipped+=("desktop-file-validate")
  fi
  mv -f -- "$tmp" "$entry"
}

refresh_caches() {
  if have gtk-update-icon-cache; then
    gtk-update-icon-cache -q -f -t "$icons" >/dev/null 2>&1 || true
  else
    skipped+=("gtk-update-icon-cache")
  fi
  if have update-desktop-database; then
    update-desktop-database -q "$(dirname "$entry")" >/dev/null 2>&1 || true
  else
    skipped+=("update-desktop-database")
  fi
}

# A vault of an earlier version, used there (it has settings or a log), in the build tree.
used_vault() { # folder
  [ -f "$1/BDMDP.MDB" ] && { [ -f "$1/PARAM.ini" ] || [ -f "$1/Logz.ini" ]; }
}

place_vault() { # built program folder, keyrovia-makedb
  local built="$1" makedb="$2" f
  if [ -e "$folder/BDMDP.MDB" ]; then
    if used_vault "$built" && ! cmp -s "$built/BDMDP.MDB" "$folder/BDMDP.MDB"; then
      say "Le coffre installé est gardé ; un autre coffre reste dans $built/BDMDP.MDB."
    fi
    return
  fi
  if used_vault "$built"; then
    for f in "${user_files[@]}"; do
      [ -f "$built/$f" ] && [ ! -e "$folder/$f" ] && put_file "$built/$f" "$folder/$f" go-rwx
    done
    say "Coffre repris de $built (l'ancienne copie y reste) vers $folder."
  else
    "$makedb" "$folder/BDMDP.MDB" >/dev/null || die "coffre vide impossible à créer dans $folder"
    say "Nouveau coffre vide, sans mot de passe : $folder/BDMDP.MDB"
  fi
}

install() { # build dir
  local build="${1:?dossier de construction}" built f size
  built="$build/Keyrovia"
  for f in "${program_files[@]}" browser-extension; do
    [ -e "$built/$f" ] || die "$built/$f manque : construisez d'abord (tools/keyrovia.sh install)"
  done
  case "$folder" in *$'\n'*) die "le dossier $folder contient un saut de ligne" ;; esac
  if [ ! -d "$folder" ]; then
    { mkdir -p -- "$folder" && chmod 700 -- "$folder"; } || die "dossier du programme impossible à créer : $folder"
  fi
  [ -w "$folder" ] || die "dossier du programme en lecture seule : $folder (rien n'a été changé)"

  for f in "${program_files[@]}"; do put_file "$built/$f" "$folder/$f"; done
  put_folder "$built/browser-extension" "$folder/browser-extension"
  place_vault "$built" "$build/tools/makedb/keyrovia-makedb"

  for size in "${sizes[@]}"; do
    mkdir -p -- "$icons/${size}x$size/apps"
    put_file "$build/desktop/icons/hicolor/${size}x$size/apps/keyrovia.png" "$icons/${size}x$size/apps/keyrovia.png"
  done
  write_entry
  refresh_caches

  mkdir -p -- "$(dirname "$link")"
  if [ -e "$link" ] && [ ! -L "$link" ]; then
    say "$link existe déjà et n'est pas un lien : laissé tel quel."
  else
    ln -sfn -- "$folder/Keyrovia" "$link.new-$$" && mv -fT -- "$link.new-$$" "$link"
  fi

  "$folder/keyrovia-companion" --install >/dev/null || say "Le navigateur n'a pas pu être relié (keyrovia-companion --install)."

  say "Keyrovia est installé dans $folder (menu : Keyrovia ; terminal : keyrovia)."
  [ ${#skipped[@]} -eq 0 ] || say "Absents, donc sautés : ${skipped[*]}."
}

uninstall() { # [--purge]
  local f size
  [ -x "$folder/keyrovia-companion" ] && { "$folder/keyrovia-companion" --uninstall >/dev/null || true; }
  for f in "${program_files[@]}"; do rm -f -- "$folder/$f"; done
  rm -rf -- "$folder/browser-extension" "$folder"/.*.new-* "$folder"/browser-extension.*-[0-9]*
  for size in "${sizes[@]}"; do rm -f -- "$icons/${size}x$size/apps/keyrovia.png"; done
  rm -f -- "$entry"
  [ -L "$link" ] && [ "$(readlink -- "$link")" = "$folder/Keyrovia" ] && rm -f -- "$link"
  [ -d "$icons" ] && [ -d "$(dirname "$entry")" ] && refresh_caches
  say "Keyrovia est désinstallé."
  [ ${#skipped[@]} -eq 0 ] || say "Absents, donc sautés : ${skipped[*]}."

  local kept=()
  for f in "${user_files[@]}"; do [ -e "$folder/$f" ] && kept+=("$folder/$f"); done
  if [ "${1:-}" != "--purge" ]; then
    [ ${#kept[@]} -eq 0 ] || say "Gardés (votre coffre, vos réglages, votre journal) : ${kept[*]}"
    return 0
  fi
  [ -d "$folder" ] || return 0
  say "Le coffre et tous ses mots de passe vont être effacés : ${kept[*]:-$folder}"
  printf 'Tapez EFFACER pour confirmer : '
  local answer=""
  read -r answer || true
  if [ "$answer" != "EFFACER" ]; then
    say "Rien de plus n'a été effacé."
    return 1
  fi
  rm -rf -- "$folder"
  say "Effacé : $folder"
}

case "${1:-}" in
  install) install "${2:-}" ;;
  uninstall) uninstall "${2:-}" ;;
  folder) say "$folder" ;;
  *) echo "usage: $0 install <build dir> | uninstall [--purge] | folder" >&2; exit 2 ;;
esac
