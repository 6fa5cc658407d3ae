#!/usr/bin/env bash
# Times a full upload of velmora-cli against the simulator, with and without
# --early, and reports each as a share of fifteen timeout periods. With a line
# rate the simulator paces its line at ten bits a byte, and the early upload is
# also set against the wire limit: fifteen frames of 12 bytes and fifteen
# answers of 15 bytes, back to back.
#   bench/cli-early.sh [BUILD_DIR] [TIMEOUT_MS] [RUNS] [LINE_RATE]
#   bench/cli-early.sh build 1000 3 1200     # the plain and early ratios at 1200 baud
set -euo pipefail

build=${1:-build}
timeout=${2:-200}
runs=${3:-3}
line_rate=${4:-}
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

"$devsim" ${line_rate:+--line-rate "$line_rate"} >"$work/sim.out" &
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
ratio() { awk -v t="$1" -v b="${2:-$budget}" 'BEGIN { printf "%.3f", t / b }'; }
printf 'plain   %6d ms  ratio %s (to 15 periods)\n' "$plain" "$(ratio "$plain")"
printf 'early   %6d ms  ratio %s (to 15 periods)\n' "$early" "$(ratio "$early")"
if [[ -n $line_rate ]]; then
  wire=$(awk -v r="$line_rate" 'BEGIN { printf "%d", 15 * (12 + 15) * 10 * 1000 / r }')
  printf 'line    %d baud, wire limit of a full upload %d ms\n' "$line_rate" "$wire"
  printf 'early   %6d ms  ratio %s (to the wire limit)\n' "$early" "$(ratio "$early" "$wire")"
fi

# The processor time one plain upload costs: the program should sleep through
# each reply period, not spin.
(cd "$work" && /usr/bin/time -o "$work/cpu" -f '%U %S %e' "$cli" send t.dst --port "$port" \
   --timeout "$timeout" >/dev/null 2>&1)
read -r user sys wall <"$work/cpu"
printf 'cpu     %s s user + %s s system over %s s of a plain upload\n' "$user" "$sys" "$wall"
