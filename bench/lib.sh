# Shared helpers of the benchmark scripts.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$ROOT/build/release
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

need_packages() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  if ((${#missing[@]})); then
    local sudo=()
    [[ $(id -u) -ne 0 ]] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

build_release() {
  [[ -f $BUILD/build.ninja ]] || cmake --preset release -S "$ROOT" >/dev/null
  cmake --build "$BUILD" >/dev/null
}
