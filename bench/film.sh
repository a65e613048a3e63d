#!/usr/bin/env bash
# Measures the demo's film: how long springboard-sim takes to make it (wall
# clock and CPU) and how large it is, against the budgets: under a minute
# on a 2-core machine, under 4 MB. Prints one table row per run and exits
# non-zero when a budget is missed.
#
#   bench/film.sh [SPRINGBOARD_SIM] [RUNS]     (default build/sim/springboard-sim, 3 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
sim=${1:-build/sim/springboard-sim}
runs=${2:-3}
sim=$(realpath "$sim")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

budget_seconds=60
budget_bytes=$((4 * 1024 * 1024))
worst_wall=0
worst_bytes=0
echo "| run | wall s | CPU s | bytes | frames |"
echo "|---:|---:|---:|---:|---|"
for run in $(seq 1 "$runs"); do
  start=$(date +%s.%N)
  # CPU time from the kernel's own count for the child (user + system).
  cpu=$( { /usr/bin/env TIMEFORMAT='%U %S' bash -c "time (cd '$work' && '$sim' --film demo.webp > out.txt)" ; } 2>&1 | tail -1 | awk '{print $1 + $2}')
  end=$(date +%s.%N)
  wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
  bytes=$(stat -c %s "$work/demo.webp")
  frames=$(grep -o '[0-9]* frames at 30 a second ([0-9.]* s)' "$work/out.txt" || true)
  echo "| $run | $wall | $cpu | $bytes | $frames |"
  worst_wall=$(awk -v a="$worst_wall" -v b="$wall" 'BEGIN { print (b > a) ? b : a }')
  [ "$bytes" -gt "$worst_bytes" ] && worst_bytes=$bytes
done
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
if awk -v w="$worst_wall" -v b="$budget_seconds" 'BEGIN { exit !(w >= b) }'; then
  echo "budget missed: the slowest film took ${worst_wall} s (budget ${budget_seconds} s)"; status=1
fi
if [ "$worst_bytes" -ge "$budget_bytes" ]; then
  echo "budget missed: the film is $worst_bytes bytes (budget $budget_bytes)"; status=1
fi
[ $status -eq 0 ] && echo "budgets met: under ${budget_seconds} s and under 4 MB"
exit $status
