#!/usr/bin/env bash
# Peak memory of an export with pictures: 1,000 items of 2 MB each (random
# bytes, about 2 GB of pictures) written as an export document and as an
# encrypted backup by folionest-cli. The export streams, so its peak stays
# near what loading the library costs whatever the size of the document.
#
#   bench/export_memory.sh [ITEMS] [MEGABYTES]      (needs ~6 GB of free disk)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
need_packages time
ITEMS=${1:-1000}
MEGABYTES=${2:-2}
# FOLIONEST_BUILD=DIR measures an existing build instead of build/release.
if [[ -n ${FOLIONEST_BUILD:-} ]]; then BUILD=$FOLIONEST_BUILD; else build_release; fi
WORK=$(mktemp -d "${TMPDIR:-/tmp}/folionest-export-memory.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

"$BUILD/bench/make_picture_library" "$WORK/library" "$ITEMS" "$MEGABYTES"
CLI=("$BUILD/src/folionest-cli" --container "$WORK/library")
measure() {
  local label=$1
  shift
  /usr/bin/time -o "$WORK/time" -f '%M %e' "$@" >/dev/null 2>"$WORK/stderr" || { cat "$WORK/stderr"; exit 1; }
  local report
  report=$(tail -1 "$WORK/time")
  printf '%-34s peak RSS %7.1f MB  %6.2f s\n' "$label" "$(echo "$report" | awk '{print $1 / 1024}')" \
    "$(echo "$report" | awk '{print $2}')"
}
echo "library: $ITEMS items with $MEGABYTES MB pictures, store $(du -m "$WORK/library/default.store" | cut -f1) MB"
measure "counts (loading the library)" "${CLI[@]}" counts
measure "export without pictures" "${CLI[@]}" export -o "$WORK/plain.json"
measure "export --images" "${CLI[@]}" export --images -o "$WORK/images.json"
echo "  document: $(du -m "$WORK/images.json" | cut -f1) MB"
rm -f "$WORK/images.json"
measure "backup (pictures always)" "${CLI[@]}" backup --passphrase-stdin -o "$WORK/backup.vkbackup" \
  <<<'a passphrase for the benchmark'
echo "  backup: $(du -m "$WORK/backup.vkbackup" | cut -f1) MB"
