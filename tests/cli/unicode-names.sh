#!/usr/bin/env bash
# velmora-cli.exe under Wine with names outside ASCII, as a user types them:
# make --output into "Zoë Tabellen\Köln.dst" (new, then replaced), show by
# that name and by the full name, a missing file named in the message in
# UTF-8, and Velmora.ini read from a current folder of such a name.
#
#   unicode-names.sh WINE VELMORA-CLI.EXE WORK-FOLDER
set -uo pipefail
wine=$1 cli=$2 work=$3
fail() { echo "unicode-names: $*" >&2; exit 1; }
run() { "$wine" "$cli" "$@"; }

rm -rf "$work" && mkdir -p "$work/Zoë Tabellen" && cd "$work" || fail "cannot make $work"
first='28/03/2027 31/10/2027 1C 03 1F 0A 1B'

run make --zone Europe/Berlin --first-year 2027 --output 'Zoë Tabellen\Köln.dst' ||
  fail "make --output 'Zoë Tabellen\\Köln.dst' failed"
[ "$(stat -c %s 'Zoë Tabellen/Köln.dst' 2>/dev/null)" = 75 ] ||
  fail "make did not write Zoë Tabellen/Köln.dst: $(ls -A "$work" "$work/Zoë Tabellen")"
run make --zone Europe/Berlin --first-year 2027 --output 'Zoë Tabellen\Köln.dst' --force ||
  fail "make --force over 'Zoë Tabellen\\Köln.dst' failed"
[ "$(ls -A 'Zoë Tabellen')" = Köln.dst ] || fail "left beside the table: $(ls -A 'Zoë Tabellen')"

full="Z:${work//\//\\}\\Zoë Tabellen\\Köln.dst"
out=$(run show "$full" | tr -d '\r') || fail "show '$full' failed"
[ "$(head -n 1 <<<"$out")" = "$first" ] || fail "show '$full' printed: $out"

err=$(run show 'Zoë Tabellen\Fehlt.dst' 2>&1 >/dev/null)
[ $? -eq 1 ] || fail "show of a missing file did not exit 1"
[[ $err == *'cannot read Zoë Tabellen\Fehlt.dst'* ]] || fail "show of a missing file said: $err"

cd 'Zoë Tabellen' || fail "no folder 'Zoë Tabellen'"
printf '[Ports]\r\nCOM1=COM5\r\n' >Velmora.ini
out=$(run ports) || fail "ports in 'Zoë Tabellen' failed"
[[ $out == *'Zoë Tabellen\Velmora.ini:'* && $out == *'COM1  COM5  ([Ports])'* ]] ||
  fail "ports in 'Zoë Tabellen' printed: $out"
echo "unicode-names: make, show and ports with 'Zoë Tabellen\\Köln.dst' work"
