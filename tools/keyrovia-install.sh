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

# A temporary copy of an install: ".Keyrovia.new-<pid>", "browser-extension.old-<pid>",
# "keyrovia.new-<pid>.desktop"... The pid, or nothing when the name is none of those.
leftover_pid() { # path
  local pid="${1##*/}"
  pid="${pid%.desktop}"
  case "$pid" in *.new-[0-9]*) pid="${pid##*.new-}" ;; *.old-[0-9]*) pid="${pid##*.old-}" ;; *) return 1 ;; esac
  case "$pid" in *[!0-9]*) return 1 ;; esac
  printf '%s' "$pid"
}

# An install runs under that pid: this one, or another still at work.
running_install() { # pid
  [ "$1" = "$$" ] && return 0
  tr '\0' ' ' 2>/dev/null <"/proc/$1/cmdline" | grep -q 'keyrovia-install'
}

# What a killed install left (a copy of the program weighs 25 MB); a running install's are kept.
remove_leftovers() {
  local f pid
  for f in "$folder"/.*.new-[0-9]* "$folder"/browser-extension.new-[0-9]* "$folder"/browser-extension.old-[0-9]* \
      "$icons"/*/apps/.keyrovia.png.new-[0-9]* "$(dirname "$entry")"/keyrovia.new-[0-9]*.desktop "$link".new-[0-9]*; do
    [ -e "$f" ] || [ -L "$f" ] || continue
    pid="$(leftover_pid "$f")" || continue
    running_install "$pid" || rm -rf -- "$f"
  done
}

# Keyrovia runs on this folder: a process of this user runs its program (the folder's own, or the
# packaged one, which keeps its files in the same folder), or the program's socket is bound (its name
# comes from the folder's real path, as the program makes it).
program_running() {
  local real exe digest
  real="$(realpath -e -- "$folder" 2>/dev/null)" || real="$folder"
  while IFS= read -r exe; do
    exe="${exe% (deleted)}"
    case "$exe" in "$real/Keyrovia" | "$folder/Keyrovia" | /usr/lib/keyrovia/Keyrovia) return 0 ;; esac
  done < <(readlink -- /proc/[0-9]*/exe 2>/dev/null)
  digest="$(printf '%s' "$real" | sha256sum)"
  grep -q -- "/keyrovia-${digest:0:24}\$" /proc/net/unix 2>/dev/null
}

