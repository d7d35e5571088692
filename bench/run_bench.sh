#!/usr/bin/env bash
# The benchmark of varnak on every shape of mail and on trees of many files.
#
# For each shape of make_mailbox (bench/make_mailbox.cc) it writes one
# deterministic mailbox of the given size, warms it into the page cache and
# runs `varnak -terse -jobs=1` (these tables measure one thread) and `wc -l`
# on it in turn, RUNS times each, paired
# and interleaved so that a busy moment hits both. It prints one row per
# shape with the medians: wall and processor seconds of both, varnak's time
# as a multiple of wc -l's (wall and processor), varnak's MB/s and its peak
# resident memory. For a tree of FILES small mailboxes (and a Maildir of
# FILES messages, once varnak reads Maildirs with -maildir) it prints the
# processor and wall microseconds per file, the system calls per file
# (strace -c -f) and the peak memory; "folders" is a tree of FILES / 2
# mailboxes of 2 to 5 KiB in 100 directories. For -unique it runs varnak
# with and without it, paired the same way, on the realistic file and on a
# mailbox of UNIQUE_MESSAGES distinct messages, and prints the processor
# seconds and peak memory of both.
#
# Then reading on every processor: a tree of 50,000 small mailboxes, a
# Maildir of 100,000 messages (-maildir) and a realistic mailbox of 256 MiB,
# each read with the default number of jobs, with -jobs=1 and (the mailbox)
# by wc -l, interleaved (the mailbox, which is read in a few hundredths of
# a second, four times RUNS times); the ratios of wall and processor time
# and the peak memory of both. Under each tree, its floor: bench/file_calls
# making the same file system calls and nothing else, on as many threads
# (each in a table of file descriptors of its own, as varnak's workers)
# and on one (what the kernel alone makes of spreading them). Last, with
# valgrind, the instructions (callgrind) a tiny message and a refused
# "From " line cost on one thread, over 30 MiB.
#
# It reports and never fails on a time; it fails only when something cannot
# be built, written or run.
#
# usage: bench/run_bench.sh [MEBIBYTES [FILES]]     (default: 300 100000)
# environment: BUILD_DIR  the build directory (default build/bench-release,
#                         configured with the bench-release preset)
#              RUNS       runs of each command (default 5)
#              BENCH_DIR  where the generated data is kept (default /tmp)
#              SHAPES     the shapes to measure (default: all of them)
#              TREES      the trees to measure (default: "tree maildir folders")
#              UNIQUE_MESSAGES  messages of the -unique row (default 1000000;
#                         0 leaves the -unique table out)
#              JOBS_TABLE set to 0 to leave out the table of reading on every
#                         processor (and INSTRUCTIONS=0 the callgrind table)
# The calls column needs strace (Debian package strace); without it it
# shows "-".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
mib=${1:-300}
files=${2:-100000}
build=${BUILD_DIR:-$root/build/bench-release}
runs=${RUNS:-5}
data_dir=${BENCH_DIR:-/tmp}
read -r -a shapes <<<"${SHAPES:-realistic crlf tiny headers blank-runs from-paragraphs long-lines from-lines}"
read -r -a trees <<<"${TREES:-tree maildir folders}"
unique_messages=${UNIQUE_MESSAGES:-1000000}
export LC_ALL=C

