#!/usr/bin/env bash
# Times velmora-cli send on 1, 4 and 8 ports at once, each port a simulator
# paced at a line rate, plain and with --early, and reports each time against
# one port's, with the processor time and the largest resident memory of the
# program (GNU time).
#   bench/cli-ports.sh [BUILD_DIR] [TIMEOUT_MS] [RUNS] [LINE_RATE]
#   bench/cli-ports.sh build 1000 3 1200
set -euo pipefail

build=${1:-build}
timeout=${2:-1000}
runs=${3:-3}
line_rate=${4:-1200}
for program in velmora-cli velmora-devsim; do
  [[ -x $build/bin/$program ]] || { echo "missing $build/bin/$program: build first" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "missing /usr/bin/time: apt-get install time" >&2; exit 1; }
cli=$(realpath "$build/bin/velmora-cli")
devsim=$(realpath "$build/bin/velmora-devsim")

work=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# The timed uploads go to the work folder's record of uploads, not the user's.
export XDG_STATE_HOME=$work/state

ports=()
for i in $(seq 8); do
  "$devsim" --line-rate "$line_rate" >"$work/sim$i.out" 2>/dev/null &
  sims+=($!)
done
for i in $(seq 8); do
  for _ in $(seq 100); do
    [[ -s $work/sim$i.out ]] && break
    sleep 0.05
  done
  port=$(head -n 1 "$work/sim$i.out")
  [[ -n $port ]] || { echo "simulator $i printed no device path" >&2; exit 1; }
  ports+=("$port")
done

(cd "$work" && "$cli" make --zone Europe/Berlin --first-year 2027 --output t.dst >/dev/null)

# The best of RUNS uploads on the first N ports: "seconds cpu_seconds max_rss_kib".
best() {
  local n=$1 best_line= args=()
  shift
  for port in "${ports[@]:0:n}"; do args+=(--port "$port"); done
  for _ in $(seq "$runs"); do
    (cd "$work" && /usr/bin/time -f '%e %U %S %M' -o "$work/time" \
       "$cli" send t.dst "${args[@]}" --timeout "$timeout" "$@" >"$work/out" 2>/dev/null) || {
      echo "send on $n ports $* failed:" >&2; cat "$work/out" >&2; exit 1; }
    local done_count
    done_count=$(grep -c 'Done!$' "$work/out" || true)
    [[ $done_count == "$n" ]] || { echo "send on $n ports $*: $done_count of $n done" >&2; exit 1; }
    read -r seconds user system rss <"$work/time"
    local line
    line="$seconds $(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }') $rss"
    if [[ -z $best_line ]] || awk -v a="$seconds" -v b="${best_line%% *}" 'BEGIN { exit !(a < b) }'; then
      best_line=$line
    fi
  done
  echo "$best_line"
}

printf '| Upload | Ports | Time | Against one port | CPU | Max RSS |\n|---|---|---|---|---|---|\n'
for mode in plain early; do
  extra=()
  [[ $mode == early ]] && extra=(--early)
  one=
  for n in 1 4 8; do
    read -r seconds cpu rss < <(best "$n" "${extra[@]}")
    [[ -z $one ]] && one=$seconds
    printf '| %s | %d | %.3f s | %.3f | %.2f s | %d MiB |\n' "$mode" "$n" "$seconds" \
      "$(awk -v a="$seconds" -v b="$one" 'BEGIN { print a / b }')" "$cpu" "$((rss / 1024))"
  done
done
