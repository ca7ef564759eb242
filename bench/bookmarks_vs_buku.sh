#!/usr/bin/env bash
# Bookmark file import and export: folionest-cli beside `buku -i`, whole
# processes, on the same file. A generated library of ITEMS items is exported
# with export-bookmarks; that file is imported into an empty library by
# folionest-cli and by buku.
#   bench/bookmarks_vs_buku.sh [ITEMS] [BUKU_ITEMS]
# buku's importer grows worse than linearly (10,000 bookmarks take minutes,
# 100,000 hours), so it reads the first BUKU_ITEMS links of the same file
# (default 5,000; "all" for the whole file), and folionest-cli is timed on
# that part too. Times are medians of RUNS runs (default 10). On a machine
# that others share, `chrt -f 10 bench/bookmarks_vs_buku.sh` (as root) keeps
# their work from running in between.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
need_packages buku hyperfine time
# FOLIONEST_BUILD=DIR measures an existing build instead of build/release.
if [[ -n ${FOLIONEST_BUILD:-} ]]; then BUILD=$FOLIONEST_BUILD; else build_release; fi

ITEMS=${1:-100000}
BUKU_ITEMS=${2:-5000}
RUNS=${RUNS:-10}
CLI=$BUILD/src/folionest-cli
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# hyperfine's summary, then the median of its runs.
timed() {
  hyperfine --style basic --runs "$RUNS" --export-json "$WORK/timing.json" "$@"
  python3 -c 'import json, sys; print("median %.3f s" % json.load(open(sys.argv[1]))["results"][0]["median"])' \
    "$WORK/timing.json"
}
"$BUILD/bench/make_library" "$WORK/lib" "$ITEMS" >/dev/null

echo "== export-bookmarks, $ITEMS items"
timed --warmup 1 -N "$CLI --container $WORK/lib export-bookmarks -o $WORK/bookmarks.html"
"$CLI" --container "$WORK/lib" export-bookmarks -o "$WORK/bookmarks.html"
ls -l "$WORK/bookmarks.html"

echo "== import-bookmarks into an empty library, $ITEMS bookmarks"
timed --prepare "rm -rf $WORK/dst" "$CLI --container $WORK/dst import-bookmarks $WORK/bookmarks.html"
rm -rf "$WORK/dst"
/usr/bin/time -f 'peak memory %M KB, %e s' "$CLI" --container "$WORK/dst" import-bookmarks "$WORK/bookmarks.html"

# The first BUKU_ITEMS links of the same file (browsers' readers, ours and
# buku's, do not need the closing tags).
if [[ $BUKU_ITEMS == all ]]; then
  cp "$WORK/bookmarks.html" "$WORK/part.html"
else
  awk -v n="$BUKU_ITEMS" '/<DT><A /{ if (++links > n) exit } { print }' "$WORK/bookmarks.html" >"$WORK/part.html"
fi
links=$(grep -c '<DT><A ' "$WORK/part.html")
echo "== $links bookmarks: folionest-cli import-bookmarks beside buku -i"
timed --prepare "rm -rf $WORK/part" "$CLI --container $WORK/part import-bookmarks $WORK/part.html"
export XDG_DATA_HOME=$WORK/xdg HOME=$WORK/home
mkdir -p "$HOME"
rm -rf "$XDG_DATA_HOME"
/usr/bin/time -f 'buku -i: %e s, peak memory %M KB' buku --nostdin --tacit -i "$WORK/part.html" >/dev/null 2>"$WORK/buku.err" ||
  { cat "$WORK/buku.err"; exit 1; }
grep -E '^buku -i' "$WORK/buku.err"
echo "$(python3 -c "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute('select count(*) from bookmarks').fetchone()[0])" \
  "$XDG_DATA_HOME/buku/bookmarks.db") bookmarks in buku"
