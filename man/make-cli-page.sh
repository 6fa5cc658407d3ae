#!/usr/bin/env bash
# Writes the manual page of velmora-cli from the program itself: help2man reads
# `velmora-cli --help` for the description, and the page gets a synopsis and a
# section per command from `velmora-cli COMMAND --help`, and the exit codes
# from the end of the program's help; its version and copyright come from
# `velmora-cli --version`. A command or option added to the program's help
# appears in the page at the next build.
#
# usage: make-cli-page.sh PROGRAM OUTPUT
set -euo pipefail
program=$(realpath "$1")
output=$2
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$program" --help > "$work/help"
commands=$(sed -n '/^Commands:/,/^[^ ]/s/^  \([a-z][a-z-]*\).*/\1/p' "$work/help")
if [ -z "$commands" ]; then
    echo "$0: no commands in the output of $program --help" >&2
    exit 1
fi

# The synopsis, the machine-readable output and the exit codes go into
# sections of their own, so help2man reads the help without its first line and
# without those two paragraphs.
cat > "$work/velmora-cli" <<WRAPPER
#!/bin/sh
if [ "\$1" = --version ]; then exec "$program" --version; fi
sed -e '1{/^usage:/d}' -e '/^Machine-readable output:/,\$d' -e '/^Exit codes:/,\$d' "$work/help"
WRAPPER
chmod +x "$work/velmora-cli"

{
    echo "[DESCRIPTION]"
    echo ".B velmora\\-cli"
    echo "shows, builds and uploads the tables of Velmora from scripts. It reads and"
    echo "writes the same .dst files, uses the same serial link and judges the"
    echo "device's answers as the window program does."
    echo "[SYNOPSIS]"
    for command in $commands; do
        "$program" "$command" --help | sed -n '1s/^usage: //p' |
            awk -f "$here/help-to-man.awk" |
            sed -e 's/^\(velmora\\-cli [a-z\\-]*\)/\\fB\1\\fR/' -e 's/$/\n.br/'
    done
    echo "[COMMANDS]"
    for command in $commands; do
        echo ".SS $command"
        "$program" "$command" --help | sed -e 's/^usage: //' |
            awk -f "$here/help-to-man.awk" |
            sed -e '1s/^\(velmora\\-cli [a-z\\-]*\)/\\fB\1\\fR/' -e '1s/$/\n.PP/'
    done
    if grep -q '^Machine-readable output:' "$work/help"; then
        echo "[MACHINE-READABLE OUTPUT]"
        sed -n '/^Machine-readable output:/,/^Exit codes:/p' "$work/help" | sed -e 1d -e '$d' |
            awk -f "$here/help-to-man.awk"
    fi
    if grep -q '^Exit codes:' "$work/help"; then
        echo "[EXIT STATUS]"
        sed -n '/^Exit codes:/,$p' "$work/help" | sed 1d | awk -f "$here/help-to-man.awk"
    fi
    echo "[SEE ALSO]"
    echo ".BR velmora (1),"
    echo ".BR velmora\\-devsim (1)"
} > "$work/include"

help2man --no-info \
    --name="show, build and upload daylight saving time tables" \
    --include="$work/include" --output="$work/page" "$work/velmora-cli"
gzip -9n < "$work/page" > "$output"
