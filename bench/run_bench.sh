#!/usr/bin/env bash
# Throughput and peak memory of `varnak -terse` on a synthetic mailbox, warm
# in the page cache, beside cat, wc -l and grep -c on the same file in the
# same run. Each command runs RUNS times; the medians are printed.
#
# usage: bench/run_bench.sh [MEBIBYTES...]     (default: 100 1024)
# environment: BUILD_DIR (default build/bench-release), RUNS (default 5),
#              BENCH_DIR for the generated files (default /tmp)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${BUILD_DIR:-$root/build/bench-release}
runs=${RUNS:-5}
data_dir=${BENCH_DIR:-/tmp}
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100 1024)
export LC_ALL=C

cmake --preset bench-release -B "$build" >/dev/null
cmake --build "$build" -j2 --target varnak make_mailbox >/dev/null
varnak=$build/varnak
out=$(mktemp)
trap 'rm -f "$out"' EXIT

# Runs "$@" once with its output to OUT; prints wall nanoseconds, peak
# resident KiB and processor seconds (user + system: on a busy machine the
# wall time also holds the time spent waiting for a processor).
measure() {
  local out=$1 start end rss_file
  shift
  rss_file=$(mktemp)
  start=$(date +%s%N)
  /usr/bin/time -f '%M %U %S' -o "$rss_file" "$@" >"$out"
  end=$(date +%s%N)
  echo "$((end - start)) $(tail -n 1 "$rss_file" | awk '{ print $1, $2 + $3 }')"
  rm -f "$rss_file"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for mib in "${sizes[@]}"; do
  file=$data_dir/varnak-bench-${mib}M.mbox
  [ -f "$file" ] || "$build/bench/make_mailbox" "$mib" "$file"
  bytes=$(stat -c %s "$file")
  cat "$file" >/dev/null  # into the page cache

  names=("cat" "wc -l" "grep -c '^From '" "varnak -terse")
  declare -A times=() rss=() cpu=()
  for ((i = 0; i < runs; i++)); do
    # Interleaved, so that a busy moment on the machine hits every command.
    # Only cat writes to /dev/null: grep stops at its first match when its
    # output is /dev/null, so the others write to a file.
    for name in "${names[@]}"; do
      case $name in
        cat) result=$(measure /dev/null cat "$file") ;;
        "wc -l") result=$(measure "$out" wc -l "$file") ;;
        grep*) result=$(measure "$out" grep -c '^From ' "$file") ;;
        varnak*) result=$(measure "$out" "$varnak" -terse "$file") ;;
      esac
      read -r ns kib seconds <<<"$result"
      times[$name]+="$ns "
      rss[$name]+="$kib "
      cpu[$name]+="$seconds "
    done
  done

  echo "== $mib MiB ($bytes bytes), $runs runs each, medians; load average $(cut -d" " -f1-3 /proc/loadavg)"
  printf '%-20s %10s %10s %14s %12s\n' command seconds MB/s "peak RSS KiB" "cpu seconds"
  declare -A mbps=()
  for name in "${names[@]}"; do
    ns=$(tr ' ' '\n' <<<"${times[$name]}" | grep . | median)
    kib=$(tr ' ' '\n' <<<"${rss[$name]}" | grep . | median)
    seconds=$(tr ' ' '\n' <<<"${cpu[$name]}" | grep . | median)
    mbps[$name]=$(awk -v b="$bytes" -v ns="$ns" 'BEGIN { printf "%.0f", b / (ns / 1e9) / 1e6 }')
    printf '%-20s %10.3f %10s %14s %12.2f\n' "$name" "$(awk -v ns="$ns" 'BEGIN { print ns / 1e9 }')" \
      "${mbps[$name]}" "$kib" "$seconds"
  done
  for name in "cat" "wc -l" "grep -c '^From '"; do
    awk -v v="${mbps[varnak -terse]}" -v b="${mbps[$name]}" -v n="$name" \
      'BEGIN { printf "varnak / %-16s %.2f\n", n, v / b }'
  done
  unset times rss cpu mbps
done
