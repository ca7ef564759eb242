#!/usr/bin/env bash
# Runs the test suite of the sanitizer build. Expects to run inside a private
# D-Bus session (scripts/setup.sh test starts one).
set -euo pipefail
cd "$(dirname "$0")/.."

export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
# A throw-away keyring home, unlocked with a test password.
export FOLIONEST_TEST_KEYRING_HOME=$(mktemp -d)
if command -v gnome-keyring-daemon >/dev/null && [[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ]]; then
  eval "$(printf 'folionest-test\n' | HOME=$FOLIONEST_TEST_KEYRING_HOME \
    gnome-keyring-daemon --unlock --components=secrets 2>/dev/null)" || true
  export GNOME_KEYRING_CONTROL
  # --unlock creates the "login" collection (the default one) unlocked with the
  # test password. Wait until the daemon answers on the bus, then tell the
  # keychain tests that they may write to this keyring (they skip without it).
  for _ in $(seq 50); do
    owner=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null || true)
    if [[ $owner == *"boolean true"* ]]; then
      export FOLIONEST_TEST_KEYRING=1
      break
    fi
    sleep 0.1
  done
fi

if [[ -n "${FOLIONEST_REQUIRE_KEYRING:-}" && -z "${FOLIONEST_TEST_KEYRING:-}" ]]; then
  echo "run-tests: the real keyring did not start; the keyring tests will fail" >&2
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build/asan --output-on-failure -j "$(nproc)" "$@"
