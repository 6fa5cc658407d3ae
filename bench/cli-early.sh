#!/usr/bin/env bash
# Times a full upload of velmora-cli against the simulator, with and without
# --early, and reports each as a share of fifteen timeout periods.
#   bench/cli-early.sh [BUILD_DIR] [TIMEOUT_MS] [RUNS]
set -euo pipefail

build=${1:-build}
timeout=${2:-200}
runs=${3:-3}
for program in velmora-cli velmora-devsim; do
  [[ -x $build/bin/$program ]] || { echo "missing $build/bin/$program: build first" >&2; exit 1; }
done
cli=$(realpath "$build/bin/velmora-cli")
devsim=$(realpath "$build/bin/velmora-devsim")

work=$(mktemp -d)
sim_pid=
cleanup() {
  [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$devsim" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do
  [[ -s $work/sim.out ]] && break
  sleep 0.05
done
port=$(head -n 1 "$work/sim.out")
[[ -n $port ]] || { echo "the simulator printed no device path" >&2; exit 1; }

(cd "$work" && "$cli" make --zone Europe/Berlin --first-year 2027 --output t.dst)

# Prints the best of RUNS upload times in milliseconds.
best_upload_ms() {
  local best=
  for _ in $(seq "$runs"); do
    local start end outcome
    start=$(date +%s%N)
    outcome=$(cd "$work" && "$cli" send t.dst --port "$port" --timeout "$timeout" "$@" 2>/dev/null | tail -n 1)
    end=$(date +%s%N)
    [[ $outcome == "Done!" ]] || { echo "upload $* ended with '$outcome'" >&2; exit 1; }
    local ms=$(((end - start) / 1000000))
    [[ -z $best || $ms -lt $best ]] && best=$ms
  done
  echo "$best"
}

budget=$((15 * timeout))
plain=$(best_upload_ms)
early=$(best_upload_ms --early)
printf 'timeout %d ms, 15 periods = %d ms, best of %d runs\n' "$timeout" "$budget" "$runs"
ratio() { awk -v t="$1" -v b="$budget" 'BEGIN { printf "%.3f", t / b }'; }
printf 'plain   %6d ms  ratio %s\n' "$plain" "$(ratio "$plain")"
printf 'early   %6d ms  ratio %s\n' "$early" "$(ratio "$early")"

# The processor time one plain upload costs: the program should sleep through
# each reply period, not spin.
(cd "$work" && /usr/bin/time -o "$work/cpu" -f '%U %S %e' "$cli" send t.dst --port "$port" \
   --timeout "$timeout" >/dev/null 2>&1)
read -r user sys wall <"$work/cpu"
printf 'cpu     %s s user + %s s system over %s s of a plain upload\n' "$user" "$sys" "$wall"
