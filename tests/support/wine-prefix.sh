#!/usr/bin/env bash
# The scratch Wine prefix of a Windows test run, $WINEPREFIX:
#   wine-prefix.sh start WINE WINESERVER   before the first test
#   wine-prefix.sh end WINESERVER          after the last
#
# start makes the prefix (or brings it up to date with Wine), waits until it
# has settled, and starts the Wine server that every test shares: a program
# started while an idle server shuts down can fail at once, without a word.
# Debian's Wine ends an idle server at once, and `wineserver -p` makes no
# running server persistent (it fails with 2), so the persistent server is
# started only once the prefix's own has ended. The first start of a prefix
# keeps services, device drivers and the menu builder running for seconds
# after wineboot returns; tests started meanwhile would meet a prefix still
# settling. end ends that server, and fails when it had ended before.
set -euo pipefail
# shellcheck source=wine-steps.sh
. "$(dirname "$0")/wine-steps.sh"
[ -n "${WINEPREFIX:-}" ] || fail "WINEPREFIX is not set: it names the prefix of the tests"

case ${1:-} in
  start)
    wine=$2
    server=$3
    # A server left by an earlier run (none is the usual case, and then -k
    # fails with 1): ended, and waited for.
    "$server" -k > /dev/null 2>&1 || true
    step "waiting for an earlier Wine server of $WINEPREFIX to end" timeout 60 "$server" -w
    step "creating $WINEPREFIX" mkdir -p "$WINEPREFIX"
    step "making the prefix (wineboot)" timeout 180 "$wine" wineboot
    step "waiting for the new prefix to settle (wineserver -w)" timeout 60 "$server" -w
    if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -d "$WINEPREFIX/dosdevices" ]; then
      fail "wineboot left no system.reg or dosdevices in $WINEPREFIX"
    fi
    step "starting the Wine server the tests share (wineserver -p)" "$server" -p
    # The prefix's services start with the first program and stay with the server.
    step "starting a program in the prefix" timeout 60 "$wine" cmd /c exit 0
    ;;
  end)
    server=$2
    if ! "$server" -k > /dev/null 2>&1; then
      fail "no Wine server was running in $WINEPREFIX: the one the tests share ended before them"
    fi
    step "waiting for the Wine server of $WINEPREFIX to end" timeout 60 "$server" -w
    ;;
  *)
    fail "usage: wine-prefix.sh start WINE WINESERVER | end WINESERVER"
    ;;
esac
