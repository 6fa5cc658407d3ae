#!/usr/bin/env bash
# velmora-cli.exe send and delete with --json under Wine, against the
# simulator on COM1 (tests/device/win/with-devsim.sh maps it): the document on
# standard output parses as JSON and holds the exchange's outcome and figures;
# then history --json lists both exchanges, last, from the record of uploads
# in the prefix's local application data.
#
#   json-on-com1.sh WINE VELMORA-CLI.EXE DEVSIM WORK-FOLDER
set -uo pipefail
# shellcheck source=../support/wine-steps.sh
. "$(dirname "$0")/../support/wine-steps.sh"
wine=$1 cli=$2 devsim=$3 work=$4
with_devsim=$(dirname "$0")/../device/win/with-devsim.sh

rm -rf "$work" && mkdir -p "$work" && cd "$work" || fail "cannot make $work"
step "make of a table" "$wine" "$cli" make --zone Europe/Berlin --first-year 2027 --output t.dst

# exchange NAME EXIT-CODE PYTHON-CHECK ARGS...: runs velmora-cli ARGS --json with
# the simulator on COM1 (output into files: a Wine server keeps pipes open)
# and checks the exit code and the document, bound to `d` in the check. The
# reply time is generous and judged early: a delete on a COM1 just mapped was
# once seen answered later than 300 ms under Wine.
exchange() {
  local name=$1 want=$2 check=$3 status=0
  shift 3
  "$with_devsim" "$devsim" -- "$wine" "$cli" "$@" --port 1 --timeout 1000 --early --json \
    > "$name.out" 2> "$name.err" || status=$?
  [ "$status" -eq "$want" ] ||
    fail "$name exited with $status, not $want" "$(cat "$name.out" "$name.err")"
  python3 - "$name.out" "$want" <<PYTHON || fail "$name printed a wrong document" "$(cat "$name.out")"
import json, sys
text = open(sys.argv[1], encoding="utf-8").read()
assert text.count("\n") == 1, "not one line"
d = json.loads(text)
assert d["exitCode"] == int(sys.argv[2]) and d["devicePath"] == "COM1" and d["port"] == 1, d
assert $check, d
PYTHON
}

exchange send 0 'd["outcome"] == "Done!" and d["framesAnswered"] == 15 and "error" not in d' \
  send t.dst
exchange delete 0 'd["command"] == "delete" and d["outcome"] == "Done!" and d["framesAnswered"] == 1' \
  delete
"$wine" "$cli" history --json > history.out 2> history.err ||
  fail "history --json failed" "$(cat history.out history.err)"
python3 - history.out t.dst <<'PYTHON' || fail "history --json printed a wrong document" "$(cat history.out)"
import json, sys
text = open(sys.argv[1], encoding="utf-8").read()
assert text.count("\n") == 1, "not one line"
d = json.loads(text)
assert d["command"] == "history" and d["exitCode"] == 0, d
assert d["recordPath"].endswith("\\Velmora\\uploads.jsonl"), d["recordPath"]
send, delete = d["uploads"][-2:]
table = open(sys.argv[2], "rb").read().hex().upper()
assert send["command"] == "send" and send["devicePath"] == "COM1" and send["port"] == 1, send
assert send["outcome"] == "Done!" and send["bytes"] == table and send["years"] == "2027-2041", send
assert delete["command"] == "delete" and delete["outcome"] == "Done!", delete
assert delete["program"] == "velmora-cli", delete
PYTHON
echo "json-on-com1: send, delete and history --json on COM1 give their documents"
