#!/usr/bin/env bash
# Builds the utility and starts it on the simulated adapter.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
wavory_install_deps
# Only the programs and what they load; the test command builds the tests and benchmarks.
WAVORY_TARGETS="wavory wavoryctl wavory-sim wavory_ini" wavory_build
bin=${WAVORY_BUILD_DIR:-build}/bin
if [ -x "$bin/wavory" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; }; then
    exec "$bin/wavory" "$@"
fi
if [ -x "$bin/wavory" ]; then
    echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot open."
    echo "Run it on a desktop session, or with: xvfb-run ./scripts/run.sh (Debian package xvfb)"
else
    echo "The window is not built in $bin."
fi
echo "Here is the adapter's status from the command line ($bin/wavoryctl --help for more):"
echo
exec "$bin/wavoryctl" status
