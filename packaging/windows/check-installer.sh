#!/usr/bin/env bash
# Tries a Velmora setup.exe in a scratch Wine prefix as a user meets it:
#  1. an older version (1.0.0, made here from the same stage with one file
#     more) installed per user, with the user's own files in Documents\Velmora;
#  2. this version over it: the older one's files and entries are replaced,
#     the user's files stay, everything is the user's (nothing under HKLM);
#  3. while velmora.exe runs, setup.exe and uninstall.exe refuse;
#  4. uninstalling leaves nothing of Velmora's but the user's files;
#  5. another program owns .dst for everyone; an /AllUsers install joins it
#     under OpenWithProgids and leaves its default;
#  6. uninstalling that leaves the other program's .dst as it was.
#
#   packaging/windows/check-installer.sh SETUP.EXE QT_PLUGIN_DIR [SCRATCH_DIR]
#
# SETUP.EXE is what scripts/windows-installer.sh made, with its stage/ beside
# it; QT_PLUGIN_DIR is the plugins folder of Qt for Windows, whose offscreen
# platform lets velmora.exe run without a display.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
setup=$(realpath "${1:-}" 2> /dev/null) && [ -f "$setup" ] || { echo "no installer: '${1:-}'"; exit 1; }
stage=$(dirname "$setup")/stage
[ -d "$stage/bin" ] || { echo "no stage beside the installer: $stage"; exit 1; }
plugins=$(realpath "${2:-}" 2> /dev/null) && [ -f "$plugins/platforms/qoffscreen.dll" ] ||
  { echo "no offscreen platform plugin in '${2:-}/platforms'"; exit 1; }
scratch=${3:-$(mktemp -d)}
rm -rf "$scratch" && mkdir -p "$scratch/home" && scratch=$(realpath "$scratch") || exit 1
# Wine links the user's Documents to $HOME: keep it inside the scratch folder.
# No menus or desktop files for the host's desktop from the Start-menu entries.
export HOME=$scratch/home WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
version=$(basename "$setup" | sed -n 's/^Velmora-\(.*\)-setup\.exe$/\1/p')
failures=0
started=$SECONDS

step() { echo "--- $* ($((SECONDS - started)) s)"; }
check() { # check "what" command...
  local what=$1
  shift
  if "$@" > "$scratch/out" 2>&1; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    sed 's/^/    /' "$scratch/out"
    failures=$((failures + 1))
    return 1
  fi
}
# A step without which the rest cannot run.
require() { check "$@" || { echo "installer: the rest cannot run without it"; "$wineserver" -k 2> /dev/null; exit 1; }; }
# The data of a registry value ("" for the key's default), or a failure.
value() {
  local out
  if [ -z "$2" ]; then out=$("$wine" reg query "$1" /ve 2>&1); else out=$("$wine" reg query "$1" /v "$2" 2>&1); fi ||
    { echo "no value '$2' in $1: $out"; return 1; }
  sed -n 's/^    .*    REG_[A-Z_]*    \{0,1\}//p' <<< "$out" | tr -d '\r'
}
is() { # is KEY NAME EXPECTED
  local got
  got=$(value "$1" "$2") || { echo "$got"; return 1; }
  [ "$got" = "$3" ] || { echo "$1 '$2' is '$got', not '$3'"; return 1; }
}
has_value() { "$wine" reg query "$1" /v "$2" || { echo "no value '$2' in $1"; return 1; }; }
no_key() { ! "$wine" reg query "$1" || { echo "$1 is still there"; return 1; }; }
size_is() { # size_is KEY BYTES: EstimatedSize is BYTES in KB, give or take one
  local got
  got=$(value "$1" EstimatedSize) || { echo "$got"; return 1; }
  [ $((got - $2 / 1024)) -ge -1 ] && [ $((got - $2 / 1024)) -le 1 ] ||
    { echo "EstimatedSize is $((got)) KB, not $(($2 / 1024))"; return 1; }
}
gone() { # gone PATH...: none of them exists
  local f bad=0
  for f; do [ ! -e "$f" ] || { echo "still there: $f"; ls -la "$f"; bad=1; }; done
  return "$bad"
}
there() { # there PATH...: each of them exists
  local f bad=0
  for f; do [ -e "$f" ] || { echo "missing: $f"; bad=1; }; done
  return "$bad"
}
start_menu() { # start_menu FOLDER OTHER: Velmora's one entry is in FOLDER, none in OTHER
  local found
  found=$(find "$1" "$2" -iname "*velmora*")
  [ "$found" = "$1/Velmora.lnk" ] || { echo "Velmora's entries: ${found:-none}"; return 1; }
}
files() { # files FOLDER: the programs, Qt and its plugins, the README, examples, licences
  there "$1/velmora.exe" "$1/velmora-cli.exe" "$1/Qt6Widgets.dll" "$1/platforms/qwindows.dll" \
    "$1/uninstall.exe" "$1/README.md" "$1/examples/berlin-2027.dst" "$1/licenses/qt"
}
expect_exit() { # expect_exit CODE command...
  local code=$1 rc
  shift
  "$@"
  rc=$?
  [ "$rc" -eq "$code" ] || { echo "exit code $rc, not $code"; return 1; }
}
# uninstall.exe copies itself to a temporary folder and returns at once: the
# copy has finished when the prefix's Wine server has ended.
uninstall() {
  "$wine" "$1\\uninstall.exe" /S && "$wineserver" -w
}
# No key or value names Velmora in the prefix's user.reg (HKEY_CURRENT_USER) or
# system.reg (HKEY_LOCAL_MACHINE), which Wine writes when its server ends.
no_velmora_in() {
  "$wineserver" -w && ! grep -i -B3 velmora "$WINEPREFIX/$1"
}

