#!/usr/bin/env bash
# Folionest set-up: installs what is missing, builds, and runs.
#
#   scripts/setup.sh run    build Release and start the application
#   scripts/setup.sh test   check the sources (format, layers), build with
#                           sanitizers and with clang, run every test
#
# Both are idempotent: packages already installed and an up-to-date build
# are skipped.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD

BUILD_PACKAGES=(
  cmake ninja-build ccache g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins qt6-qpa-plugins libgl-dev
  qtkeychain-qt6-dev libsqlite3-dev libssl-dev libbenchmark-dev zlib1g-dev
  fonts-material-design-icons-iconfont
)
TEST_PACKAGES=(
  dbus dbus-x11 gnome-keyring libsecret-tools python3 python3-cryptography
  desktop-file-utils appstream lintian dpkg-dev file xauth xvfb clang clang-format
)

install_missing() {
  local missing=()
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

build() {
  local preset=$1
  if [[ ! -f build/$preset/build.ninja ]]; then
    cmake --preset "$preset" >/dev/null
  fi
  cmake --build --preset "$preset"
}

case "${1:-}" in
  run)
    install_missing "${BUILD_PACKAGES[@]}"
    build release
    shift
    exec "$ROOT/build/release/src/folionest" "$@"
    ;;
  test)
    install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    scripts/check-sources.sh
    build asan
    # The second compiler: the product (libraries, application, tool) with
    # clang, every warning an error. The tests build with g++ above.
    build clang
    shift
    # A private session bus with an unlocked keyring, so the keychain tests
    # talk to a real Secret Service and never to the user's own.
    exec dbus-run-session -- "$ROOT/scripts/run-tests.sh" "$@"
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 1
    ;;
esac
