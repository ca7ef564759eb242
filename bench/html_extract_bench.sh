#!/usr/bin/env bash
# HTML metadata extraction beside peer tools, on generated pages.
#
#   bench/html_extract_bench.sh [BUILD_DIR]        (default: build/release)
#
# Tools, each extracting title, description, image, site name and author from
# the same files:
#   folionest     bench/html_extract (UTF-8 decoding + parseHTML)
#   bs4+lxml      BeautifulSoup with the lxml tree builder (Debian python3-bs4)
#   lxml.html     plain lxml.html (Debian python3-lxml)
#   metascraper   metascraper 5 with its title, description, image, publisher
#                 and author rules (npm, installed into bench/node_modules)
# Realistic pages of 30 KB, 300 KB and 3 MB, "article" (every field in the head)
# and "sparse" (title element and description only, so every lookup reads the
# whole page): MB/s of each tool, repeated for SECONDS_PER_RUN seconds.
# Hostile pages of 3 MB: the time of one extraction, with PEER_TIMEOUT seconds
# for each peer. WITH_REFERENCE=1 adds the literal regular expressions.
#
# Environment: SECONDS_PER_RUN (2), PEER_TIMEOUT (120), PAGES_DIR (a temporary
# folder), WITH_REFERENCE (0).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${1:-build/release}
SECONDS_PER_RUN=${SECONDS_PER_RUN:-2}
PEER_TIMEOUT=${PEER_TIMEOUT:-120}
WITH_REFERENCE=${WITH_REFERENCE:-0}
PY=/usr/bin/python3
URL=https://news.example.com/2024/06/11/council-library-budget

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
missing=()
for pkg in python3-bs4 python3-lxml nodejs npm; do
  if [[ $pkg == npm || $pkg == nodejs ]] && command -v "${pkg/nodejs/node}" >/dev/null; then continue; fi
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if ((${#missing[@]})); then
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [[ ! -d bench/node_modules/metascraper ]]; then
  # --ignore-scripts: metascraper's optional native re2 does not build here; it
  # falls back to JavaScript regular expressions (METASCRAPER_RE2=false).
  (cd bench && npm ci --ignore-scripts --no-audit --no-fund >/dev/null)
fi

if [[ ! -f $BUILD/build.ninja && ! -f $BUILD/Makefile ]]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFOLIONEST_BUILD_TESTS=OFF >/dev/null 2>&1
fi
if ! log=$(cmake --build "$BUILD" --target html_extract 2>&1); then
  echo "$log" >&2
  exit 1
fi
EXTRACT=$ROOT/$BUILD/bench/html_extract
[[ -x $EXTRACT ]] || EXTRACT=$BUILD/bench/html_extract

PAGES=${PAGES_DIR:-$(mktemp -d)}
$PY bench/html_pages.py "$PAGES"

# run TOOL FILE SECONDS [--print] -> the tool's output; status 124 on time-out.
run() {
  local tool=$1 file=$2 seconds=$3
  shift 3
  case $tool in
    folionest) timeout "$PEER_TIMEOUT" "$EXTRACT" "$file" --url "$URL" --seconds "$seconds" "$@" ;;
    reference) timeout "$PEER_TIMEOUT" "$EXTRACT" "$file" --url "$URL" --seconds "$seconds" --reference "$@" ;;
    bs4 | lxml) timeout "$PEER_TIMEOUT" $PY bench/peers/python_extract.py "$tool" "$file" "$URL" "$seconds" "$@" ;;
    metascraper) timeout "$PEER_TIMEOUT" node bench/peers/metascraper_extract.js "$file" "$URL" "$seconds" "$@" ;;
  esac
}

field() { awk -v k="$1" '{for (i = 1; i < NF; i++) if ($i == k) { print $(i + 1); exit }}'; }

TOOLS=(folionest bs4 lxml metascraper)
echo "HTML metadata extraction, MB/s (10^6 bytes of the file per second; higher is better)"
echo "folionest: UTF-8 decoding + parseHTML (extraction alone in brackets)"
printf '%-14s' page
for tool in "${TOOLS[@]}"; do printf '%18s' "$tool"; done
printf '%12s%12s\n' "x bs4" "x lxml"
for kind in article sparse; do
  for size in 30k 300k 3m; do
    file=$PAGES/$kind-$size.html
    printf '%-14s' "$kind-$size"
    declare -A rate=()
    for tool in "${TOOLS[@]}"; do
      if out=$(run "$tool" "$file" "$SECONDS_PER_RUN" 2>/dev/null); then
        rate[$tool]=$(field MBPS <<<"$out")
        if [[ $tool == folionest ]]; then
          printf '%18s' "${rate[$tool]} ($(field PARSE_MBPS <<<"$out"))"
        else
          printf '%18s' "${rate[$tool]}"
        fi
      else
        rate[$tool]=""
        printf '%18s' "failed"
      fi
    done
    for peer in bs4 lxml; do
      if [[ -n ${rate[$peer]} && -n ${rate[folionest]} ]]; then
        printf '%12s' "$(awk -v a="${rate[folionest]}" -v b="${rate[$peer]}" 'BEGIN { printf "%.0fx", a / b }')"
      else
        printf '%12s' "-"
      fi
    done
    echo
    unset rate
  done
done

echo
echo "Fields extracted (one run each): every tool must agree with folionest"
for kind in article sparse; do
  for size in 30k 300k 3m; do
    file=$PAGES/$kind-$size.html
    ours=$(run folionest "$file" 0 --print | tail -n 1)
    for tool in bs4 lxml metascraper; do
      theirs=$(run "$tool" "$file" 0 --print 2>/dev/null | tail -n 1 || true)
      verdict=$($PY - "$ours" "$theirs" <<'EOF'
import json, sys
a = json.loads(sys.argv[1])
try:
    b = json.loads(sys.argv[2])
except ValueError:
    print("no output"); sys.exit()
diff = [k for k in a if a[k] != b.get(k)]
print("same fields" if not diff else "differs in " + ", ".join("%s (%r vs %r)" % (k, a[k], b.get(k)) for k in diff))
EOF
)
      printf '  %-14s %-12s %s\n' "$kind-$size" "$tool" "$verdict"
    done
  done
done

echo
echo "Hostile pages of 3 MB: seconds for one extraction (time-out ${PEER_TIMEOUT} s; start-up excluded)"
HOSTILE_TOOLS=("${TOOLS[@]}")
if [[ $WITH_REFERENCE == 1 ]]; then HOSTILE_TOOLS+=(reference); fi
printf '%-26s' page
for tool in "${HOSTILE_TOOLS[@]}"; do printf '%16s' "$tool"; done
echo
for file in "$PAGES"/hostile-*.html; do
  name=$(basename "$file" .html)
  printf '%-26s' "${name#hostile-}"
  for tool in "${HOSTILE_TOOLS[@]}"; do
    set +e
    out=$(run "$tool" "$file" 0 2>&1)
    status=$?
    set -e
    if ((status == 124)); then
      printf '%16s' "timed out"
    elif ((status != 0)); then
      reason=$(grep -oE '[A-Za-z]*(Error|Exception)|Segmentation fault|Aborted|Killed' <<<"$out" | tail -n 1)
      printf '%16s' "crashed${reason:+ ($reason)}"
    else
      printf '%16s' "$(field SECONDS <<<"$out")"
    fi
  done
  echo
done