cmake --preset bench-release -B "$build" >/dev/null
cmake --build "$build" -j2 --target varnak make_mailbox measure file_calls >/dev/null
varnak=$build/varnak
generator=$build/bench/make_mailbox
measurer=$build/bench/measure
file_calls=$build/bench/file_calls
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Runs "$@" once, standard output to $scratch/out and standard error to
# $scratch/err; prints wall nanoseconds, peak resident KiB and processor
# seconds (user + system: on a busy machine the wall time also holds the
# time spent waiting for a processor). A run that fails is still reported.
measure() {
  "$measurer" "$scratch/out" "$scratch/err" "$@" || true
}

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Data is written again when the generator is newer than it (a changed
# generator writes different bytes); a stamp marks a tree as complete.
fresh() { [ -e "$1" ] && [ "$1" -nt "$generator" ]; }

# A mailbox of SHAPE, of MEBIBYTES unless a size is given.
shape_file() {
  local size=${2:-$mib}
  local file=$data_dir/varnak-bench-$1-${size}M.mbox
  fresh "$file" || "$generator" "$1" "$size" "$file"
  echo "$file"
}

# A tree of KIND, of FILES files unless a count is given.
tree_dir() {
  local count=${2:-$files}
  local dir=$data_dir/varnak-bench-$1-$count
  if ! fresh "$dir.complete"; then
    rm -rf "$dir" "$dir.complete"
    "$generator" "$1" "$count" "$dir"
    touch "$dir.complete"
  fi
  echo "$dir"
}

# A row of the table of single files: LABEL BYTES, then the varnak command
# line and the one it is paired with, as the names of two arrays. A row for
# compressed data, say, pairs `varnak -unpack x.gz` with `zcat x.gz | wc -l`
# (through bash -c: the processor time counts the whole pipeline's).
paired_row() {
  local label=$1 bytes=$2
  local -n tool=$3 baseline=$4
  local tool_ns="" tool_cpu="" tool_kib="" base_ns="" base_cpu="" i ns kib cpu
  "${tool[@]}" >/dev/null 2>&1 || true  # warm whatever the first run would warm
  for ((i = 0; i < runs; i++)); do
    read -r ns kib cpu <<<"$(measure "${tool[@]}")"
    tool_ns+="$ns " tool_kib+="$kib " tool_cpu+="$cpu "
    read -r ns kib cpu <<<"$(measure "${baseline[@]}")"
    base_ns+="$ns " base_cpu+="$cpu "
  done
  local tw tc bw bc rss
  tw=$(median <<<"$tool_ns") tc=$(median <<<"$tool_cpu") rss=$(median <<<"$tool_kib")
  bw=$(median <<<"$base_ns") bc=$(median <<<"$base_cpu")
  awk -v l="$label" -v b="$bytes" -v tw="$tw" -v tc="$tc" -v bw="$bw" -v bc="$bc" -v rss="$rss" '
    function ratio(x, y) { return y > 0 ? sprintf("%.2f", x / y) : "-" }
    BEGIN {
      printf "| %s | %.0f | %.3f | %.3f | %.3f | %.3f | %s | %s | %.0f | %d |\n", l, b / 1048576,
             tw / 1e9, tc, bw / 1e9, bc, ratio(tw, bw), ratio(tc, bc), b / (tw / 1e9) / 1e6, rss
    }'
}

# A row of the -unique table: LABEL FILE MESSAGES. Both runs must give the
# same rows when every message is distinct; the last column says so.
unique_row() {
  local label=$1 file=$2 count=$3
  local plain_cpu="" plain_kib="" unique_cpu="" unique_kib="" i ns kib cpu same=yes
  "$varnak" -terse -jobs=1 "$file" >"$scratch/plain" 2>/dev/null || true
  "$varnak" -terse -jobs=1 -unique "$file" >"$scratch/unique" 2>/dev/null || true
  cmp -s "$scratch/plain" "$scratch/unique" || same=no
  for ((i = 0; i < runs; i++)); do
    read -r ns kib cpu <<<"$(measure "$varnak" -terse -jobs=1 "$file")"
    plain_cpu+="$cpu " plain_kib+="$kib "
    read -r ns kib cpu <<<"$(measure "$varnak" -terse -jobs=1 -unique "$file")"
    unique_cpu+="$cpu " unique_kib+="$kib "
  done
  awk -v l="$label" -v n="$count" -v b="$(stat -c %s "$file")" -v pc="$(median <<<"$plain_cpu")" \
      -v uc="$(median <<<"$unique_cpu")" -v pk="$(median <<<"$plain_kib")" \
      -v uk="$(median <<<"$unique_kib")" -v same="$same" '
    BEGIN {
      printf "| %s | %s | %.0f | %.3f | %.3f | %s | %d | %d | %s |\n", l, n, b / 1048576, pc, uc,
             (pc > 0 ? sprintf("%.2f", uc / pc) : "-"), pk, uk, same
    }'
}

# System calls of one run of "$@", all processes together, from strace -c.
count_calls() {
  if ! command -v strace >/dev/null; then
    echo "-"
    return
  fi
  strace -c -f -o "$scratch/strace" "$@" >/dev/null 2>&1 || true
  # The closing line: % time, seconds, usecs/call, calls, [errors,] "total".
  awk '$NF == "total" { print $4 }' "$scratch/strace"
}

# A row of the table of trees: LABEL FILES, then the varnak command line.
tree_row() {
  local label=$1 count=$2
  shift 2
  local walls="" cpus="" kibs="" i ns kib cpu calls
  "$@" >/dev/null 2>&1 || true  # the directories and inodes into their caches
  for ((i = 0; i < runs; i++)); do
    read -r ns kib cpu <<<"$(measure "$@")"
    walls+="$ns " cpus+="$cpu " kibs+="$kib "
  done
  calls=$(count_calls "$@")
  awk -v l="$label" -v n="$count" -v w="$(median <<<"$walls")" -v c="$(median <<<"$cpus")" \
      -v rss="$(median <<<"$kibs")" -v calls="$calls" '
    BEGIN {
      printf "| %s | %d | %.3f | %.3f | %.2f | %.2f | %s | %d |\n", l, n, w / 1e9, c,
             c * 1e6 / n, w / 1e3 / n, calls == "-" ? "-" : sprintf("%.2f", calls / n), rss
    }'
}

# Whether this varnak counts the messages of a Maildir with -maildir: until
# it does, the option is unknown (usage text) or reads nothing.
reads_maildir() {
  local probe=$scratch/probe-maildir
  mkdir -p "$probe/cur" "$probe/new" "$probe/tmp"
  printf 'Date: Mon, 7 Jan 2002 10:12:01 +0000\nSubject: probe\n\nHello\n' >"$probe/new/1.probe"
  "$varnak" -terse -maildir "$probe" 2>/dev/null | grep -q '^07	01	2002	1	'
}

echo "varnak $("$varnak" -version 2>/dev/null | head -n 1 || true), $runs runs each, medians;" \
  "$(nproc) processors; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| shape | MiB | varnak s | varnak cpu s | wc -l s | wc -l cpu s | varnak / wc -l wall | varnak / wc -l cpu | varnak MB/s | varnak peak RSS KiB |"
echo "|---|---|---|---|---|---|---|---|---|---|"
for shape in "${shapes[@]}"; do
  file=$(shape_file "$shape")
  cat "$file" >/dev/null  # into the page cache
  tool_cmd=("$varnak" -terse -jobs=1 "$file")
  base_cmd=(wc -l "$file")
  paired_row "$shape" "$(stat -c %s "$file")" tool_cmd base_cmd
done

if ((unique_messages > 0)); then
  echo
  echo "| -unique | messages | MiB | cpu s without | cpu s with | with / without cpu | peak RSS KiB without | peak RSS KiB with | same rows |"
  echo "|---|---|---|---|---|---|---|---|---|"
  file=$(shape_file realistic)
  unique_row "realistic" "$file" "$("$varnak" -terse -summary "$file" 2>&1 >/dev/null | sed -n 's/^messages: //p')"
  file=$data_dir/varnak-bench-ids-$unique_messages.mbox
  fresh "$file" || "$generator" ids "$unique_messages" "$file"
  cat "$file" >/dev/null
  unique_row "distinct messages" "$file" "$unique_messages"
fi

echo
echo "| tree | files | varnak s | varnak cpu s | cpu µs per file | wall µs per file | system calls per file | varnak peak RSS KiB |"
echo "|---|---|---|---|---|---|---|---|"
for tree in "${trees[@]}"; do
  case $tree in
    tree)
      dir=$(tree_dir tree)
      tree_row "tree of small mailboxes" "$files" "$varnak" -terse -jobs=1 "$dir"
      ;;
    maildir)
      if reads_maildir; then
        dir=$(tree_dir maildir)
        tree_row "Maildir, one message a file" "$files" "$varnak" -terse -jobs=1 -maildir "$dir"
      else
        echo "| Maildir: not measured, this varnak does not read Maildirs (-maildir) | | | | | | | |"
      fi
      ;;
    folders)
      dir=$(tree_dir folders $((files / 2)))
      tree_row "folders, files of 2-5 KiB" $((files / 2)) "$varnak" -terse -jobs=1 "$dir"
      ;;
    *) echo "run_bench.sh: unknown tree $tree" >&2 ;;
  esac
