#!/usr/bin/env bash
# Runs libFuzzer targets of the `fuzz` preset, one after another, on one
# core at the lowest priority, until each has had CPU_SECONDS of processor
# time (counted with the shell's `time`, since libFuzzer limits wall time
# only), then folds what they found into the committed corpora (minimised
# with -merge=1).
#
#   fuzz/run.sh CPU_SECONDS TARGET...   e.g. fuzz/run.sh 1200 import_fuzz color_fuzz
#
# Targets and their corpora: html_fuzz (corpus/html), import_fuzz
# (corpus/import), backup_envelope_fuzz (corpus/backup_envelope), color_fuzz
# (corpus/color), bookmarks_fuzz (corpus/bookmarks), pending_item_fuzz
# (corpus/pending_item). A crash stops that
# target, leaves crash-* in the work folder and makes the script fail. SIGTERM ends the run after the current
# libFuzzer run, with the corpora still merged. The last line per target reads
#   TARGET: N runs in S CPU seconds, C crashes
set -euo pipefail
cd "$(dirname "$0")/.."
target_cpu=${1:?CPU seconds per target}
shift
work=${FUZZ_WORK:-$(mktemp -d)}
core=${FUZZ_CORE:-1}
chunk=${FUZZ_CHUNK:-300} # wall seconds per libFuzzer run
status=0
stopping=0
trap 'stopping=1' TERM
for target in "$@"; do
  corpus=fuzz/corpus/${target%_fuzz}
  dict=()
  case $target in
    html_fuzz) dict=(-dict=fuzz/html.dict) ;;
    import_fuzz | backup_envelope_fuzz) dict=(-dict=fuzz/json.dict) ;;
    bookmarks_fuzz) dict=(-dict=fuzz/bookmarks.dict) ;;
    pending_item_fuzz) dict=(-dict=fuzz/pending_item.dict) ;;
  esac
  mkdir -p "$work/$target"
  cpu=0
  runs=0
  crashes=0
  while ((!stopping)) && awk -v c="$cpu" -v t="$target_cpu" 'BEGIN { exit !(c < t) }'; do
    TIMEFORMAT='%U %S'
    if ! { time nice -n 19 taskset -c "$core" build/fuzz/fuzz/$target "${dict[@]}" -max_total_time="$chunk" \
        -print_final_stats=1 -artifact_prefix="$work/$target/" "$work/$target" "$corpus" \
        >"$work/$target.log" 2>&1; } 2>"$work/$target.time"; then
      crashes=$((crashes + 1))
      status=1
      echo "$target FAILED: see $work/$target.log and $work/$target/crash-*" >&2
    fi
    cpu=$(awk -v c="$cpu" '{ print c + $1 + $2 }' "$work/$target.time")
    runs=$((runs + $(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log" | tail -1)))
    ((crashes == 0)) || break
  done
  # Keep the committed corpus small: only inputs that add coverage.
  minimised=$(mktemp -d)
  nice -n 19 taskset -c "$core" build/fuzz/fuzz/$target -merge=1 "$minimised" "$corpus" "$work/$target" \
    >"$work/$target.merge.log" 2>&1
  rm -f "$corpus"/*
  cp "$minimised"/* "$corpus"/
  rm -rf "$minimised"
  echo "$target corpus: $(ls "$corpus" | wc -l) files, $(du -sh "$corpus" | cut -f1)"
  echo "$target: $runs runs in $cpu CPU seconds, $crashes crashes"
done
exit $status