# Removes the folders when they are empty, innermost first.
remove_empty() { # folder...
  local d
  for d in "$@"; do [ -d "$d" ] && rmdir -- "$d" 2>/dev/null || true; done
}

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
      say "Le coffre installé, $folder/BDMDP.MDB, est gardé. Un autre coffre reste dans $built/BDMDP.MDB :"
      say "  il s'ouvre avec son propre mot de passe maître ; effacez-le s'il ne vous sert plus."
    fi
    return
  fi
  if used_vault "$built"; then
    for f in "${user_files[@]}"; do
      [ -f "$built/$f" ] && [ ! -e "$folder/$f" ] && put_file "$built/$f" "$folder/$f" go-rwx
    done
    say "Coffre repris de $built vers $folder/BDMDP.MDB."
    say "L'ancienne copie, $built/BDMDP.MDB, contient toujours tous vos mots de passe, qui s'ouvrent"
    say "  avec le mot de passe maître d'aujourd'hui, même si vous le changez ensuite."
    say "  Effacez-la quand Keyrovia s'est bien ouvert depuis le menu : rm -- '$built/BDMDP.MDB'"
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
  for f in "${user_files[@]}"; do
    if [ -L "$folder/$f" ] && [ ! -e "$folder/$f" ]; then
      die "$folder/$f est un lien vers $(readlink -- "$folder/$f"), qui n'existe pas. Rien n'a été changé : \
rebranchez le lien sur votre fichier (ou retirez-le), puis relancez l'installation."
    fi
  done
  if [ ! -d "$folder" ]; then
    mkdir -p -- "$folder" || die "dossier du programme impossible à créer : $folder"
  fi
  [ -w "$folder" ] || die "dossier du programme en lecture seule : $folder (rien n'a été changé)"
  # The vault lives here: only its user may enter, also when the folder is reached through a link.
  if [ -O "$folder" ]; then
    chmod 700 -- "$folder" || die "droits du dossier impossibles à régler : $folder"
  else
    say "$folder n'est pas à vous : ses droits sont laissés tels quels."
  fi
  remove_leftovers

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

  "$folder/keyrovia-companion" --install >/dev/null 2>&1 ||
    say "Les navigateurs n'ont pas pu être reliés : « $folder/keyrovia-companion --install » en dit la raison."

  say "Keyrovia est installé dans $folder (menu : Keyrovia ; terminal : keyrovia)."
  [ ${#skipped[@]} -eq 0 ] || say "Absents, donc sautés : ${skipped[*]}."
}

# The caches the install refreshed, alone in their folder: nothing left for them to describe.
only_cache() { # folder cache
  [ -d "$1" ] && [ "$(ls -A -- "$1")" = "$2" ]
}

uninstall() { # [--purge]
  local f size apps
  apps="$(dirname "$entry")"
  if [ "${1:-}" = "--purge" ] && program_running; then
    die "Keyrovia est ouvert : fermez-le, puis relancez la désinstallation (rien n'a été changé)."
  fi
  if [ -x "$folder/keyrovia-companion" ]; then
    "$folder/keyrovia-companion" --remove-buttons >/dev/null 2>&1 ||
      say "Le bouton Keyrovia de la barre d'outils n'a pas pu être retiré ; retirez-le depuis Keyrovia."
    "$folder/keyrovia-companion" --uninstall >/dev/null 2>&1 || true
  fi
  for f in "${program_files[@]}"; do rm -f -- "$folder/$f"; done
  rm -rf -- "$folder/browser-extension"
  remove_leftovers
  for size in "${sizes[@]}"; do
    rm -f -- "$icons/${size}x$size/apps/keyrovia.png"
    remove_empty "$icons/${size}x$size/apps" "$icons/${size}x$size"
  done
  rm -f -- "$entry"
  [ -L "$link" ] && [ "$(readlink -- "$link")" = "$folder/Keyrovia" ] && rm -f -- "$link"
  remove_empty "$(dirname "$link")"
  only_cache "$icons" icon-theme.cache && rm -f -- "$icons/icon-theme.cache"
  only_cache "$apps" mimeinfo.cache && rm -f -- "$apps/mimeinfo.cache"
  remove_empty "$icons" "$(dirname "$icons")" "$apps"
  if [ -d "$icons" ] || [ -d "$apps" ]; then refresh_caches; fi
  say "Keyrovia est désinstallé."
  [ ${#skipped[@]} -eq 0 ] || say "Absents, donc sautés : ${skipped[*]}."

  local kept=()
  for f in "${user_files[@]}"; do [ -e "$folder/$f" ] && kept+=("$folder/$f"); done
  if [ "${1:-}" != "--purge" ]; then
    [ ${#kept[@]} -eq 0 ] || say "Gardés (votre coffre, vos réglages, votre journal) : ${kept[*]}"
    return 0
  fi
  [ -d "$folder" ] || return 0
  # Through a link, the folder it names: the link alone would leave every password behind.
  local real answer=""
  real="$(realpath -e -- "$folder")"
  say "Le dossier $real va être effacé avec tout ce qu'il contient, dont le coffre et tous ses mots de passe :"
  say "  ${kept[*]:-$folder}"
  printf 'Tapez EFFACER pour confirmer : '
  read -r answer || true
  if [ "$answer" != "EFFACER" ]; then
    say "Rien de plus n'a été effacé."
    return 1
  fi
  rm -rf -- "$real"
  [ -L "$folder" ] && rm -f -- "$folder"
  say "Effacé : $real"
}

case "${1:-}" in
  install) install "${2:-}" ;;
  uninstall) uninstall "${2:-}" ;;
  folder) say "$folder" ;;
  *) echo "utilisation : $0 install <dossier de construction> | uninstall [--purge] | folder" >&2; exit 2 ;;
esac