done

# A row of the table of reading on every processor: LABEL, then the names
# of two arrays: the arguments after varnak -terse, and the wc -l command
# (empty: no such column); then how many runs of each (default RUNS).
jobs_row() {
  local label=$1
  local -n arguments=$2 baseline=$3
  local row_runs=${4:-$runs}
  local dw="" dc="" dk="" ow="" oc="" ok="" bw="" bc="" i ns kib cpu
  "$varnak" -terse "${arguments[@]}" >/dev/null 2>&1 || true
  for ((i = 0; i < row_runs; i++)); do
    read -r ns kib cpu <<<"$(measure "$varnak" -terse "${arguments[@]}")"
    dw+="$ns " dc+="$cpu " dk+="$kib "
    read -r ns kib cpu <<<"$(measure "$varnak" -terse -jobs=1 "${arguments[@]}")"
    ow+="$ns " oc+="$cpu " ok+="$kib "
    if [ ${#baseline[@]} -gt 0 ]; then
      read -r ns kib cpu <<<"$(measure "${baseline[@]}")"
      bw+="$ns " bc+="$cpu "
    fi
  done
  local bm="" bcm=""
  if [ -n "$bw" ]; then bm=$(median <<<"$bw") bcm=$(median <<<"$bc"); fi
  awk -v l="$label" -v dw="$(median <<<"$dw")" -v dc="$(median <<<"$dc")" \
      -v dk="$(median <<<"$dk")" -v ow="$(median <<<"$ow")" -v oc="$(median <<<"$oc")" \
      -v ok="$(median <<<"$ok")" -v bw="$bm" -v bc="$bcm" '
    function ratio(x, y) { return y > 0 ? sprintf("%.2f", x / y) : "-" }
    function time(x) { return x != "" ? sprintf("%.3f", x) : "-" }
    BEGIN {
      printf "| %s | %.3f | %.3f | %.3f | %.3f | %s | %s | %s | %s | %s | %d | %d |\n", l,
             dw / 1e9, dc, ow / 1e9, oc, bw != "" ? time(bw / 1e9) : "-", time(bc),
             ratio(dw, ow), ratio(dc, oc), bw != "" ? ratio(dw, bw) : "-", dk, ok
    }'
}

# The floor under a tree's row: the same tree read by file_calls, its
# system calls alone, on the default number of threads against one, as a
# row of the same table (LABEL DIRECTORY).
floor_row() {
  local label=$1 dir=$2 dw="" dc="" ow="" oc="" i ns kib cpu
  local threads
  threads=$(($(nproc) < 8 ? $(nproc) : 8))
  for ((i = 0; i < runs; i++)); do
    read -r ns kib cpu <<<"$(measure "$file_calls" "$threads" "$dir")"
    dw+="$ns " dc+="$cpu "
    read -r ns kib cpu <<<"$(measure "$file_calls" 1 "$dir")"
    ow+="$ns " oc+="$cpu "
  done
  awk -v l="$label" -v dw="$(median <<<"$dw")" -v dc="$(median <<<"$dc")" \
      -v ow="$(median <<<"$ow")" -v oc="$(median <<<"$oc")" '
    BEGIN {
      printf "| %s | %.3f | %.3f | %.3f | %.3f | - | - | %.2f | %.2f | - | - | - |\n", l,
             dw / 1e9, dc, ow / 1e9, oc, dw / ow, dc / oc
    }'
}

if [ "${JOBS_TABLE:-1}" != 0 ]; then
  echo
  echo "Reading on every processor: default jobs (here $(nproc) processors) against -jobs=1"
  echo
  echo "| input | default s | default cpu s | -jobs=1 s | -jobs=1 cpu s | wc -l s | wc -l cpu s | default / -jobs=1 wall | default / -jobs=1 cpu | default / wc -l wall | default peak RSS KiB | -jobs=1 peak RSS KiB |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
  no_baseline=()
  tree_args=("$(tree_dir tree 50000)")
  jobs_row "tree of 50,000 small mailboxes" tree_args no_baseline
  floor_row "the same tree, its system calls alone (file_calls)" "${tree_args[0]}"
  maildir_args=(-maildir "$(tree_dir maildir 100000)")
  jobs_row "Maildir of 100,000 messages, -maildir" maildir_args no_baseline
  floor_row "the same Maildir, its system calls alone (file_calls)" "${maildir_args[1]}"
  big=$(shape_file realistic 256)
  cat "$big" >/dev/null
  big_args=("$big")
  big_baseline=(wc -l "$big")
  # A run of it takes a few hundredths of a second, which a busy moment of
  # the machine can double: four times the runs, for a steadier median.
  jobs_row "realistic mailbox, 256 MiB" big_args big_baseline $((4 * runs))
fi

# Instructions of one run on one thread, from callgrind, as the total of
# the "summary:" line.
instructions() {
  valgrind --tool=callgrind --callgrind-out-file="$scratch/callgrind" "$varnak" -terse -jobs=1 \
    "$1" >/dev/null 2>&1 || true
  awk '/^summary:/ { print $2 }' "$scratch/callgrind"
}

if [ "${INSTRUCTIONS:-1}" != 0 ] && command -v valgrind >/dev/null; then
  echo
  echo "Instructions on one thread (callgrind, 30 MiB of each shape)"
  echo
  echo "| shape | messages | refused From lines | instructions | per message | per refused From line |"
  echo "|---|---|---|---|---|---|"
  for shape in tiny from-lines; do
    file=$(shape_file "$shape" 30)
    # Every message begins with a separator; every other "From " line at a
    # line start in these shapes is refused.
    messages=$(grep -c '^Date: ' "$file" || true)
    from_lines=$(grep -c '^From ' "$file" || true)
    refused=$((from_lines - messages))
    total=$(instructions "$file")
    awk -v s="$shape" -v m="$messages" -v r="$refused" -v t="$total" '
      function per(x, n) { return n > 0 ? sprintf("%.0f", x / n) : "-" }
      BEGIN { printf "| %s | %d | %d | %d | %s | %s |\n", s, m, r, t, per(t, m), per(t, r) }'
  done
fi
echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
