# The benchmark proper, on the display that scripts/bench provides.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
SECONDS_PER_RUN=${BENCH_SECONDS:-30}
REPEATS=${BENCH_REPEATS:-3}
STARTS=${BENCH_STARTS:-7}
RATES=${BENCH_RATES:-15 30 60}
export MIRASEE_ENDURANCE_CYCLES=${MIRASEE_ENDURANCE_CYCLES:-1000}
RESULTS=$(mktemp -d)
trap 'rm -rf "$RESULTS"' EXIT

bench() { wine "$BUILD/bin/mirasee_bench.exe" "$@" 2>/dev/null | tr -d '\r'; }
value() { grep "^$1=" | cut -d= -f2; }  # KEY < output

# median and spread (min-max) of the numbers in a file
stats() { sort -g "$1" | awk '{ v[NR] = $1 } END { printf "%.2f %.2f %.2f\n", v[int((NR + 1) / 2)], v[1], v[NR] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0 ? a / b : 0) }'; }
percent() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f\n", (b > 0 ? 100 * a / b : 0) }'; }

echo "Machine: $(nproc) cores, $(free -g | awk '/Mem:/ { print $2 }') GiB, $(wine --version), $(date -u +%Y-%m-%d)"
echo "Streaming runs: ${REPEATS} x ${SECONDS_PER_RUN} s per rate and side; start-up: ${STARTS} runs per side"
for fps in $RATES; do
  for run in $(seq 1 "$REPEATS"); do
    for side in program bare; do
      out=$(bench stream "$side" "$fps" "$SECONDS_PER_RUN")
      [ -n "$out" ] || { echo "stream $side $fps fps failed" >&2; exit 1; }
      echo "$out" | value first_frame_ms >>"$RESULTS/first-$side"
      echo "$out" | value stop_ms >>"$RESULTS/stop-$side"
      echo "$out" | value cpu_per_frame_ms >>"$RESULTS/cpu-$fps-$side"
      accepted=$(echo "$out" | value accepted)
      percent "$accepted" "$(echo "$out" | value delivered)" >>"$RESULTS/delivery-$fps-$side"
      percent "$accepted" "$(echo "$out" | value expected)" >>"$RESULTS/paced-$fps-$side"
    done
  done
done
for run in $(seq 1 "$STARTS"); do
  for side in program bare; do bench startup "$side" | value startup_ms >>"$RESULTS/startup-$side"; done
done

row() {  # name file-stem unit
  read -r pm pl ph < <(stats "$RESULTS/$2-program")
  read -r bm bl bh < <(stats "$RESULTS/$2-bare")
  printf "| %-34s | %9s %s (%s-%s) | %9s %s (%s-%s) | %7s |\n" "$1" "$pm" "$3" "$pl" "$ph" "$bm" "$3" "$bl" "$bh" "$(ratio "$pm" "$bm")"
}
echo
echo "| measure                            | program: median (spread)      | bare graph: median (spread)   | ratio   |"
echo "|------------------------------------|-------------------------------|-------------------------------|---------|"
row "time to first frame" first ms
row "stop path (close of a streaming device)" stop ms
for fps in $RATES; do
  row "accepted of delivered, $fps fps" "delivery-$fps" %
  row "accepted of the rate's frames, $fps fps" "paced-$fps" %
  row "CPU per frame, $fps fps" "cpu-$fps" ms
done
row "start-up to main window shown" startup ms

echo
echo "Device listing (DeviceList::Enumerate through the system enumerator with kit devices; relabelling alone):"
bench listing | sed 's/^/  /'
echo
echo "Memory over ${MIRASEE_ENDURANCE_CYCLES} cycles (the bare graph's own growth shown beside the program's):"
wine "$BUILD/bin/reliability_test.exe" --gtest_filter=Endurance.* 2>/dev/null | tr -d '\r' | grep -E 'cycles|OK|FAILED' | sed 's/^/  /'