step "a new prefix"
# A plain wineboot makes the prefix (-i would run its start-up a second time);
# the prefix then settles for some seconds.
require "wineboot" "$wine" wineboot
require "the new prefix settles (wineserver -w)" timeout 60 "$wineserver" -w
user=$(id -un)
app="$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/Velmora"
app_win="C:\\users\\$user\\AppData\\Local\\Programs\\Velmora"
menu="$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
all_app="$WINEPREFIX/drive_c/Program Files/Velmora"
all_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
docs=$HOME/Velmora
hkcu_uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
hklm_uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'

step "1. an older version with a file that this one drops, per user"
old_stage=$scratch/old/stage
mkdir -p "$old_stage" && cp -a "$stage/." "$old_stage/" && rm -f "$old_stage"/*.nsh
mkdir -p "$old_stage/bin/imageformats" && echo "dropped since" > "$old_stage/bin/imageformats/qdropped.dll"
require "the older installer is made from the stage" env VELMORA_NSIS_COMPRESSOR=zlib \
  "$here/scripts/windows-installer.sh" --stage "$old_stage" 1.0.0
check "it installs per user (setup.exe /S)" "$wine" "$scratch/old/Velmora-1.0.0-setup.exe" /S
check "into the user's programs folder, version 1.0.0" is "$hkcu_uninstall" DisplayVersion 1.0.0
mkdir -p "$docs" && printf '[Settings]\r\nPort=2\r\n' > "$docs/Velmora.ini" &&
  cp "$here/examples/berlin-2027.dst" "$docs/mine.dst"

step "2. $version over it"
check "setup.exe /S" "$wine" "$setup" /S
check "the programs, Qt and its plugins, the README, examples, licences are in the user's programs folder" files "$app"
check "the file the new version dropped is gone, with its folder" gone "$app/imageformats"
check "velmora-cli.exe runs from there" "$wine" "$app/velmora-cli.exe" show "$app_win\\examples\\berlin-2027.dst"
check "one Start-menu entry, the user's" start_menu "$menu" "$all_menu"
check "the user's Velmora.ini and table stay" there "$docs/mine.dst" "$docs/Velmora.ini"
check "one uninstall entry, the user's, for $version" is "$hkcu_uninstall" DisplayVersion "$version"
check "its uninstaller and folder" is "$hkcu_uninstall" UninstallString "\"$app_win\\uninstall.exe\""
bytes=$(find "$app" -type f -printf '%s\n' | awk '{ n += $1 } END { print n }')
check "its EstimatedSize, in KB ($((bytes / 1024)))" size_is "$hkcu_uninstall" "$bytes"
check ".dst opens in Velmora" is 'HKCU\Software\Classes\Velmora.Table\shell\open\command' "" \
  "\"$app_win\\velmora.exe\" --user-settings \"%1\""
check ".dst is Velmora's (no program had it)" is 'HKCU\Software\Classes\.dst' "" Velmora.Table
check "Velmora is among .dst's programs" has_value 'HKCU\Software\Classes\.dst\OpenWithProgids' Velmora.Table
check "nothing under HKLM" no_velmora_in system.reg
check "nor in Program Files" gone "$all_app"
check "setup.exe's SHA-256 file is right" bash -c "cd '$(dirname "$setup")' && sha256sum -c --strict '$setup.sha256'"

step "3. while velmora.exe runs"
# It starts in the user's folder, as from the Start menu. Once Wine has mapped
# its program file, the Wine server holds that file open (fuser sees it).
(cd "$docs" && QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="Z:${plugins//\//\\}" \
  exec "$wine" "$app/velmora.exe" > "$scratch/velmora.log" 2>&1) &
running=$!
for _ in $(seq 100); do
  ! kill -0 "$running" 2> /dev/null && break
  command -v fuser > /dev/null || { sleep 3 && break; }
  fuser -s "$app/velmora.exe" 2> /dev/null && break
  sleep 0.1
done
check "velmora.exe runs without a display" kill -0 "$running"
check "setup.exe /S refuses (exit code 3)" expect_exit 3 "$wine" "$setup" /S
check "uninstall.exe /S refuses (exit code 3)" expect_exit 3 "$wine" "$app/uninstall.exe" /S "_?=$app_win"
check "and all stays" files "$app"
check "velmora.exe ran throughout" kill -0 "$running"
kill "$running" 2> /dev/null
wait "$running" 2> /dev/null

step "4. uninstalling the user's Velmora"
check "uninstall.exe /S" uninstall "$app_win"
check "the programs' folder is gone" gone "$app"
check "and the Start-menu entry" gone "$menu/Velmora.lnk"
check "and every key and value of Velmora's" no_velmora_in user.reg
check "but .dst's key, which held Velmora's alone, is gone" no_key 'HKCU\Software\Classes\.dst'
check "the user's Velmora.ini and table stay" there "$docs/mine.dst" "$docs/Velmora.ini"

step "5. another program owns .dst; for all users"
other='"C:\Stitch\stitch.exe" "%1"'
check "the other program's .dst" "$wine" reg add 'HKLM\Software\Classes\.dst' /ve /d Stitch.Design /f
check "and its command" "$wine" reg add 'HKLM\Software\Classes\Stitch.Design\shell\open\command' /ve /d "$other" /f
check "setup.exe /S /AllUsers" "$wine" "$setup" /S /AllUsers
check "the programs and the rest are in Program Files" files "$all_app"
check "one Start-menu entry, for all users" start_menu "$all_menu" "$menu"
check "one uninstall entry, the machine's" is "$hklm_uninstall" DisplayVersion "$version"
check ".dst stays the other program's" is 'HKLM\Software\Classes\.dst' "" Stitch.Design
check "Velmora is among .dst's programs" has_value 'HKLM\Software\Classes\.dst\OpenWithProgids' Velmora.Table
check ".dst opens in Velmora" is 'HKLM\Software\Classes\Velmora.Table\shell\open\command' "" \
  "\"C:\\Program Files\\Velmora\\velmora.exe\" --user-settings \"%1\""
check "nothing under HKCU" no_velmora_in user.reg

step "6. uninstalling Velmora for all users"
check "uninstall.exe /S" uninstall 'C:\Program Files\Velmora'
check "the programs' folder is gone" gone "$all_app"
check "and the Start-menu entry" gone "$all_menu/Velmora.lnk"
check "and every key and value of Velmora's" no_velmora_in system.reg
check ".dst is still the other program's" is 'HKLM\Software\Classes\.dst' "" Stitch.Design
check "with its command" is 'HKLM\Software\Classes\Stitch.Design\shell\open\command' "" "$other"

"$wineserver" -k 2> /dev/null
echo "installer: $failures failed ($((SECONDS - started)) s)"
[ "$failures" -eq 0 ]
