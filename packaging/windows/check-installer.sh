#!/usr/bin/env bash
# Installs a Velmora setup.exe silently in a scratch Wine prefix, checks what a
# user finds (the programs start from Program Files, the Start-menu entry, the
# .dst association, the entry in the system's list of programs), uninstalls it
# silently and checks that nothing is left.
#   packaging/windows/check-installer.sh SETUP.EXE [SCRATCH_DIR]
set -uo pipefail
setup=$(realpath "${1:-}" 2> /dev/null) && [ -f "$setup" ] || { echo "no installer: '${1:-}'"; exit 1; }
scratch=${2:-$(mktemp -d)}
rm -rf "$scratch" && mkdir -p "$scratch/home"
# Wine links the user's Documents to $HOME: keep it inside the scratch folder.
export HOME=$scratch/home WINEPREFIX=$scratch/prefix WINEDEBUG=-all
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
failures=0
check() { # check "what" command...
  local what=$1
  shift
  if "$@" > "$scratch/out" 2>&1; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    sed 's/^/    /' "$scratch/out"
    failures=$((failures + 1))
  fi
}
key() { "$wine" reg query "$1" ${2:+/ve} 2>/dev/null | grep -q -F -- "${2:-HKEY}"; }
no_key() { ! "$wine" reg query "$1" > /dev/null 2>&1; }

"$wine" wineboot -i > /dev/null 2>&1
app="$WINEPREFIX/drive_c/Program Files/Velmora"
menu="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"

check "setup.exe /S" "$wine" "$setup" /S
check "the programs, Qt and its plugins are installed" test -f "$app/velmora.exe" -a -f "$app/velmora-cli.exe" \
  -a -f "$app/Qt6Widgets.dll" -a -f "$app/platforms/qwindows.dll" -a -f "$app/uninstall.exe"
check "the README, the examples and the licences are installed" test -f "$app/README.md" \
  -a -f "$app/examples/berlin-2027.dst" -a -d "$app/licenses/qt"
check "velmora-cli.exe runs from Program Files" "$wine" "$app/velmora-cli.exe" show \
  'C:\Program Files\Velmora\examples\berlin-2027.dst'
check "a Start-menu entry" test -f "$menu/Velmora.lnk"
check "its working folder, the user's own, exists" test -d "$HOME/Velmora"
check ".dst opens in Velmora" key 'HKLM\Software\Classes\Velmora.Table\shell\open\command' velmora.exe
check ".dst is Velmora's" key 'HKLM\Software\Classes\.dst' Velmora.Table
check "the uninstaller is registered" key \
  'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'

# The uninstaller copies itself to a temporary folder and returns at once.
"$wine" "$app/uninstall.exe" /S
for _ in $(seq 60); do [ -e "$app" ] || break; sleep 0.5; done
"${wine%64}server" -w 2> /dev/null || wineserver -w 2> /dev/null
check "uninstall.exe /S removes the programs' folder" test ! -e "$app"
check "and the Start-menu entry" test ! -e "$menu/Velmora.lnk"
check "and the empty working folder" test ! -e "$HOME/Velmora"
check "and the .dst association" no_key 'HKLM\Software\Classes\Velmora.Table'
check "and the extension" no_key 'HKLM\Software\Classes\.dst'
check "and its entry in the list of programs" no_key \
  'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'

echo "installer: $failures failed"
[ "$failures" -eq 0 ]
