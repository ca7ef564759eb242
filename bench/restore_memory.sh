#!/usr/bin/env bash
# Peak memory and wall time of `restore` beside `backup` on the same library,
# for the same total of pictures cut into records of three sizes. A restore
# streams: its memory follows the largest record, not the library.
#
# Both commands make the backup key with scrypt (128 MiB), which sets both
# peaks; the "1.0" backup of the same library (key from HKDF, written by
# tests/interop/backup_interop.py with Python's cryptography package) shows
# what the streaming itself takes.
#
# The first row restores a backup of a library with one small item: what
# every restore takes before any picture (the tool, its libraries, the
# store). A record's cost is the rest.
#
#   bench/restore_memory.sh [MEGABYTES]      (default 200; needs ~6x that on disk)
#   SIZES="2 8 32" bench/restore_memory.sh   record sizes in MB (default 0.5 2 8 32)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
need_packages time python3-cryptography
TOTAL=${1:-200}
# FOLIONEST_BUILD=DIR measures an existing build instead of build/release.
if [[ -n ${FOLIONEST_BUILD:-} ]]; then BUILD=$FOLIONEST_BUILD; else build_release; fi
WORK=$(mktemp -d "${TMPDIR:-/tmp}/folionest-restore-memory.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
PASSPHRASE='a passphrase for the benchmark'
INTEROP=$ROOT/tests/interop/backup_interop.py
export XDG_CONFIG_HOME=$WORK/config

# Runs a command; prints its peak RSS (MB) and wall time (s).
measure() {
  /usr/bin/time -o "$WORK/time" -f '%M %e' "$@" >/dev/null 2>"$WORK/stderr" <<<"$PASSPHRASE" ||
    { cat "$WORK/stderr"; exit 1; }
  awk '{printf "%8.1f MB %7.2f s", $1 / 1024, $2}' "$WORK/time"
}
interop() { /usr/bin/python3 "$INTEROP" <<<"$1" >/dev/null; }

printf '%-22s %-20s %-20s %-20s %-20s\n' "records" "library loaded" "backup" "restore" "restore of 1.0"
for size in 0.01 ${SIZES:-0.5 2 8 32}; do
  items=$(awk -v t="$TOTAL" -v s="$size" 'BEGIN {printf "%d", s < 0.1 ? 1 : t / s}')
  rm -rf "$WORK/library" "$WORK"/restored* "$WORK"/*.vkbackup "$WORK/document.json"
  "$BUILD/bench/make_picture_library" "$WORK/library" "$items" "$size"
  CLI=("$BUILD/src/folionest-cli")
  loaded=$(measure "${CLI[@]}" --container "$WORK/library" counts)
  backup=$(measure "${CLI[@]}" --container "$WORK/library" backup --passphrase-stdin -o "$WORK/backup.vkbackup")
  restore=$(measure "${CLI[@]}" --container "$WORK/restored" restore "$WORK/backup.vkbackup" --passphrase-stdin)
  interop "{\"op\": \"open\", \"envelope\": \"$WORK/backup.vkbackup\", \"passphrase\": \"$PASSPHRASE\", \"output\": \"$WORK/document.json\"}"
  interop "{\"op\": \"seal\", \"document\": \"$WORK/document.json\", \"passphrase\": \"$PASSPHRASE\", \"output\": \"$WORK/old.vkbackup\", \"version\": \"1.0\", \"escapeSlashes\": true}"
  rm -f "$WORK/document.json"
  old=$(measure "${CLI[@]}" --container "$WORK/restored-old" restore "$WORK/old.vkbackup" --passphrase-stdin)
  printf '%-22s %-20s %-20s %-20s %-20s\n' "$items x $size MB" "$loaded" "$backup" "$restore" "$old"
done
