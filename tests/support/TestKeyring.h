#pragma once

#include "platform/Keychain.h"

#include <QTest>

// Tests that write to a real Secret Service run only inside the private D-Bus
// session with a throw-away keyring that scripts/run-tests.sh sets up (it sets
// FOLIONEST_TEST_KEYRING), never against a developer's own keyring. There they
// must run: a keyring that the test command promised but that cannot be
// reached fails the test instead of skipping it. CI (.ci/run) sets
// FOLIONEST_REQUIRE_KEYRING: there a keyring that did not start at all fails
// the test too, so a green run always includes the real keyring.
#define REQUIRE_TEST_KEYRING()                                                                                         \
    do {                                                                                                               \
        if (qEnvironmentVariableIsEmpty("FOLIONEST_TEST_KEYRING")) {                                                   \
            if (!qEnvironmentVariableIsEmpty("FOLIONEST_REQUIRE_KEYRING"))                                             \
                QFAIL("this run requires the real keyring (FOLIONEST_REQUIRE_KEYRING), but it did not start");         \
            QSKIP("needs the private session bus and keyring of scripts/run-tests.sh (FOLIONEST_TEST_KEYRING unset)"); \
        }                                                                                                              \
        if (!QtKeychainBackend::isServiceReachable())                                                                  \
            QFAIL("FOLIONEST_TEST_KEYRING is set, but no Secret Service answers on the session bus");                  \
    } while (false)
