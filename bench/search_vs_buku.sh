#!/usr/bin/env bash
# folionest-cli search against buku, the bookmark manager a user would
# otherwise reach for, on the same 100,000 bookmarks, as whole processes.
#   bench/search_vs_buku.sh [ITEMS]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
need_packages buku hyperfine
build_release

ITEMS=${1:-100000}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
words=$("$BUILD/bench/make_library" "$WORK/lib" "$ITEMS" --bookmarks "$WORK/bookmarks.html" | sed -n 's/^words: //p')

# buku keeps its database under XDG_DATA_HOME; load the same bookmarks
# (buku's own importer takes hours for 100,000; see peers/buku_load.py).
export XDG_DATA_HOME=$WORK/xdg HOME=$WORK/home
mkdir -p "$XDG_DATA_HOME" "$HOME"
python3 "$(dirname "$0")/peers/buku_load.py" "$WORK/bookmarks.html" "$XDG_DATA_HOME/buku/bookmarks.db"

for word in $words; do
  echo "== $word: $(buku --nostdin --np --nc -s "$word" 2>/dev/null | grep -cE "^ *[0-9]+\\. " || true) hits in buku," \
       "$("$BUILD/src/folionest-cli" --container "$WORK/lib" search "$word" | wc -l) in folionest"
  hyperfine --style basic --warmup 1 --runs 10 -N \
    "buku --nostdin --np -s $word" \
    "$BUILD/src/folionest-cli --container $WORK/lib search $word"
done
