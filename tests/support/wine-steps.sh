# shellcheck shell=bash
# The steps of the Wine test scripts (sourced by them): a step that fails
# says which step it was, its exit code and what it printed, and ends the
# script; a step that succeeds prints nothing.

# fail WHY [OUTPUT]: says why the script ends, with OUTPUT indented below.
fail() {
  echo "${0##*/}: $1" >&2
  if [ -n "${2:-}" ]; then
    printf '%s\n' "$2" | sed 's/^/    /' >&2
  fi
  exit 1
}

# step WHAT COMMAND...: runs COMMAND with its output kept aside in a file, not
# a pipe: a Wine server that the command starts keeps the output open for as
# long as it lives, and a pipe would be waited on until then.
step() {
  local what=$1 log status=0
  shift
  log=$(mktemp)
  "$@" > "$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    local output
    output=$(cat "$log")
    rm -f "$log"
    fail "$what failed (exit code $status)${output:+; it printed:}" "$output"
  fi
  rm -f "$log"
}
