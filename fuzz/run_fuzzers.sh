#!/usr/bin/env bash
# Runs every fuzzer built in BUILD_DIR/fuzz for SECONDS seconds each, from its
# seed folder (fuzz/seeds/NAME, where NAME is the target without "_fuzzer")
# and, when present, the shared mail corpus beside the project.
# Fails on the first crash or sanitizer report. SKIP_FUZZERS names targets
# to leave out, without "_fuzzer", separated by blanks.
set -euo pipefail
build_dir=${1:?usage: run_fuzzers.sh BUILD_DIR [SECONDS]}
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
corpus_dir="$here/../../shared/corpus"

shopt -s nullglob
fuzzers=("$build_dir"/fuzz/*_fuzzer)
if [ ${#fuzzers[@]} -eq 0 ]; then
  echo "no fuzzers in $build_dir/fuzz" >&2
  exit 1
fi
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer" _fuzzer)
  if [[ " ${SKIP_FUZZERS:-} " == *" $name "* ]]; then
    echo "== $name: left out (SKIP_FUZZERS)"
    continue
  fi
  work=$(mktemp -d)
  inputs=("$work")
  [ -d "$here/seeds/$name" ] && inputs+=("$here/seeds/$name")
  [ -d "$corpus_dir" ] && [ -f "$here/seeds/$name/.use-mail-corpus" ] && inputs+=("$corpus_dir")
  echo "== $name: ${seconds}s"
  # libarchive reserves what an archive's header claims (a 7z header can
  # claim 8 GiB) and touches only what the data fills: a single malloc
  # above libFuzzer's default limit is no memory used, and the limit on
  # resident memory (2 GiB) still catches real growth.
  "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -max_len=65536 -malloc_limit_mb=16384 \
    -artifact_prefix="$work/" "${inputs[@]}" 2>"$work/log" || {
      tail -n 60 "$work/log"
      echo "== $name FAILED; crashing input kept in $work" >&2
      exit 1
    }
  grep -E '^stat::number_of_executed_units|^Done' "$work/log" || true
  rm -rf "$work"
done
