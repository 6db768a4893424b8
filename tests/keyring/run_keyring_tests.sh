#!/bin/sh
# Runs every test of the keyring test program in a process of its own, each
# on its own session bus (dbus-run-session) with its own GNOME Keyring,
# created and unlocked with a test password in a fresh home folder. Tests of
# the suite KeyringLocked get a keyring that is never unlocked (its prompt
# cannot be shown, as when the user declines it). Every step is bounded; the
# exit status is that of the worst test.
# usage: run_keyring_tests.sh PROGRAM
set -u
program=$1
for tool in dbus-run-session gnome-keyring-daemon secret-tool; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (make deps installs it)" >&2; exit 1; }
done
tests=$("$program" --gtest_list_tests | awk '/^[^ ]/ { suite = $1 } /^  [^ ]/ { print suite $1 }')
[ -n "$tests" ] || { echo "no tests listed by $program" >&2; exit 1; }
status=0
for test in $tests; do
    home=$(mktemp -d) || exit 1
    mkdir -m 700 "$home/run"
    HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run \
        timeout 120 dbus-run-session -- sh -c '
            case "$1" in
            KeyringLocked.*) gnome-keyring-daemon --start --components=secrets >/dev/null || exit 1 ;;
            *) printf %s palu-test-keyring | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 1 ;;
            esac
            exec "$0" --gtest_filter="$1"' "$program" "$test"
    rc=$?
    rm -rf "$home"
    if [ $rc -ne 0 ]; then
        echo "FAILED: $test (exit $rc)" >&2
        status=1
    fi
done
exit $status
