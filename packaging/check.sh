#!/usr/bin/env bash
# Builds the Debian package (`cmake --workflow --preset package`) and checks it
# as a user would: the programs start from the unpacked package, the manual
# pages render and velmora-cli's names every command, option and exit code the
# program knows, the bash completion offers them, and lintian,
# desktop-file-validate and appstreamcli pass it where they are installed.
# As root, and when no velmora package is installed already, it also installs
# the package with dpkg -i, starts the programs from /usr/bin, removes it with
# dpkg -r and checks that nothing it installed is left.
#
# usage: packaging/check.sh [--no-build]
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

passed=0
failed=0
pass() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
# check WHAT COMMAND...: runs the command, its output shown only on failure.
check() {
    local what=$1 out
    shift
    if out=$("$@" 2>&1); then pass "$what"; else fail "$what"; printf '%s\n' "$out" | tail -n 40; fi
}
finish() {
    echo "package: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

if [ "${1-}" != --no-build ]; then
    if ! cmake --workflow --preset package > build-package.log 2>&1; then
        tail -n 40 build-package.log
        fail "cmake --workflow --preset package (log in build-package.log)"
        finish
    fi
fi
deb=$(ls -t build-package/velmora_*_"$(dpkg --print-architecture)".deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
    fail "no package in build-package/"
    finish
fi
echo "package: $deb, $(stat -c %s "$deb") bytes"

root=$(mktemp -d)
scratch=$(mktemp -d)
installed_by_us=0
cleanup() {
    [ "$installed_by_us" -eq 1 ] && dpkg -r velmora > /dev/null 2>&1
    rm -rf "$root" "$scratch"
}
trap cleanup EXIT
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
doc=$root/usr/share/doc/velmora
man1=$root/usr/share/man/man1

# The programs, run from the unpacked tree.
check "velmora-cli --help" "$bin/velmora-cli" --help
rows() { [ "$("$1" show "$2" | wc -l)" -eq 15 ]; }
check "velmora-cli show on the installed example" rows "$bin/velmora-cli" "$doc/examples/berlin-2027.dst"
check "velmora-devsim --help" "$bin/velmora-devsim" --help
# The window program has no options: it must start and stay up.
starts() {
    (cd "$scratch" && QT_QPA_PLATFORM=offscreen exec "$1") &
    local pid=$!
    sleep 2
    kill -0 "$pid" 2> /dev/null || return 1
    kill "$pid"
    wait "$pid" 2> /dev/null
    return 0
}
check "velmora starts" starts "$bin/velmora"

# The manual pages render without a warning.
renders() {
    local out err
    err=$(MANWIDTH=80 man --warnings -l "$1" 2>&1 > /dev/null) || { echo "$err"; return 1; }
    [ -z "$err" ] || { echo "$err"; return 1; }
    out=$(MANWIDTH=80 man -l "$1") && [ -n "$out" ]
}
for program in velmora velmora-cli velmora-devsim; do
    check "man -l $program.1.gz" renders "$man1/$program.1.gz"
done

# velmora-cli's page names everything the program's help does.
commands=$("$bin/velmora-cli" --help | sed -n '/^Commands:/,/^[^ ]/s/^  \([a-z][a-z-]*\).*/\1/p')
page=$(MANWIDTH=1000 man -l "$man1/velmora-cli.1.gz" 2> /dev/null)
covers() {
    local command option code text missing="" codes=0
    [ -n "$commands" ] || { echo "no commands in velmora-cli --help"; return 1; }
    for option in $("$bin/velmora-cli" --help | sed -n 's/^  \(--[a-z][a-z-]*\).*/\1/p'); do
        grep -q -e "$option" <<< "$page" || missing+=" $option"
    done
    for command in $commands; do
        grep -q "velmora-cli $command" <<< "$page" || missing+=" $command"
        for option in $("$bin/velmora-cli" "$command" --help | sed -n 's/^  \(--[a-z][a-z-]*\).*/\1/p'); do
            grep -q -e "$option" <<< "$page" || missing+=" $command $option"
        done
    done
    while read -r code text; do
        sed -n '/^EXIT STATUS/,/^[A-Z]/p' <<< "$page" | tr -s ' ' | grep -q -F " $code $text" ||
            missing+=" exit code $code"
        codes=$((codes + 1))
    done < <("$bin/velmora-cli" --help | sed -n '/^Exit codes:/,$s/^  \([0-9]\+\) \+/\1 /p')
    [ "$codes" -gt 0 ] || missing+=" exit codes (none in velmora-cli --help)"
    [ -z "$missing" ] || { echo "missing from the page:$missing"; return 1; }
}
check "man velmora-cli names every command, option and exit code" covers

# The bash completion reads the commands and options from the program.
completion=$root/usr/share/bash-completion/completions/velmora-cli
if [ -r /usr/share/bash-completion/bash_completion ]; then
    completes() { # completes "WORDS..." EXPECTED...
        local words=$1 got
        shift
        got=$(PATH=$bin:$PATH bash -c '
            source /usr/share/bash-completion/bash_completion
            source "$1"
            COMP_LINE=$2; COMP_POINT=${#COMP_LINE}
            read -r -a COMP_WORDS <<< "$2"
            [[ $2 == *" " ]] && COMP_WORDS+=("")
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
            _velmora_cli velmora-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
            printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$words")
        for want in "$@"; do
            grep -q -x -F -e "$want" <<< "$got" || { echo "'$words' gave: $got"; return 1; }
        done
    }
    # shellcheck disable=SC2086 # one word each
    check "completion of the commands" completes "velmora-cli " $commands
    for command in $commands; do
        options=$("$bin/velmora-cli" "$command" --help | sed -n 's/^  \(--[a-z][a-z-]*\).*/\1/p')
        # shellcheck disable=SC2086
        check "completion of the options of $command" completes "velmora-cli $command --" $options
    done
    check "completion of a zone" completes "velmora-cli make --zone Europe/Berl" Europe/Berlin
else
    echo "skipped: bash completion (bash-completion is not installed)"
fi

# What Debian users run on a package.
if command -v lintian > /dev/null; then
    check "lintian" lintian --fail-on error,warning "$deb"
else
    echo "skipped: lintian (not installed)"
fi
if command -v desktop-file-validate > /dev/null; then
    check "desktop-file-validate" desktop-file-validate "$root"/usr/share/applications/*.desktop
else
    echo "skipped: desktop-file-validate (not installed)"
fi
if command -v appstreamcli > /dev/null; then
    check "appstreamcli validate" appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml
else
    echo "skipped: appstreamcli (not installed)"
fi

# Installed for real, then removed.
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: dpkg -i and dpkg -r (needs root)"
    finish
fi
if dpkg-query -W -f '${Status}' velmora 2> /dev/null | grep -q installed; then
    echo "skipped: dpkg -i and dpkg -r (a velmora package is installed here already)"
    finish
fi
# Which of the package's paths (folders like /usr/bin) exist before it comes.
dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | sed 's|/$||' |
    while read -r path; do [ -e "$path" ] && echo "$path"; done > "$scratch/before"
installed_by_us=1
check "dpkg -i" dpkg -i "$deb"
dpkg -L velmora > "$scratch/listed"
check "dpkg --verify (the files match the package's checksums)" dpkg --verify velmora
from_usr_bin() {
    [ "$(command -v velmora-cli)" = /usr/bin/velmora-cli ] &&
        runuser -u nobody -- /usr/bin/velmora-cli show /usr/share/doc/velmora/examples/sydney-2027.dst > /dev/null &&
        /usr/bin/velmora-devsim --help > /dev/null &&
        [ "$(man -w velmora-cli)" = /usr/share/man/man1/velmora-cli.1.gz ]
}
check "the programs start from /usr/bin" from_usr_bin
check "/usr/bin/velmora starts" starts /usr/bin/velmora
check "dpkg -r" dpkg -r velmora
installed_by_us=0
left_behind() {
    local left
    left=$(grep -v -x -F -f "$scratch/before" "$scratch/listed" |
        while read -r path; do [ -e "$path" ] && echo "$path"; done)
    left+=$(ls /var/lib/dpkg/info/velmora.* 2> /dev/null)
    [ -z "$left" ] || { echo "left behind: $left"; return 1; }
    ! dpkg-query -W -f '${Status}' velmora 2> /dev/null | grep -q -v not-installed
}
check "dpkg -r leaves nothing behind ($(wc -l < "$scratch/listed") paths listed)" left_behind
finish
