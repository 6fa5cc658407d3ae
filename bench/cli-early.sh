#!/usr/bin/env bash
# Times a full upload of velmora-cli against the simulator, with and without
# --early, and reports each as a share of fifteen timeout periods. With a line
# rate the simulator paces its line at ten bits a byte, and the early upload is
# also set against the wire limit: fifteen frames of 12 bytes and fifteen
# answers of 15 bytes, back to back.
# Also printed: the program's start-up (the best time of `--version`), and the
# early ratio without it.
#   bench/cli-early.sh [--wine WINDOWS_BIN] [BUILD_DIR] [TIMEOUT_MS] [RUNS] [LINE_RATE]
#   bench/cli-early.sh build 1000 3 1200     # the plain and early ratios at 1200 baud
# With --wine, the velmora-cli.exe of WINDOWS_BIN (a folder that holds its DLLs,
# such as build-windows-installer/stage/bin) uploads under wine64, in a scratch
# Wine prefix whose COM1 is the simulator of BUILD_DIR:
#   bench/cli-early.sh --wine build-windows-installer/stage/bin build 1000 3 1200
set -euo pipefail

windows_bin=
if [[ ${1:-} == --wine ]]; then
  windows_bin=$(realpath "${2:?--wine needs the folder of velmora-cli.exe}")
  [[ -f $windows_bin/velmora-cli.exe ]] || { echo "missing $windows_bin/velmora-cli.exe" >&2; exit 1; }
  shift 2
fi
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
  [[ -n $windows_bin ]] && "$wineserver" -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# The timed uploads go to the work folder's record of uploads, not the user's.
export XDG_STATE_HOME=$work/state

"$devsim" ${line_rate:+--line-rate "$line_rate"} >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do
  [[ -s $work/sim.out ]] && break
  sleep 0.05
done
port=$(head -n 1 "$work/sim.out")
[[ -n $port ]] || { echo "the simulator printed no device path" >&2; exit 1; }

(cd "$work" && "$cli" make --zone Europe/Berlin --first-year 2027 --output t.dst)

# The program under test and how it names the simulator's port.
run=("$cli")
port_option=$port
if [[ -n $windows_bin ]]; then
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
  export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEPATH=
  mkdir -p "$WINEPREFIX"
  # A server that stays between the runs, as Windows' own services do.
  "$wineserver" -p >/dev/null 2>&1
  "$wine" wineboot -i >/dev/null 2>&1
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$port" /f >/dev/null 2>&1
  ln -sfn "$port" "$WINEPREFIX/dosdevices/com1"
  run=("$wine" "$windows_bin/velmora-cli.exe")
  port_option=1
fi

# One upload, its output checked; the arguments go to `send`.
upload() {
  # Into a file: a helper process of Wine may hold a pipe open after the program ends.
  (cd "$work" && "${run[@]}" send t.dst --port "$port_option" --timeout "$timeout" "$@" \
     >"$work/out" 2>/dev/null) || true
  local outcome
  outcome=$(tr -d '\r' <"$work/out" | tail -n 1)
  [[ $outcome == "Done!" ]] || { echo "upload $* ended with '$outcome'" >&2; exit 1; }
}

# The program's start-up alone.
start_up() { "${run[@]}" --version >/dev/null 2>&1; }

# Prints the best of RUNS times of COMMAND [ARGS...] in milliseconds.
best_ms() {
  local best=
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@"
    end=$(date +%s%N)
    local ms=$(((end - start) / 1000000))
    [[ -z $best || $ms -lt $best ]] && best=$ms
  done
  echo "$best"
}

budget=$((15 * timeout))
startup=$(best_ms start_up)
plain=$(best_ms upload)
early=$(best_ms upload --early)
printf 'timeout %d ms, 15 periods = %d ms, best of %d runs\n' "$timeout" "$budget" "$runs"
ratio() { awk -v t="$1" -v b="${2:-$budget}" 'BEGIN { printf "%.3f", t / b }'; }
printf 'plain   %6d ms  ratio %s (to 15 periods)\n' "$plain" "$(ratio "$plain")"
printf 'early   %6d ms  ratio %s (to 15 periods)\n' "$early" "$(ratio "$early")"
if [[ -n $line_rate ]]; then
  wire=$(awk -v r="$line_rate" 'BEGIN { printf "%d", 15 * (12 + 15) * 10 * 1000 / r }')
  printf 'line    %d baud, wire limit of a full upload %d ms\n' "$line_rate" "$wire"
  printf 'early   %6d ms  ratio %s (to the wire limit)\n' "$early" "$(ratio "$early" "$wire")"
  printf 'start   %6d ms  (--version); early without it %d ms, ratio %s\n' "$startup" \
    "$((early - startup))" "$(ratio "$((early - startup))" "$wire")"
fi
[[ -n $windows_bin ]] && exit 0

# The processor time one plain upload costs: the program should sleep through
# each reply period, not spin.
(cd "$work" && /usr/bin/time -o "$work/cpu" -f '%U %S %e' "$cli" send t.dst --port "$port" \
   --timeout "$timeout" >/dev/null 2>&1)
read -r user sys wall <"$work/cpu"
printf 'cpu     %s s user + %s s system over %s s of a plain upload\n' "$user" "$sys" "$wall"
